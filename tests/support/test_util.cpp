#include "test_util.h"

#include "vorn_file.h"
#include "vorn_kcode.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tavlo-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadAll(const std::string& path) {
    std::string out;
    VornReadFile(path.c_str(), out);
    return out;
}

void WriteAll(const std::string& path, const std::string& data) {
    CVornFile f;
    if (!f.Open(path.c_str(), CVornFile::MODE_WRITE))
        throw std::runtime_error("cannot write " + path);
    f.Write(data.data(), static_cast<int>(data.size()));
}

std::string Sjis(const char* utf8) {
    return VornUtf8ToSjis(utf8);
}
