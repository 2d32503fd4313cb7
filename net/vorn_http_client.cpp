#include "vorn_http_client.h"

#include "vorn_http_text.h"

#include "vorn_log.h"
#include "vorn_net_internal.h"
#include "vorn_thread.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using vornhttp::kReadAhead;
using vornhttp::lower;
using vornhttp::trim;

constexpr const char* kDefaultAgent = "vornnet/1.0";
constexpr size_t kMaxProxyReply = 64 * 1024;
constexpr int kMaxInterimResponses = 16;

bool clean(const char* s) {
    return s && !strpbrk(s, "\r\n");
}

// Control characters and blanks would end the request line early or start a new header.
CVornString escapeTarget(const CVornString& s) {
    CVornString out;
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c <= 0x20 || c == 0x7F)
            out.FormatAdd("%%%02X", c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

// A host that would break the request line or start a header of its own.
bool badHost(const CVornString& host) {
    for (size_t i = 0; i < host.size(); ++i) {
        auto c = static_cast<unsigned char>(host[i]);
        if (c <= 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

} // namespace

CVornHttpClient::CVornHttpClient() {
    init();
}

CVornHttpClient::CVornHttpClient(const char* url) {
    init();
    SetUrl(url);
}

CVornHttpClient::CVornHttpClient(const CVornHttpClient& other) : CVornAsyncSocket(other) {
    *this = other;
}

CVornHttpClient& CVornHttpClient::operator=(const CVornHttpClient& other) {
    if (this == &other)
        return *this;
    CVornAsyncSocket::operator=(other);
    m_host = other.m_host;
    m_path = other.m_path;
    m_port = other.m_port;
    m_proxyHost = other.m_proxyHost;
    m_proxyPort = other.m_proxyPort;
    m_user = other.m_user;
    m_password = other.m_password;
    m_proxyUser = other.m_proxyUser;
    m_proxyPassword = other.m_proxyPassword;
    m_agent = other.m_agent;
    m_cookies = other.m_cookies;
    m_referer = other.m_referer;
    m_ifModifiedSince = other.m_ifModifiedSince;
    m_keepAlive = other.m_keepAlive;
    m_gzip = other.m_gzip;
    m_params = other.m_params;
    m_requestHeaders = other.m_requestHeaders;
    m_maxDecoded = other.m_maxDecoded;
    init();
    m_header = other.m_header;
    m_headers = other.m_headers;
    m_resultCode = other.m_resultCode;
    return *this;
}

CVornHttpClient::~CVornHttpClient() {
    CVornHttpClient::Close();
}

int CVornHttpClient::Close() {
    CVornAsyncSocket::Close();
    m_rpos = m_rlen = 0;
    return 1;
}

// ---- configuration ----

void CVornHttpClient::analyzeUrl(const char* url) {
    SetSsl(0);
    std::string_view text = url ? url : "";
    size_t sep = text.find("://");
    if (sep != std::string_view::npos && text.substr(0, sep).find('/') == std::string_view::npos) {
        if (lower(text.substr(0, sep)) == "https")
            SetSsl(1);
        text.remove_prefix(sep + 3);
    }
    size_t slash = text.find('/');
    std::string_view host = text.substr(0, slash);
    if (slash == std::string_view::npos)
        m_path = "/";
    else
        m_path = CVornString(text.substr(slash));
    size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
        CVornString port(host.substr(colon + 1));
        int p = port.Atoi();
        m_port = p > 0 && p <= 65535 ? static_cast<unsigned short>(p) : 0;
        host = host.substr(0, colon);
    } else {
        m_port = GetSsl() ? 443 : 80;
    }
    m_host = CVornString(host);
}

int CVornHttpClient::SetUrl(const char* url) {
    analyzeUrl(url);
    return 1;
}

void CVornHttpClient::SetProxy(const char* host, unsigned short port) {
    m_proxyHost = host ? host : "";
    m_proxyPort = port;
}

int CVornHttpClient::SetAuth(const char* user, const char* password) {
    if (!clean(user) || !clean(password))
        return 0;
    m_user = user;
    m_password = password;
    return 1;
}

int CVornHttpClient::SetProxyAuth(const char* user, const char* password) {
    if (!clean(user) || !clean(password))
        return 0;
    m_proxyUser = user;
    m_proxyPassword = password;
    return 1;
}

int CVornHttpClient::SetUserAgent(const char* agent) {
    if (!clean(agent))
        return 0;
    m_agent = agent;
    return 1;
}

int CVornHttpClient::SetReferer(const char* referer) {
    if (!clean(referer))
        return 0;
    m_referer = referer;
    return 1;
}

int CVornHttpClient::SetCookie(const char* cookie) {
    if (!clean(cookie))
        return 0;
    m_cookies.Add(CVornString(cookie));
    return 1;
}

void CVornHttpClient::ClearCookie() {
    m_cookies.RemoveAll();
}

int CVornHttpClient::SetParameter(const char* name, const char* value) {
    if (!name || !value)
        return 0;
    m_params.Add(CVornString(name));
    m_params.Add(CVornString(value));
    return 1;
}

const char* CVornHttpClient::GetParameter(const char* name) const {
    if (!name)
        return nullptr;
    for (int i = 0; i + 1 < m_params.GetCount(); i += 2) {
        if (m_params.Get(i) == name)
            return m_params.Get(i + 1).c_str();
    }
    return nullptr;
}

int CVornHttpClient::RemoveParameter(const char* name) {
    if (!name)
        return 1;
    for (int i = 0; i + 1 < m_params.GetCount();) {
        if (m_params.Get(i) == name) {
            m_params.Remove(i);
            m_params.Remove(i);
        } else {
            i += 2;
        }
    }
    return 1;
}

int CVornHttpClient::AddRequestHeader(const char* name, const char* value) {
    if (!clean(name) || !clean(value))
        return 0;
    CVornString line;
    line.Format("%s: %s", name, value);
    m_requestHeaders.Add(line);
    return 1;
}

CVornString CVornHttpClient::GetRequestHeader(const char* name, int index) const {
    if (!name)
        return CVornString();
    int seen = 0;
    for (const CVornString& line : m_requestHeaders.Items()) {
        // "name: value" with a non-empty value; the name holds no colon.
        std::string_view s = line.view();
        size_t colon = s.find(':');
        if (colon == 0 || colon == std::string_view::npos || colon + 2 >= s.size() ||
            s[colon + 1] != ' ')
            continue;
        if (s.substr(0, colon) != name)
            continue;
        if (seen++ == index)
            return CVornString(s.substr(colon + 2));
    }
    return CVornString();
}

CVornString CVornHttpClient::GetResponseHeader(const char* name, int index) const {
    if (!name || index < 0)
        return CVornString();
    const auto* values = m_headers.Find(CVornString(lower(name)));
    if (!values || static_cast<size_t>(index) >= values->size())
        return CVornString();
    return (*values)[static_cast<size_t>(index)];
}

CVornString CVornHttpClient::makeParameterString() const {
    CVornString s;
    for (int i = 0; i + 1 < m_params.GetCount(); i += 2) {
        if (i == 0)
            s.FormatAdd("%s=%s", m_params.Get(i).c_str(), m_params.Get(i + 1).c_str());
        else
            s.FormatAdd("&%s=%s", m_params.Get(i).c_str(), m_params.Get(i + 1).c_str());
    }
    return s;
}

CVornString CVornHttpClient::makeAuthString() const {
    if (m_user.IsEmpty() || m_password.IsEmpty())
        return CVornString();
    CVornString s;
    s.Format("%s:%s", m_user.c_str(), m_password.c_str());
    s.Base64Encode();
    return s;
}

CVornString CVornHttpClient::makeProxyAuthString() const {
    if (m_proxyUser.IsEmpty() || m_proxyPassword.IsEmpty())
        return CVornString();
    CVornString s;
    s.Format("%s:%s", m_proxyUser.c_str(), m_proxyPassword.c_str());
    s.Base64Encode();
    return s;
}

// ---- connecting ----

int CVornHttpClient::Connect(int timeout) {
    m_rpos = m_rlen = 0;
    if (m_host.IsEmpty() || m_port == 0)
        VLOG(0, "CVornHttpClient::Connect", "call SetUrl");
    if (m_proxyHost.IsEmpty())
        return CVornAsyncSocket::Connect(m_host.c_str(), m_port, timeout);
    if (!GetSsl())
        return CVornAsyncSocket::Connect(m_proxyHost.c_str(), m_proxyPort, timeout);
    return connectTunnel(timeout);
}

int CVornHttpClient::connectTunnel(int timeout) {
    const char* where = "CVornHttpClient::Connect";
    if (badHost(m_host)) {
        VLOG(0, where, "invalid host[%s]", m_host.c_str());
        return 0;
    }
    SetSsl(0);
    if (!CVornAsyncSocket::Connect(m_proxyHost.c_str(), m_proxyPort, timeout)) {
        VLOG(0, where, "https proxy connect error");
        SetSsl(1);
        return 0;
    }
    CVornString text;
    text.Format("CONNECT %s:%d HTTP/1.1\r\n", m_host.c_str(), m_port);
    text.FormatAdd("User-Agent: %s\r\n", m_agent.IsEmpty() ? kDefaultAgent : m_agent.c_str());
    text.FormatAdd("Host: %s\r\n", m_host.c_str());
    text.FormatAdd("Content-Length: %d\r\n", 0);
    text.FormatAdd("Proxy-Connection: %s\r\n", "Keep-Alive");
    CVornString auth = makeProxyAuthString();
    if (!auth.IsEmpty())
        text.FormatAdd("Proxy-Authorization: Basic %s\r\n", auth.c_str());
    text += "\r\n";
    VLOG(2, where, "SEND HEADER[%d][%s]", GetSocket(), MaskForLog(text).c_str());
    if (Send(text.c_str(), text.GetLength()) == -1) {
        VLOG(0, where, "https proxy send error");
        SetSsl(1);
        return 0;
    }
    // One byte at a time: what follows the reply belongs to the TLS session.
    std::string reply;
    while (reply.find("\r\n\r\n") == std::string::npos && reply.size() < kMaxProxyReply) {
        char c;
        if (recvWait(&c, 1, MESSAGE_RECV_WAIT, true, false) <= 0)
            break;
        reply += c;
    }
    VLOG(2, where, "RECV HEADER[%d][%s]", GetSocket(), reply.c_str());
    size_t blank = reply.find(' ');
    bool ok = reply.find("\r\n\r\n") != std::string::npos && blank != std::string::npos &&
              reply.compare(blank + 1, 3, "200") == 0;
    SetSsl(1);
    if (!ok) {
        VLOG(0, where, "https proxy recv error");
        return 0;
    }
    resetWait();
    return sslConnect(m_host.c_str(), timeout > 0 ? timeout : 1);
}

// ---- requests ----

void CVornHttpClient::init() {
    m_inflate.Reset();
    m_inflate2.Reset();
    m_inflater = nullptr;
    m_recvSize = 0;
    m_chunkSize = 0;
    m_gzipHeader = 0;
    m_out.Clear();
    m_header.Empty();
    m_headers.RemoveAll();
    m_resultCode = 0;
    m_gzipCollect.Clear();
    m_gzipTrailer.clear();
    m_gzipCrc = 0;
    m_gzipSize = 0;
    m_contentLength = 0;
    m_framing = FRAMING_CLOSE;
    m_encoding = ENCODING_NONE;
    m_body = BODY_NONE;
    m_lastChunk = false;
    m_decodeEnd = false;
    m_decodeFailed = false;
    m_rawFed = 0;
}

int CVornHttpClient::Get(const char* path) {
    m_path = path ? path : "";
    return request(false);
}

int CVornHttpClient::Get() {
    if (m_path.IsEmpty())
        VLOG(0, "CVornHttpClient::Get", "call SetUrl");
    return request(false);
}

int CVornHttpClient::Post(const char* path) {
    m_path = path ? path : "";
    return request(true);
}

int CVornHttpClient::Post() {
    if (m_path.IsEmpty())
        VLOG(0, "CVornHttpClient::Post", "call SetUrl");
    return request(true);
}

int CVornHttpClient::request(bool post) {
    init();
    const char* where = post ? "CVornHttpClient::Post" : "CVornHttpClient::Get";
    if (badHost(m_host)) {
        VLOG(0, where, "invalid host[%s]", m_host.c_str());
        return 0;
    }
    // Through a CONNECT tunnel the request goes to the origin server itself: the path alone,
    // and no proxy credentials (they went with the CONNECT).
    bool proxy = !m_proxyHost.IsEmpty() && !GetSsl();
    CVornString params = makeParameterString();
    CVornString path = escapeTarget(m_path);
    CVornString text;
    if (!post) {
        CVornString query = params.IsEmpty() ? CVornString() : "?" + escapeTarget(params);
        if (proxy)
            text.Format("GET http://%s%s%s HTTP/1.1\r\n", m_host.c_str(), path.c_str(),
                        query.c_str());
        else
            text.Format("GET %s%s HTTP/1.1\r\n", path.c_str(), query.c_str());
    } else {
        if (proxy)
            text.Format("POST http://%s%s HTTP/1.1\r\n", m_host.c_str(), path.c_str());
        else
            text.Format("POST %s HTTP/1.1\r\n", path.c_str());
    }
    text.FormatAdd("Host: %s\r\n", m_host.c_str());
    text.FormatAdd("User-Agent: %s\r\n", m_agent.IsEmpty() ? kDefaultAgent : m_agent.c_str());
    CVornString auth = makeAuthString();
    if (!auth.IsEmpty())
        text.FormatAdd("Authorization: Basic %s\r\n", auth.c_str());
    if (proxy) {
        CVornString proxyAuth = makeProxyAuthString();
        if (!proxyAuth.IsEmpty())
            text.FormatAdd("Proxy-Authorization: Basic %s\r\n", proxyAuth.c_str());
    }
    if (!m_referer.IsEmpty())
        text.FormatAdd("Referer: %s\r\n", m_referer.c_str());
    for (const CVornString& cookie : m_cookies.Items())
        text.FormatAdd("Cookie: %s\r\n", cookie.c_str());
    text.FormatAdd("Accept-Encoding: %s\r\n", m_gzip == 1 ? "gzip,deflate" : "identity");
    if (m_ifModifiedSince != 0)
        text.FormatAdd("If-Modified-Since: %s\r\n", CVornDate::HttpDate(m_ifModifiedSince).c_str());
    text.FormatAdd("Connection: %s\r\n", m_keepAlive == 1 ? "keep-alive" : "close");
    if (post)
        text.FormatAdd("Content-Length: %d\r\n", params.GetLength());
    for (const CVornString& line : m_requestHeaders.Items()) {
        text += line;
        text += "\r\n";
    }
    text += "\r\n";
    if (post) {
        text += params;
        VLOG(2, where, "SEND HEADER[%s]", MaskForLog(text).c_str());
    } else {
        VLOG(2, where, "SEND HEADER[%d][%s]", GetSocket(), MaskForLog(text).c_str());
    }
    if (Send(text.c_str(), text.GetLength()) == -1)
        return 0;
    if (recvHeader() < 0)
        return 0;
    prepareBody();
    return 1;
}

int CVornHttpClient::recvHeader() {
    const char* where = "CVornHttpClient::recvHeader";
    for (int interim = 0;; ++interim) {
        // Bytes already read past the previous response come first.
        std::string acc;
        if (m_rlen > m_rpos)
            acc.assign(m_rbuf.data() + m_rpos, m_rlen - m_rpos);
        m_rpos = m_rlen = 0;
        size_t scan = 0;
        size_t end = std::string::npos;
        int lastRead = 1;
        int lastWait = 1;
        resetWait();
        setTlsWaitMessage(MESSAGE_HEADER_WAIT);
        for (;;) {
            size_t pos = acc.find("\r\n\r\n", scan);
            if (pos != std::string::npos) {
                end = pos + 4;
                break;
            }
            if (acc.size() > static_cast<size_t>(kMaxHeaderSize)) {
                VLOG(0, where, "header too large[%zu]", acc.size());
                lastRead = -1;
                break;
            }
            scan = acc.size() >= 3 ? acc.size() - 3 : 0;
            int w = waitReadable(MESSAGE_HEADER_WAIT, false);
            if (w < 0) {
                if (GetWaitState() == WAIT_CANCELED)
                    return -1;
                lastWait = -1;
                break;
            }
            if (w == 0)
                continue;
            // Received into the read buffer (free while the header is read) and appended, so
            // a header trickled byte by byte costs work per byte, not per read-ahead.
            if (m_rbuf.size() < kReadAhead)
                m_rbuf.resize(kReadAhead);
            int n = recvBlock(m_rbuf.data(), static_cast<int>(kReadAhead), false);
            if (n > 0)
                acc.append(m_rbuf.data(), static_cast<size_t>(n));
            if (n == RECV_STOPPED) {
                if (GetWaitState() == WAIT_CANCELED)
                    return -1;
                lastWait = -1;
                break;
            }
            if (n <= 0) {
                lastRead = n;
                break;
            }
        }
        CallbackProc(MESSAGE_HEADER_DONE, 0);
        if (end == std::string::npos) {
            VLOG(0, where, "[%d][%d]", lastRead, lastWait);
            return -1;
        }
        m_header = CVornString(std::string_view(acc).substr(0, end));
        size_t rest = acc.size() - end;
        if (m_rbuf.size() < rest)
            m_rbuf.resize(rest);
        if (rest)
            memcpy(m_rbuf.data(), acc.data() + end, rest);
        m_rlen = rest;
        parseHeader();
        VLOG(2, where, "RECV HEADER[%d][%s]", GetSocket(), m_header.c_str());
        // Interim answers (100 Continue and the like) precede the real one.
        if (m_resultCode >= 100 && m_resultCode < 200 && m_resultCode != 101 &&
            interim < kMaxInterimResponses)
            continue;
        return m_header.GetLength();
    }
}

void CVornHttpClient::parseHeader() {
    m_headers.RemoveAll();
    m_resultCode = 0;
    std::string_view h = m_header.view();
    size_t blank = h.find(' ');
    if (blank != std::string_view::npos && blank + 3 < h.size()) {
        int code = 0;
        bool digits = true;
        for (size_t i = blank + 1; i < blank + 4; ++i) {
            if (h[i] < '0' || h[i] > '9')
                digits = false;
            else
                code = code * 10 + (h[i] - '0');
        }
        m_resultCode = digits ? code : 0;
    }
    size_t pos = h.find("\r\n");
    while (pos != std::string_view::npos) {
        size_t start = pos + 2;
        size_t next = h.find("\r\n", start);
        if (next == std::string_view::npos || next == start)
            break;
        std::string_view line = h.substr(start, next - start);
        size_t colon = line.find(':');
        if (colon != std::string_view::npos && colon > 0) {
            std::string_view name = trim(line.substr(0, colon));
            if (!name.empty())
                m_headers.Add(CVornString(lower(name)), CVornString(trim(line.substr(colon + 1))));
        }
        pos = next;
    }
}

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// Every "PW=value" that starts a parameter of a query or form text.
void maskPassword(std::string& text, size_t from, size_t to) {
    for (size_t at = from; at + 3 <= to;) {
        size_t hit = text.find("PW=", at);
        if (hit == std::string::npos || hit + 3 > to)
            return;
        const bool starts = hit == from || text[hit - 1] == '&' || text[hit - 1] == '?';
        size_t end = hit + 3;
        if (starts) {
            while (end < to && text[end] != '&' && text[end] != ' ' && text[end] != '\r' &&
                   text[end] != '\n')
                ++end;
            text.replace(hit + 3, end - hit - 3, "****");
            to = to + 4 - (end - hit - 3);
            end = hit + 7;
        }
        at = end;
    }
}

} // namespace

CVornString CVornHttpClient::MaskForLog(const CVornString& request) {
    const std::string& text = request.str();
    size_t headEnd = text.find("\r\n\r\n");
    std::string head = text.substr(0, headEnd);
    std::string rest = headEnd == std::string::npos ? "" : text.substr(headEnd);
    std::string out;
    size_t pos = 0;
    for (bool first = true; pos <= head.size(); first = false) {
        size_t eol = head.find("\r\n", pos);
        std::string line =
            head.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        if (startsWithNoCase(line, "Authorization:") ||
            startsWithNoCase(line, "Proxy-Authorization:")) {
            line = line.substr(0, line.find(':') + 1) + " ****";
        } else if (first) {
            size_t q = line.find('?');
            if (q != std::string::npos)
                maskPassword(line, q + 1, line.size());
        }
        out += line;
        if (eol == std::string::npos)
            break;
        out += "\r\n";
        pos = eol + 2;
    }
    // The form after the empty line.
    if (rest.size() > 4) {
        std::string body = rest.substr(4);
        maskPassword(body, 0, body.size());
        rest = "\r\n\r\n" + body;
    }
    return CVornString(out + rest);
}
