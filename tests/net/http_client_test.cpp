// HTTP client: URL splitting, request building, framing, content encodings, bad answers.

#include "net_support.h"
#include "vorn_zlib.h"

#include <regex>
#include <sys/resource.h>

namespace {

class HttpClientTest : public FixtureTest {
protected:
    // Connects and sends a GET for path; the client is ready for Recv.
    void get(CVornHttpClient& c, const std::string& path) {
        ASSERT_EQ(1, c.SetUrl(s_fixture->url(path).c_str()));
        ASSERT_EQ(1, c.Connect(5));
        ASSERT_EQ(1, c.Get());
    }
    std::string fetch(const std::string& path, int* last = nullptr, int len = 4096) {
        CVornHttpClient c;
        get(c, path);
        std::string body;
        int r = ReadBody(c, body, len);
        if (last)
            *last = r;
        return body;
    }
};

TEST(HttpUrlTest, SplitsSchemeHostPortAndPath) {
    CVornHttpClient c;
    c.SetUrl("https://host.example/a/b?c=d");
    EXPECT_EQ("host.example", c.GetHost().str());
    EXPECT_EQ("/a/b?c=d", c.GetPath().str());
    EXPECT_EQ(443, c.GetPort());
    EXPECT_EQ(1, c.GetSsl());

    c.SetUrl("host:8080");
    EXPECT_EQ("host", c.GetHost().str());
    EXPECT_EQ("/", c.GetPath().str());
    EXPECT_EQ(8080, c.GetPort());
    EXPECT_EQ(0, c.GetSsl());

    c.SetUrl("HTTPS://Host/x");
    EXPECT_EQ(1, c.GetSsl());
    EXPECT_EQ("Host", c.GetHost().str());

    c.SetUrl("http://h:81/p/");
    EXPECT_EQ(0, c.GetSsl());
    EXPECT_EQ(81, c.GetPort());
    EXPECT_EQ("/p/", c.GetPath().str());

    c.SetUrl("ftp://h/p");
    EXPECT_EQ(0, c.GetSsl());
    EXPECT_EQ(80, c.GetPort());

    // "://" after a slash is no scheme.
    c.SetUrl("a/b://c");
    EXPECT_EQ("a", c.GetHost().str());
    EXPECT_EQ("/b://c", c.GetPath().str());

    c.SetUrl("h:99999/");
    EXPECT_EQ(0, c.GetPort());

    CVornHttpClient fromUrl("https://x.test:8443/y");
    EXPECT_EQ("x.test", fromUrl.GetHost().str());
    EXPECT_EQ(8443, fromUrl.GetPort());
    EXPECT_EQ(1, fromUrl.GetSsl());
    EXPECT_STREQ("CVornHttpClient", fromUrl.ClassName());
}

TEST(HttpUrlTest, ParametersAndRequestHeadersAreKeptInOrder) {
    CVornHttpClient c;
    EXPECT_EQ(0, c.SetParameter(nullptr, "v"));
    EXPECT_EQ(1, c.SetParameter("a", "1"));
    EXPECT_EQ(1, c.SetParameter("b", "2"));
    EXPECT_EQ(1, c.SetParameter("a", "3"));
    EXPECT_STREQ("1", c.GetParameter("a"));
    EXPECT_EQ(nullptr, c.GetParameter("A"));
    EXPECT_EQ(1, c.RemoveParameter("a"));
    EXPECT_EQ(nullptr, c.GetParameter("a"));
    EXPECT_STREQ("2", c.GetParameter("b"));

    EXPECT_EQ(1, c.AddRequestHeader("Range", "bytes=10-"));
    EXPECT_EQ(1, c.AddRequestHeader("Range", "bytes=20-"));
    EXPECT_EQ(1, c.AddRequestHeader("X-Colon", "a: b"));
    EXPECT_EQ("bytes=10-", c.GetRequestHeader("Range").str());
    EXPECT_EQ("bytes=20-", c.GetRequestHeader("Range", 1).str());
    EXPECT_EQ("", c.GetRequestHeader("Range", 2).str());
    EXPECT_EQ("", c.GetRequestHeader("range").str());
    EXPECT_EQ("a: b", c.GetRequestHeader("X-Colon").str());
    // Header injection is refused and changes nothing.
    EXPECT_EQ(0, c.AddRequestHeader("X-Bad", "v\r\nEvil: 1"));
    EXPECT_EQ(0, c.AddRequestHeader(nullptr, "v"));
    EXPECT_EQ(0, c.SetCookie("a=1\r\nEvil: 1"));
    EXPECT_EQ(0, c.SetUserAgent("ua\n"));
    EXPECT_EQ(0, c.SetReferer(nullptr));
    EXPECT_EQ(0, c.SetAuth("u", nullptr));
    EXPECT_EQ("", c.GetRequestHeader("X-Bad").str());
    c.ClearRequestHeader();
    EXPECT_EQ("", c.GetRequestHeader("Range").str());
}

TEST_F(HttpClientTest, GetBuildsTheRequestInTheFixedOrder) {
    CVornHttpClient c;
    c.SetUrl(s_fixture->url("/echo").c_str());
    c.SetProxy("127.0.0.1", s_fixture->proxy());
    c.SetParameter("a", "1");
    c.SetParameter("b", "2");
    c.SetAuth("user", "pass");
    c.SetProxyAuth("pu", "pp");
    c.SetUserAgent("Monazilla/1.00");
    c.SetReferer("http://ref.test/");
    c.SetCookie("x=1");
    c.SetCookie("y=2");
    c.SetIfModifiedSince(784111777);
    c.SetKeepAlive(0);
    c.AddRequestHeader("Range", "bytes=5-");
    c.AddRequestHeader("X-Extra", "e");
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, c.Get());
    std::string body;
    ASSERT_EQ(0, ReadBody(c, body));
    EXPECT_EQ("GET http://127.0.0.1/echo?a=1&b=2 HTTP/1.1\r\n"
              "Host: 127.0.0.1\r\n"
              "User-Agent: Monazilla/1.00\r\n"
              "Authorization: Basic dXNlcjpwYXNz\r\n"
              "Proxy-Authorization: Basic cHU6cHA=\r\n"
              "Referer: http://ref.test/\r\n"
              "Cookie: x=1\r\n"
              "Cookie: y=2\r\n"
              "Accept-Encoding: gzip,deflate\r\n"
              "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
              "Connection: close\r\n"
              "Range: bytes=5-\r\n"
              "X-Extra: e\r\n"
              "\r\n",
              body);
}

