// The settings file: every field read from it, one written back, and the file read again.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz::Scratch() + "/settings.ini";
    if (!fuzz::WriteFile(path, fuzz::View(data, size)))
        return 0;
    CTavloSettings::SetProfilePath(path.c_str());
    CTavloSettings& settings = CTavloSettings::Instance();
    settings.SetUserAgent(CVornString("Monazilla/1.00"));
    CVornString agent;
    settings.GetString("UserAgent", &agent);
    CTavloSettings::SetProfilePath(path.c_str());
    CVornString again;
    CTavloSettings::Instance().GetString("UserAgent", &again);
    if (again != agent)
        abort();
    CTavloSettings::Destroy();
    return 0;
}
