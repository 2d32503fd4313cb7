#pragma once

#include <string>

// A fresh directory under the system temp directory, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& data);
// "ソ" etc. written in the source as UTF-8, as Shift_JIS.
std::string Sjis(const char* utf8);
