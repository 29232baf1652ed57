#include "Psock.h"

#include "Forms.h"

#include <utility>

namespace {

const char kWindowClass[] = "TPowersock";
constexpr UINT kLookupMessage = WM_APP + 1;

HWND CreateNoticeWindow(TPowersock* owner, WNDPROC proc) {
    static const ATOM registered = [proc] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kWindowClass;
        return RegisterClassA(&wc);
    }();
    HWND window = registered ? CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                               nullptr, GetModuleHandleA(nullptr), nullptr)
                             : nullptr;
    if (!window)
        throw ESockError("Cannot create the window of the socket");
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

AnsiString ErrorText(const char* what, int error) {
    return what + (" (error " + IntToStr(error) + ")");
}

} // namespace

class TPowersock::TLookup {
  public:
    TLookup(HWND window, const AnsiString& host) : buffer_(new char[MAXGETHOSTSTRUCT]) {
        handle_ = WSAAsyncGetHostByName(window, kLookupMessage, host.c_str(), buffer_.get(),
                                        MAXGETHOSTSTRUCT);
        if (!handle_) {
            error_ = WSAGetLastError();
            done_ = true;
        }
    }
    ~TLookup() {
        // The system may still write the buffer: it is given up rather than freed.
        if (!done_) {
            WSACancelAsyncRequest(handle_);
            buffer_.release();
        }
    }
    TLookup(const TLookup&) = delete;
    TLookup& operator=(const TLookup&) = delete;

    HANDLE Handle() const { return handle_; }
    bool Done() const { return done_; }
    void Finish(int error) {
        done_ = true;
        error_ = error;
    }
    // The first IPv4 address found, 0 when none.
    unsigned long Address() const {
        if (error_)
            return 0;
        const auto* host = reinterpret_cast<const hostent*>(buffer_.get());
        if (host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list[0])
            return 0;
        return reinterpret_cast<const in_addr*>(host->h_addr_list[0])->s_addr;
    }
    // Cancels a pending look-up and hands over its buffer, which must outlive the late result.
    std::unique_ptr<char[]> Cancel() {
        done_ = true;
        WSACancelAsyncRequest(handle_);
        return std::move(buffer_);
    }

  private:
    std::unique_ptr<char[]> buffer_;
    HANDLE handle_ = nullptr;
    int error_ = 0;
    bool done_ = false;
};

TPowersock::WinsockUse::WinsockUse() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw ESockError("Windows Sockets are not available");
}

TPowersock::WinsockUse::~WinsockUse() {
    WSACleanup();
}

TPowersock::TPowersock(TComponent* owner) : TComponent(owner) {
    window_.reset(CreateNoticeWindow(this, WindowProc));
}

TPowersock::~TPowersock() {
    Close();
    SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
    for (auto& buffer : abandoned_)
        buffer.second.release();
}

LRESULT CALLBACK TPowersock::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* sock = reinterpret_cast<TPowersock*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (sock && (msg == WM_TIMER || msg == kLookupMessage)) {
        sock->Notice(msg, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Notices only record what happened; the waiting transfer acts on them.
void TPowersock::Notice(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        // A notice of a timer replaced or stopped meanwhile is stale.
        if (!timerOn_ || wParam != timerId_)
            return;
        const LONG left = static_cast<LONG>(deadline_ - GetTickCount());
        if (left > 0) {
            // The countdown was restarted after this timer was set: wait for the rest.
            due_ = deadline_;
            if (SetTimer(window_.get(), timerId_, static_cast<UINT>(left), nullptr))
                return;
        }
        timedOut_ = true;
        StopTimeOut();
        return;
    }
    const auto handle = reinterpret_cast<HANDLE>(wParam);
    if (lookup_ && !lookup_->Done() && lookup_->Handle() == handle)
        lookup_->Finish(WSAGETASYNCERROR(lParam));
    else
        abandoned_.erase(handle);
}

void TPowersock::ArmTimeOut() {
    if (TimeOut <= 0) {
        StopTimeOut();
        return;
    }
    if (timerOn_ && timerValue_ == TimeOut)
        return;
    timerValue_ = TimeOut;
    deadline_ = GetTickCount() + static_cast<DWORD>(TimeOut);
    // Restarting a countdown moves its end only: a window timer due before the new end finds
    // it moved and waits on, so a stream of packets costs no timer calls.
    if (timerOn_ && static_cast<LONG>(due_ - deadline_) <= 0)
        return;
    StopTimeOut();
    // Each window timer has its own id, so that a notice of an earlier one is recognised.
    ++timerId_;
    if (!SetTimer(window_.get(), timerId_, static_cast<UINT>(TimeOut), nullptr))
        throw ESockError(
            ErrorText("Cannot start the time-out timer", static_cast<int>(GetLastError())));
    timerOn_ = true;
    due_ = deadline_;
}

void TPowersock::StopTimeOut() {
    if (timerOn_)
        KillTimer(window_.get(), timerId_);
    timerOn_ = false;
}

void TPowersock::KeepMessagesFlowing(bool connecting) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // The quit request belongs to the loop outside the transfer: it is posted again when
        // the connection is closed.
        if (msg.message == WM_QUIT) {
            quitPending_ = true;
            quitCode_ = static_cast<int>(msg.wParam);
            continue;
        }
        DispatchThreadMessage(msg);
    }
    if (stopRequested_)
        throw ESockError("The transfer was stopped");
    // A handler that called Disconnect has taken the look-up or the socket away from this wait.
    if (!sessionOpen_)
        throw ESockError("The connection was closed during the transfer");
    if (timedOut_) {
        if (connecting)
            ConnectionFailed("The connection was not made within the time-out");
        throw ESockError("Nothing arrived within the time-out");
    }
}

