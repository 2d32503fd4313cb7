// bookmark2.txt: what is read writes back to text that reads back the same.
#include "fuzz_support.h"
#include "tavlo_bookmark_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CTavloBookmarkFile first;
    first.Parse(fuzz::View(data, size));
    CVornString text = first.Format();
    CTavloBookmarkFile second;
    second.Parse(text.view());
    if (second.Format() != text)
        abort();
    return 0;
}