TEST_F(HttpClientTest, DefaultsAndProxyCredentialsWithoutAProxy) {
    CVornHttpClient c;
    c.SetUrl(s_fixture->url("/echo").c_str());
    c.SetProxyAuth("pu", "pp");
    c.SetGzipEncoding(0);
    c.SetKeepAlive(1);
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, c.Get());
    std::string body;
    ASSERT_EQ(0, ReadBody(c, body));
    EXPECT_EQ("GET /echo HTTP/1.1\r\n"
              "Host: 127.0.0.1\r\n"
              "User-Agent: vornnet/1.0\r\n"
              "Accept-Encoding: identity\r\n"
              "Connection: keep-alive\r\n"
              "\r\n",
              body);
}

TEST_F(HttpClientTest, PostSendsParametersAsTheBody) {
    CVornHttpClient c;
    c.SetUrl(s_fixture->url("/echo").c_str());
    c.SetParameter("bbs", "news");
    c.SetParameter("MESSAGE", "%82%A0");
    c.AddRequestHeader("Content-Type", "application/x-www-form-urlencoded");
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, c.Post());
    std::string body;
    ASSERT_EQ(0, ReadBody(c, body));
    EXPECT_EQ("POST /echo HTTP/1.1\r\n"
              "Host: 127.0.0.1\r\n"
              "User-Agent: vornnet/1.0\r\n"
              "Accept-Encoding: gzip,deflate\r\n"
              "Connection: close\r\n"
              "Content-Length: 23\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "\r\n"
              "bbs=news&MESSAGE=%82%A0",
              body);
}

