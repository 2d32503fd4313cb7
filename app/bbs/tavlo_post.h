#pragma once

#include "tavlo_http_fetch.h"
#include "tavlo_window.h"
#include "vorn_string.h"

#include <functional>
#include <string>
#include <vector>

class CVornHttpClient;

// The posting programs of the hosting services and how a post to each is built and judged.
enum TavloPostFamily { TAVLO_POST_MACHI, TAVLO_POST_LIVEDOOR, TAVLO_POST_FOOTBALL, TAVLO_POST_2CH };

// Hosts of the rows that the board-kind domain table does not name. Tests and the demo point
// them at fictional hosts; the handset network's proxy can be moved the same way.
struct CTavloPostHosts {
    std::vector<std::string> footballA; // "/cgi-bin/12ch/test/bbs.cgi", two elements skipped
    std::vector<std::string> footballB; // "/12ch/test/bbs.cgi"
    std::vector<std::string> radio;     // "/cgi-bin/test/bbs.cgi", answer page
    std::vector<std::string> chat;      // "/cgi-bin/test/bbs.cgi", answer page
    std::vector<std::string> live;      // "/cgi-bin/test/bbs.cgi", status 302
    std::string handsetProxy;
    int handsetPort = 8080;
    static CTavloPostHosts& Get();
};

// Where and how a board is posted to.
struct CTavloPostRoute {
    int Row = 8;                 // 1..8, the first row whose hosts match
    int Family = TAVLO_POST_2CH; // TavloPostFamily
    bool Success302 = false;     // status 302 means posted
    bool PageFromEuc = false;    // the answer page is EUC-JP (Livedoor, be-board host)
    CVornString ServerBase;      // "http://host"
    CVornString PostUrl;         // server base + posting path
    CVornString Board;           // "bbs"
    CVornString Dir;             // "DIR" (Livedoor)

    static CTavloPostRoute For(const CVornString& boardUrl);
};

// A text of the form: converted for the host (EUC-JP for Livedoor) and URL-encoded.
CVornString TavloPostEncode(const CVornString& sjis, bool euc);

// Fills the form in the family's order. key is empty for a new thread, whose title (already
// encoded) is subject. sid (encoded) is sent by the 2ch family only when not empty. All
// values are encoded already.
struct CTavloPostForm {
    CVornString Board, Dir, Time, Name, Mail, Body, Key, Subject, Sid;
};
void TavloBuildPostForm(CVornHttpClient& http, int family, const CTavloPostForm& form);

// Judges an answer page (Shift_JIS, or EUC-JP when fromEuc; converted in place): -603 when
// the board asks for confirmation, -602 with the error text for an error page, 0 otherwise.
int TavloClassifyPostPage(CVornString& page, bool fromEuc, CVornString* error);

// What a confirmation page asks for: the cookies of the answer ("a=1; b=2", empty when none),
// the hidden fields (encoded values), the time to send, and the submit button.
struct CTavloConfirmation {
    CVornString Cookie;
    std::vector<std::pair<CVornString, CVornString>> Hidden;
    CVornString Time;
    CVornString SubmitName, SubmitValue;
};
CTavloConfirmation TavloParseConfirmation(const std::vector<CVornString>& setCookies,
                                          const CVornString& page, int64_t now);
// Applies it to the client's cookies and form: every field it names moves to the end.
void TavloApplyConfirmation(CVornHttpClient& http, const CTavloConfirmation& c);

// Seconds since 1970 UTC three days ago: the time value of a fresh form.
int64_t TavloPostTime(int64_t now);

// One post as the editor hands it over; texts in Shift_JIS.
struct CTavloPostRequest {
    CVornString BoardUrl;
    CVornString Key; // empty for a new thread
    CVornString Title;
    CVornString Name, Mail, Body;
    int Handset = 0;
};

// The viewer login that an error page may offer to retry after: fills the new session and
// returns true on success. Without one installed, the viewer kind's login
// (CTavloBbsDoLib::Relogin) is used.
using TavloViewerLogin = std::function<bool(CVornString* sid)>;
void TavloSetViewerLogin(TavloViewerLogin login);

// The posting procedure: sends one post (with the confirmation rounds) and judges the answer.
// Runs on the window thread; the socket callback keeps the windows alive and the stop request
// ends the transfer.
class CTavloPoster {
public:
    struct Hooks {
        CTavloWindow* window = nullptr;
        TavloStopRequest stop;
        // Shows a message (UTF-8) with message-box flags; returns the answer.
        std::function<int(const std::string& text, int flags)> message;
        // Another transfer that must end before posting over another connection.
        std::function<bool()> otherTransfer;
    };
    explicit CTavloPoster(Hooks hooks);

    // Result code: 0 posted, -100, -101, -102, -600, -602 (already shown), -1 stopped.
    int Submit(const CTavloPostRequest& request);
    // The last answer page (Shift_JIS).
    const CVornString& GetPage() const { return m_page; }
    // Confirmation rounds answered by the last Submit.
    int GetRounds() const { return m_rounds; }

    // One post at a time in the whole program.
    static bool InProgress();

    // Largest answer page read; a longer one fails as unreadable.
    static constexpr size_t kMaxPage = 4 * 1024 * 1024;

private:
    int submitOnce(const CTavloPostRequest& request, bool* retry);
    int checkHtml(CVornHttpClient& http, CVornString* error, bool fromEuc);
    int show(const std::string& text, int flags);
    bool stopRequested() const { return m_hooks.stop && m_hooks.stop(); }
    static int socketCallback(struct CVornSocketMessage& message, void* user);

    Hooks m_hooks;
    CVornString m_page;
    int m_rounds = 0;
    bool m_canceled = false;
};
