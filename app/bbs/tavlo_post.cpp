#include "tavlo_post.h"
#include "tavlo_bbs_dolib.h"
#include "tavlo_errors.h"

#include "tavlo_domains.h"
#include "tavlo_live.h"
#include "tavlo_net_hooks.h"
#include "tavlo_settings.h"
#include "tavlo_vent.h"
#include "vorn_http_client.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_regex.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>

namespace {

constexpr int kBlock = 16383;
constexpr int kMaxRounds = 10;
constexpr int kConnectTimeout = 30;
// "書き込む" in Shift_JIS.
const char kSubmitSjis[] = "\x8f\x91\x82\xab\x8d\x9e\x82\xde";

std::atomic<bool> g_inProgress{false};
std::mutex g_loginMutex;
TavloViewerLogin g_login;

// Without an installed login the viewer kind's own one is used; it writes DoLibSid itself.
bool viewerRelogin(CVornString* sid) {
    if (CTavloBbsDoLib::Relogin() != 0)
        return false;
    *sid = CTavloSettings::Instance().DoLibSid;
    return true;
}

bool hostIs(const std::string& host, const std::vector<std::string>& names, bool subdomains) {
    for (const std::string& n : names) {
        if (n.empty())
            continue;
        if (host == n)
            return true;
        if (subdomains && host.size() > n.size() && host.ends_with(n) &&
            host[host.size() - n.size() - 1] == '.')
            return true;
    }
    return false;
}

// Path elements of a board URL's path ("/a/b/" -> a, b).
std::vector<std::string> pathElements(const std::string& path) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        if (j > i)
            out.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

std::string utf8(const CVornString& sjis) {
    return VornSjisToUtf8(sjis.view());
}

// The first group of pattern in page, or empty.
CVornString firstGroup(const char* patternUtf8, const CVornString& page) {
    CVornRegex re;
    if (!re.Compile(CVornString(VornUtf8ToSjis(patternUtf8))))
        return {};
    if (re.Match(page) < 0)
        return {};
    return re.GetGroup(1);
}

// Bytes that are not Shift_JIS.
size_t invalidSjis(const CVornString& page) {
    std::u16string scratch;
    return VornAppendSjisToUtf16(page.view(), scratch);
}

bool validUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || i + static_cast<size_t>(n) >= s.size() + (n == 0 ? 1 : 0))
            return false;
        for (int k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) >> 6) != 2)
                return false;
        i += static_cast<size_t>(n) + 1;
    }
    return true;
}

} // namespace

CTavloPostHosts& CTavloPostHosts::Get() {
    static CTavloPostHosts h{
        {"football-a.example-live.test"},
        {"football-b.example-live.test"},
        {"radio.example-live.test"},
        {"chat1.example-live.test", "chat2.example-live.test"},
        {"live1.example-live.test", "live2.example-live.test"},
        "10.1.1.1",
        8080,
    };
    return h;
}

CTavloPostRoute CTavloPostRoute::For(const CVornString& boardUrl) {
    CTavloPostRoute r;
    const std::string& url = boardUrl.str();
    size_t scheme = url.find("//");
    size_t hostStart = scheme == std::string::npos ? 0 : scheme + 2;
    size_t slash = url.find('/', hostStart);
    if (slash == std::string::npos)
        slash = url.size();
    r.ServerBase = CVornString(url.substr(0, slash));
    std::string host = url.substr(hostStart, slash - hostStart);
    if (size_t colon = host.find(':'); colon != std::string::npos)
        host.resize(colon);
    std::vector<std::string> elements = pathElements(url.substr(slash));

    const CTavloDomains& d = CTavloDomains::Get();
    const CTavloPostHosts& h = CTavloPostHosts::Get();
    const char* path = "/test/bbs.cgi";
    size_t skip = 0;
    if (hostIs(host, d.machi, true)) {
        r.Row = 1, r.Family = TAVLO_POST_MACHI, r.Success302 = true, path = "/bbs/write.cgi";
    } else if (hostIs(host, d.jbbs, false)) {
        r.Row = 2, r.Family = TAVLO_POST_LIVEDOOR, r.Success302 = true, path = "/bbs/write.cgi";
        skip = 1;
        r.PageFromEuc = true;
    } else if (hostIs(host, h.footballA, false)) {
        r.Row = 3, r.Family = TAVLO_POST_FOOTBALL, r.Success302 = true;
        path = "/cgi-bin/12ch/test/bbs.cgi", skip = 2;
    } else if (hostIs(host, h.footballB, false)) {
        r.Row = 4, r.Family = TAVLO_POST_FOOTBALL, r.Success302 = true;
        path = "/12ch/test/bbs.cgi", skip = 1;
    } else if (hostIs(host, h.radio, false)) {
        r.Row = 5, path = "/cgi-bin/test/bbs.cgi", skip = 1;
    } else if (hostIs(host, h.chat, false)) {
        r.Row = 6, path = "/cgi-bin/test/bbs.cgi", skip = 1;
    } else if (hostIs(host, h.live, false)) {
        r.Row = 7, r.Success302 = true, path = "/cgi-bin/test/bbs.cgi", skip = 1;
    }
    if (hostIs(host, d.beHost, false))
        r.PageFromEuc = true;
    r.PostUrl = r.ServerBase + path;
    if (r.Family == TAVLO_POST_LIVEDOOR && !elements.empty())
        r.Dir = CVornString(elements[0]);
    // The board id: what is left of the path, or its only element.
    std::string board;
    if (elements.size() <= 1) {
        board = elements.empty() ? "" : elements[0];
    } else {
        for (size_t i = std::min(skip, elements.size() - 1); i < elements.size(); ++i) {
            if (!board.empty())
                board += '/';
            board += elements[i];
        }
    }
    r.Board = CVornString(board);
    return r;
}

