// TLS: certificate and host verification, "ca-bundle.crt", tunnelling through a proxy.

#include "net_support.h"
#include "vorn_net_internal.h"

#include <climits>
#include <netdb.h>
#include <unistd.h>

namespace {

class TlsTest : public NetTest {
protected:
    static void SetUpTestSuite() {
        s_certs = new TestCerts();
        if (s_certs->ok)
            s_fixture = new FixtureServer(s_certs->serverCert, s_certs->serverKey);
    }
    static void TearDownTestSuite() {
        delete s_fixture;
        delete s_certs;
        s_fixture = nullptr;
        s_certs = nullptr;
    }
    void SetUp() override {
        NetTest::SetUp();
        ASSERT_TRUE(s_certs->ok) << "openssl could not make the test certificates";
        ASSERT_TRUE(s_fixture && s_fixture->ok() && s_fixture->tls());
        char cwd[PATH_MAX];
        ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
        m_oldCwd = cwd;
        ASSERT_EQ(0, chdir(m_cwd.path().c_str()));
    }
    void TearDown() override {
        vornnet::SetResolveHook(nullptr);
        if (!m_oldCwd.empty()) {
            EXPECT_EQ(0, chdir(m_oldCwd.c_str()));
        }
    }
    void trustTestCa() { WriteAll(m_cwd.file("ca-bundle.crt"), ReadAll(s_certs->caCert)); }
    std::string tlsUrl(const std::string& host, const std::string& path) {
        return "https://" + host + ":" + std::to_string(s_fixture->tls()) + path;
    }

    TempDir m_cwd;
    std::string m_oldCwd;
    static TestCerts* s_certs;
    static FixtureServer* s_fixture;
};
TestCerts* TlsTest::s_certs = nullptr;
FixtureServer* TlsTest::s_fixture = nullptr;

TEST_F(TlsTest, UntrustedCertificateIsRefusedByDefault) {
    LogCapture log;
    CVornHttpClient c(tlsUrl("127.0.0.1", "/len?n=10").c_str());
    EXPECT_EQ(1, c.GetSsl());
    EXPECT_EQ(0, c.Connect(5));
    EXPECT_TRUE(log.contains("rootCA [ca-bundle.crt] の読み込みに失敗しましたが続行します。"))
        << log.text();
    EXPECT_TRUE(log.contains("SSL接続に失敗しました。")) << log.text();
    EXPECT_TRUE(log.contains("verify error[")) << log.text();
    EXPECT_EQ(0, c.Get());
}

TEST_F(TlsTest, CertificateSignedByTheBundleIsAccepted) {
    trustTestCa();
    LogCapture log;
    for (const char* host : {"127.0.0.1", "localhost"}) {
        CVornHttpClient c(tlsUrl(host, "/len?n=300000").c_str());
        ASSERT_EQ(1, c.Connect(5)) << host << log.text();
        ASSERT_EQ(1, c.Get());
        EXPECT_EQ(200, c.GetResultCode());
        std::string body;
        EXPECT_EQ(0, ReadBody(c, body));
        EXPECT_TRUE(body == Pattern(300000)) << host;
    }
    EXPECT_TRUE(log.contains("使用する暗号化方式は ")) << log.text();
    EXPECT_TRUE(log.contains("使用するプロトコルは TLSv1.")) << log.text();
    EXPECT_FALSE(log.contains("rootCA")) << log.text();
}

TEST_F(TlsTest, SystemStoreServesWhenTheBundleIsMissing) {
    // OpenSSL reads its default store from SSL_CERT_FILE when set.
    setenv("SSL_CERT_FILE", s_certs->caCert.c_str(), 1);
    LogCapture log;
    CVornHttpClient c(tlsUrl("localhost", "/len?n=1000").c_str());
    int connected = c.Connect(5);
    unsetenv("SSL_CERT_FILE");
    ASSERT_EQ(1, connected) << log.text();
    EXPECT_TRUE(log.contains("rootCA [ca-bundle.crt] の読み込みに失敗しましたが続行します。"))
        << log.text();
    ASSERT_EQ(1, c.Get());
    std::string body;
    EXPECT_EQ(0, ReadBody(c, body));
    EXPECT_TRUE(body == Pattern(1000));
}

TEST_F(TlsTest, EncodedAndChunkedBodiesOverTls) {
    trustTestCa();
    for (const char* path :
         {"/gzip?n=200000&chunked=1&size=1000", "/chunked?n=100000&size=333", "/deflate?n=50000"}) {
        CVornHttpClient c(tlsUrl("localhost", path).c_str());
        ASSERT_EQ(1, c.Connect(5));
        ASSERT_EQ(1, c.Get());
        std::string body;
        EXPECT_EQ(0, ReadBody(c, body, 1000)) << path;
        size_t n = static_cast<size_t>(atoi(strstr(path, "n=") + 2));
        EXPECT_TRUE(body == Pattern(n)) << path;
    }
}

TEST_F(TlsTest, CertificateForAnotherHostIsRefused) {
    trustTestCa();
    vornnet::SetResolveHook([](const std::string&, std::string* addr) {
        *addr = "127.0.0.1";
        return 0;
    });
    LogCapture log;
    CVornHttpClient c(tlsUrl("other.test", "/len?n=10").c_str());
    EXPECT_EQ(0, c.Connect(5));
    EXPECT_TRUE(log.contains("verify error[62]")) << log.text(); // host name mismatch
}

TEST_F(TlsTest, HttpsIsTunnelledThroughTheProxy) {
    trustTestCa();
    CVornHttpClient c(tlsUrl("localhost", "/echo").c_str());
    c.SetProxy("127.0.0.1", s_fixture->proxy());
    c.SetProxyAuth("u", "p");
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, c.Get());
    std::string body;
    EXPECT_EQ(0, ReadBody(c, body));
    // Inside the tunnel the origin server gets the path alone, and never the proxy's password.
    EXPECT_EQ(0u, body.find("GET /echo HTTP/1.1\r\nHost: localhost\r\n")) << body;
    EXPECT_EQ(std::string::npos, body.find("Proxy-Authorization")) << body;
    EXPECT_EQ(std::string::npos, body.find("Proxy-Connection")) << body;

