// The HTTP client component: HTTP/1.0 GET over TPowersock, with redirects, a kept cookie and
// Basic authorization.
#pragma once

#include "Psock.h"

#include <vector>

// Values of the request header that the client fills in.
class THeaderInfo {
  public:
    AnsiString UserId; // with Password: Basic authorization when both are set
    AnsiString Password;
    AnsiString Referer; // a Referer line when set
    AnsiString Cookie;  // kept from the last redirecting reply that set one
};

enum class TCmdType { Get };

using TOnCmdEvent = std::function<void(TCmdType cmd)>;

// Redirects, and repeats after a reply of status 299 or 303 to 399, one Get follows at most.
constexpr int kMaxRedirects = 20;
// Bytes of a reply body kept in memory when InputFileMode is not set.
constexpr int kMaxBodyInMemory = 64 * 1024 * 1024;

class TNMHTTP : public TPowersock {
  public:
    explicit TNMHTTP(TComponent* owner) : TPowersock(owner) {}

    // Port when the URL names none.
    int Port = 80;
    // Host and port to connect to in place of the URL's host; empty means none.
    AnsiString Proxy;
    int ProxyPort = 0;
    // Set: Body names the file the reply body is written to. Clear: Body receives the body.
    bool InputFileMode = false;
    AnsiString Body;
    THeaderInfo HeaderInfo;

    // The length the last reply announced; 0 when it announced none.
    int ContentLength() const { return contentLength_; }
    // The status of the last reply; 0 before the first.
    int ReplyStatus() const { return replyStatus_; }

    // One GET of the URL, following redirects (status 300 to 302) to their Location, resolved
    // against the URL that was asked, and repeating after status 299 and 303 to 399. Each
    // reply's body ends when its announced length has arrived, or without one when the server
    // closes. A reply status below 299 fires OnSuccess, above 399 OnFailure; 401 also fires
    // OnAuthenticationNeeded after the connection is closed. The credentials of HeaderInfo go
    // only to the host and port of the URL given. Returns when the exchange is over; raises
    // ESockError, before any look-up or request for it, for a URL (the one given or a
    // redirect's) that SplitUrl refuses: no host or one that is no host name, a user name
    // (EUrlUserName), a bad port, a scheme other than "http", a line break. It raises too for a
    // failed look-up, connection, send or read, a body cut before its announced length, a file
    // that cannot be written, a time-out, an Abort, a reply beyond the bounds, with a length that
    // is none or two different lengths or with a control character in a value it hands on, and
    // after kMaxRedirects redirects or repeats. Exceptions of handlers pass through. The connection
    // is closed when Get returns, also when it raises.
    void Get(AnsiString url);

    TNotifyEvent OnAboutToSend;
    TNotifyEvent OnAuthenticationNeeded;
    TOnCmdEvent OnFailure;
    THandlerEvent OnRedirect; // handled = true ends Get at the redirect
    TOnCmdEvent OnSuccess;

  private:
    // One exchange up to its outcome event: connect, send, read the reply header and body.
    // Without withCredentials the request carries no Authorization line.
    TReplyHeader Exchange(const AnsiString& url, const THttpUrl& parts, bool withCredentials);
    // Writes a piece of the body to the file, or to Body when there is none.
    void TakePacket(const FileHandle& file, const char* data, std::size_t size);

    int contentLength_ = 0;
    int replyStatus_ = 0;
    bool running_ = false;
    std::vector<char> packet_;
};