CVornString TavloPostEncode(const CVornString& sjis, bool euc) {
    CVornString s = sjis;
    if (euc)
        s.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    s.UrlEncode();
    return s;
}

int64_t TavloPostTime(int64_t now) {
    return now - 259200;
}

void TavloBuildPostForm(CVornHttpClient& http, int family, const CTavloPostForm& f) {
    const bool reply = !f.Key.IsEmpty();
    switch (family) {
    case TAVLO_POST_MACHI:
    case TAVLO_POST_LIVEDOOR:
        if (family == TAVLO_POST_LIVEDOOR)
            http.SetParameter("DIR", f.Dir.c_str());
        http.SetParameter("BBS", f.Board.c_str());
        if (reply)
            http.SetParameter("KEY", f.Key.c_str());
        else
            http.SetParameter("SUBJECT", f.Subject.c_str());
        http.SetParameter("TIME", f.Time.c_str());
        http.SetParameter("NAME", f.Name.c_str());
        http.SetParameter("MAIL", f.Mail.c_str());
        http.SetParameter("MESSAGE", f.Body.c_str());
        break;
    case TAVLO_POST_FOOTBALL:
        http.SetParameter("submit", CVornString(kSubmitSjis).UrlEncode().c_str());
        http.SetParameter("bbs", f.Board.c_str());
        if (reply)
            http.SetParameter("key", f.Key.c_str());
        else
            http.SetParameter("subject", f.Subject.c_str());
        http.SetParameter("time", f.Time.c_str());
        http.SetParameter("FROM", f.Name.c_str());
        http.SetParameter("mail", f.Mail.c_str());
        http.SetParameter("MESSAGE", f.Body.c_str());
        break;
    default:
        http.SetParameter("submit", CVornString(kSubmitSjis).UrlEncode().c_str());
        http.SetParameter("FROM", f.Name.c_str());
        http.SetParameter("mail", f.Mail.c_str());
        http.SetParameter("MESSAGE", f.Body.c_str());
        http.SetParameter("bbs", f.Board.c_str());
        if (!reply)
            http.SetParameter("subject", f.Subject.c_str());
        http.SetParameter("time", f.Time.c_str());
        if (reply)
            http.SetParameter("key", f.Key.c_str());
        if (!f.Sid.IsEmpty())
            http.SetParameter("sid", f.Sid.c_str());
        break;
    }
}

int TavloClassifyPostPage(CVornString& page, bool fromEuc, CVornString* error) {
    if (page.Find("<!-- 2ch_X:cookie -->") >= 0)
        return -603;
    if (fromEuc) {
        page.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
    } else if (invalidSjis(page) > 0 && validUtf8(page.str())) {
        // A board that answers in UTF-8: its message stays readable.
        page = CVornString(VornUtf8ToSjis(page.view()));
    }
    if (page.Find("<!-- 2ch_X:error -->") < 0 && page.Find("<title>Error</title>") < 0 &&
        page.Find(VornUtf8ToSjis("<title>ＥＲＲＯＲ！</title>").c_str()) < 0)
        return 0;
    CVornString text = firstGroup("<b>([^<]+)", page);
    if (text.IsEmpty())
        text = firstGroup("<font color=red>([^<]+)", page);
    if (text.IsEmpty())
        text = CVornString(VornUtf8ToSjis("書き込めませんでした"));
    if (error)
        *error = text;
    return -602;
}

