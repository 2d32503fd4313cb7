// The JBBS rawmode answer (seven EUC-JP fields a line) turned into Shift_JIS log lines, in two
// reads; and the answer's ERROR header.
#include "fuzz_support.h"
#include "tavlo_bbs_livedoor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string_view answer = fuzz::View(data, size);
    CTavloBbsLivedoor bbs(nullptr, CVornString("http://jbbs.shitaraba.jp/game/123/"),
                          CVornString("1234567890"));
    bbs.GetDatUrl();
    size_t cut = answer.find('\n', answer.size() / 2);
    cut = cut == std::string_view::npos ? answer.size() : cut + 1;
    CVornString first(answer.substr(0, cut));
    if (bbs.WriteFileConvert(first) != 0)
        return 0;
    CVornString second(answer.substr(cut));
    bbs.WriteFileConvert(second);
    CTavloBbsLivedoor::ErrorCode(CVornString(answer.substr(0, answer.find('\n'))));
    return 0;
}
