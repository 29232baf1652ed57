#include "HttpWire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

TEST(SplitUrl, Parts) {
    struct Row {
        const char* url;
        const char* host;
        int port;
        const char* target;
    };
    const Row rows[] = {
        {"http://host/dir/file.txt?a=1", "host", 81, "/dir/file.txt?a=1"},
        {"http://host", "host", 81, "/"},
        {"http://host?a=1", "host?a=1", 81, "/"},
        {"HTTP://Host:8080/x", "Host", 8080, "/x"},
        {"http://host:1/", "host", 1, "/"},
        {"http://host:65535", "host", 65535, "/"},
        {"http://127.0.0.1:80/a//b", "127.0.0.1", 80, "/a//b"},
        {"//host/x", "host", 81, "/x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        const THttpUrl parts = SplitUrl(row.url, 81);
        EXPECT_EQ(parts.Host, row.host);
        EXPECT_EQ(parts.Port, row.port);
        EXPECT_EQ(parts.Target, row.target);
    }
}

TEST(SplitUrl, UrlsWithoutHostOrPortRaise) {
    for (const char* url :
         {"http:/file.txt", "host/file.txt", "http:///file.txt", "http://:80/", "http://host:/x",
          "http://ftp://host/x", "http://https://host/x", "http://host:0/", "http://host:65536/",
          "http://host:8o/", "http://host:-1/", "http://host:99999999999999999999/"}) {
        SCOPED_TRACE(url);
        EXPECT_THROW(SplitUrl(url, 80), ESockError);
    }
}

TEST(Base64, StandardAlphabetWithPadding) {
    const std::pair<const char*, const char*> rows[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"user:pass", "dXNlcjpwYXNz"},
        {"\xff\xfe", "//4="},
        {"\xfb\xef\xbe", "++++"},
    };
    for (const auto& [bytes, expected] : rows) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(Base64(bytes), expected);
    }
    EXPECT_EQ(Base64(std::string(100, 'u')).find('\n'), std::string::npos);
}

TEST(ReplyStatus, SecondField) {
    const std::pair<const char*, int> rows[] = {
        {"HTTP/1.0 200 OK", 200},
        {"HTTP/1.1 404 Not Found", 404},
        {"HTTP/1.0 301", 301},
        {"HTTP/1.0   302   Found", 302},
        {"HTTP/1.0\t401\tUnauthorized", 401},
        {"HTTP/1.0", 0},
        {"", 0},
        {"HTTP/1.0 OK", 0},
        {"HTTP/1.0 20x OK", 0},
        {"HTTP/1.0 -404 OK", 0},
        {"HTTP/1.0 2147483647 Big", INT_MAX},
        {"HTTP/1.0 2147483648 Bigger", 0},
        {"HTTP/1.0 99999999999999999999 Huge", 0},
    };
    for (const auto& [line, status] : rows) {
        SCOPED_TRACE(line);
        EXPECT_EQ(ReplyStatus(line), status);
    }
}

namespace {

// Feeds the text in pieces of the given size and returns the header and the bytes left over.
std::pair<TReplyHeader, std::string> Read(const std::string& text, std::size_t piece) {
    TReplyHeader header;
    std::size_t pos = 0;
    while (pos < text.size() && !header.Complete()) {
        const std::size_t size = std::min(piece, text.size() - pos);
        const std::size_t used = header.Feed(text.data() + pos, size);
        EXPECT_TRUE(used == size || header.Complete());
        pos += used;
    }
    return {header, text.substr(pos)};
}

} // namespace

TEST(TReplyHeader, RecognisedLinesInAnyPieces) {
    const std::string reply = "HTTP/1.0 302 Found\r\n"
                              "Server: test\r\n"
                              "location: http://host/next?x=1\r\n"
                              "Set-Cookie: first=1\r\n"
                              "SET-COOKIE: sid=abc; path=/\r\n"
                              "Content-Length: 1234\r\n"
                              "\r\n"
                              "body\r\n\r\nmore";
    for (std::size_t piece : {reply.size(), std::size_t{1}, std::size_t{7}}) {
        SCOPED_TRACE(piece);
        const auto [header, rest] = Read(reply, piece);
        EXPECT_TRUE(header.Complete());
        EXPECT_EQ(rest, "body\r\n\r\nmore");
        EXPECT_EQ(header.Status, 302);
        EXPECT_EQ(header.Location, "http://host/next?x=1");
        EXPECT_TRUE(header.HasCookie);
        EXPECT_EQ(header.Cookie, "sid=abc; path=/");
        EXPECT_EQ(header.ContentLength, 1234);
    }
}

