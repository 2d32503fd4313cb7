#include "vorn_zlib.h"

#include "vorn_file.h"

#include <cstring>
#include <zlib.h>

struct CVornInflateCore::State {
    z_stream z{};
    bool open = false;
};

CVornInflateCore::CVornInflateCore(int type) : m_state(std::make_unique<State>()), m_type(type) {
    Reset();
}

CVornInflateCore::~CVornInflateCore() {
    if (m_state->open)
        inflateEnd(&m_state->z);
}

int CVornInflateCore::Reset() {
    if (m_state->open)
        inflateEnd(&m_state->z);
    m_state->z = z_stream{};
    int bits = m_type == TYPE_RAW ? -MAX_WBITS : m_type == TYPE_GZIP ? MAX_WBITS + 16 : MAX_WBITS;
    m_state->open = inflateInit2(&m_state->z, bits) == Z_OK;
    m_totalOut = 0;
    m_finished = false;
    m_failed = !m_state->open;
    return m_state->open ? 1 : 0;
}

int CVornInflateCore::Inflate(const void* in, size_t len, CVornBinary& out) {
    if (m_failed)
        return RESULT_ERROR;
    if (m_finished)
        return RESULT_END;
    z_stream& z = m_state->z;
    z.next_in = static_cast<Bytef*>(const_cast<void*>(in));
    z.avail_in = static_cast<uInt>(len);
    m_lastConsumed = len;
    while (z.avail_in > 0 || len == 0) {
        size_t chunk = 65536;
        if (m_limit) {
            // One byte over the limit is enough to know it was passed.
            size_t room = m_limit - m_totalOut + 1;
            if (room < chunk)
                chunk = room;
        }
        char* dst = out.Prepare(chunk);
        z.next_out = reinterpret_cast<Bytef*>(dst);
        z.avail_out = static_cast<uInt>(chunk);
        int r = inflate(&z, Z_NO_FLUSH);
        size_t produced = chunk - z.avail_out;
        out.Commit(produced);
        m_totalOut += produced;
        if (m_limit && m_totalOut > m_limit) {
            out.Truncate(out.size() - (m_totalOut - m_limit));
            m_failed = true;
            return RESULT_ERROR;
        }
        if (r == Z_STREAM_END) {
            m_lastConsumed = len - z.avail_in;
            m_finished = true;
            return RESULT_END;
        }
        if (r == Z_BUF_ERROR && z.avail_in == 0)
            break;
        if (r != Z_OK && r != Z_BUF_ERROR) {
            m_failed = true;
            return RESULT_ERROR;
        }
        if (len == 0 && z.avail_out != 0)
            break;
        if (z.avail_in == 0 && z.avail_out != 0)
            break;
    }
    return RESULT_MORE;
}

int CVornDeflate::Compress(std::string_view in, std::string& out, int type, int level) {
    z_stream z{};
    int bits = type == CVornInflateCore::TYPE_RAW    ? -MAX_WBITS
               : type == CVornInflateCore::TYPE_GZIP ? MAX_WBITS + 16
                                                     : MAX_WBITS;
    if (deflateInit2(&z, level, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 0;
    out.resize(deflateBound(&z, in.size()) + 32);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int r = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return r == Z_STREAM_END ? 1 : 0;
}

int CVornGzip::GetHeaderSize(const void* data, size_t len) {
    const auto* p = static_cast<const unsigned char*>(data);
    auto need = [&](size_t n) { return len < n; };
    if (len >= 1 && p[0] != 0x1f)
        return HEADER_INVALID;
    if (len >= 2 && p[1] != 0x8b)
        return HEADER_INVALID;
    if (len >= 3 && p[2] != 8)
        return HEADER_INVALID;
    if (need(10))
        return HEADER_NEED_MORE;
    unsigned flags = p[3];
    if (flags & 0xE0)
        return HEADER_INVALID;
    size_t pos = 10;
    if (flags & 0x04) { // FEXTRA
        if (need(pos + 2))
            return HEADER_NEED_MORE;
        size_t xlen = p[pos] | (p[pos + 1] << 8);
        pos += 2 + xlen;
        if (need(pos))
            return HEADER_NEED_MORE;
    }
    for (unsigned bit : {0x08u, 0x10u}) { // FNAME, FCOMMENT: zero-terminated
        if (!(flags & bit))
            continue;
        const void* z = pos < len ? memchr(p + pos, 0, len - pos) : nullptr;
        if (!z)
            return HEADER_NEED_MORE;
        pos = static_cast<size_t>(static_cast<const unsigned char*>(z) - p) + 1;
    }
    if (flags & 0x02) { // FHCRC
        pos += 2;
        if (need(pos))
            return HEADER_NEED_MORE;
    }
    return static_cast<int>(pos);
}

int CVornGzip::Decompress(std::string_view gz, std::string& out, size_t limit) {
    out.clear();
    CVornBinary buf;
    size_t pos = 0;
    bool any = false;
    while (pos < gz.size()) {
        CVornInflateCore inf(CVornInflateCore::TYPE_GZIP);
        if (limit)
            inf.SetOutputLimit(limit - out.size());
        if (inf.Inflate(gz.data() + pos, gz.size() - pos, buf) != CVornInflateCore::RESULT_END)
            return 0;
        out.append(buf.GetData(), buf.size());
        buf.Clear();
        any = true;
        pos += inf.LastConsumed();
        // Zero padding after the last member is allowed.
        while (pos < gz.size() && gz[pos] == 0)
            ++pos;
    }
    return any ? 1 : 0;
}

int CVornGzip::ReadFile(const char* path, std::string& out, size_t limit) {
    std::string gz;
    if (!VornReadFile(path, gz))
        return 0;
    return Decompress(gz, out, limit);
}
