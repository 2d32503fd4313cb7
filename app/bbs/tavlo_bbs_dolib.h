#pragma once

#include "tavlo_bbs.h"
#include "tavlo_log_backup.h"

// Any thread of the 2ch family, also one that left its board, through the paid read viewer
// ("offlaw") for a logged-in user. The answer's first line is "+OK ..." or "-ERR reason"; a
// refused session gets one new login and one new fetch. The previous log waits as ".bak" and
// comes back on any failure and on 304.
class CTavloBbsDoLib : public CTavloBbs {
public:
    CTavloBbsDoLib(CTavloWindow* window, const CVornString& boardUrl, const CVornString& key);

    CVornString GetDatUrl() override;
    int PrepareRequest() override;
    int CheckResponse() override { return 0; }
    int WriteFileConvert(CVornString& text) override;
    int Initialize() override;
    int Finalize(int result) override;
    bool IsTarget() override;

    // Logs in to the viewer service over HTTPS ("/futen.cgi" on the viewer login host) with a
    // user id and password, sent as given. 1 with the session value ("agent:session") in
    // session, or 0. window, when given, receives the socket callback (cancel, progress).
    static int Login(const CVornString& id, const CVornString& password, CVornString& session,
                     CTavloWindow* window = nullptr);
    // Logs in with DoLibId and DoLibPass and writes a changed session value to DoLibSid at
    // once. 0, or -901 when the login failed. For every caller that must renew a refused
    // session (the viewer kind, the post retry).
    static int Relogin(CTavloWindow* window = nullptr);
    // The DoLibSid setting, logging in first when it is empty: 0 with the value, or -901.
    static int GetSession(CVornString& session, CTavloWindow* window = nullptr);
    // Splits a session value at its first ":"; false when it has none or the agent part is
    // "ERROR" (a refused login).
    static bool SplitSession(const CVornString& session, CVornString* agent);

private:
    CVornString m_firstLine;
    int m_firstHandled = 0;
    int m_relogged = 0;
    int m_loginFailed = 0;
    CTavloLogBackup m_backup;
};
