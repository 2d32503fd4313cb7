#pragma once

#include "vorn_string.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The cookie jar of the live services: cookies they set, kept across runs in one file under the
// root ("cookies.txt", mode 0600, written whole and renamed into place). A file that is cut or
// not a jar is ignored and rewritten by the next save. Safe from any thread.
//
// File: "# tavlo cookies 1", then one line per cookie, tab-separated: domain, host-only (0/1),
// path, secure (0/1), expiry (seconds since 1970), name, value; then "# end N" (N cookies).
// Session cookies (no Expires or Max-Age) live only in memory.
class CTavloCookieFile {
public:
    struct Cookie {
        std::string domain; // lower case, no leading dot
        bool hostOnly = true;
        std::string path = "/";
        bool secure = false;
        int64_t expires = 0; // 0: a session cookie
        std::string name;
        std::string value;
    };

    // The program's jar at GetDefaultPath(), loaded on first use.
    static CTavloCookieFile& Instance();
    static CVornString GetDefaultPath();

    // Reads the file; false (and an empty jar) when it is missing, cut or garbage. A cut or
    // garbage file is replaced by an empty jar at once.
    bool Load(const CVornString& path);
    // Writes every unexpired persistent cookie; 1, or 0 when it could not be written.
    int Save();
    bool Parse(std::string_view text, int64_t now);
    std::string Format(int64_t now) const;

    // Takes one Set-Cookie value answered by host for a request to path. A malformed value,
    // or a Domain the host does not belong to, is ignored. Expired cookies remove their
    // name's cookie. True when the jar changed.
    bool Take(const std::string& host, const std::string& path, const std::string& setCookie,
              int64_t now);
    // "a=1; b=2" for a request to host and path (longest path first), or empty.
    std::string HeaderFor(const std::string& host, const std::string& path, bool secure,
                          int64_t now) const;

    void Clear();
    size_t Size() const;
    const CVornString& GetPath() const { return m_path; }

private:
    bool parseLocked(std::string_view text, int64_t now);
    std::string formatLocked(int64_t now) const;
    int saveLocked();
    static bool domainMatch(const Cookie& c, const std::string& host);
    static bool pathMatch(const std::string& cookiePath, const std::string& path);

    mutable std::mutex m_mutex;
    std::vector<Cookie> m_cookies;
    CVornString m_path;
};
