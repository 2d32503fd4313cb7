// Traced requests never hold passwords: Authorization values and the login's PW parameter are
// masked, everything else of the trace stays.
#include "net_support.h"
#include "vorn_http_client.h"

#include <gtest/gtest.h>

namespace {

TEST(LogMask, CredentialsAreMaskedAndTheRestKept) {
    CVornString req("POST /login?ID=me&PW=se%26cret&x=1 HTTP/1.1\r\nHost: h\r\n"
                    "Authorization: Basic dXNlcjpwYXNz\r\nproxy-authorization: Basic eHg6eXk=\r\n"
                    "Cookie: APW=keep\r\n\r\nID=me&PW=hunter2&APW=other&PW=second");
    EXPECT_EQ(CVornHttpClient::MaskForLog(req).str(),
              "POST /login?ID=me&PW=****&x=1 HTTP/1.1\r\nHost: h\r\n"
              "Authorization: ****\r\nproxy-authorization: ****\r\n"
              "Cookie: APW=keep\r\n\r\nID=me&PW=****&APW=other&PW=****");
    EXPECT_EQ(CVornHttpClient::MaskForLog(CVornString("PW=x")).str(), "PW=x"); // no form part
    EXPECT_EQ(CVornHttpClient::MaskForLog(CVornString("GET / HTTP/1.1\r\n\r\nPW=")).str(),
              "GET / HTTP/1.1\r\n\r\nPW=****");
}

class LogMaskNet : public FixtureTest {};

TEST_F(LogMaskNet, ATraceAtLevelTwoHoldsNoPassword) {
    FixtureServer& server = *s_fixture;
    LogCapture log;
    CVornHttpClient http;
    http.SetUrl(server.url("/len").c_str());
    http.SetAuth("user", "topsecret1");
    http.SetProxy("127.0.0.1", server.proxy());
    http.SetProxyAuth("puser", "topsecret2");
    http.SetParameter("ID", "me");
    http.SetParameter("PW", "topsecret3");
    ASSERT_EQ(http.Connect(10), 1);
    http.Post();
    http.Close();
    CVornString b1("user:topsecret1"), b2("puser:topsecret2");
    b1.Base64Encode();
    b2.Base64Encode();
    const std::string text = log.text();
    EXPECT_NE(text.find("SEND HEADER"), std::string::npos);
    EXPECT_NE(text.find("ID=me&PW=****"), std::string::npos);
    EXPECT_EQ(text.find("topsecret"), std::string::npos);
    EXPECT_EQ(text.find(b1.str()), std::string::npos);
    EXPECT_EQ(text.find(b2.str()), std::string::npos);
}

} // namespace
