#include "tavlo_image_url_replace.h"

#include "vorn_file.h"
#include "vorn_kcode.h"
#include "vorn_log.h"

#include <unistd.h>

#include <climits>

namespace {

const char16_t kBuiltinMatch[] = u"(h?t?tps?://[!-~]+\\.(?:gif|jpg|jpeg|png|bmp))(?:$|[^!-~])";

std::unique_ptr<CTavloImageViewUrlReplace> g_table;

std::u16string trim(std::u16string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == u' ' || s[a] == u'\t' || s[a] == u'\r' || s[a] == u'\n'))
        ++a;
    while (b > a &&
           (s[b - 1] == u' ' || s[b - 1] == u'\t' || s[b - 1] == u'\r' || s[b - 1] == u'\n'))
        --b;
    return std::u16string(s.substr(a, b - a));
}

bool startsWith(std::u16string_view s, std::u16string_view p) {
    return s.substr(0, p.size()) == p;
}

std::u16string group(CVornRegex& re, std::u16string_view subject, int n) {
    if (n < 0 || n >= re.GetSubexpCount())
        return {};
    const int a = re.GetStart(n), b = re.GetEnd(n);
    if (a < 0 || b < a || static_cast<size_t>(b) > subject.size())
        return {};
    return std::u16string(subject.substr(static_cast<size_t>(a), static_cast<size_t>(b - a)));
}

CVornString sjis(std::u16string_view s) {
    return CVornString(VornUtf16ToSjis(s));
}

// The directory of the running program.
CVornString programDirectory() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return CVornString(".");
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return CVornString(slash == std::string::npos ? std::string(".") : path.substr(0, slash));
}

} // namespace

bool CTavloImageViewUrlReplaceData::Set(std::u16string_view match, std::u16string imageUrl,
                                        std::u16string referer, std::u16string_view command,
                                        std::u16string extract) {
    // A rule written for "http://" also takes the link written without "h" or "ht".
    std::u16string pattern;
    for (size_t i = 0; i < match.size();) {
        if (match.substr(i, 7) == u"http://") {
            pattern += u"h?t?tp://";
            i += 7;
        } else {
            pattern += match[i++];
        }
    }
    MatchExpression = std::make_unique<CVornRegex>();
    if (!MatchExpression->CompileW(pattern)) {
        MatchExpression.reset();
        return false;
    }
    ImageUrl = std::move(imageUrl);
    Referer = std::move(referer);
    Extract = std::move(extract);
    Mode = startsWith(command, u"$COOKIE")    ? MODE_COOKIE
           : startsWith(command, u"$EXTRACT") ? MODE_EXTRACT
                                              : MODE_PLAIN;
    const size_t eq = command.find(u'=');
    Argument =
        eq == std::u16string_view::npos ? std::u16string() : std::u16string(command.substr(eq + 1));
    return true;
}

CTavloImageViewUrlReplace& CTavloImageViewUrlReplace::Instance() {
    if (!g_table) {
        g_table = std::make_unique<CTavloImageViewUrlReplace>();
        g_table->Load(programDirectory() + "/ImageViewURLReplace.dat");
    }
    return *g_table;
}

void CTavloImageViewUrlReplace::Reset() {
    g_table.reset();
}

CTavloImageViewUrlReplace::CTavloImageViewUrlReplace() {
    m_candidate.CompileW(u"h?t?tps?://[!-~]+");
    addBuiltin();
}

void CTavloImageViewUrlReplace::addBuiltin() {
    auto row = std::make_unique<CTavloImageViewUrlReplaceData>();
    row->Set(kBuiltinMatch, u"$0", u"$0", u"", u"");
    m_rows.push_back(std::move(row));
}

int CTavloImageViewUrlReplace::Load(const CVornString& path) {
    std::string text;
    // A replacement table is a few kilobytes; a huge file is no table.
    if (!VornReadFile(path.c_str(), text, 4 << 20)) {
        VLOG(1, "CTavloImageViewUrlReplace::Load", "no file %s", path.c_str());
        return 0;
    }
    return Parse(text);
}

int CTavloImageViewUrlReplace::Parse(const std::string& text) {
    m_rows.clear();
    const std::u16string all = VornSjisToUtf16(text);
    int count = 0;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find(u'\n', pos);
        if (end == std::u16string::npos)
            end = all.size();
        const std::u16string line = trim(std::u16string_view(all).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == u';' || line[0] == u'\'' || startsWith(line, u"//"))
            continue;
        std::vector<std::u16string> f;
        size_t a = 0;
        for (;;) {
            size_t tab = line.find(u'\t', a);
            f.push_back(
                line.substr(a, tab == std::u16string::npos ? std::u16string::npos : tab - a));
            if (tab == std::u16string::npos)
                break;
            a = tab + 1;
        }
        f.resize(std::max<size_t>(f.size(), 5));
        auto row = std::make_unique<CTavloImageViewUrlReplaceData>();
        if (!row->Set(f[0], f[1], f[2], f[3], f[4])) {
            VLOG(0, "CTavloImageViewUrlReplace::Load", "bad expression %s",
                 VornUtf16ToUtf8(f[0]).c_str());
            continue;
        }
        m_rows.push_back(std::move(row));
        ++count;
    }
    addBuiltin();
    return count;
}

