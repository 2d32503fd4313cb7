#include "tavlo_cookie_file.h"

#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

namespace {

constexpr char kHead[] = "# tavlo cookies 1";
constexpr size_t kMaxFile = 1u << 20;
constexpr size_t kMaxCookies = 300;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A field of the file may hold no tab, line end or NUL.
bool clean(std::string_view s) {
    return s.find_first_of(std::string_view("\t\r\n\0", 4)) == std::string_view::npos;
}

bool number(std::string_view s, int64_t* out) {
    if (s.empty() || s.size() > 18)
        return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    for (;;) {
        size_t at = s.find(sep);
        out.push_back(s.substr(0, at));
        if (at == std::string_view::npos)
            return out;
        s.remove_prefix(at + 1);
    }
}

// The directory of a request path, as the default path of a cookie it sets.
std::string defaultPath(const std::string& path) {
    std::string p = path.substr(0, path.find('?'));
    size_t slash = p.rfind('/');
    if (p.empty() || p[0] != '/' || slash == 0 || slash == std::string::npos)
        return "/";
    return p.substr(0, slash);
}

} // namespace

CTavloCookieFile& CTavloCookieFile::Instance() {
    static CTavloCookieFile jar;
    // The root can change (another settings file); the jar follows it.
    CVornString path = GetDefaultPath();
    bool reload;
    {
        std::lock_guard<std::mutex> lock(jar.m_mutex);
        reload = jar.m_path != path;
    }
    if (reload)
        jar.Load(path);
    return jar;
}

CVornString CTavloCookieFile::GetDefaultPath() {
    CVornString root = CTavloPath::GetRoot();
    if (root.IsEmpty())
        return root;
    while (root.EndsWith("/"))
        root.str().pop_back();
    return root + "/cookies.txt";
}

bool CTavloCookieFile::Load(const CVornString& path) {
    std::string text;
    bool read = !path.IsEmpty() && VornFileExists(path.c_str()) &&
                VornReadFile(path.c_str(), text, kMaxFile);
    int64_t now = static_cast<int64_t>(time(nullptr));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path;
    m_cookies.clear();
    if (!read)
        return false;
    if (!parseLocked(text, now)) {
        // Nothing in it can be trusted; a whole (empty) jar takes its place at once.
        VLOG(0, "CTavloCookieFile::Load", "not a cookie jar, ignored: [%s]", path.c_str());
        m_cookies.clear();
        saveLocked();
        return false;
    }
    return true;
}

bool CTavloCookieFile::Parse(std::string_view text, int64_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return parseLocked(text, now);
}

bool CTavloCookieFile::parseLocked(std::string_view text, int64_t now) {
    m_cookies.clear();
    std::vector<Cookie> found;
    if (text.empty() || text.back() != '\n')
        return false; // cut
    text.remove_suffix(1);
    std::vector<std::string_view> lines = split(text, '\n');
    if (lines.size() < 2 || lines.front() != kHead)
        return false;
    std::string_view end = lines.back();
    int64_t count = -1;
    if (end.substr(0, 6) != "# end " || !number(end.substr(6), &count) ||
        count != static_cast<int64_t>(lines.size() - 2))
        return false;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::vector<std::string_view> f = split(lines[i], '\t');
        Cookie c;
        int64_t hostOnly = 0, secure = 0;
        if (f.size() != 7 || f[0].empty() || f[5].empty() || !number(f[1], &hostOnly) ||
            !number(f[3], &secure) || !number(f[4], &c.expires) || hostOnly > 1 || secure > 1 ||
            f[2].empty() || f[2][0] != '/')
            return false;
        c.domain = lower(f[0]);
        c.hostOnly = hostOnly == 1;
        c.path = std::string(f[2]);
        c.secure = secure == 1;
        c.name = std::string(f[5]);
        c.value = std::string(f[6]);
        if (c.expires > now)
            found.push_back(std::move(c));
    }
    m_cookies = std::move(found);
    return true;
}

std::string CTavloCookieFile::Format(int64_t now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return formatLocked(now);
}

std::string CTavloCookieFile::formatLocked(int64_t now) const {
    std::string out = std::string(kHead) + "\n";
    size_t n = 0;
    for (const Cookie& c : m_cookies) {
        if (c.expires == 0 || c.expires <= now)
            continue;
        out += c.domain + "\t" + (c.hostOnly ? "1" : "0") + "\t" + c.path + "\t" +
               (c.secure ? "1" : "0") + "\t" + std::to_string(c.expires) + "\t" + c.name + "\t" +
               c.value + "\n";
        ++n;
    }
    return out + "# end " + std::to_string(n) + "\n";
}

int CTavloCookieFile::Save() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return saveLocked();
}

int CTavloCookieFile::saveLocked() {
    if (m_path.IsEmpty())
        return 0;
    CTavloPath::MakeDirectory(CTavloPath::GetDirectory(m_path));
    CVornAtomicFile f;
    // Session tickets are as good as a password for the service.
    if (!f.Open(m_path.c_str(), 0600) ||
        !f.Write(formatLocked(static_cast<int64_t>(time(nullptr)))) || !f.Commit()) {
        VLOG(0, "CTavloCookieFile::Save", "not written: [%s]", m_path.c_str());
        return 0;
    }
    return 1;
}

