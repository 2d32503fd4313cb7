#pragma once

#include "vorn_array.h"
#include "vorn_async_socket.h"
#include "vorn_binary.h"
#include "vorn_string.h"
#include "vorn_table.h"
#include "vorn_zlib.h"

#include <cstdint>
#include <string>
#include <vector>

// HTTP/1.1 client: request building, response header parsing and body decoding (chunked
// transfer, gzip and deflate), with an optional forward proxy (HTTPS tunnelled by CONNECT),
// Basic authentication, cookies, form parameters and free request headers.
//
// Order of use: configure; Connect; Get or Post; GetResultCode / GetResponseHeader; Recv until
// it returns 0 (end of body) or -1 (error); Close. The configuration survives requests; the
// response state is reset by every Get and Post.
//
// Bodies are never truncated silently: a body that ends before its announced length or its
// last chunk, a damaged or incomplete compressed stream, a cancel or a receive timeout all end
// with -1. A response header may be at most kMaxHeaderSize bytes; decoded bodies at most
// SetMaxDecodedSize bytes.
class CVornHttpClient : public CVornAsyncSocket {
public:
    static constexpr int kMaxHeaderSize = 1024 * 1024;
    static constexpr int64_t kDefaultMaxDecodedSize = int64_t(256) * 1024 * 1024;

    CVornHttpClient();
    // A request as it may be traced: the values of Authorization and Proxy-Authorization
    // and of a "PW" form parameter (query or body) become "****"; the rest stays.
    static CVornString MaskForLog(const CVornString& request);
    explicit CVornHttpClient(const char* url);
    // Copies every setting and the last response; the copy shares the connection handle.
    CVornHttpClient(const CVornHttpClient& other);
    CVornHttpClient& operator=(const CVornHttpClient& other);
    ~CVornHttpClient() override;

    const char* ClassName() const override { return "CVornHttpClient"; }
    int Close() override;
    // Next piece of the decoded body: 1..len bytes, 0 at its end, -1 on error.
    int Recv(char* buf, int len) override;

    using CVornAsyncSocket::Connect;
    // Connects to the host, or to the proxy (tunnelling HTTPS). Each of resolution, connect
    // and TLS handshake is bounded by timeout seconds. 1 or 0.
    virtual int Connect(int timeout);
    // Send the request and read the response header; 1, or 0 when either failed.
    virtual int Get(const char* path);
    virtual int Get();
    virtual int Post(const char* path);
    virtual int Post();

    // Setters returning int give 0 (and change nothing) for a null argument or a text holding
    // CR or LF, else 1.
    virtual int SetAuth(const char* user, const char* password);
    virtual int SetProxyAuth(const char* user, const char* password);
    virtual int SetUserAgent(const char* agent);
    // Values are sent unchanged; callers URL-encode them.
    virtual int SetParameter(const char* name, const char* value);
    virtual const char* GetParameter(const char* name) const;
    virtual int RemoveParameter(const char* name);
    virtual int SetReferer(const char* referer);
    virtual int SetCookie(const char* cookie);
    virtual void ClearCookie();
    virtual int AddRequestHeader(const char* name, const char* value);
    virtual CVornString GetRequestHeader(const char* name, int index = 0) const;
    virtual void SetGzipEncoding(int flag) { m_gzip = flag; }
    virtual void SetKeepAlive(int flag) { m_keepAlive = flag; }
    // Seconds since 1970 UTC; 0 sends no If-Modified-Since.
    virtual void SetIfModifiedSince(int64_t time) { m_ifModifiedSince = time; }
    // Raw response header text (status line to the empty line).
    virtual const CVornString& GetResponseHeader() const { return m_header; }
    // index-th value (from 0) of a response header, any case of name; empty when missing.
    virtual CVornString GetResponseHeader(const char* name, int index = 0) const;
    // Host, path (with query), port and TLS from a URL; always 1.
    virtual int SetUrl(const char* url);
    // An empty host switches the proxy off.
    virtual void SetProxy(const char* host, unsigned short port);
    virtual void ClearRequestHeader() { m_requestHeaders.RemoveAll(); }
    virtual void ClearParameter() { m_params.RemoveAll(); }
    virtual void SetHost(const char* host) { m_host = host; }
    virtual void SetPath(const char* path) { m_path = path; }
    virtual void SetPort(unsigned short port) { m_port = port; }
    virtual const CVornString& GetHost() const { return m_host; }
    virtual const CVornString& GetPath() const { return m_path; }
    virtual unsigned short GetPort() const { return m_port; }
    // HTTP status code of the last response (0 when none).
    virtual int GetResultCode() const { return m_resultCode; }
    // Body bytes received (of the current chunk when chunked), and the current chunk's size.
    virtual int64_t GetRecvSize() const { return m_recvSize; }
    virtual int64_t GetChunkSize() const { return m_chunkSize; }