TEST_F(HttpClientTest, ControlCharactersInThePathAreEscaped) {
    CVornHttpClient c;
    c.SetUrl(s_fixture->url("/echo").c_str());
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, c.Get("/echo?q=x y\r\nEvil: 1"));
    std::string body;
    ASSERT_EQ(0, ReadBody(c, body));
    EXPECT_EQ(0u, body.find("GET /echo?q=x%20y%0D%0AEvil:%201 HTTP/1.1\r\nHost:")) << body;
    // A host that would split the request is not sent at all.
    CVornHttpClient h;
    h.SetUrl(s_fixture->url("/echo").c_str());
    ASSERT_EQ(1, h.Connect(5));
    h.SetHost("127.0.0.1\r\nEvil: 1");
    EXPECT_EQ(0, h.Get());
}

TEST_F(HttpClientTest, MessagesComeInTheDocumentedOrder) {
    Recorder rec;
    CVornHttpClient c;
    c.SetCallbackProc(Recorder::Callback, &rec);
    get(c, "/len?n=200000");
    std::string body;
    ASSERT_EQ(0, ReadBody(c, body, 16384));
    EXPECT_EQ(200000u, body.size());
    // CONNECT_BEGIN, CONNECT_WAIT*, CONNECTED, SEND_BEGIN, SEND_DONE, HEADER_WAIT+,
    // HEADER_DONE, then RECV_WAIT / RECV_DONE pairs.
    std::string t = rec.trace();
    EXPECT_TRUE(std::regex_match(t, std::regex("ia*befc+d(g+h)*"))) << t;
    std::lock_guard<std::mutex> lock(rec.mutex);
    for (size_t i = 0; i < rec.messages.size(); ++i) {
        if (rec.messages[i] == MESSAGE_RECV_DONE) {
            EXPECT_GT(rec.data[i], 0);
        }
    }
}

TEST_F(HttpClientTest, ContentLengthBodies) {
    int last = 1;
    EXPECT_TRUE(fetch("/len?n=100000", &last, 1000) == Pattern(100000));
    EXPECT_EQ(0, last);
    EXPECT_TRUE(fetch("/len?n=100000", &last, 65536) == Pattern(100000));
    EXPECT_TRUE(fetch("/len?n=5000", &last, 1) == Pattern(5000));

    CVornHttpClient c;
    get(c, "/len?n=0");
    char buf[16];
    EXPECT_EQ(0, c.Recv(buf, sizeof buf));
    EXPECT_EQ(0, c.Recv(buf, sizeof buf));
    EXPECT_EQ(200, c.GetResultCode());
}

TEST_F(HttpClientTest, BodyToTheEndOfTheConnection) {
    int last = 1;
    EXPECT_TRUE(fetch("/close?n=70000", &last) == Pattern(70000));
    EXPECT_EQ(0, last);
}

TEST_F(HttpClientTest, ChunkedBodies) {
    int last = 1;
    // Many chunks carrying extensions.
    EXPECT_TRUE(fetch("/chunked?n=50000&size=7&ext=1", &last, 1000) == Pattern(50000));
    EXPECT_EQ(0, last);
    EXPECT_TRUE(fetch("/chunked?n=3000&size=5&split=1", &last, 64) == Pattern(3000));
    EXPECT_EQ(0, last);
    EXPECT_TRUE(fetch("/chunked?n=100000&size=40000", &last, 32768) == Pattern(100000));

    CVornHttpClient c;
    get(c, "/chunked?n=4&size=4");
    char buf[100];
    ASSERT_EQ(4, c.Recv(buf, sizeof buf));
    EXPECT_EQ(Pattern(4), std::string(buf, 4));
    EXPECT_EQ(0, c.GetChunkSize()); // the chunk's CR LF was read with it
    EXPECT_EQ(0, c.Recv(buf, sizeof buf));
}