TEST(TReplyHeader, Values) {
    struct Row {
        const char* line;
        const char* location;
        const char* cookie;
        int length;
    };
    // Values are taken from a fixed column: after the name, the colon and one blank.
    const Row rows[] = {
        {"Location: a.txt", "a.txt", "", 0},
        {"Location:  two blanks", " two blanks", "", 0},
        {"Location:", "", "", 0},
        {"Location:x", "", "", 0},
        {"Location : x", "", "", 0},
        {"X-Location: x", "", "", 0},
        {"Set-Cookie: a=1", "", "a=1", 0},
        {"Content-Length: 0", "", "", 0},
        {"Content-Length:   42", "", "", 42},
        {"content-length: 12abc", "", "", 12},
        {"Content-Length: abc", "", "", 0},
        {"Content-Length:77", "", "", 0},
        {"Content-Length: 2147483647", "", "", INT_MAX},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const auto [header, rest] =
            Read(std::string("HTTP/1.0 200 OK\n") + row.line + "\n\nbody", 1000);
        EXPECT_EQ(rest, "body");
        EXPECT_EQ(header.Location, row.location);
        EXPECT_EQ(header.Cookie, row.cookie);
        EXPECT_EQ(header.ContentLength, row.length);
    }
}

TEST(TReplyHeader, EmptyHeaderEndsAtTheFirstEmptyLineAfterTheStatus) {
    const auto [header, rest] = Read("HTTP/1.0 204 No Content\r\n\r\n", 100);
    EXPECT_TRUE(header.Complete());
    EXPECT_EQ(header.Status, 204);
    EXPECT_FALSE(header.HasCookie);
    EXPECT_EQ(rest, "");
}

namespace {

// A complete header of exactly that many bytes.
std::string HeaderOfSize(std::size_t size) {
    std::string header = "HTTP/1.0 200 OK\r\n";
    while (header.size() + 2 < size) {
        const std::size_t line = std::min<std::size_t>(8000, size - 2 - header.size());
        header += "X:" + std::string(line - 4, 'a') + "\r\n";
    }
    return header + "\r\n";
}

} // namespace

TEST(TReplyHeader, Bounds) {
    const std::string status = "HTTP/1.0 200 OK\r\n";
    const std::string filler(kMaxHeaderLine - 5, 'a');
    EXPECT_TRUE(Read(status + "X: " + filler + "\r\n\r\n", 4096).first.Complete());
    EXPECT_TRUE(Read(status + "X: " + filler + "a\n\n", 4096).first.Complete());
    EXPECT_THROW(Read(status + "X: " + filler + "a\r\n\r\n", 4096), ESockError);
    EXPECT_THROW(Read(std::string(kMaxHeaderLine, 'H'), 4096), ESockError);

    std::string many = status;
    for (int i = 1; i < kMaxHeaderLines - 1; ++i)
        many += "X: y\r\n";
    EXPECT_TRUE(Read(many + "\r\n", 4096).first.Complete());
    EXPECT_THROW(Read(many + "X: y\r\n\r\n", 4096), ESockError);

    EXPECT_TRUE(Read(HeaderOfSize(kMaxHeaderSize), 4096).first.Complete());
    EXPECT_THROW(Read(HeaderOfSize(kMaxHeaderSize + 1), 4096), ESockError);

    EXPECT_THROW(Read(status + "Content-Length: 2147483648\r\n\r\n", 100), ESockError);
    EXPECT_THROW(Read(status + "Content-Length: 99999999999999999999999\r\n\r\n", 100), ESockError);
}
