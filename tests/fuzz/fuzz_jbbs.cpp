// The JBBS rawmode answer (seven EUC-JP fields a line) turned into Shift_JIS log lines, in two
// reads; and the answer's ERROR header.
#include "fuzz_harness.h"
#include "tavlo_bbs_livedoor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string_view answer = fuzz::View(data, size);
    CTavloBbsLivedoor bbs(nullptr, CVornString("http://jbbs.shitaraba.jp/game/123/"),
                          CVornString("1234567890"));
    if (!fuzz::ConvertInTwoReads(bbs, answer))
        return 0;
    CTavloBbsLivedoor::ErrorCode(CVornString(answer.substr(0, answer.find('\n'))));
    return 0;
}