TEST_F(HttpClientTest, ContentLengthWinsOverChunked) {
    int last = 1;
    EXPECT_TRUE(fetch("/both?n=1234", &last) == Pattern(1234));
    EXPECT_EQ(0, last);
}

TEST_F(HttpClientTest, ProxyConnectionCloseReadsToTheEnd) {
    int last = 1;
    std::string body = fetch("/proxyclose?n=30&len=10", &last);
    EXPECT_EQ(0, last);
    EXPECT_TRUE(body == Pattern(30));
}

TEST_F(HttpClientTest, EarlyCloseIsAnErrorNotATruncation) {
    LogCapture log;
    int last = 1;
    std::string body = fetch("/short?n=1000", &last);
    EXPECT_EQ(-1, last);
    EXPECT_EQ(990u, body.size());
    EXPECT_TRUE(log.contains("recv incomplete(")) << log.text();
    EXPECT_TRUE(log.contains("recv-size(990) content-size(1000)")) << log.text();
}

TEST_F(HttpClientTest, CompressedBodies) {
    for (const char* enc : {"gzip", "deflate"}) {
        int last = 1;
        std::string path = std::string("/") + enc + "?n=200000";
        EXPECT_TRUE(fetch(path, &last, 4096) == Pattern(200000)) << path;
        EXPECT_EQ(0, last);
        // Every byte written on its own, header pieces included; read in both sizes.
        path = std::string("/") + enc + "?n=3000&split=1";
        EXPECT_TRUE(fetch(path, &last, 1) == Pattern(3000)) << path;
        EXPECT_TRUE(fetch(path, &last, 65536) == Pattern(3000)) << path;
        EXPECT_EQ(0, last);
        path = std::string("/") + enc + "?n=100000&chunked=1&size=37";
        EXPECT_TRUE(fetch(path, &last, 5000) == Pattern(100000)) << path;
        EXPECT_EQ(0, last);
    }
}

TEST_F(HttpClientTest, StatusCodesAndBodylessAnswers) {
    CVornHttpClient c;
    get(c, "/status?code=206&n=100");
    EXPECT_EQ(206, c.GetResultCode());
    EXPECT_EQ("bytes 5-99/100", c.GetResponseHeader("Content-Range").str());
    std::string body;
    EXPECT_EQ(0, ReadBody(c, body));
    EXPECT_TRUE(body == Pattern(100).substr(5));

    // 304 has no body even though the server keeps the connection open.
    CVornHttpClient n;
    get(n, "/status?code=304");
    EXPECT_EQ(304, n.GetResultCode());
    char buf[16];
    EXPECT_EQ(0, n.Recv(buf, sizeof buf)); // at once: no wait for a body that never comes
    EXPECT_EQ(CVornAsyncSocket::WAIT_OK, n.GetWaitState());

    CVornHttpClient r;
    get(r, "/status?code=416");
    EXPECT_EQ(416, r.GetResultCode());
    CVornHttpClient m;
    get(m, "/status?code=302");
    EXPECT_EQ(302, m.GetResultCode());
    EXPECT_EQ("http://127.0.0.1/moved/", m.GetResponseHeader("location").str());

    CVornHttpClient i;
    get(i, "/interim?n=50");
    EXPECT_EQ(200, i.GetResultCode());
    body.clear();
    EXPECT_EQ(0, ReadBody(i, body));
    EXPECT_TRUE(body == Pattern(50));
}

