// ImageViewURLReplace.dat: rules (Shift_JIS, tab-separated) parsed, then used on links and on
// a line of text; a cookie or extract rule gets its page from the input too.
#include "fuzz_support.h"
#include "tavlo_image_url_replace.h"
#include "vorn_kcode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string text(fuzz::View(data, size));
    CTavloImageViewUrlReplace table;
    table.SetPageFetch(
        [&](const CVornString&, const CVornString&, std::string* body, CVornString* cookie) {
            *body = text;
            *cookie = "a=b";
            return 0;
        });
    table.Parse(text);
    static const char* const links[] = {"http://example.com/a.jpg", "https://i.imgur.com/abc.png",
                                        "ttp://x.example/p?q=1", "http://h/"};
    for (const char* link : links) {
        CTavloImageViewUrlReplaceMatch match;
        table.Match(CVornString(link), &match);
    }
    std::u16string line(u"見て http://example.com/a.jpg と ttp://x.example/b.gif ");
    for (size_t i = 0; i < size && i < 64; ++i)
        line.push_back(static_cast<char16_t>(data[i] < 0x20 ? u' ' : data[i]));
    table.FindImageLinks(line);
    return 0;
}
