// bookmark2.txt: what is read writes back to text that reads back the same.
#include "fuzz_harness.h"
#include "tavlo_bookmark_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RoundTrip<CTavloBookmarkFile>(fuzz::View(data, size));
    return 0;
}
