#include "HttpWire.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

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

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsHexDigit(char c) {
    return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
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

// A run of decimal digits as a number, counted no higher than cap; -1 when it is empty or holds
// another character.
long long DecimalUpTo(const AnsiString& digits, long long cap) {
    if (digits.empty())
        return -1;
    long long value = 0;
    for (char c : digits) {
        if (!IsDigit(c))
            return -1;
        if (value < cap)
            value = value * 10 + (c - '0');
    }
    return value < cap ? value : cap;
}

// The length a Content-Length value gives: a decimal number, or a list of that one number
// repeated ("5, 5"), counted no higher than INT_MAX + 1; -1 for anything else.
long long LengthOf(const AnsiString& value) {
    long long length = -1;
    std::size_t pos = 0;
    do {
        const std::size_t comma = std::min(value.find(',', pos), value.size());
        const long long element =
            DecimalUpTo(TrimWhere(value.substr(pos, comma - pos), IsBlank), INT_MAX + 1LL);
        if (element < 0 || (length >= 0 && element != length))
            return -1;
        length = element;
        pos = comma + 1;
    } while (pos <= value.size());
    return length;
}

// A value that goes into a later request: a control byte in it could end the request's line
// and add lines of the server's choosing.
const AnsiString& WithoutControls(const AnsiString& value, const char* name) {
    for (char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            throw ESockError(AnsiString("The reply's ") + name + " holds a control character");
    return value;
}

// A URI reference split as RFC 3986 (appendix B) splits it; each part records whether it was
// there at all, since an empty part and a missing one resolve differently.
struct TReference {
    bool HasScheme = false, HasAuthority = false, HasQuery = false, HasFragment = false;
    AnsiString Scheme, Authority, Path, Query, Fragment;
};

bool IsScheme(const AnsiString& text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

TReference SplitReference(const AnsiString& text) {
    TReference r;
    std::size_t pos = 0;
    const std::size_t colon = text.find_first_of(":/?#");
    if (colon != AnsiString::npos && text[colon] == ':' && IsScheme(text.substr(0, colon))) {
        r.HasScheme = true;
        r.Scheme = text.substr(0, colon);
        pos = colon + 1;
    }
    if (text.compare(pos, 2, "//") == 0) {
        const std::size_t end = text.find_first_of("/?#", pos + 2);
        r.HasAuthority = true;
        r.Authority = text.substr(pos + 2, end == AnsiString::npos ? end : end - pos - 2);
        pos = end == AnsiString::npos ? text.size() : end;
    }
    const std::size_t pathEnd = std::min(text.find_first_of("?#", pos), text.size());
    r.Path = text.substr(pos, pathEnd - pos);
    pos = pathEnd;
    if (pos < text.size() && text[pos] == '?') {
        const std::size_t end = std::min(text.find('#', pos), text.size());
        r.HasQuery = true;
        r.Query = text.substr(pos + 1, end - pos - 1);
        pos = end;
    }
    if (pos < text.size()) {
        r.HasFragment = true;
        r.Fragment = text.substr(pos + 1);
    }
    return r;
}

// RFC 3986, section 5.2.4.
AnsiString RemoveDotSegments(const AnsiString& path) {
    AnsiString out;
    const auto dropLastSegment = [&out] {
        const std::size_t slash = out.rfind('/');
        out.erase(slash == AnsiString::npos ? 0 : slash);
    };
    const auto rest = [&path](std::size_t i, const char* text) {
        return path.compare(i, AnsiString::npos, text) == 0;
    };
    const auto next = [&path](std::size_t i, const char* text) {
        return path.compare(i, std::strlen(text), text) == 0;
    };
    std::size_t i = 0;
    while (i < path.size()) {
        if (next(i, "../")) {
            i += 3;
        } else if (next(i, "./") || next(i, "/./")) {
            i += 2;
        } else if (rest(i, "/.")) {
            out += '/';
            break;
        } else if (next(i, "/../")) {
            i += 3;
            dropLastSegment();
        } else if (rest(i, "/..")) {
            dropLastSegment();
            out += '/';
            break;
        } else if (rest(i, ".") || rest(i, "..")) {
            break;
        } else {
            const std::size_t end = std::min(path.find('/', i + 1), path.size());
            out.append(path, i, end - i);
            i = end;
        }
    }
    return out;
}

// Two upper-case hexadecimal digits.
AnsiString HexByte(char c) {
    static const char hex[] = "0123456789ABCDEF";
    const unsigned char byte = static_cast<unsigned char>(c);
    return {hex[byte >> 4], hex[byte & 15]};
}

// The first byte of the host that RFC 3986's reg-name has no place for (it takes letters, digits,
// "-._~", "!$&'()*+,;=" and "%" with two hexadecimal digits; an IPv4 address is one too), or
// npos when there is none. Such a byte would go into the Host line and the look-up raw.
std::size_t BadHostByte(const AnsiString& host) {
    static const char others[] = "-._~!$&'()*+,;=";
    for (std::size_t i = 0; i < host.size(); ++i) {
        const char c = host[i];
        if (IsAsciiLetter(c) || IsDigit(c) || (c != '\0' && std::strchr(others, c)))
            continue;
        if (c == '%' && i + 2 < host.size() && IsHexDigit(host[i + 1]) && IsHexDigit(host[i + 2])) {
            i += 2;
            continue;
        }
        return i;
    }
    return AnsiString::npos;
}

// What the request line names for a URL or a target: without its fragment, which no request
// carries, and with a blank or a control byte as "%" and two hexadecimal digits, so that the line
// keeps its three words. Every other byte goes as it stands, a "%" too: URLs written escaped
// already send what they sent before.
AnsiString RequestLineTarget(const AnsiString& target) {
    AnsiString out;
    for (char c : target.substr(0, target.find('#'))) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            out += '%' + HexByte(c);
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

AnsiString SchemeOf(const AnsiString& url) {
    const TReference r = SplitReference(url);
    return r.HasScheme && r.HasAuthority ? r.Scheme : AnsiString();
}

AnsiString WithoutPassword(const AnsiString& url) {
    const TReference r = SplitReference(url);
    const std::size_t at = r.Authority.rfind('@');
    const std::size_t colon = r.Authority.find(':');
    if (at == AnsiString::npos || colon > at)
        return url;
    // The authority follows the scheme's colon and "//".
    const std::size_t start = (r.HasScheme ? r.Scheme.size() + 1 : 0) + 2;
    return url.substr(0, start + colon + 1) + "***" + url.substr(start + at);
}

THttpUrl SplitUrl(const AnsiString& url, int defaultPort) {
    // A line break would end the request's line: the host goes into the Host line as it stands.
    if (url.find_first_of("\r\n") != AnsiString::npos)
        throw ESockError("The URL holds a line break: " + url);
    const TReference r = SplitReference(url);
    if (r.HasScheme && !SameAscii(r.Scheme, "HTTP"))
        throw ESockError("The URL is no plain HTTP URL: " + url);
    if (!r.HasAuthority)
        throw ESockError("The URL names no host: " + url);
    // A user name before the host would be taken for part of the host or of its port.
    if (r.Authority.find('@') != AnsiString::npos)
        throw EUrlUserName("The URL names a user name before its host: " + WithoutPassword(url));
    // A host in brackets is an IPv6 address (or a later kind), which no IPv4 socket reaches.
    if (r.Authority.compare(0, 1, "[") == 0)
        throw ESockError("The URL names its host in brackets, as an IPv6 address; this client "
                         "connects over IPv4 only: " +
                         url);
    THttpUrl parts;
    parts.Port = defaultPort;
    const std::size_t colon = r.Authority.find(':');
    parts.Host = r.Authority.substr(0, colon);
    if (colon != AnsiString::npos) {
        const long long port = DecimalUpTo(r.Authority.substr(colon + 1), 65536);
        if (port <= 0 || port > 65535)
            throw ESockError("The URL names no valid port: " + url);
        parts.Port = static_cast<int>(port);
    }
    if (parts.Host.empty())
        throw ESockError("The URL names no host: " + url);
    const std::size_t bad = BadHostByte(parts.Host);
    if (bad != AnsiString::npos)
        throw ESockError("The URL's host holds the byte 0x" + HexByte(parts.Host[bad]) +
                         ", which no host name has: " + url);
    parts.Target =
        (r.Path.empty() ? AnsiString("/") : r.Path) + (r.HasQuery ? "?" + r.Query : AnsiString());
    return parts;
}

bool SameServer(const THttpUrl& a, const THttpUrl& b) {
    return a.Port == b.Port && a.Host.size() == b.Host.size() &&
           std::equal(a.Host.begin(), a.Host.end(), b.Host.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// RFC 3986, section 5.2.2.
AnsiString ResolveReference(const AnsiString& base, const AnsiString& reference) {
    const TReference r = SplitReference(reference);
    const TReference b = SplitReference(base);
    TReference t;
    if (r.HasScheme || r.HasAuthority) {
        t.HasAuthority = r.HasAuthority;
        t.Authority = r.Authority;
        t.Path = RemoveDotSegments(r.Path);
        t.HasQuery = r.HasQuery;
        t.Query = r.Query;
    } else {
        t.HasAuthority = b.HasAuthority;
        t.Authority = b.Authority;
        if (r.Path.empty()) {
            t.Path = b.Path;
            t.HasQuery = r.HasQuery || b.HasQuery;
            t.Query = r.HasQuery ? r.Query : b.Query;
        } else {
            if (r.Path[0] == '/') {
                t.Path = RemoveDotSegments(r.Path);
            } else if (b.HasAuthority && b.Path.empty()) {
                t.Path = RemoveDotSegments("/" + r.Path);
            } else {
                const std::size_t slash = b.Path.rfind('/');
                t.Path = RemoveDotSegments(
                    (slash == AnsiString::npos ? AnsiString() : b.Path.substr(0, slash + 1)) +
                    r.Path);
            }
            t.HasQuery = r.HasQuery;
            t.Query = r.Query;
        }
    }
    AnsiString target = r.HasScheme ? r.Scheme + ":" : b.HasScheme ? b.Scheme + ":" : AnsiString();
    if (t.HasAuthority)
        target += "//" + t.Authority;
    target += t.Path;
    if (t.HasQuery)
        target += "?" + t.Query;
    if (r.HasFragment)
        target += "#" + r.Fragment;
    return target;
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
    AnsiString text = "GET " + RequestLineTarget(viaProxy ? url : parts.Target) + " HTTP/1.0\r\n";
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
    const long long status = DecimalUpTo(Field(statusLine, 1), INT_MAX);
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
    // A line that begins with a blank continues the field before it (obs-fold). The field is
    // read once it is whole, each fold taken as one blank, as RFC 9112 (5.2) asks of a client.
    if (!line.empty() && IsBlank(line[0])) {
        if (!field_.empty()) {
            field_ = TrimWhere(field_, IsBlank) + ' ' + TrimWhere(line, IsBlank);
            folded_ = true;
        }
        return;
    }
    TakeField();
    field_ = line;
    folded_ = false;
    complete_ = line.empty();
}

void TReplyHeader::TakeField() {
    // A field is its name up to the first colon and its value without the blanks around it; a
    // name with blanks in it is no name HTTP knows.
    const std::size_t colon = field_.find(':');
    if (colon == AnsiString::npos)
        return;
    const AnsiString name = field_.substr(0, colon);
    const AnsiString value = TrimWhere(field_.substr(colon + 1), IsBlank);
    // Some readers take "Content-Length :" for the length and some pass it over: which end the
    // body has is then anyone's guess, and such a reply is not used.
    const AnsiString bare = TrimWhere(name, IsBlank);
    if (bare != name && SameAscii(bare, "CONTENT-LENGTH"))
        throw ESockError("The reply puts a blank between Content-Length and its colon");
    if (SameAscii(name, "LOCATION")) {
        Location = WithoutControls(value, "Location");
    } else if (SameAscii(name, "SET-COOKIE")) {
        Cookie = WithoutControls(value, "Set-Cookie");
        HasCookie = true;
    } else if (SameAscii(name, "CONTENT-LENGTH")) {
        // A body of unknown end would be taken for the whole: such a reply is not used. A length
        // split over two lines is no length a reader can be sure of.
        if (folded_)
            throw ESockError("The reply folds its Content-Length onto a second line");
        const long long length = LengthOf(value);
        if (length < 0)
            throw ESockError("The reply's Content-Length is no length");
        if (length > INT_MAX)
            throw ESockError("The reply announces a length beyond the int range");
        // Which of two lengths the body keeps to is anyone's guess: such a reply is not used.
        if (LengthAnnounced && length != ContentLength)
            throw ESockError("The reply announces two different lengths");
        LengthAnnounced = true;
        ContentLength = static_cast<int>(length);
    }
}
