#include "vorn_mime.h"

#include "vorn_kcode.h"
#include "vorn_string.h"

#include <cctype>

std::string VornQpDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '=') {
            out += c;
            continue;
        }
        // Soft line break: "=" then optional blanks then CR LF or LF.
        size_t j = i + 1;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t'))
            ++j;
        if (j < text.size() && text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') {
            i = j + 1;
            continue;
        }
        if (j < text.size() && text[j] == '\n') {
            i = j;
            continue;
        }
        if (j == text.size()) {
            i = j;
            continue;
        }
        if (i + 2 < text.size() && VornHexValue(text[i + 1]) >= 0 &&
            VornHexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(VornHexValue(text[i + 1]) * 16 + VornHexValue(text[i + 2]));
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}

static std::string upper(std::string_view s) {
    std::string u(s);
    for (auto& c : u)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return u;
}

std::string VornCharsetToSjis(std::string_view text, std::string_view charset) {
    std::string cs = upper(charset);
    if (cs.find("2022") != std::string::npos) {
        CVornString s(text);
        s.ConvertKCodeEx(CVornString::KCODE_JIS_TO_SJIS);
        return s.str();
    }
    if (cs.find("EUC") != std::string::npos) {
        CVornString s(text);
        s.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
        return s.str();
    }
    if (cs == "UTF-8" || cs == "UTF8")
        return VornUtf8ToSjis(text);
    return std::string(text);
}

namespace {

// One encoded word at text[pos]: its charset and decoded bytes, and where it ends.
bool parseWord(std::string_view text, size_t pos, std::string& charset, std::string& bytes,
               size_t& end) {
    if (text.compare(pos, 2, "=?") != 0)
        return false;
    size_t q1 = text.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?')
        return false;
    char enc = static_cast<char>(toupper(static_cast<unsigned char>(text[q1 + 1])));
    if (enc != 'B' && enc != 'Q')
        return false;
    size_t close = text.find("?=", q1 + 3);
    if (close == std::string_view::npos)
        return false;
    charset = std::string(text.substr(pos + 2, q1 - pos - 2));
    // RFC 2231 language suffix.
    if (auto star = charset.find('*'); star != std::string::npos)
        charset.resize(star);
    std::string_view payload = text.substr(q1 + 3, close - q1 - 3);
    if (payload.find(' ') != std::string_view::npos)
        return false;
    if (enc == 'B') {
        CVornString s(payload);
        if (!s.Base64Decode())
            return false;
        bytes = s.str();
    } else {
        std::string t(payload);
        for (auto& c : t)
            if (c == '_')
                c = ' ';
        bytes = VornQpDecode(t);
    }
    end = close + 2;
    return true;
}

} // namespace

std::string VornMime2Sjis(std::string_view value) {
    std::string out;
    std::string runCharset, runBytes; // adjacent words of one charset decode together
    auto flush = [&] {
        if (!runBytes.empty() || !runCharset.empty())
            out += VornCharsetToSjis(runBytes, runCharset);
        runBytes.clear();
        runCharset.clear();
    };
    size_t i = 0;
    bool lastWasWord = false;
    while (i < value.size()) {
        std::string cs, bytes;
        size_t end = 0;
        if (parseWord(value, i, cs, bytes, end)) {
            if (!lastWasWord || upper(cs) != upper(runCharset))
                flush();
            runCharset = cs;
            runBytes += bytes;
            i = end;
            lastWasWord = true;
            continue;
        }
        if (lastWasWord) {
            // Blanks between two encoded words vanish.
            size_t j = i;
            while (j < value.size() &&
                   (value[j] == ' ' || value[j] == '\t' || value[j] == '\r' || value[j] == '\n'))
                ++j;
            if (j > i && j < value.size() && parseWord(value, j, cs, bytes, end)) {
                i = j;
                continue;
            }
            flush();
            lastWasWord = false;
        }
        out += value[i++];
    }
    flush();
    return out;
}