CTavloConfirmation TavloParseConfirmation(const std::vector<CVornString>& setCookies,
                                          const CVornString& page, int64_t now) {
    CTavloConfirmation c;
    CVornRegex piece;
    piece.Compile("(.+?);");
    for (const CVornString& h : setCookies) {
        if (piece.Match(h) < 0)
            continue;
        if (!c.Cookie.IsEmpty())
            c.Cookie += "; ";
        c.Cookie += piece.GetGroup(1);
    }
    CVornRegex hidden;
    hidden.Compile(
        "input type=[\"]*hidden[\"]* name=[\"]*([^\" ]+)[\"]* value=[\"]*([^\">]*)[\"]*");
    for (int at = 0; at <= page.GetLength();) {
        int m = hidden.Match(page, at);
        if (m < 0)
            break;
        CVornString value = hidden.GetGroup(2);
        value.HtmlDecode();
        value.UrlEncode();
        c.Hidden.emplace_back(hidden.GetGroup(1), value);
        at = std::max(hidden.GetEnd(0), m + 1);
    }
    CVornString t = firstGroup("[Nn][Aa][Mm][Ee]=time[ ]+[Vv][Aa][Ll][Uu][Ee]=([0-9]+)", page);
    int64_t time = t.IsEmpty() ? TavloPostTime(now) : std::strtoll(t.c_str(), nullptr, 10) - 15;
    c.Time = CVornString(std::to_string(time));
    CVornRegex submit;
    submit.Compile("input type=submit value=\"([^\"]+)\" name=\"([^\"]+)\"");
    if (submit.Match(page) >= 0 && !submit.GetGroup(2).IsEmpty()) {
        c.SubmitName = submit.GetGroup(2);
        c.SubmitValue = submit.GetGroup(1);
        c.SubmitValue.UrlEncode();
    }
    return c;
}

void TavloApplyConfirmation(CVornHttpClient& http, const CTavloConfirmation& c) {
    if (!c.Cookie.IsEmpty()) {
        http.ClearCookie();
        http.SetCookie(c.Cookie.c_str());
    }
    for (const auto& [name, value] : c.Hidden) {
        http.RemoveParameter(name.c_str());
        http.SetParameter(name.c_str(), value.c_str());
    }
    http.RemoveParameter("time");
    http.SetParameter("time", c.Time.c_str());
    if (!c.SubmitName.IsEmpty()) {
        http.RemoveParameter(c.SubmitName.c_str());
        http.SetParameter(c.SubmitName.c_str(), c.SubmitValue.c_str());
    }
}

void TavloSetViewerLogin(TavloViewerLogin login) {
    std::lock_guard<std::mutex> lock(g_loginMutex);
    g_login = std::move(login);
}

CTavloPoster::CTavloPoster(Hooks hooks) : m_hooks(std::move(hooks)) {}

bool CTavloPoster::InProgress() {
    return g_inProgress.load();
}

int CTavloPoster::show(const std::string& text, int flags) {
    return m_hooks.message ? m_hooks.message(text, flags) : 0;
}

int CTavloPoster::socketCallback(CVornSocketMessage& message, void* user) {
    auto* self = static_cast<CTavloPoster*>(user);
    if (VORN_SOCKET_CALLBACK proc = TavloGetSocketCallback())
        proc(message, self->m_hooks.window);
    // Checked after the program's callback: a Cancel clicked while it pumped counts now.
    if (message.result != 1 && self->stopRequested())
        message.result = 1;
    if (message.result == 1)
        self->m_canceled = true;
    return 0;
}

int CTavloPoster::Submit(const CTavloPostRequest& request) {
    CTavloPostRequest r = request;
    m_rounds = 0;
    for (int attempt = 0;; ++attempt) {
        bool retry = false;
        int result = submitOnce(r, &retry);
        // A successful viewer login posts once more in normal mode.
        if (!retry || attempt > 0)
            return result;
        r.Handset = 0;
    }
}