TEST_F(HttpClientTest, ResponseHeadersAreFoundInAnyCase) {
    CVornHttpClient c;
    get(c, "/cookies");
    EXPECT_EQ("a=1; path=/", c.GetResponseHeader("Set-Cookie", 0).str());
    EXPECT_EQ("b=2", c.GetResponseHeader("set-cookie", 1).str());
    EXPECT_EQ("c=3; expires=Thu, 01 Jan 2099 00:00:00 GMT",
              c.GetResponseHeader("SET-COOKIE", 2).str());
    EXPECT_EQ("", c.GetResponseHeader("Set-Cookie", 3).str());
    EXPECT_EQ("odd: value", c.GetResponseHeader("x-odd-case").str());
    EXPECT_EQ("", c.GetResponseHeader("missing").str());
    EXPECT_EQ(0u, c.GetResponseHeader().str().find("HTTP/1.1 200 OK\r\nSet-Cookie: a=1"));
    std::string body;
    EXPECT_EQ(0, ReadBody(c, body));
    EXPECT_EQ("body", body);
}

TEST_F(HttpClientTest, SplitHeaderTerminatorEndsTheHeaderAtTheRightByte) {
    for (int at : {1, 2, 3, 4}) {
        CVornHttpClient c;
        get(c, "/splithdr?n=500&at=" + std::to_string(at));
        const std::string& h = c.GetResponseHeader().str();
        EXPECT_EQ(h.size() - 4, h.find("\r\n\r\n")) << at;
        EXPECT_EQ("500", c.GetResponseHeader("content-length").str());
        std::string body;
        EXPECT_EQ(0, ReadBody(c, body));
        EXPECT_TRUE(body == Pattern(500)) << at;
    }
}

TEST_F(HttpClientTest, KeepAliveCarriesSeveralRequests) {
    CVornHttpClient c;
    c.SetUrl(s_fixture->url("/len?n=10").c_str());
    c.SetKeepAlive(1);
    ASSERT_EQ(1, c.Connect(5));
    for (int n : {10, 70000, 3}) {
        ASSERT_EQ(1, c.Get(("/len?n=" + std::to_string(n)).c_str()));
        std::string body;
        EXPECT_EQ(0, ReadBody(c, body));
        EXPECT_TRUE(body == Pattern(static_cast<size_t>(n))) << n;
    }
}

TEST_F(HttpClientTest, UsageErrors) {
    LogCapture log;
    CVornHttpClient c;
    char buf[8];
    EXPECT_EQ(-1, c.Recv(buf, sizeof buf)); // no response yet
    EXPECT_EQ(0, c.Get());                  // not connected
    EXPECT_TRUE(log.contains("call SetUrl")) << log.text();
    EXPECT_EQ(0, c.Connect(1));
}

TEST_F(HttpClientTest, CancelWhileWaitingForTheHeader) {
    Recorder rec;
    CVornHttpClient c;
    c.SetCallbackProc(Recorder::Callback, &rec);
    c.SetUrl(s_fixture->url("/stall").c_str());
    ASSERT_EQ(1, c.Connect(5));
    Canceller cancel(rec, 1300);
    EXPECT_EQ(0, c.Get());
    EXPECT_EQ(CVornAsyncSocket::WAIT_CANCELED, c.GetWaitState());
    EXPECT_GE(rec.count(MESSAGE_HEADER_WAIT), 2);
    EXPECT_EQ(0, rec.count(MESSAGE_HEADER_DONE));
}

TEST_F(HttpClientTest, CancelWhileReceivingTheBody) {
    Recorder rec;
    CVornHttpClient c;
    c.SetCallbackProc(Recorder::Callback, &rec);
    get(c, "/stallbody?n=100000&sent=1000");
    std::string body;
    Canceller cancel(rec, 1300);
    EXPECT_EQ(-1, ReadBody(c, body));
    EXPECT_EQ(CVornAsyncSocket::WAIT_CANCELED, c.GetWaitState());
    EXPECT_TRUE(body == Pattern(1000));
    char buf[8];
    EXPECT_EQ(-1, c.Recv(buf, sizeof buf));
}

