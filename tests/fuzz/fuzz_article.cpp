// A board's article-summary: what is read writes back to text that reads back the same.
#include "fuzz_harness.h"
#include "tavlo_article_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RoundTrip<CTavloArticleFile>(fuzz::View(data, size));
    return 0;
}