    CVornHttpClient q(s_fixture->url("/lastconnect").c_str());
    ASSERT_EQ(1, q.Connect(5));
    ASSERT_EQ(1, q.Get());
    std::string connect;
    EXPECT_EQ(0, ReadBody(q, connect));
    std::string expect = "CONNECT localhost:" + std::to_string(s_fixture->tls()) +
                         " HTTP/1.1\r\nUser-Agent: vornnet/1.0\r\nHost: localhost\r\n"
                         "Content-Length: 0\r\nProxy-Connection: Keep-Alive\r\n"
                         "Proxy-Authorization: Basic dTpw\r\n\r\n";
    EXPECT_EQ(expect, connect);
}

TEST_F(TlsTest, RefusedTunnelFailsTheConnect) {
    LogCapture log;
    CVornHttpClient c("https://denied.test/x");
    c.SetProxy("127.0.0.1", s_fixture->proxy());
    EXPECT_EQ(0, c.Connect(5));
    EXPECT_TRUE(log.contains("https proxy recv error")) << log.text();
    EXPECT_TRUE(log.contains("CONNECT denied.test:443 HTTP/1.1")) << log.text();
    EXPECT_EQ(1, c.GetSsl());
}

TEST_F(TlsTest, HeaderWaitOverTlsIsCancellable) {
    trustTestCa();
    Recorder rec;
    CVornHttpClient c(tlsUrl("localhost", "/stall").c_str());
    c.SetCallbackProc(Recorder::Callback, &rec);
    ASSERT_EQ(1, c.Connect(5));
    Canceller cancel(rec, 1300);
    EXPECT_EQ(0, c.Get());
    EXPECT_EQ(CVornAsyncSocket::WAIT_CANCELED, c.GetWaitState());
    EXPECT_GE(rec.count(MESSAGE_HEADER_WAIT), 2);
    EXPECT_EQ(0, rec.count(MESSAGE_HEADER_DONE));
}

TEST_F(TlsTest, HandshakeWithASilentServerIsBoundedByTheTimeout) {
    // The plain port never answers a ClientHello with TLS.
    LogCapture log;
    CVornHttpClient c(("https://127.0.0.1:" + std::to_string(s_fixture->http()) + "/").c_str());
    EXPECT_EQ(0, c.Connect(1));
    EXPECT_TRUE(log.contains("SSL接続に失敗しました。")) << log.text();
}

} // namespace
