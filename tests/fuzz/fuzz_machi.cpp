// The Machi read page turned into log lines, in two reads (a post may be split across them).
#include "fuzz_harness.h"
#include "tavlo_bbs_machi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string_view page = fuzz::View(data, size);
    CTavloBbsMachi bbs(nullptr, CVornString("http://tokyo.machi.to/tokyo/"),
                       CVornString("1234567890"));
    fuzz::ConvertInTwoReads(bbs, page);
    return 0;
}
