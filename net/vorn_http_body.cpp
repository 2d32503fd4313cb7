// The response body of CVornHttpClient: framing (length, chunked, until close) and content
// decoding (gzip, deflate), read through the read-ahead buffer.
#include "vorn_http_client.h"
#include "vorn_http_text.h"
#include "vorn_log.h"
#include "vorn_net_internal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using vornhttp::kReadAhead;
using vornhttp::lower;
using vornhttp::parseLength;
using vornhttp::trim;

// The request size from which body reads go straight into the caller's buffer.
constexpr int kDirectRead = 256 * 1024;
// Compressed bytes handed to the inflater per step: bounds the output of one step to about
// 16 MiB even for a maximally compressed stream.
constexpr int kInflateStep = 16 * 1024;
constexpr size_t kMaxGzipHeader = 64 * 1024;
constexpr size_t kGzipTrailer = 8;

} // namespace

void CVornHttpClient::prepareBody() {
    const char* where = "CVornHttpClient::Recv";
    m_body = BODY_OPEN;
    if ((m_resultCode >= 100 && m_resultCode < 200) || m_resultCode == 204 || m_resultCode == 304) {
        m_body = BODY_DONE;
        return;
    }
    CVornString length = GetResponseHeader("content-length");
    if (!length.IsEmpty()) {
        int64_t value = 0;
        if (!parseLength(length.view(), &value)) {
            VLOG(0, where, "content-length error[%s]", length.c_str());
            m_body = BODY_FAILED;
            return;
        }
        for (int i = 1;; ++i) {
            CVornString other = GetResponseHeader("content-length", i);
            if (other.IsEmpty())
                break;
            int64_t v = 0;
            if (!parseLength(other.view(), &v) || v != value) {
                VLOG(0, where, "content-length error[%s][%s]", length.c_str(), other.c_str());
                m_body = BODY_FAILED;
                return;
            }
        }
        m_contentLength = value;
        if (lower(trim(GetResponseHeader("proxy-connection").view())) == "close")
            m_framing = FRAMING_CLOSE;
        else
            m_framing = FRAMING_LENGTH;
    } else {
        std::string te = lower(trim(GetResponseHeader("transfer-encoding").view()));
        size_t comma = te.rfind(',');
        if (comma != std::string::npos)
            te = std::string(trim(std::string_view(te).substr(comma + 1)));
        m_framing = te == "chunked" ? FRAMING_CHUNKED : FRAMING_CLOSE;
    }
    std::string ce = lower(trim(GetResponseHeader("content-encoding").view()));
    if (ce == "gzip" || ce == "x-gzip") {
        m_encoding = ENCODING_GZIP;
        m_inflater = &m_inflate2;
    } else if (ce == "deflate") {
        m_encoding = ENCODING_DEFLATE;
        m_inflater = &m_inflate;
    }
    if (m_inflater)
        m_inflater->SetOutputLimit(static_cast<size_t>(m_maxDecoded));
}

// ---- body ----

void CVornHttpClient::logStop(const char* where) {
    switch (GetWaitState()) {
    case WAIT_CANCELED:
        VLOG(1, where, "canceled[%d]", GetSocket());
        break;
    case WAIT_TIMEOUT:
        VLOG(0, where, "timeout[%d](%d)", GetSocket(), GetRecvTimeout());
        break;
    default:
        VLOG(0, where, "SOCKET_ERROR[%d]", vornnet::LastError());
        break;
    }
}

int CVornHttpClient::fillReadAhead() {
    if (m_rbuf.size() < kReadAhead)
        m_rbuf.resize(kReadAhead);
    m_rpos = m_rlen = 0;
    int n = recvWait(m_rbuf.data(), static_cast<int>(kReadAhead), MESSAGE_RECV_WAIT, true, false);
    if (n > 0) {
        m_rlen = static_cast<size_t>(n);
        return n;
    }
    if (n < 0 || GetWaitState() != WAIT_OK) {
        logStop("CVornHttpClient::Recv");
        return -1;
    }
    return 0;
}

int CVornHttpClient::rawRead(char* buf, int len) {
    if (m_rpos == m_rlen) {
        if (len >= kDirectRead) {
            int n = recvWait(buf, len, MESSAGE_RECV_WAIT, true, false);
            if (n < 0 || (n == 0 && GetWaitState() != WAIT_OK)) {
                logStop("CVornHttpClient::Recv");
                return -1;
            }
            return n;
        }
        int n = fillReadAhead();
        if (n <= 0)
            return n;
    }
    size_t n = m_rlen - m_rpos;
    if (n > static_cast<size_t>(len))
        n = static_cast<size_t>(len);
    memcpy(buf, m_rbuf.data() + m_rpos, n);
    m_rpos += n;
    return static_cast<int>(n);
}

int CVornHttpClient::rawByte(unsigned char* c) {
    if (m_rpos == m_rlen) {
        int n = fillReadAhead();
        if (n <= 0)
            return n;
    }
    *c = static_cast<unsigned char>(m_rbuf[m_rpos++]);
    return 1;
}