void TPowersock::ConnectionFailed(const AnsiString& why) {
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    throw ESockError(why);
}

long TPowersock::WaitForSocket() {
    HANDLE event = socketEvent_.get();
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_FAILED)
        throw ESockError(
            ErrorText("Waiting for the socket failed", static_cast<int>(GetLastError())));
    if (woken != WAIT_OBJECT_0)
        return 0;
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(socket_.get(), event, &events) != 0)
        throw ESockError(ErrorText("Reading the socket's events failed", WSAGetLastError()));
    if (events.lNetworkEvents & FD_CONNECT)
        connectError_ = events.iErrorCode[FD_CONNECT_BIT];
    return events.lNetworkEvents;
}

unsigned long TPowersock::LookUp(const AnsiString& host) {
    Status(kStatusConnection, "Looking up " + host);
    lookup_ = std::make_unique<TLookup>(window_.get(), host);
    for (;;) {
        ArmTimeOut();
        KeepMessagesFlowing(true);
        if (lookup_->Done())
            break;
        if (MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_FAILED)
            throw ESockError(
                ErrorText("Waiting for the look-up failed", static_cast<int>(GetLastError())));
    }
    const unsigned long address = lookup_->Address();
    lookup_.reset();
    return address;
}

void TPowersock::Connect(const AnsiString& host, int port) {
    Close();
    sessionOpen_ = true;
    unsigned long address;
    while (!(address = LookUp(host))) {
        bool handled = false;
        if (OnInvalidHost)
            OnInvalidHost(handled);
        if (!handled)
            throw ESockError("The host " + host + " has no address");
    }
    if (OnHostResolved)
        OnHostResolved(this);

    Status(kStatusConnection, "Connecting to " + host + ":" + IntToStr(port));
    socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    socketEvent_.reset(WSACreateEvent());
    if (!socket_ || !socketEvent_ ||
        WSAEventSelect(socket_.get(), socketEvent_.get(),
                       FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
        ConnectionFailed(ErrorText("Cannot create a socket", WSAGetLastError()));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port));
    peer.sin_addr.s_addr = address;
    connectError_ = 0;
    if (connect(socket_.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            ConnectionFailed(ErrorText("Cannot connect", error));
        for (;;) {
            ArmTimeOut();
            KeepMessagesFlowing(true);
            if (WaitForSocket() & FD_CONNECT)
                break;
        }
        if (connectError_)
            ConnectionFailed(ErrorText("Cannot connect", connectError_));
    }
    connected_ = true;
    Status(kStatusConnection, "Connected");
    if (OnConnect)
        OnConnect(this);
}

void TPowersock::Send(const AnsiString& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ArmTimeOut();
        KeepMessagesFlowing(false);
        const int n =
            send(socket_.get(), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            throw ESockError(ErrorText("Sending failed", error));
        WaitForSocket();
    }
}

void TPowersock::BeforeReading() {
    ArmTimeOut();
    KeepMessagesFlowing(false);
}

int TPowersock::Receive(char* buffer, int size) {
    for (;;) {
        BeforeReading();
        if (readError_)
            throw ESockError(ErrorText("Reading failed", std::exchange(readError_, 0)));
        // What the socket holds now is taken in one packet: the events, the time-out and the
        // message pump run once per packet, not once per piece the system hands over.
        int got = 0;
        while (got < size) {
            const int n = recv(socket_.get(), buffer + got, size - got, 0);
            if (n == 0)
                return got;
            if (n > 0) {
                got += n;
                continue;
            }
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                if (got == 0)
                    throw ESockError(ErrorText("Reading failed", error));
                // The bytes before the failure are delivered first.
                readError_ = error;
            }
            break;
        }
        if (got > 0)
            return got;
        WaitForSocket();
    }
}

void TPowersock::Status(int level, const AnsiString& text) {
    if (level <= ReportLevel && OnStatus)
        OnStatus(this, text);
}

void TPowersock::Disconnect() {
    // A handler may have ended the session while Connect went on to make a socket: that one is
    // closed all the same.
    const bool sessionWasOpen = sessionOpen_;
    Close();
    if (!sessionWasOpen)
        return;
    Status(kStatusConnection, "Disconnected");
    if (OnDisconnect)
        OnDisconnect(this);
}

void TPowersock::Close() noexcept {
    sessionOpen_ = false;
    connected_ = false;
    StopTimeOut();
    timedOut_ = false;
    if (lookup_) {
        if (!lookup_->Done()) {
            const HANDLE handle = lookup_->Handle();
            abandoned_[handle] = lookup_->Cancel();
        }
        lookup_.reset();
    }
    socket_.reset();
    socketEvent_.reset();
    readError_ = 0;
    if (quitPending_) {
        quitPending_ = false;
        PostQuitMessage(quitCode_);
    }
}
