#include "NMHttp.h"

#include <algorithm>
#include <climits>

namespace {

// Bytes asked of the socket at once.
constexpr int kPacketSize = 1024 * 1024;

} // namespace

void TNMHTTP::Get(AnsiString url) {
    if (running_)
        throw ESockError("A transfer of this client is running already");
    running_ = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{running_};
    ClearStopRequest();

    THttpUrl first;
    for (int repeats = 0;; ++repeats) {
        if (repeats > kMaxRedirects)
            throw ESockError("Too many redirects");
        const THttpUrl parts = SplitUrl(url, Port);
        if (repeats == 0)
            first = parts;
        int status;
        AnsiString location;
        try {
            // The credentials were asked for by the first server: another one gets none.
            const TReplyHeader reply = Exchange(url, parts, SameServer(parts, first));
            status = replyStatus_ = reply.Status;
            location = reply.Location;
            if (status >= 300 && status <= 398 && reply.HasCookie)
                HeaderInfo.Cookie = reply.Cookie;
        } catch (...) {
            Disconnect();
            throw;
        }
        Disconnect();

        if (status >= 300 && status <= 398) {
            bool handled = false;
            if (OnRedirect)
                OnRedirect(handled);
            if (handled)
                return;
            // Without a Location the same URL is asked again.
            if (status <= 302 && !location.empty())
                url = ResolveReference(url, location);
        }
        if (status == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (status < 299 || status > 399)
            return;
    }
}

TReplyHeader TNMHTTP::Exchange(const AnsiString& url, const THttpUrl& parts, bool withCredentials) {
    if (OnAboutToSend)
        OnAboutToSend(this);
    contentLength_ = 0;
    bytesReceived_ = 0;
    const bool viaProxy = !Proxy.empty();
    Connect(viaProxy ? Proxy : parts.Host, viaProxy ? ProxyPort : parts.Port);

    // The look-up and connection, the request, each line of the reply header and the body
    // each have their own countdown: the time-out limits silence, not the whole exchange.
    StopTimeOut();
    Status(kStatusRequest, "Sending the request");
    TRequestValues values{HeaderInfo.UserId, HeaderInfo.Password, HeaderInfo.Referer,
                          HeaderInfo.Cookie};
    if (!withCredentials)
        values.UserId.clear();
    Send(RequestText(url, parts, viaProxy, values));

    packet_.resize(kPacketSize);
    char* const buffer = packet_.data();
    TReplyHeader reply;
    std::size_t size = 0, used = 0;
    int lines = -1;
    while (!reply.Complete()) {
        if (reply.Lines() != lines) {
            lines = reply.Lines();
            StopTimeOut();
        }
        size = static_cast<std::size_t>(Receive(buffer, kPacketSize));
        if (size == 0)
            throw ESockError("The server closed the connection within the reply header");
        used = reply.Feed(buffer, size);
    }
    StopTimeOut();
    contentLength_ = reply.ContentLength;
    Status(kStatusRequest, "Reply status " + IntToStr(reply.Status));

    Status(kStatusHeader, "Reading the body");
    FileHandle file;
    if (InputFileMode) {
        file.reset(CreateFileA(Body.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            throw ESockError("Cannot create the file " + Body);
    } else {
        Body.clear();
    }
    // A body with an announced length ends there: a proxy may keep the connection open after
    // it. Bytes beyond it are no part of the body.
    const char* data = buffer + used;
    size -= used;
    for (;;) {
        if (reply.LengthAnnounced)
            size = std::min(size, static_cast<std::size_t>(reply.ContentLength - bytesReceived_));
        if (size > 0)
            TakePacket(file, data, size);
        if (reply.LengthAnnounced && bytesReceived_ == reply.ContentLength) {
            // Ends as a close would: a handler's stop or disconnect still fails the exchange.
            BeforeReading();
            break;
        }
        data = buffer;
        size = static_cast<std::size_t>(Receive(buffer, kPacketSize));
        if (size == 0) {
            if (reply.LengthAnnounced)
                throw ESockError("The server closed the connection before the announced length");
            break;
        }
    }
    file.reset();

    if (reply.Status < 299) {
        if (OnSuccess)
            OnSuccess(TCmdType::Get);
    } else if (reply.Status > 399) {
        if (OnFailure)
            OnFailure(TCmdType::Get);
    }
    return reply;
}

void TNMHTTP::TakePacket(const FileHandle& file, const char* data, std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX - bytesReceived_))
        throw ESockError("The reply body is too long");
    if (file) {
        DWORD written = 0;
        if (!WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
            written != size)
            throw ESockError("Cannot write the file " + Body);
    } else {
        if (size > static_cast<std::size_t>(kMaxBodyInMemory - bytesReceived_))
            throw ESockError("The reply body is too long to keep in memory");
        Body.append(data, size);
    }
    bytesReceived_ += static_cast<int>(size);
    Status(kStatusData, "Received " + IntToStr(bytesReceived_) + " bytes");
    if (OnPacketRecvd)
        OnPacketRecvd(this);
}