bool CTavloCookieFile::Take(const std::string& host, const std::string& path,
                            const std::string& setCookie, int64_t now) {
    std::vector<std::string_view> parts = split(setCookie, ';');
    std::string_view pair = trim(parts[0]);
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return false; // "bare": no name, nothing to keep
    Cookie c;
    c.name = std::string(trim(pair.substr(0, eq)));
    c.value = std::string(trim(pair.substr(eq + 1)));
    if (c.name.empty() || !clean(c.name) || !clean(c.value) ||
        c.name.find(' ') != std::string::npos)
        return false;
    c.domain = lower(host);
    c.path = defaultPath(path);
    bool haveMaxAge = false, expired = false;
    for (size_t i = 1; i < parts.size(); ++i) {
        std::string_view a = trim(parts[i]);
        size_t e = a.find('=');
        std::string key = lower(trim(a.substr(0, e)));
        std::string_view val =
            e == std::string_view::npos ? std::string_view() : trim(a.substr(e + 1));
        if (key == "max-age") {
            // Max-Age wins over Expires.
            bool negative = !val.empty() && val[0] == '-';
            int64_t seconds = 0;
            if (!number(negative ? val.substr(1) : val, &seconds))
                continue;
            haveMaxAge = true;
            expired = negative || seconds == 0;
            c.expires = expired ? 0 : now + seconds;
        } else if (key == "expires" && !haveMaxAge) {
            int64_t t = CVornDate::ParseHttpDate(std::string(val).c_str());
            if (t < 0)
                continue; // an unreadable date: a session cookie
            expired = t <= now;
            c.expires = expired ? 0 : t;
        } else if (key == "domain" && !val.empty()) {
            std::string d = lower(val);
            while (!d.empty() && d[0] == '.')
                d.erase(0, 1);
            std::string h = lower(host);
            // Only the host itself or a domain it lies in, and never a bare top-level name.
            bool inside = h == d || (h.size() > d.size() &&
                                     h.compare(h.size() - d.size(), d.size(), d) == 0 &&
                                     h[h.size() - d.size() - 1] == '.');
            if (!inside || d.find('.') == std::string::npos)
                return false;
            c.domain = d;
            c.hostOnly = false;
        } else if (key == "path" && !val.empty() && val[0] == '/') {
            c.path = std::string(val);
        } else if (key == "secure") {
            c.secure = true;
        }
    }
    if (!clean(c.path))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    bool hadPersistent = false;
    auto same = [&](const Cookie& o) {
        return o.name == c.name && o.domain == c.domain && o.path == c.path;
    };
    auto old = std::find_if(m_cookies.begin(), m_cookies.end(), same);
    const bool existed = old != m_cookies.end();
    if (existed) {
        hadPersistent = old->expires != 0;
        if (!expired && old->value == c.value && old->expires == c.expires &&
            old->hostOnly == c.hostOnly && old->secure == c.secure)
            return false;
        m_cookies.erase(old);
    }
    if (!expired) {
        if (m_cookies.size() >= kMaxCookies)
            m_cookies.erase(m_cookies.begin());
        m_cookies.push_back(c);
    }
    if (c.expires != 0 || hadPersistent)
        saveLocked();
    return !expired || existed;
}

bool CTavloCookieFile::domainMatch(const Cookie& c, const std::string& host) {
    if (host == c.domain)
        return true;
    return !c.hostOnly && host.size() > c.domain.size() &&
           host.compare(host.size() - c.domain.size(), c.domain.size(), c.domain) == 0 &&
           host[host.size() - c.domain.size() - 1] == '.';
}

bool CTavloCookieFile::pathMatch(const std::string& cookiePath, const std::string& path) {
    if (path.compare(0, cookiePath.size(), cookiePath) != 0)
        return false;
    return path.size() == cookiePath.size() || cookiePath.back() == '/' ||
           path[cookiePath.size()] == '/' || path[cookiePath.size()] == '?';
}

std::string CTavloCookieFile::HeaderFor(const std::string& host, const std::string& path,
                                        bool secure, int64_t now) const {
    std::string h = lower(host);
    std::string p = path.empty() ? "/" : path;
    std::vector<const Cookie*> hits;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Cookie& c : m_cookies)
        if ((c.expires == 0 || c.expires > now) && (secure || !c.secure) && domainMatch(c, h) &&
            pathMatch(c.path, p))
            hits.push_back(&c);
    std::stable_sort(hits.begin(), hits.end(), [](const Cookie* a, const Cookie* b) {
        return a->path.size() > b->path.size();
    });
    std::string out;
    for (const Cookie* c : hits) {
        if (!out.empty())
            out += "; ";
        out += c->name + "=" + c->value;
    }
    return out;
}

void CTavloCookieFile::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cookies.clear();
}

size_t CTavloCookieFile::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cookies.size();
}
