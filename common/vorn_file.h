#pragma once

#include "vorn_binary.h"
#include "vorn_object.h"
#include "vorn_string.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// A file opened by path. Operations return 1/0, or a byte count / -1.
class CVornFile : public CVornObject {
public:
    enum {
        MODE_READ = 1,      // existing file, read only
        MODE_WRITE = 2,     // create or truncate, write only
        MODE_APPEND = 4,    // create if missing, writes go to the end
        MODE_READWRITE = 8, // create if missing, no truncation
    };
    enum { SEEK_FROM_BEGIN = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_END = 2 };

    CVornFile() = default;
    ~CVornFile() override;
    CVornFile(const CVornFile&) = delete;
    CVornFile& operator=(const CVornFile&) = delete;

    virtual int Open(const char* path, int mode);
    virtual void Close();
    virtual int Read(void* buf, int len);
    // Writes all len bytes (retrying short writes); returns len or -1.
    virtual int Write(const void* buf, int len);
    virtual int64_t Seek(int64_t offset, int whence);
    virtual int64_t Tell() const;
    int64_t GetSize() const;
    int Sync();
    int Truncate(int64_t size);
    bool IsOpen() const { return m_fd >= 0; }
    int GetHandle() const { return m_fd; }
    int GetLastError() const { return m_errno; }

protected:
    int m_fd = -1;
    int m_errno = 0;
};

// Buffered text file. ReadLine handles lines of any length.
class CVornTextFile : public CVornFile {
public:
    int Open(const char* path, int mode) override;
    void Close() override;
    int Read(void* buf, int len) override;
    int Write(const void* buf, int len) override;
    int Write(std::string_view s) { return Write(s.data(), static_cast<int>(s.size())); }
    int64_t Seek(int64_t offset, int whence) override;
    int64_t Tell() const override;
    // Reads the next line without its LF (a CR before it is kept). Returns 1 when a line was
    // read, 0 at the end of the file. The last line may lack its LF: LastLineComplete() tells.
    int ReadLine(CVornString& line);
    bool LastLineComplete() const { return m_lineComplete; }
    // True only after a read reached the end of the file.
    bool Eof() const { return m_eof; }

private:
    int fill();
    std::vector<char> m_buf;
    size_t m_pos = 0;
    size_t m_len = 0;
    bool m_eof = false;
    bool m_lineComplete = true;
};

// Writes a whole file so that a crash or a full disk leaves either the old or the new file:
// a temporary file in the same directory ("<name>.tmpXXXXXX"), flushed, then renamed over the
// target. The writer holds a lock on its temporary file while it lives, so the temporaries a
// killed process left behind can be told from those of a live writer (of any process): the
// first atomic write of a process into a directory sweeps that directory's unlocked ones.
class CVornAtomicFile : public CVornObject {
public:
    CVornAtomicFile() = default;
    ~CVornAtomicFile() override; // discards the temporary file unless committed
    CVornAtomicFile(const CVornAtomicFile&) = delete;
    CVornAtomicFile& operator=(const CVornAtomicFile&) = delete;

    // mode: the new file's permissions (0600 for files holding secrets).
    int Open(const char* path, int mode = 0644);
    int Write(const void* data, size_t len);
    int Write(std::string_view s) { return Write(s.data(), s.size()); }
    // Flushes and renames into place; returns 1, or 0 (the old file stays as it was).
    int Commit();
    void Abort();

private:
    std::string m_path;
    std::string m_temp;
    int m_fd = -1;
    bool m_failed = false;
};

int VornWriteFileAtomic(const char* path, std::string_view data);
// Removes the temporary files of atomic writes in dir that no live writer holds; returns how
// many. Other files, and temporaries some process is still writing, are left alone.
int VornSweepTempFiles(const char* dir);
// Reads a whole file; returns 1, or 0 when it cannot be opened or read.
int VornReadFile(const char* path, std::string& out);
// Reads at most limit bytes; returns 0 (nothing read) when the file is larger.
int VornReadFile(const char* path, std::string& out, size_t limit);

bool VornFileExists(const char* path);
bool VornIsDirectory(const char* path);
int64_t VornGetFileSize(const char* path); // -1 when missing
// Last-write time in seconds since the epoch, -1 when missing.
int64_t VornGetFileTime(const char* path);
int VornSetFileTime(const char* path, int64_t seconds);
int VornRemoveFile(const char* path);
int VornRemoveDirectory(const char* path); // only an empty directory
int VornRenameFile(const char* from, const char* to);
int VornCopyFile(const char* from, const char* to);
// Creates the directory and every missing parent; an existing directory counts as success.
int VornCreateDirectories(const char* path);
// Names (not paths) of the entries of a directory, without "." and "..".
std::vector<std::string> VornListDirectory(const char* path, bool directories = false);

// Test hooks that make the next atomic writes fail at a chosen step, to check that a failed
// write never damages the old file, or make reads fail (an unreadable file). 0 = off.
// VORN_FAULT_SHORT_WRITE makes CVornFile::Write stop after half its bytes (a full disk).
enum {
    VORN_FAULT_NONE = 0,
    VORN_FAULT_WRITE = 1,
    VORN_FAULT_RENAME = 2,
    VORN_FAULT_READ = 3,
    VORN_FAULT_SHORT_WRITE = 4
};
void VornSetFileFault(int fault);