std::u16string CTavloImageViewUrlReplace::Expand(std::u16string_view t, CVornRegex& rule,
                                                 std::u16string_view subject, CVornRegex* extract,
                                                 std::u16string_view page) {
    std::u16string out;
    for (size_t i = 0; i < t.size(); ++i) {
        const char16_t c = t[i];
        if (c != u'$') {
            out += c;
            continue;
        }
        if (i + 1 >= t.size()) {
            out += u'$';
            break;
        }
        const char16_t n = t[i + 1];
        if (n == u'$') {
            out += u'$';
            ++i;
        } else if (n == u'&') {
            out += group(rule, subject, 0);
            ++i;
        } else if (n >= u'0' && n <= u'9') {
            int g = 0;
            size_t j = i + 1;
            while (j < t.size() && t[j] >= u'0' && t[j] <= u'9' && g < 1000)
                g = g * 10 + (t[j++] - u'0');
            out += group(rule, subject, g);
            i = j - 1;
        } else if (extract && t.substr(i + 1, 7) == u"EXTRACT") {
            size_t j = i + 8;
            int g = 1;
            if (j < t.size() && t[j] >= u'0' && t[j] <= u'9')
                g = t[j++] - u'0';
            out += group(*extract, page, g);
            i = j - 1;
        } else {
            out += c;
            out += n;
            ++i;
        }
    }
    return out;
}

int CTavloImageViewUrlReplace::Match(const CVornString& link,
                                     CTavloImageViewUrlReplaceMatch* result) {
    CTavloImageViewUrlReplaceMatch empty;
    if (result)
        *result = empty;
    const std::u16string subject = VornSjisToUtf16(link.view());
    for (size_t r = 0; r < m_rows.size(); ++r) {
        CTavloImageViewUrlReplaceData& row = *m_rows[r];
        if (row.MatchExpression->MatchW(subject) < 0)
            continue;
        CTavloImageViewUrlReplaceMatch m;
        if (row.Mode == CTavloImageViewUrlReplaceData::MODE_PLAIN) {
            m.ImageUrl = sjis(Expand(row.ImageUrl, *row.MatchExpression, subject, nullptr, {}));
            m.Referer = sjis(Expand(row.Referer, *row.MatchExpression, subject, nullptr, {}));
        } else {
            // Expanded before the page fetch: the rule's groups are those of this match.
            const std::u16string imageUrl =
                Expand(row.ImageUrl, *row.MatchExpression, subject, nullptr, {});
            const std::u16string pageUrl =
                Expand(row.Referer, *row.MatchExpression, subject, nullptr, {});
            const std::u16string extractText =
                Expand(row.Extract, *row.MatchExpression, subject, nullptr, {});
            std::string body;
            CVornString cookie;
            const int rc =
                m_fetch ? m_fetch(sjis(pageUrl), sjis(row.Argument), &body, &cookie) : -100;
            if (row.Mode == CTavloImageViewUrlReplaceData::MODE_COOKIE) {
                if (rc == 0) {
                    m.ImageUrl = sjis(imageUrl);
                    m.Referer = sjis(pageUrl);
                    m.Cookie = cookie;
                }
            } else {
                CVornRegex extract;
                const std::u16string page = VornSjisToUtf16(body);
                if (rc != 0 || !extract.CompileW(extractText) || extract.MatchW(page) < 0) {
                    VLOG(1, "CTavloImageViewUrlReplace::Match", "extract failed %d", rc);
                    return -1;
                }
                // The image URL again, now with the extract's groups at hand.
                row.MatchExpression->MatchW(subject);
                m.ImageUrl =
                    sjis(Expand(row.ImageUrl, *row.MatchExpression, subject, &extract, page));
                m.Referer = sjis(pageUrl);
                m.Cookie = cookie;
            }
        }
        if (result)
            *result = m;
        return static_cast<int>(r);
    }
    return -1;
}

int CTavloImageViewUrlReplace::FindImageLink(std::u16string_view text, size_t from,
                                             std::u16string* capture) {
    if (m_rows.size() == 1) {
        CVornRegex& re = *m_rows.back()->MatchExpression;
        if (from > text.size() || re.MatchW(text, static_cast<int>(from)) < 0)
            return -1;
        if (capture)
            *capture = group(re, text, 1);
        return re.GetStart(1);
    }
    size_t pos = from;
    while (pos <= text.size() && m_candidate.MatchW(text, static_cast<int>(pos)) >= 0) {
        const int a = m_candidate.GetStart(0), b = m_candidate.GetEnd(0);
        if (a < 0 || b <= a)
            return -1;
        std::u16string_view candidate =
            text.substr(static_cast<size_t>(a), static_cast<size_t>(b - a));
        for (size_t r = m_rows.size(); r-- > 0;) {
            if (m_rows[r]->MatchExpression->MatchW(candidate) >= 0) {
                if (capture)
                    *capture = std::u16string(candidate);
                return a;
            }
        }
        pos = static_cast<size_t>(b);
    }
    return -1;
}

std::vector<std::u16string> CTavloImageViewUrlReplace::FindImageLinks(std::u16string_view text) {
    std::vector<std::u16string> links;
    size_t from = 0;
    std::u16string link;
    for (int guard = 0; guard < 256; ++guard) {
        const int at = FindImageLink(text, from, &link);
        if (at < 0 || link.empty())
            break;
        links.push_back(link);
        from = static_cast<size_t>(at) + link.size();
    }
    return links;
}