TEST_F(HttpClientTest, CancelledBodyOfUnknownLengthIsNotAnEnd) {
    Recorder rec;
    CVornHttpClient c;
    c.SetCallbackProc(Recorder::Callback, &rec);
    get(c, "/slow?n=3000&delay=2000&pieces=2");
    rec.cancelAll = true;
    std::string body;
    EXPECT_EQ(-1, ReadBody(c, body));
}

TEST_F(HttpClientTest, ReceiveTimeoutBoundsHeaderAndBodyWaits) {
    CVornHttpClient c;
    c.SetRecvTimeout(1);
    c.SetUrl(s_fixture->url("/stall").c_str());
    ASSERT_EQ(1, c.Connect(5));
    EXPECT_EQ(0, c.Get());
    EXPECT_EQ(CVornAsyncSocket::WAIT_TIMEOUT, c.GetWaitState());

    CVornHttpClient b;
    b.SetRecvTimeout(1);
    get(b, "/stallbody?n=5000&sent=10");
    std::string body;
    EXPECT_EQ(-1, ReadBody(b, body));
    EXPECT_EQ(CVornAsyncSocket::WAIT_TIMEOUT, b.GetWaitState());
    EXPECT_EQ(10u, body.size());
}

TEST_F(HttpClientTest, SlowBodyArrivesWhole) {
    Recorder rec;
    CVornHttpClient c;
    c.SetCallbackProc(Recorder::Callback, &rec);
    get(c, "/slow?n=3000&delay=1200&pieces=2");
    std::string body;
    EXPECT_EQ(0, ReadBody(c, body));
    EXPECT_TRUE(body == Pattern(3000));
    EXPECT_GE(rec.count(MESSAGE_RECV_WAIT), 3);
}

// ---- hostile answers ----

TEST_F(HttpClientTest, BrokenChunkFramingIsAnError) {
    LogCapture log;
    int last = 1;
    fetch("/longchunk", &last);
    EXPECT_EQ(-1, last);
    EXPECT_TRUE(log.contains("chunk format(size)")) << log.text();

    std::string body = fetch("/chunkbad?kind=cr", &last);
    EXPECT_EQ(-1, last);
    EXPECT_TRUE(log.contains("chunk format(CR): 58")) << log.text();
    fetch("/chunkbad?kind=lf", &last);
    EXPECT_EQ(-1, last);
    EXPECT_TRUE(log.contains("chunk format(LF): 58")) << log.text();

    // A connection that ends before the last chunk does not end the body.
    body = fetch("/chunkeof", &last);
    EXPECT_EQ(-1, last);
    EXPECT_EQ("abcd", body);
    fetch("/chunkgarbage", &last);
    EXPECT_EQ(-1, last);
}

TEST_F(HttpClientTest, BadContentLengthIsAnError) {
    for (const char* v : {"-5", "99999999999999999999999", "abc", "12x"}) {
        CVornHttpClient c;
        get(c, std::string("/badlen?n=100&v=") + v);
        EXPECT_EQ(200, c.GetResultCode());
        char buf[64];
        EXPECT_EQ(-1, c.Recv(buf, sizeof buf)) << v;
    }
    // Huge but well-formed: nothing is reserved for it, and the early end is an error.
    int last = 1;
    std::string body = fetch("/badlen?n=100&v=1000000000000000", &last);
    EXPECT_EQ(-1, last);
    EXPECT_EQ(100u, body.size());
}

TEST_F(HttpClientTest, HugeHeaderIsRefused) {
    LogCapture log;
    CVornHttpClient c;
    c.SetUrl(s_fixture->url("/hugeheader?mb=4").c_str());
    ASSERT_EQ(1, c.Connect(5));
    EXPECT_EQ(0, c.Get());
    EXPECT_TRUE(log.contains("header too large")) << log.text();
    EXPECT_LE(c.GetResponseHeader().GetLength(), CVornHttpClient::kMaxHeaderSize);
}

