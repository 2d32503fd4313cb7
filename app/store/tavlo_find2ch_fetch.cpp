#include "tavlo_find2ch_fetch.h"

#include "tavlo_list_item.h"
#include "tavlo_path.h"
#include "tavlo_subject_file.h"
#include "vorn_config.h"
#include "vorn_file.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_regex.h"

#include <memory>
#include <mutex>
#include <string>

namespace {

const char* const kSortText[] = {
    "SCEND=A&SORT=NPOSTS",  "SCEND=D&SORT=NPOSTS",   "SCEND=A&SORT=CREATED",
    "SCEND=D&SORT=CREATED", "SCEND=A&SORT=MODIFIED", "SCEND=D&SORT=MODIFIED",
};
constexpr int kPageStep = 25;

// The pages are matched after conversion to Shift_JIS, where the expressions live.
struct Expressions {
    CVornRegex total;
    CVornRegex hit;
    CVornRegex key;
};

Expressions& expressions() {
    static Expressions* e = [] {
        auto* x = new Expressions;
        x->total.Compile(CVornString(VornUtf8ToSjis("([0-9]+)スレ中 1～([0-9]+)スレ目")));
        x->hit.Compile(CVornString(
            VornUtf8ToSjis("<dt><a href=\".+?/([0-9]+)/[0-9]+-[0-9]+\">(.+?)</a> \\(([0-9]+)\\).+?"
                           "<a href=([^>]+)>([^<]+?)板</a>＠")));
        x->key.Compile("STR=(.+)&COUNT=([0-9]+)");
        return x;
    }();
    return *e;
}
std::mutex g_expressionLock;

// Length of the complete EUC-JP characters at the start of data; a character cut by the end of
// a block waits for the next one.
size_t completeEucPrefix(const std::string& data) {
    size_t i = 0;
    while (i < data.size()) {
        const auto c = static_cast<unsigned char>(data[i]);
        size_t len = c < 0x80 ? 1 : c == 0x8F ? 3 : 2;
        if (i + len > data.size())
            break;
        i += len;
    }
    return i;
}

} // namespace

const char* CTavloFind2chFetch::SortText(int sort) {
    return sort >= 0 && sort < 6 ? kSortText[sort] : kSortText[0];
}

CVornString CTavloFind2chFetch::BuildUrl(const CVornString& wordsSjis, int sort, const char* host) {
    CVornString words = wordsSjis;
    words.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    words.UrlEncode();
    CVornString path;
    path.Format("/index.php?TYPE=TITLE&STR=%s&COUNT=%d&%s", words.c_str(), 50, SortText(sort));
    return CVornString("http://") + host + path;
}

int CTavloFind2chFetch::Fetch(const CVornString& path, const CVornString& searchUrl,
                              CTavloSubjectFile& list, CTavloWindow* window,
                              TavloStopRequest stop) {
    if (path.IsEmpty() || searchUrl.IsEmpty())
        return -902;
    CTavloPath::MakeDirectory(CTavloPath::GetDirectory(path));
    CVornAtomicFile out;
    if (!out.Open(path.c_str())) {
        VLOG(0, "CTavloFind2chFetch::Fetch", "error %s", path.c_str());
        return -200;
    }
    std::lock_guard<std::mutex> guard(g_expressionLock);
    Expressions& re = expressions();

    int offset = 0, entries = 0, total = -1;
    int r = 0;
    for (;;) {
        CVornString url;
        url.Format("%s&OFFSET=%d", searchUrl.c_str(), offset);
        offset += kPageStep;
        CTavloHttpFetch fetch(window, stop);
        fetch.SetProgress(false);
        fetch.SetGzip(false);
        r = fetch.Open(url);
        if (r == -103)
            r = -101;
        if (r != 0)
            break;
        std::string raw;      // EUC-JP bytes not yet converted (a cut character)
        CVornString page;     // the converted rest of the page, after the last match
        bool foreign = false; // bytes that are no EUC-JP
        r = fetch.Receive([&](const char* data, int len) {
            raw.append(data, static_cast<size_t>(len));
            const size_t whole = completeEucPrefix(raw);
            CVornString part(raw.substr(0, whole));
            raw.erase(0, whole);
            if (part.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS) != 1)
                foreign = true;
            if (foreign)
                return -201;
            page.str() += part.str();
            if (total < 0 && re.total.Match(page) >= 0) {
                total = re.total.GetGroup(1).Atoi();
                page = page.Mid(re.total.GetEnd(0));
            }
            int end = -1;
            while (re.hit.Match(page, end < 0 ? 0 : end) >= 0) {
                end = re.hit.GetEnd(0);
                CVornString title = re.hit.GetGroup(2), board = re.hit.GetGroup(5);
                TavloCleanTitle(title);
                TavloCleanTitle(board);
                CVornString line;
                line.Format("%s.dat<>%s (%d)<>%s<>%s\n", re.hit.GetGroup(1).c_str(), title.c_str(),
                            re.hit.GetGroup(3).Atoi(), re.hit.GetGroup(4).c_str(), board.c_str());
                if (!out.Write(line.str()))
                    return -203;
                ++entries;
            }
            if (end > 0)
                page = page.Mid(end);
            if (window)
                window->SendMessage(TAVLO_WM_PROGRESS, static_cast<uintptr_t>(entries),
                                    static_cast<intptr_t>(total));
            return 0;
        });
        if (r == 0 && !raw.empty()) {
            // The page ended inside a character.
            r = -201;
        }
        if (r != 0)
            break;
        // A service that keeps promising more than it sends does not page forever.
        if (entries >= total || offset >= total)
            break;
    }
    VLOG(1, "CTavloFind2chFetch::Fetch", "%s: %d of %d, %d", searchUrl.c_str(), entries, total, r);
    if (r != 0 && entries == 0) {
        // Nothing new arrived: the previous results stay as they were.
        out.Abort();
        return r;
    }
    if (!out.Commit())
        return -203;
    const std::string iniPath = path.str() + ".ini";
    CVornConfig::WriteString(iniPath.c_str(), "Url", searchUrl.c_str(), 1);
    if (re.key.Match(searchUrl) >= 0) {
        CVornString key = re.key.GetGroup(1);
        key.UrlDecode();
        // The words as the user typed them, in the settings file's text encoding.
        key.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
        CVornConfig::WriteString(iniPath.c_str(), "Key", key.c_str(), 1);
    }
    CVornConfig::WriteInt(iniPath.c_str(), "Count", entries);
    CVornConfig::WriteInt(iniPath.c_str(), "CountAll", total);
    if (r == 0 || r == -1)
        return list.CreateFromFile(path);
    return r;
}
