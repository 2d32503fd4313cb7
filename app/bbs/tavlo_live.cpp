#include "tavlo_live.h"

#include "tavlo_cookie_file.h"
#include "tavlo_domains.h"
#include "tavlo_kind_text.h"
#include "vorn_http_client.h"

#include <cctype>
#include <ctime>

namespace TavloLive {

namespace {

bool within(std::string_view host, const std::vector<std::string>& domains) {
    for (const std::string& d : domains) {
        if (d.empty())
            continue;
        if (host == d)
            return true;
        if (host.size() > d.size() && host.ends_with(d) && host[host.size() - d.size() - 1] == '.')
            return true;
    }
    return false;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int64_t now() {
    return static_cast<int64_t>(std::time(nullptr));
}

} // namespace

CVornString CertificateError(const std::string& host, const std::string& reason) {
    return CVornString(TavloKindText::Sjis("証明書を検証できません: ") + host + " (" + reason +
                       ")");
}

bool IsHost(std::string_view host) {
    const CTavloDomains& d = CTavloDomains::Get();
    std::string h = lower(host);
    for (const std::string& e : d.currentExcept)
        if (h == e)
            return false;
    return within(h, d.current);
}

bool IsMachiHost(std::string_view host) {
    std::string h = lower(host);
    const CTavloDomains& d = CTavloDomains::Get();
    return within(h, d.current) && within(h, d.machi);
}

std::string HostOf(std::string_view url) {
    size_t start;
    if (url.substr(0, 7) == "http://")
        start = 7;
    else if (url.substr(0, 8) == "https://")
        start = 8;
    else
        return std::string();
    size_t end = url.find_first_of(":/?#", start);
    return lower(url.substr(start, end == std::string_view::npos ? end : end - start));
}

bool IsUrl(std::string_view url) {
    std::string host = HostOf(url);
    return !host.empty() && IsHost(host);
}

CVornString StoreUrl(const CVornString& url) {
    if (url.StartsWith("https://") && IsUrl(url.view()))
        return CVornString("http://") + CVornString(url.view().substr(8));
    return url;
}

CVornString WireUrl(const CVornString& url) {
    if (url.StartsWith("http://") && IsUrl(url.view()))
        return CVornString("https://") + CVornString(url.view().substr(7));
    return url;
}

void Secure(CVornHttpClient& http) {
    // Plain HTTP is never tried for these hosts: a failed handshake is the answer.
    if (IsHost(http.GetHost().view()) && !http.GetSsl()) {
        http.SetSsl(1);
        if (http.GetPort() == 80)
            http.SetPort(443);
    }
}

void PrepareRequest(CVornHttpClient& http) {
    if (!IsHost(http.GetHost().view()))
        return;
    Secure(http);
    std::string cookie = CookieHeader(http);
    if (!cookie.empty())
        http.AddRequestHeader("Cookie", cookie.c_str());
}

std::string CookieHeader(CVornHttpClient& http) {
    if (!IsHost(http.GetHost().view()))
        return std::string();
    return CTavloCookieFile::Instance().HeaderFor(http.GetHost().str(), http.GetPath().str(),
                                                  http.GetSsl() == 1, now());
}

void TakeCookies(CVornHttpClient& http) {
    if (!IsHost(http.GetHost().view()))
        return;
    CTavloCookieFile& jar = CTavloCookieFile::Instance();
    for (int i = 0; i < 64; ++i) {
        CVornString c = http.GetResponseHeader("Set-Cookie", i);
        if (c.IsEmpty())
            break;
        jar.Take(http.GetHost().str(), http.GetPath().str(), c.str(), now());
    }
}

int64_t PostTime(int64_t now) {
    return now - 30;
}

CVornString PostReferer(const CVornString& boardUrl, const CVornString& board,
                        const CVornString& key) {
    CVornString wire = WireUrl(boardUrl);
    if (key.IsEmpty())
        return wire;
    std::string host = HostOf(wire.view());
    CVornString url;
    url.Format("https://%s/test/read.cgi/%s/%s/", host.c_str(), board.c_str(), key.c_str());
    return url;
}

void PostCookies(CVornHttpClient& http, const CVornString& pairs) {
    std::string cookie = pairs.str();
    std::string jar = CookieHeader(http);
    if (!jar.empty())
        cookie += (cookie.empty() ? "" : "; ") + jar;
    http.ClearCookie();
    if (!cookie.empty())
        http.SetCookie(cookie.c_str());
}

int ClassifyPostPage(const CVornString& page, int result, CVornString* error) {
    static const std::string confirm = TavloKindText::Sjis("書き込み確認");
    static const std::string generic = TavloKindText::Sjis("書き込めませんでした");
    const std::string& p = page.str();
    if (result == 0) {
        size_t title = p.find("<title>");
        size_t close = title == std::string::npos ? title : p.find("</title>", title);
        size_t mark = title == std::string::npos ? title : p.find(confirm, title);
        if (close != std::string::npos && mark < close && p.find("<form") != std::string::npos)
            return -603;
        return 0;
    }
    if (result != -602 || !error || error->str() != generic)
        return result;
    // The refusal as it comes: the text from "ERROR" to the end of its line or element.
    size_t at = p.find("ERROR");
    if (at == std::string::npos)
        return result;
    size_t end = p.find_first_of("<\r\n", at);
    std::string text = p.substr(at, end == std::string::npos ? end : end - at);
    if (!text.empty())
        *error = CVornString(text);
    return result;
}

} // namespace TavloLive
