// A board's article-summary: what is read writes back to text that reads back the same.
#include "fuzz_support.h"
#include "tavlo_article_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CTavloArticleFile first;
    first.Parse(fuzz::View(data, size));
    CVornString text = first.Format();
    CTavloArticleFile second;
    second.Parse(text.view());
    if (second.Format() != text)
        abort();
    return 0;
}
