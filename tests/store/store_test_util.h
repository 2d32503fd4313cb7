#pragma once

#include "test_util.h"

#include <gtest/gtest.h>
#include <string>

// A private settings file whose log root is <temp>/.navi2ch (created).
class StoreTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const std::string& root() const { return m_root; }
    std::string path(const std::string& rel) const { return m_root + "/" + rel; }

    TempDir m_dir;
    std::string m_root;
};
