#include "tavlo_bbs_dolib.h"

#include "tavlo_dat_file.h"
#include "tavlo_domains.h"
#include "tavlo_kind_text.h"
#include "tavlo_message.h"
#include "tavlo_net_hooks.h"
#include "tavlo_settings.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <memory>
#include <mutex>

namespace {

// Logins and DoLibSid are shared by every fetch worker: one at a time.
std::mutex& sessionMutex() {
    static std::mutex m;
    return m;
}

const char kAgentSuffix[] = " (tavlo/0.0.15)";

} // namespace

CTavloBbsDoLib::CTavloBbsDoLib(CTavloWindow* window, const CVornString& boardUrl,
                               const CVornString& key)
    : CTavloBbs(window, boardUrl, key), m_backup(m_datPath) {}

bool CTavloBbsDoLib::IsTarget() {
    CTavloSettings& s = CTavloSettings::Instance();
    if (s.DoLibId.IsEmpty() || s.DoLibPass.IsEmpty())
        return false;
    return CTavloBbs::IsTarget();
}

bool CTavloBbsDoLib::SplitSession(const CVornString& session, CVornString* agent) {
    int colon = session.Find(":");
    if (colon < 0)
        return false;
    CVornString a = session.Left(colon);
    if (a == "ERROR")
        return false;
    if (agent)
        *agent = a;
    return true;
}

