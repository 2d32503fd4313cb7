#include "tavlo_settings.h"

#include <cstdio>

int main(int argc, char** argv) {
    CTavloSettings::SetProfilePath(TavloResolveProfilePath(argc, argv).c_str());
    CTavloSettings& s = CTavloSettings::Instance();
    printf("settings: %s\nstore: %s\n", s.FilePath.c_str(), s.RootDirectory.c_str());
    return 0;
}