int CVornHttpClient::readChunkSize() {
    const char* where = "CVornHttpClient::Recv";
    char line[256];
    int len = 0;
    bool lf = false;
    for (;;) {
        unsigned char c = 0;
        int r = rawByte(&c);
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        if (c == '\n') {
            lf = true;
            break;
        }
        if (len >= 255) {
            VLOG(0, where, "chunk format(size): line too long");
            return -1;
        }
        line[len++] = static_cast<char>(c);
    }
    if (len > 0 && line[len - 1] == '\r')
        --len;
    line[len] = '\0';
    if (!lf) {
        // The body ended before its last chunk.
        VLOG(0, where, "recv incomplete(%d): recv-size(%lld) content-size(%lld)",
             vornnet::LastError(), static_cast<long long>(m_recvSize),
             static_cast<long long>(m_chunkSize));
        return -1;
    }
    int64_t size = 0;
    int digits = 0;
    for (; digits < len; ++digits) {
        int v = VornHexValue(line[digits]);
        if (v < 0)
            break;
        if (digits >= 15) {
            VLOG(0, where, "chunk format(size): %s", line);
            return -1;
        }
        size = size * 16 + v;
    }
    if (digits == 0) {
        VLOG(0, where, "chunk format(size): %s", line);
        return -1;
    }
    m_chunkSize = size;
    m_recvSize = 0;
    return 1;
}

int CVornHttpClient::readChunkEnd() {
    const char* where = "CVornHttpClient::Recv";
    unsigned char c = 0;
    int r = rawByte(&c);
    if (r <= 0 || c != '\r') {
        VLOG(0, where, "chunk format(CR): %02x", r > 0 ? c : 0);
        return -1;
    }
    r = rawByte(&c);
    if (r <= 0 || c != '\n') {
        VLOG(0, where, "chunk format(LF): %02x", r > 0 ? c : 0);
        return -1;
    }
    m_recvSize = 0;
    m_chunkSize = 0;
    return 1;
}

int CVornHttpClient::readBody(char* buf, int len) {
    const char* where = "CVornHttpClient::Recv";
    switch (m_framing) {
    case FRAMING_CLOSE: {
        int n = rawRead(buf, len);
        if (n > 0)
            m_recvSize += n;
        return n;
    }
    case FRAMING_LENGTH: {
        if (m_recvSize >= m_contentLength)
            return 0;
        int64_t rest = m_contentLength - m_recvSize;
        int want = rest < len ? static_cast<int>(rest) : len;
        int n = rawRead(buf, want);
        if (n == 0) {
            VLOG(0, where, "recv incomplete(%d): recv-size(%lld) content-size(%lld)",
                 vornnet::LastError(), static_cast<long long>(m_recvSize),
                 static_cast<long long>(m_contentLength));
            return -1;
        }
        if (n > 0)
            m_recvSize += n;
        return n;
    }
    case FRAMING_CHUNKED: {
        if (m_lastChunk)
            return 0;
        if (m_chunkSize == 0) {
            if (readChunkSize() < 0)
                return -1;
            if (m_chunkSize == 0) {
                m_lastChunk = true;
                // The closing empty line, when it already arrived; trailers are not read.
                if (m_rlen - m_rpos >= 2 && m_rbuf[m_rpos] == '\r' && m_rbuf[m_rpos + 1] == '\n')
                    m_rpos += 2;
                return 0;
            }
        }
        int64_t rest = m_chunkSize - m_recvSize;
        int want = rest < len ? static_cast<int>(rest) : len;
        int n = rawRead(buf, want);
        if (n == 0) {
            VLOG(0, where, "recv incomplete(%d): recv-size(%lld) content-size(%lld)",
                 vornnet::LastError(), static_cast<long long>(m_recvSize),
                 static_cast<long long>(m_chunkSize));
            return -1;
        }
        if (n < 0)
            return -1;
        m_recvSize += n;
        if (m_recvSize == m_chunkSize && readChunkEnd() < 0)
            return -1;
        return n;
    }
    }
    return -1;
}

