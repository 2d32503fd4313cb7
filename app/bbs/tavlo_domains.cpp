#include "tavlo_domains.h"

CTavloDomains& CTavloDomains::Get() {
    static CTavloDomains d{
        {"5ch.io", "5ch.net", "2ch.net"},
        {"bbspink.com"},
        {},
        {"be.5ch.net", "be.2ch.net"},
        {"machi.to", "machibbs.com"},
        {"jbbs.shitaraba.net", "jbbs.livedoor.jp"},
        {"youtube.com"},
        "2chv.tora3.net",
        "https://menu.5ch.io/bbsmenu.html",
        {"5ch.io", "5ch.net", "2ch.net", "bbspink.com", "machi.to", "machibbs.com",
         "jbbs.shitaraba.net", "jbbs.livedoor.jp"},
        {"find.5ch.net"},
    };
    return d;
}

std::string CTavloDomains::Alternation(const std::vector<std::string>& names) {
    std::string out = "(";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i)
            out += '|';
        for (char c : names[i]) {
            if (c == '.')
                out += '\\';
            out += c;
        }
    }
    // An empty list matches nothing.
    if (names.empty())
        out += "(?!)";
    return out + ")";
}

bool CTavloDomains::ContainsAny(const std::string& text, const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (!n.empty() && text.find(n) != std::string::npos)
            return true;
    return false;
}
