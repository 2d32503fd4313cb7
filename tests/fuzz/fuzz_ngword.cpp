// ngword.txt: the rules loaded from disk and compiled for a thread, bad rules reported.
#include "fuzz_support.h"
#include "tavlo_ng_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string path = CTavloNgFile::GetPath().str();
    if (!fuzz::WriteFile(path, fuzz::View(data, size)))
        return 0;
    CTavloNgFile ng;
    if (!ng.Load())
        return 0;
    std::vector<CTavloNgFile::Problem> problems;
    CVornString expression = ng.GetExpression(CVornString("1234567890"),
                                              CVornString("http://news.5ch.io/news"), &problems);
    CVornString scope, pattern;
    CTavloNgFile::SplitLine(CVornString(fuzz::View(data, size)), scope, pattern);
    return 0;
}