int CVornHttpClient::feedInflater(const char* data, size_t len) {
    const char* where = "CVornHttpClient::Recv";
    if (m_encoding == ENCODING_GZIP && !m_gzipHeader) {
        m_gzipCollect.Append(data, len);
        int hs = CVornGzip::GetHeaderSize(m_gzipCollect.GetData(), m_gzipCollect.size());
        if (hs == CVornGzip::HEADER_INVALID || (hs < 0 && m_gzipCollect.size() > kMaxGzipHeader)) {
            VLOG(0, where, "gzip header not found");
            return -1;
        }
        if (hs < 0)
            return 0;
        m_gzipHeader = 1;
        m_gzipCollect.Consume(static_cast<size_t>(hs));
        data = m_gzipCollect.GetData();
        len = m_gzipCollect.size();
    }
    if (m_encoding == ENCODING_GZIP && m_inflater->Finished())
        return takeGzipTrailer(data, len);
    if (len == 0)
        return 0;
    m_rawFed += static_cast<int64_t>(len);
    size_t before = m_out.size();
    int r = m_inflater->Inflate(data, len, m_out);
    if (m_encoding == ENCODING_GZIP && r != CVornInflateCore::RESULT_ERROR) {
        const size_t produced = m_out.size() - before;
        m_gzipCrc = static_cast<uint32_t>(
            crc32(m_gzipCrc, reinterpret_cast<const Bytef*>(m_out.GetData()) + before,
                  static_cast<uInt>(produced)));
        m_gzipSize += static_cast<uint32_t>(produced);
        if (r == CVornInflateCore::RESULT_END) {
            // The trailer follows the deflate data; data may live in m_gzipCollect.
            const size_t used = m_inflater->LastConsumed();
            int t = takeGzipTrailer(data + used, len - used);
            m_gzipCollect.Clear();
            return t;
        }
    }
    m_gzipCollect.Clear();
    if (r == CVornInflateCore::RESULT_ERROR) {
        if (m_maxDecoded > 0 && m_inflater->TotalOut() >= static_cast<size_t>(m_maxDecoded))
            VLOG(0, where, "inflate limit[%lld]", static_cast<long long>(m_maxDecoded));
        else
            VLOG(0, where, "inflate error[%lld]", static_cast<long long>(m_rawFed));
        m_out.Clear();
        return -1;
    }
    if (r == CVornInflateCore::RESULT_END)
        m_decodeEnd = true;
    else if (m_out.IsEmpty())
        VLOG(2, where, "inflate incomplete: %d", static_cast<int>(len));
    return 0;
}

// The 8 bytes after the deflate data: CRC32 and length (mod 2^32) of the decoded bytes, both
// little-endian. A deflate stream damaged so that it ends early is caught only here.
int CVornHttpClient::takeGzipTrailer(const char* data, size_t len) {
    const size_t take = std::min(len, kGzipTrailer - m_gzipTrailer.size());
    m_gzipTrailer.append(data, take);
    if (m_gzipTrailer.size() < kGzipTrailer)
        return 0;
    auto le32 = [this](size_t at) {
        uint32_t v = 0;
        for (size_t i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(static_cast<unsigned char>(m_gzipTrailer[at + i]))
                 << (8 * i);
        return v;
    };
    if (le32(0) != m_gzipCrc || le32(4) != m_gzipSize) {
        VLOG(0, "CVornHttpClient::Recv", "gzip trailer mismatch");
        m_out.Clear();
        return -1;
    }
    m_decodeEnd = true;
    return 0;
}

int CVornHttpClient::recvDecoded(char* buf, int len) {
    const char* where = "CVornHttpClient::Recv";
    char raw[kInflateStep];
    while (m_out.IsEmpty() && !m_decodeEnd && !m_decodeFailed) {
        int n = readBody(raw, sizeof raw);
        if (n < 0) {
            m_decodeFailed = true;
            break;
        }
        if (n == 0) {
            if (m_rawFed == 0 && !m_gzipHeader && m_gzipCollect.IsEmpty()) {
                m_decodeEnd = true; // an empty body
            } else if (m_encoding == ENCODING_GZIP && !m_gzipHeader) {
                VLOG(0, where, "gzip header not found");
                m_decodeFailed = true;
            } else if (m_encoding == ENCODING_GZIP && m_inflater->Finished()) {
                VLOG(0, where, "gzip trailer incomplete");
                m_decodeFailed = true;
            } else {
                VLOG(0, where, "inflate incomplete: %lld", static_cast<long long>(m_rawFed));
                m_decodeFailed = true;
            }
            break;
        }
        if (feedInflater(raw, static_cast<size_t>(n)) < 0)
            m_decodeFailed = true;
    }
    if (!m_out.IsEmpty()) {
        size_t n =
            m_out.size() < static_cast<size_t>(len) ? m_out.size() : static_cast<size_t>(len);
        memcpy(buf, m_out.GetData(), n);
        m_out.Consume(n);
        return static_cast<int>(n);
    }
    if (m_decodeFailed) {
        m_body = BODY_FAILED;
        return -1;
    }
    m_body = BODY_DONE;
    return 0;
}

int CVornHttpClient::Recv(char* buf, int len) {
    if (!buf || len <= 0)
        return -1;
    switch (m_body) {
    case BODY_NONE:
    case BODY_FAILED:
        return -1;
    case BODY_DONE:
        return 0;
    case BODY_OPEN:
        break;
    }
    if (m_encoding != ENCODING_NONE)
        return recvDecoded(buf, len);
    int n = readBody(buf, len);
    if (n == 0)
        m_body = BODY_DONE;
    else if (n < 0)
        m_body = BODY_FAILED;
    return n;
}
