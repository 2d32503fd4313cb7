// The info file of a thread (one S-expression line): what is read writes back to text that
// reads back the same.
#include "fuzz_harness.h"
#include "tavlo_info_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RoundTrip<CTavloInfoFile>(fuzz::View(data, size));
    return 0;
}
