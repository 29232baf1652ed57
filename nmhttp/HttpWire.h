// The HTTP/1.0 exchange as text: URL parts, the request, the reply header. Plain functions and
// a reader fed with bytes; no sockets.
#pragma once

#include "SysUtils.h"

#include <cstddef>

// Raised by the HTTP client for every failure of a transfer.
class ESockError : public Exception {
  public:
    using Exception::Exception;
};

// Raised for a URL that names a user name before its host: credentials travel apart from the
// URL, in the client's own values.
class EUrlUserName : public ESockError {
  public:
    using ESockError::ESockError;
};

// Bounds on what a server controls.
constexpr std::size_t kMaxHeaderLine = 8192;  // bytes of one header line, its end included
constexpr std::size_t kMaxHeaderSize = 65536; // bytes of the whole reply header
constexpr int kMaxHeaderLines = 256;          // lines of the reply header, the status line included

struct THttpUrl {
    AnsiString Host; // the authority after "//", without ":port"
    int Port = 0;
    AnsiString Target; // the path, "/" when it is empty, and the query; never the fragment
};

// Splits a URL as RFC 3986 (appendix B) does: the authority follows "//" and ends at the first
// "/", "?" or "#"; its host is the text up to a ":", and a number from 1 to 65535 after that
// ":" gives the port, otherwise defaultPort applies. The host is a name of letters, digits,
// "-._~!$&'()*+,;=" and "%" with two hexadecimal digits (an IPv4 address is one), taken as it
// stands. Raises EUrlUserName when the authority holds an "@", and ESockError when the URL holds
// a CR or LF, has a scheme other than "http" in any letter case, has no authority, its host is
// empty, in brackets (IPv6) or holds any other byte, or a ":" is not followed by a port.
THttpUrl SplitUrl(const AnsiString& url, int defaultPort);

// The URL with the password of a user name before its host ("http://user:pw@host/") written as
// "***", as a message or a trace may show it.
AnsiString WithoutPassword(const AnsiString& url);

// Whether the two URLs name the same server: the same host, in any letter case, and port.
bool SameServer(const THttpUrl& a, const THttpUrl& b);

// The URL a reference (a redirect's Location) names, seen from the URL base: resolved as RFC 3986
// (section 5) resolves it, the schemes and hosts with their ports kept as they are written. The
// path loses its dot segments also when the reference begins with a scheme.
AnsiString ResolveReference(const AnsiString& base, const AnsiString& reference);

// The scheme a URL begins with, followed by "//" ("https" for "https://host/"); empty when it
// begins with none.
AnsiString SchemeOf(const AnsiString& url);

// Standard Base64 with "=" padding, on one line.
AnsiString Base64(const AnsiString& bytes);

// Header values of a request that the client sends on its own.
struct TRequestValues {
    AnsiString UserId;
    AnsiString Password;
    AnsiString Referer;
    AnsiString Cookie;
};

// The whole GET request for the URL, ended by the empty line. With a proxy the request line
// names the whole URL and a Proxy-Connection line follows it. What the request line names goes
// without its fragment, and with each blank and control byte as %XX (a blank as "%20"); every
// other byte, "%" and bytes from 0x80 on included, goes as it stands. The Authorization line goes
// out only when user id and password are both set; Referer and Cookie lines only when set.
AnsiString RequestText(const AnsiString& url, const THttpUrl& parts, bool viaProxy,
                       const TRequestValues& values);

// The status of a reply's first line: the number in its second blank-separated field; 0 when
// that field is missing or not a decimal number, INT_MAX when its digits pass the int range.
int ReplyStatus(const AnsiString& statusLine);

// Reads a reply header fed in pieces as they arrive.
class TReplyHeader {
  public:
    // Takes the next bytes of the reply and returns how many belong to the header: all of them
    // while it goes on, fewer once its empty line is read (the rest begins the body). Raises
    // ESockError when a line, the line count or the whole header passes its bound, a
    // Content-Length value is no decimal number (a comma list of one number repeated counts as
    // that number), is folded onto a second line or has a blank before its colon, an announced
    // length passes the int range, two Content-Length fields differ (one value repeated counts
    // once), or a Location or Set-Cookie value holds a control character (below 0x20, or 0x7F).
    // A line that begins with a blank continues the field before it, joined to it by one blank.
    std::size_t Feed(const char* data, std::size_t size);
    bool Complete() const { return complete_; }
    // Lines read so far, the status line included.
    int Lines() const { return lines_; }

    // Fields are found by their name in any letter case; their values lose the blanks and tabs
    // around them.
    int Status = 0;
    bool LengthAnnounced = false; // the reply has a Content-Length field
    int ContentLength = 0;        // its length, 0 when the reply announced none
    AnsiString Location;          // from the last Location field, empty when none
    AnsiString Cookie;            // from the last Set-Cookie field, empty when none
    bool HasCookie = false;

  private:
    void TakeLine(const AnsiString& line);
    void TakeField();

    AnsiString line_;
    AnsiString field_;    // the field line read last, its folds joined; read when the next begins
    bool folded_ = false; // field_ was folded
    std::size_t size_ = 0;
    int lines_ = 0;
    bool complete_ = false;
};