TEST_F(HttpClientTest, DamagedCompressedBodiesAreErrors) {
    LogCapture log;
    for (const char* mode : {"len", "close"}) {
        int last = 1;
        std::string body = fetch(std::string("/truncgzip?n=100000&mode=") + mode, &last);
        EXPECT_EQ(-1, last) << mode;
        EXPECT_LT(body.size(), 100000u);
        EXPECT_TRUE(Pattern(100000).compare(0, body.size(), body) == 0) << mode;
    }
    int last = 1;
    fetch("/notgzip", &last);
    EXPECT_EQ(-1, last);
    EXPECT_TRUE(log.contains("gzip header not found")) << log.text();
    fetch("/corruptdeflate?n=20000", &last);
    EXPECT_EQ(-1, last);
}

// The trailer's CRC32 and length are the only check on a deflate stream that ends early.
TEST_F(HttpClientTest, GzipTrailerIsChecked) {
    {
        LogCapture log;
        int last = 1;
        std::string body = fetch("/gzipstored?n=3000&damage=1", &last);
        EXPECT_EQ(-1, last);
        EXPECT_LT(body.size(), 3000u);
        EXPECT_TRUE(log.contains("gzip trailer mismatch")) << log.text();
    }
    {
        // Deflate data whole, trailer cut short or missing.
        LogCapture log;
        for (const char* drop : {"4", "8"}) {
            int last = 1;
            fetch(std::string("/truncgzip?n=5000&drop=") + drop, &last);
            EXPECT_EQ(-1, last) << drop;
        }
        EXPECT_TRUE(log.contains("gzip trailer incomplete")) << log.text();
    }
    int last = 1;
    EXPECT_TRUE(fetch("/gzipstored?n=3000", &last) == Pattern(3000));
    EXPECT_EQ(0, last);
    // Trailer split across reads: within it, whole in a later read, with the deflate end.
    for (const char* at : {"3", "8", "12"}) {
        last = 1;
        EXPECT_TRUE(fetch(std::string("/gzipsplit?n=5000&at=") + at, &last) == Pattern(5000))
            << at;
        EXPECT_EQ(0, last) << at;
    }
    // Chunks of a few bytes are read one by one, so the trailer arrives in pieces.
    for (const char* size : {"1", "3", "5", "8"}) {
        last = 1;
        std::string path = std::string("/gzip?n=777&chunked=1&size=") + size;
        EXPECT_TRUE(fetch(path, &last, 7) == Pattern(777)) << path;
        EXPECT_EQ(0, last) << path;
    }
}

TEST_F(HttpClientTest, DecompressionBombStopsAtTheLimit) {
    LogCapture log;
    CVornHttpClient c;
    c.SetMaxDecodedSize(8 << 20);
    get(c, "/bomb?mb=64");
    std::string body;
    EXPECT_EQ(-1, ReadBody(c, body, 65536));
    EXPECT_LE(body.size(), static_cast<size_t>(8 << 20));
    EXPECT_TRUE(log.contains("inflate limit[")) << log.text();
}

TEST_F(HttpClientTest, LargeDecodedBodiesStreamInBoundedMemory) {
    CVornHttpClient c;
    c.SetMaxDecodedSize(0);
    get(c, "/bomb?mb=96");
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::vector<char> buf(16384);
    size_t total = 0;
    bool zeros = true;
    int n;
    while ((n = c.Recv(buf.data(), static_cast<int>(buf.size()))) > 0) {
        total += static_cast<size_t>(n);
        zeros = zeros && buf[0] == 0 && buf[static_cast<size_t>(n) - 1] == 0;
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(0, n);
    EXPECT_EQ(size_t(96) << 20, total);
    EXPECT_TRUE(zeros);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // One inflate step's output at most, far below the 96 MiB decoded. The sanitizers' own
    // memory (quarantine, shadow of every new mapping) is counted in the resident size too.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 40 * 1024); // KiB
#endif
}

} // namespace
