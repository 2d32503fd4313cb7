#pragma once

#include "vorn_binary.h"
#include "vorn_object.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Incremental inflater over zlib. Each call consumes all the input it is given and appends
// what it decodes to out; state is kept between calls.
class CVornInflateCore : public CVornObject {
public:
    enum { TYPE_ZLIB = 0, TYPE_RAW = 1, TYPE_GZIP = 2 };
    enum { RESULT_ERROR = -1, RESULT_MORE = 0, RESULT_END = 1 };

    explicit CVornInflateCore(int type);
    ~CVornInflateCore() override;
    CVornInflateCore(const CVornInflateCore&) = delete;
    CVornInflateCore& operator=(const CVornInflateCore&) = delete;

    // RESULT_MORE while the stream goes on, RESULT_END at its end (input after the end is
    // ignored), RESULT_ERROR on corrupt data or when the output would pass the limit.
    int Inflate(const void* in, size_t len, CVornBinary& out);
    // Most bytes the whole stream may decode to (0 = no limit); guards against bombs.
    void SetOutputLimit(size_t limit) { m_limit = limit; }
    bool Finished() const { return m_finished; }
    size_t TotalOut() const { return m_totalOut; }
    // Input bytes the last call used (less than given when the stream ended inside it).
    size_t LastConsumed() const { return m_lastConsumed; }
    int Reset();

private:
    struct State;
    std::unique_ptr<State> m_state;
    int m_type;
    size_t m_limit = 0;
    size_t m_totalOut = 0;
    size_t m_lastConsumed = 0;
    bool m_finished = false;
    bool m_failed = false;
};

// zlib-stream inflater (HTTP "deflate").
class CVornInflate : public CVornInflateCore {
public:
    CVornInflate() : CVornInflateCore(TYPE_ZLIB) {}
};

// Raw-deflate inflater (the body of a gzip stream after its header).
class CVornInflate2 : public CVornInflateCore {
public:
    CVornInflate2() : CVornInflateCore(TYPE_RAW) {}
};

class CVornDeflate : public CVornObject {
public:
    // Compresses in as a zlib stream, raw deflate or gzip (type as CVornInflateCore).
    static int Compress(std::string_view in, std::string& out, int type, int level = 6);
};

class CVornGzip : public CVornObject {
public:
    enum { HEADER_NEED_MORE = -1, HEADER_INVALID = -2 };
    // Length of the gzip header at the start of data, HEADER_NEED_MORE when data ends inside
    // it, HEADER_INVALID when data is not a gzip header.
    static int GetHeaderSize(const void* data, size_t len);
    // Decodes a whole gzip buffer (every member); 1, or 0 on a damaged or truncated stream or
    // when the result would pass limit bytes.
    static int Decompress(std::string_view gz, std::string& out, size_t limit = 0);
    static int ReadFile(const char* path, std::string& out, size_t limit = 0);
};
