// The HTTP module against a real server: the test bed's nginx.
#include "HttpMod.h"

#include "TempDir.h"
#include "TestBed.h"

#include <gtest/gtest.h>

namespace {

class NginxTest : public testing::Test {
  protected:
    void SetUp() override {
        port = TestBedValue("QUEN6_NGINX_PORT");
        root = TestBedValue("QUEN6_NGINX_ROOT");
        ASSERT_FALSE(port.empty()) << "the test bed's nginx is not running";
        ForceDirectories(root + "\\http-test");
        ForceDirectories(root + "\\private\\http-test");
        http.SetTimeOut(10000);
    }

    // A URL as the settings would give it: host, port and path.
    std::string Url(const std::string& path) const { return "127.0.0.1:" + port + path; }

    std::string port;
    std::string root;
    THttp http{nullptr};
    TempDir dir;
};

} // namespace

TEST_F(NginxTest, FileDownloadIsByteExact) {
    std::string content(3 * 1024 * 1024 + 17, '\0');
    unsigned state = 12345;
    for (char& c : content)
        c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
    WriteFile(root + "\\http-test\\file.bin", content);

    int total = 0;
    http.SetOnStatus([&](TObject*) { total = http.GetBytesTotal(); });
    ASSERT_TRUE(http.GetToFile(dir / "file.bin", Url("/http-test/file.bin")));
    EXPECT_TRUE(ReadFile(dir / "file.bin") == content);
    EXPECT_EQ(total, static_cast<int>(content.size()));
}

TEST_F(NginxTest, BasicAuthorization) {
    WriteFile(root + "\\private\\http-test\\list.txt", "[update]\r\n");
    AnsiString body;
    EXPECT_FALSE(http.GetToString(body, Url("/private/http-test/list.txt")));
    EXPECT_EQ(http.GetRequestResult(), 2);

    http.SetUserId(TestBedValue("QUEN6_NGINX_USER"));
    http.SetPassword("wrong");
    EXPECT_FALSE(http.GetToString(body, Url("/private/http-test/list.txt")));

    http.SetPassword(TestBedValue("QUEN6_NGINX_PASSWORD"));
    EXPECT_TRUE(http.GetToString(body, Url("/private/http-test/list.txt")));
    EXPECT_EQ(body, "[update]\r\n");
}

TEST_F(NginxTest, RedirectsAreFollowed) {
    WriteFile(root + "\\http-test\\moved.txt", "moved here");
    for (const char* path : {"/moved301/http-test/moved.txt", "/moved302/http-test/moved.txt"}) {
        SCOPED_TRACE(path);
        AnsiString body;
        EXPECT_TRUE(http.GetToString(body, Url(path)));
        EXPECT_EQ(body, "moved here");
    }
}

// A name with blanks is fetched as it is written, and a fragment stays with the client.
TEST_F(NginxTest, UrlsAsWritten) {
    WriteFile(root + "\\http-test\\Read Me.txt", "read me");
    WriteFile(root + "\\http-test\\part.txt", "whole");
    const std::pair<const char*, const char*> rows[] = {
        {"/http-test/Read Me.txt", "read me"},
        {"/http-test/Read%20Me.txt", "read me"},
        {"/moved302/http-test/Read Me.txt", "read me"},
        {"/http-test/part.txt#part two", "whole"},
    };
    for (const auto& [path, content] : rows) {
        SCOPED_TRACE(path);
        AnsiString body;
        EXPECT_TRUE(http.GetToString(body, Url(path)));
        EXPECT_EQ(body, content);
    }
}

TEST_F(NginxTest, NotFoundKeepsTheErrorPage) {
    EXPECT_FALSE(http.GetToFile(dir / "missing.bin", Url("/http-test/missing.bin")));
    EXPECT_EQ(http.GetRequestResult(), 2);
    EXPECT_NE(ReadFile(dir / "missing.bin").find("404 Not Found"), std::string::npos);
}

// The proxy a company runs keeps the connection open after each complete body: every kind of
// reply must end at its announced length.
TEST_F(NginxTest, ThroughSquid) {
    const std::string proxyPort = TestBedValue("QUEN6_SQUID_PORT");
    ASSERT_FALSE(proxyPort.empty()) << "the test bed's squid is not running";
    http.SetProxy("127.0.0.1");
    http.SetProxyPort(std::stoi(proxyPort));
    const std::string content(200 * 1024 + 3, 's');
    WriteFile(root + "\\http-test\\proxied.bin", content);
    WriteFile(root + "\\private\\http-test\\proxied.txt", "private");

    EXPECT_TRUE(http.GetToFile(dir / "proxied.bin", Url("/http-test/proxied.bin")));
    EXPECT_TRUE(ReadFile(dir / "proxied.bin") == content);

    AnsiString body;
    EXPECT_TRUE(http.GetToString(body, Url("/moved302/http-test/proxied.bin")));
    EXPECT_TRUE(body == content);

    http.SetUserId(TestBedValue("QUEN6_NGINX_USER"));
    http.SetPassword(TestBedValue("QUEN6_NGINX_PASSWORD"));
    EXPECT_TRUE(http.GetToString(body, Url("/private/http-test/proxied.txt")));
    EXPECT_EQ(body, "private");

    EXPECT_FALSE(http.GetToString(body, Url("/http-test/missing.bin")));
    EXPECT_EQ(http.GetRequestResult(), 2);
}