int CTavloBbsDoLib::Login(const CVornString& id, const CVornString& password, CVornString& session,
                          CTavloWindow* window) {
    CVornTime timer;
    CVornString url;
    url.Format("https://%s/futen.cgi", CTavloDomains::Get().viewerLoginHost.c_str());
    auto http = std::make_unique<CVornHttpClient>(url.c_str());
    CTavloSettings& s = CTavloSettings::Instance();
    if (s.ProxyUse == 1) {
        http->SetProxy(s.ProxyHost.c_str(), static_cast<unsigned short>(s.ProxyPort));
        http->SetProxyAuth(s.ProxyId.c_str(), s.ProxyPass.c_str());
    }
    if (window && TavloGetSocketCallback())
        http->SetCallbackProc(TavloGetSocketCallback(), window);
    http->SetUserAgent("DOLIB/1.00");
    http->AddRequestHeader("X-2ch-UA", "tavlo/0.0.15");
    http->SetParameter("ID", id.c_str());
    http->SetParameter("PW", password.c_str());
    if (!http->Connect(10) || !http->Post()) {
        VLOG(0, "CTavloBbsDoLib::Login", "no answer from [%s]", url.c_str());
        http->Close();
        return 0;
    }
    std::string body;
    char buf[256];
    for (int n; (n = http->Recv(buf, 255)) > 0;) {
        body.append(buf, static_cast<size_t>(n));
        if (body.size() > 65536)
            break; // an answer of one line: anything this long is not one
    }
    http->Close();
    size_t eq = body.find('=');
    if (eq == std::string::npos) {
        VLOG(0, "CTavloBbsDoLib::Login", "answer without a value");
        return 0;
    }
    std::string value = body.substr(eq + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n'))
        value.pop_back();
    if (!SplitSession(CVornString(value), nullptr)) {
        VLOG(0, "CTavloBbsDoLib::Login", "refused: %s", value.c_str());
        return 0;
    }
    session = CVornString(value);
    VLOG(1, "CTavloBbsDoLib::Login", "ok %d(msec)", timer.Elapsed());
    return 1;
}

int CTavloBbsDoLib::Relogin(CTavloWindow* window) {
    CTavloSettings& s = CTavloSettings::Instance();
    CVornString id, pass;
    {
        std::lock_guard<std::mutex> lock(sessionMutex());
        id = s.DoLibId;
        pass = s.DoLibPass;
    }
    CVornString session;
    if (!Login(id, pass, session, window))
        return -901;
    std::lock_guard<std::mutex> lock(sessionMutex());
    if (!(session == s.DoLibSid))
        s.SetDoLibSid(session); // written to the settings file at once
    return 0;
}

int CTavloBbsDoLib::GetSession(CVornString& session, CTavloWindow* window) {
    {
        std::lock_guard<std::mutex> lock(sessionMutex());
        session = CTavloSettings::Instance().DoLibSid;
    }
    if (session.IsEmpty()) {
        if (Relogin(window) != 0)
            return -901;
        std::lock_guard<std::mutex> lock(sessionMutex());
        session = CTavloSettings::Instance().DoLibSid;
    }
    return 0;
}

CVornString CTavloBbsDoLib::GetDatUrl() {
    CVornString url;
    const std::string& u = m_boardUrl.str();
    if (!u.starts_with("http://"))
        return url;
    size_t h = u.find('/', 7);
    if (h == std::string::npos || h == 7)
        return url;
    size_t b = u.find('/', h + 1);
    if (b == std::string::npos || b == h + 1)
        return url;
    url.Format("http://%s/test/offlaw.cgi/%s/%s/", u.substr(7, h - 7).c_str(),
               u.substr(h + 1, b - h - 1).c_str(), m_key.c_str());
    return url;
}

int CTavloBbsDoLib::Initialize() {
    m_firstLine.Empty();
    m_firstHandled = 0;
    return 0;
}

int CTavloBbsDoLib::PrepareRequest() {
    CVornString session;
    if (GetSession(session, m_window) != 0) {
        m_loginFailed = 1; // just tried: no second login in this fetch
        return -901;
    }
    CVornString agent;
    if (!SplitSession(session, &agent))
        return -901;
    m_http->SetUserAgent((agent + kAgentSuffix).c_str());
    m_http->ClearParameter();
    m_http->SetParameter("raw", "0.0");
    CVornString sid = session;
    m_http->SetParameter("sid", sid.UrlEncode().c_str());
    int64_t size = 0, time = 0;
    if (!m_backup.IsHeld() && CTavloDatFile::GetStatus(m_datPath, &size, &time) && size > 0) {
        m_http->AddRequestHeader("If-Modified-Since", TavloIfModifiedSince(time).c_str());
        m_backup.Keep();
    } else {
        // A repeated run: what the refused one left goes, the kept log stays kept.
        m_backup.Keep();
    }
    return 0;
}

int CTavloBbsDoLib::WriteFileConvert(CVornString& text) {
    if (m_firstHandled)
        return CTavloBbs::WriteFileConvert(text);
    int lf = text.Find("\n");
    m_firstLine = text.Left(lf);
    if (m_firstLine.EndsWith("\r"))
        m_firstLine = m_firstLine.Left(m_firstLine.GetLength() - 1);
    if (m_firstLine.StartsWith("-ERR")) {
        m_errorText = m_firstLine;
        text.Empty();
        VLOG(2, "CTavloBbsDoLib::WriteFileConvert", "%s", m_firstLine.c_str());
        return -901;
    }
    // Anything but "+OK" (a proxy's page, a login form) is not a log.
    if (!m_firstLine.StartsWith("+OK"))
        return -202;
    m_firstHandled = 1;
    text = text.Mid(lf + 1);
    return text.IsEmpty() ? 0 : CTavloBbs::WriteFileConvert(text);
}

int CTavloBbsDoLib::Finalize(int result) {
    static const CVornString noThread(TavloKindText::Sjis("-ERR そんな板orスレッドないです。"));
    if (m_relogged || m_loginFailed || result != -901 || m_firstLine == noThread) {
        bool keepNew =
            result == 0 && m_status != 304 && IsComplete() && CTavloDatFile::Count(m_datPath) > 0;
        if (m_backup.IsHeld()) {
            if (keepNew) {
                m_backup.Drop();
            } else {
                m_backup.Restore();
                send(new CTavloReloadFileMessage(m_key, m_boardUrl, m_datPath));
                // Cut short: the old log is back, which is no success.
                if (result == 0 && m_status != 304)
                    result = m_canceled ? -1 : -102;
            }
        }
        return result;
    }
    // The session was refused: one new login, then the whole fetch once more.
    if (Relogin(m_window) != 0) {
        if (m_backup.Restore())
            send(new CTavloReloadFileMessage(m_key, m_boardUrl, m_datPath));
        return -901;
    }
    m_relogged = 1;
    m_errorText.Empty();
    return -900;
}
