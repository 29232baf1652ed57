#include "HttpWire.h"

#include <climits>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The index-th (from 0) run of non-blank characters of the line; empty when there is none.
AnsiString Field(const AnsiString& line, int index) {
    std::size_t pos = 0;
    for (;;) {
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos]))
            ++pos;
        if (start == pos)
            return AnsiString();
        if (index-- == 0)
            return line.substr(start, pos - start);
    }
}

bool SameAscii(const AnsiString& a, const char* upper) {
    std::size_t i = 0;
    for (; i < a.size() && upper[i]; ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i])
            return false;
    }
    return i == a.size() && !upper[i];
}

// A run of decimal digits as a number; -1 when it is empty, holds another character or passes
// the limit.
long long DecimalOrNone(const AnsiString& digits, long long limit) {
    if (digits.empty())
        return -1;
    long long value = 0;
    for (char c : digits) {
        if (!IsDigit(c))
            return -1;
        value = value * 10 + (c - '0');
        if (value > limit)
            return -1;
    }
    return value;
}

// The value of a header line from the given position (from 0) on; empty when it is shorter.
AnsiString ValueFrom(const AnsiString& line, std::size_t pos) {
    return pos < line.size() ? line.substr(pos) : AnsiString();
}

} // namespace

THttpUrl SplitUrl(const AnsiString& url, int defaultPort) {
    const std::size_t slashes = url.find("//");
    if (slashes == AnsiString::npos)
        throw ESockError("The URL names no host: " + url);
    const std::size_t hostStart = slashes + 2;
    const std::size_t hostEnd = url.find('/', hostStart);
    const AnsiString hostPart =
        url.substr(hostStart, hostEnd == AnsiString::npos ? AnsiString::npos : hostEnd - hostStart);
    THttpUrl parts;
    parts.Target = hostEnd == AnsiString::npos ? AnsiString("/") : url.substr(hostEnd);
    parts.Port = defaultPort;
    const std::size_t colon = hostPart.find(':');
    parts.Host = hostPart.substr(0, colon);
    if (colon != AnsiString::npos) {
        const long long port = DecimalOrNone(hostPart.substr(colon + 1), 65535);
        if (port <= 0)
            throw ESockError("The URL names no valid port: " + url);
        parts.Port = static_cast<int>(port);
    }
    if (parts.Host.empty())
        throw ESockError("The URL names no host: " + url);
    return parts;
}

AnsiString Base64(const AnsiString& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    AnsiString out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        unsigned group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

AnsiString RequestText(const AnsiString& url, const THttpUrl& parts, bool viaProxy,
                       const TRequestValues& values) {
    AnsiString text = "GET " + (viaProxy ? url : parts.Target) + " HTTP/1.0\r\n";
    if (viaProxy)
        text += "Proxy-Connection: Keep-Alive\r\n";
    text += "Host: " + parts.Host + "\r\n";
    text += "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n";
    text += "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
    if (!values.Referer.empty())
        text += "Referer: " + values.Referer + "\r\n";
    if (!values.Cookie.empty())
        text += "Cookie: " + values.Cookie + "\r\n";
    if (!values.UserId.empty() && !values.Password.empty())
        text += "Authorization: Basic " + Base64(values.UserId + ":" + values.Password) + "\r\n";
    text += "Content-type: application/x-www-form-urlencoded\r\n";
    text += "\r\n";
    return text;
}

int ReplyStatus(const AnsiString& statusLine) {
    const long long status = DecimalOrNone(Field(statusLine, 1), INT_MAX);
    return status < 0 ? 0 : static_cast<int>(status);
}

std::size_t TReplyHeader::Feed(const char* data, std::size_t size) {
    std::size_t used = 0;
    while (used < size && !complete_) {
        const char c = data[used++];
        if (++size_ > kMaxHeaderSize)
            throw ESockError("The reply header is too long");
        if (c != '\n') {
            // Room stays for the line feed.
            if (line_.size() + 2 > kMaxHeaderLine)
                throw ESockError("A line of the reply header is too long");
            line_ += c;
            continue;
        }
        if (!line_.empty() && line_.back() == '\r')
            line_.pop_back();
        TakeLine(line_);
        line_.clear();
    }
    return used;
}

void TReplyHeader::TakeLine(const AnsiString& line) {
    if (++lines_ > kMaxHeaderLines)
        throw ESockError("The reply header has too many lines");
    if (lines_ == 1) {
        Status = ReplyStatus(line);
        return;
    }
    if (line.empty()) {
        complete_ = true;
        return;
    }
    const AnsiString name = Field(line, 0);
    if (SameAscii(name, "LOCATION:")) {
        Location = ValueFrom(line, 10);
    } else if (SameAscii(name, "SET-COOKIE:")) {
        Cookie = ValueFrom(line, 12);
        HasCookie = true;
    } else if (SameAscii(name, "CONTENT-LENGTH:")) {
        std::size_t pos = line.find(':') + 1;
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        std::size_t end = pos;
        while (end < line.size() && IsDigit(line[end]))
            ++end;
        const long long length =
            end == pos ? 0 : DecimalOrNone(line.substr(pos, end - pos), INT_MAX);
        if (length < 0)
            throw ESockError("The reply announces a length beyond the int range");
        ContentLength = static_cast<int>(length);
    }
}
