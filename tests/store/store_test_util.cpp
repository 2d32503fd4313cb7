#include "store_test_util.h"

#include "tavlo_settings.h"
#include "vorn_file.h"

void StoreTest::SetUp() {
    CTavloSettings::SetProfilePath(m_dir.file("tavlo.ini").c_str());
    m_root = CTavloSettings::Instance().RootDirectory.str();
    VornCreateDirectories(m_root.c_str());
}

void StoreTest::TearDown() {
    VornSetFileFault(VORN_FAULT_NONE);
    CTavloSettings::Destroy();
}