    // Most bytes a compressed body may decode to (0: no limit); guards against bombs.
    void SetMaxDecodedSize(int64_t bytes) { m_maxDecoded = bytes < 0 ? 0 : bytes; }

private:
    enum Framing { FRAMING_LENGTH, FRAMING_CHUNKED, FRAMING_CLOSE };
    enum Encoding { ENCODING_NONE, ENCODING_GZIP, ENCODING_DEFLATE };
    enum BodyState { BODY_NONE, BODY_OPEN, BODY_DONE, BODY_FAILED };

    void analyzeUrl(const char* url);
    CVornString makeParameterString() const;
    CVornString makeAuthString() const;
    CVornString makeProxyAuthString() const;
    int recvHeader();
    void init();

    int request(bool post);
    int connectTunnel(int timeout);
    void parseHeader();
    void prepareBody();
    // Raw bytes of the stream after the header: read-ahead first, then the socket.
    int rawRead(char* buf, int len);
    int rawByte(unsigned char* c);
    int fillReadAhead();
    // Body bytes before content decoding; 0 at the end of the body, -1 on error.
    int readBody(char* buf, int len);
    int readChunkSize();
    int readChunkEnd();
    int recvDecoded(char* buf, int len);
    int feedInflater(const char* data, size_t len);
    int takeGzipTrailer(const char* data, size_t len);
    void logStop(const char* where);

    CVornString m_host;
    CVornString m_path;
    unsigned short m_port = 0;
    CVornString m_proxyHost;
    unsigned short m_proxyPort = 0;
    CVornString m_user, m_password, m_proxyUser, m_proxyPassword;
    CVornString m_agent;
    CVornDataArray m_cookies;
    CVornString m_referer;
    int64_t m_ifModifiedSince = 0;
    int m_keepAlive = 0;
    int m_gzip = 1;

    int64_t m_recvSize = 0;
    int64_t m_chunkSize = 0;
    CVornInflate m_inflate;
    CVornInflate2 m_inflate2;
    CVornInflateCore* m_inflater = nullptr;
    CVornBinary m_out;
    int m_gzipHeader = 0;

    CVornString m_header;
    CVornTreeTable m_headers;
    int m_resultCode = 0;

    CVornDataArray m_params;
    CVornDataArray m_requestHeaders;

    // Bytes received after the response header that no one has read yet: m_rbuf[m_rpos,
    // m_rlen).
    std::vector<char> m_rbuf;
    size_t m_rpos = 0;
    size_t m_rlen = 0;
    int64_t m_rawFed = 0;
    CVornBinary m_gzipCollect;
    std::string m_gzipTrailer;
    uint32_t m_gzipCrc = 0;
    uint32_t m_gzipSize = 0;
    int64_t m_maxDecoded = kDefaultMaxDecodedSize;
    int64_t m_contentLength = 0;
    Framing m_framing = FRAMING_CLOSE;
    Encoding m_encoding = ENCODING_NONE;
    BodyState m_body = BODY_NONE;
    bool m_lastChunk = false;
    bool m_decodeEnd = false;
    bool m_decodeFailed = false;
};
