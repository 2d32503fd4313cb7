// The Machi read page turned into log lines, in two reads (a post may be split across them).
#include "fuzz_support.h"
#include "tavlo_bbs_machi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string_view page = fuzz::View(data, size);
    CTavloBbsMachi bbs(nullptr, CVornString("http://tokyo.machi.to/tokyo/"),
                       CVornString("1234567890"));
    bbs.GetDatUrl();
    size_t cut = page.find('\n', page.size() / 2);
    cut = cut == std::string_view::npos ? page.size() : cut + 1;
    CVornString first(page.substr(0, cut));
    if (bbs.WriteFileConvert(first) != 0)
        return 0;
    CVornString second(page.substr(cut));
    bbs.WriteFileConvert(second);
    return 0;
}