int CTavloPoster::submitOnce(const CTavloPostRequest& request, bool* retry) {
    // 1. One post at a time.
    bool expected = false;
    if (!g_inProgress.compare_exchange_strong(expected, true))
        return 0;
    struct Clear {
        ~Clear() { g_inProgress = false; }
    } clear;
    CTavloSettings& s = CTavloSettings::Instance();
    // 2. Another connection cannot be used while a transfer runs on this one.
    if (s.WriteChange == 1 && s.Connection != s.WriteConnection && m_hooks.otherTransfer &&
        m_hooks.otherTransfer()) {
        show("通信処理が終了するまで書き込めません", 0x30);
        return -602;
    }
    // 6. (early) an empty body goes nowhere.
    if (request.Body.IsEmpty())
        return -600;
    // 4.
    const CTavloPostRoute route = CTavloPostRoute::For(request.BoardUrl);
    CTavloVentPause vent(s.VentControl == 1);
    const bool handset = request.Handset == 1;
    const bool euc = route.Family == TAVLO_POST_LIVEDOOR;
    // bbs.cgi of a current host speaks today's protocol; every other row stays classic.
    const bool current =
        route.Family == TAVLO_POST_2CH && !handset && TavloLive::IsUrl(route.PostUrl.view());
    // write.cgi of a current Machi or JBBS host keeps its classic form, over TLS only.
    const bool secureWrite = (route.Family == TAVLO_POST_MACHI || euc) && !handset &&
                             TavloLive::IsUrl(route.PostUrl.view());

    // 5.
    auto http = std::make_unique<CVornHttpClient>();
    m_canceled = false;
    m_page.Empty();
    http->SetUrl(route.PostUrl.c_str());
    http->SetCallbackProc(&CTavloPoster::socketCallback, this);
    http->SetReferer(request.BoardUrl.c_str());
    if (current) {
        TavloLive::Secure(*http);
        http->SetReferer(
            TavloLive::PostReferer(request.BoardUrl, route.Board, request.Key).c_str());
    }
    if (secureWrite) {
        TavloLive::Secure(*http);
        http->SetReferer(TavloLive::WireUrl(request.BoardUrl).c_str());
        TavloLive::PostCookies(*http, CVornString());
    }
    http->AddRequestHeader("Content-Type", "application/x-www-form-urlencoded");
    http->SetGzipEncoding(0);

    // 6., 7.
    CTavloPostForm form;
    CVornString nameMail;
    form.Board = route.Board;
    form.Dir = route.Dir;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    form.Time =
        CVornString(std::to_string(current ? TavloLive::PostTime(now) : TavloPostTime(now)));
    form.Name = TavloPostEncode(request.Name, euc);
    form.Mail = TavloPostEncode(request.Mail, euc);
    form.Body = TavloPostEncode(request.Body, euc);
    form.Key = request.Key;
    form.Subject = TavloPostEncode(request.Title, euc);
    if (!s.DoLibId.IsEmpty() && !s.DoLibPass.IsEmpty() && !s.DoLibSid.IsEmpty() && !handset)
        form.Sid = CVornString(s.DoLibSid).UrlEncode();
    TavloBuildPostForm(*http, route.Family, form);
    if (route.Family == TAVLO_POST_2CH) {
        CVornString cookie;
        cookie.Format("NAME=%s; MAIL=%s", form.Name.c_str(), form.Mail.c_str());
        nameMail = cookie;
        if (current)
            TavloLive::PostCookies(*http, cookie);
        else
            http->SetCookie(cookie.c_str());
    }

    // 8.
    if (handset) {
        const CTavloPostHosts& h = CTavloPostHosts::Get();
        http->SetProxy(h.handsetProxy.c_str(), static_cast<unsigned short>(h.handsetPort));
        http->SetProxyAuth("", "");
        http->SetUserAgent(
            "Mozilla/4.0 (compatible; MSIE 6.0; Windows CE; IEMobile 6.12) Toshiba/X01T");
        http->AddRequestHeader("Accept", "*/*");
        http->AddRequestHeader("Accept-Language", "ja");
        http->AddRequestHeader("UA_OS", "Windows CE (Pocket PC) - Version 5.2");
        http->AddRequestHeader("UA-color", "color16");
        http->AddRequestHeader("UA-Voice", "TRUE");
        http->AddRequestHeader("UA-pixels", "480x800");
        http->AddRequestHeader("UA-CPU", "ARM");
        http->AddRequestHeader("Pragma", "no-cache");
        http->RemoveParameter("sid");
    } else {
        const bool w = s.WriteChange == 1;
        if ((w ? s.WriteProxyUse : s.ProxyUse) == 1) {
            http->SetProxy((w ? s.WriteProxyHost : s.ProxyHost).c_str(),
                           static_cast<unsigned short>(w ? s.WriteProxyPort : s.ProxyPort));
            http->SetProxyAuth((w ? s.WriteProxyId : s.ProxyId).c_str(),
                               (w ? s.WriteProxyPass : s.ProxyPass).c_str());
        } else {
            http->SetProxy("", 0);
        }
        http->SetUserAgent((w ? s.WriteUserAgent : s.UserAgent).c_str());
        http->AddRequestHeader("MIME-Version", "1.0");
    }

    // 9.
    auto send = [&]() -> int {
        if (!http->Connect(kConnectTimeout))
            return m_canceled ? -1 : -100;
        if (!http->Post())
            return m_canceled ? -1 : -101;
        TavloLive::TakeCookies(*http);
        return 0;
    };
    if (int r = send(); r != 0)
        return r;

    CVornString error;
    // 10.
    if (route.Success302) {
        if (http->GetResultCode() == 302)
            return 0;
        int r = checkHtml(*http, &error, route.PageFromEuc);
        if (r == -1 || r == -102)
            return r;
        if (r != 0) {
            if (!error.IsEmpty())
                show(utf8(error), 0x10);
            return -602;
        }
        return 0;
    }
    // 11.
    for (int count = 0;;) {
        int status = http->GetResultCode();
        if (status < 200 || status > 299)
            return -101;
        int r = checkHtml(*http, &error, route.PageFromEuc);
        if (current)
            r = TavloLive::ClassifyPostPage(m_page, r, &error);
        if (r == -603) {
            if (!current)
                http->SetReferer(route.PostUrl.c_str());
            std::vector<CVornString> cookies;
            for (int i = 0;; ++i) {
                CVornString c = http->GetResponseHeader("Set-Cookie", i);
                if (c.IsEmpty())
                    break;
                cookies.push_back(c);
            }
            TavloApplyConfirmation(
                *http,
                TavloParseConfirmation(cookies, m_page, static_cast<int64_t>(std::time(nullptr))));
            if (current) {
                // The jar holds what the page set (the ticket); the time is ours, not the page's.
                TavloLive::PostCookies(*http, nameMail);
                http->RemoveParameter("time");
                http->SetParameter(
                    "time",
                    std::to_string(TavloLive::PostTime(static_cast<int64_t>(std::time(nullptr))))
                        .c_str());
            }
            ++m_rounds;
            if (++count >= kMaxRounds) {
                show("書き込めませんでした", 0x10);
                return -602;
            }
            http->Close();
            if (int e = send(); e != 0)
                return e;
            continue;
        }
        if (r == -602) {
            if (handset) {
                show(utf8(error), 0x10);
                return -602;
            }
            if (!s.DoLibId.IsEmpty() && !s.DoLibPass.IsEmpty()) {
                if (show(utf8(error) + "\n●ログイン後リトライしますか？", 0x24) != 6)
                    return -602;
                TavloViewerLogin login;
                {
                    std::lock_guard<std::mutex> lock(g_loginMutex);
                    login = g_login ? g_login : TavloViewerLogin(viewerRelogin);
                }
                CVornString sid;
                if (login && login(&sid)) {
                    s.SetDoLibSid(sid);
                    *retry = true;
                    return -602;
                }
                show("●認証エラー", 0x10);
                return -602;
            }
            show(utf8(error), 0x10);
            return -602;
        }
        return r;
    }
}

int CTavloPoster::checkHtml(CVornHttpClient& http, CVornString* error, bool fromEuc) {
    m_page.Empty();
    std::unique_ptr<char[]> buf(new char[kBlock + 1]);
    for (;;) {
        int n = http.Recv(buf.get(), kBlock);
        if (n == 0 && !m_canceled && http.GetWaitState() == CVornAsyncSocket::WAIT_OK)
            break;
        if (n <= 0) {
            if (m_canceled || stopRequested() ||
                http.GetWaitState() == CVornAsyncSocket::WAIT_CANCELED)
                return -1;
            return -102;
        }
        if (m_page.size() + static_cast<size_t>(n) > kMaxPage) {
            VLOG(0, "CTavloMessageDialog::checkHtml", "answer too large[%zu]", m_page.size());
            return -102;
        }
        m_page.Append(buf.get(), static_cast<size_t>(n));
    }
    VLOG(2, "CTavloMessageDialog::checkHtml", "DONE: [%s]", m_page.c_str());
    return TavloClassifyPostPage(m_page, fromEuc, error);
}
