// The socket layer of the HTTP client: one TCP connection on Winsock, driven from the GUI
// thread. Every wait keeps the thread's window messages flowing, so that handlers of other
// windows (a cancel button, a progress display) run nested inside a transfer.
#pragma once

#include "HttpWire.h"

#include "Classes.h"
#include "Handles.h"

#include <functional>
#include <map>
#include <memory>

using THandlerEvent = std::function<void(bool& handled)>;
using TOnStatusEvent = std::function<void(TComponent* sender, AnsiString status)>;

// Levels of the client's own status texts; OnStatus sees those up to ReportLevel.
constexpr int kStatusConnection = 1; // look-up, connecting, closing
constexpr int kStatusRequest = 2;    // the request and the reply's status
constexpr int kStatusHeader = 4;     // the reply header read, the body begins
constexpr int kStatusData = 8;       // every received packet

class TPowersock : public TComponent {
  public:
    explicit TPowersock(TComponent* owner);
    ~TPowersock() override;

    // Milliseconds after which a wait gives up; 0 or less waits without limit. The countdown
    // starts with the first wait after StopTimeOut and restarts only when a wait finds the
    // value changed, so a handler that changes it per packet limits the silence between them.
    int TimeOut = 0;
    int ReportLevel = 0;

    bool Connected() const { return connected_; }
    // Body bytes of the current reply so far.
    int BytesReceived() const { return bytesReceived_; }

    // Closes the connection, stops the timer and a running look-up, and fires OnDisconnect
    // once for the session that began with the last look-up; fires nothing when no session is
    // open.
    void Disconnect();
    // Asks the running transfer to stop: its next wait raises ESockError. Dropped when the next
    // transfer begins.
    void Abort() { stopRequested_ = true; }

    TNotifyEvent OnConnect;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnDisconnect;
    TNotifyEvent OnHostResolved;
    THandlerEvent OnInvalidHost; // handled = true asks for another look-up
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;
    TOnStatusEvent OnStatus;

  protected:
    // Opens a session: looks up the host and connects to it. Raises ESockError after
    // OnInvalidHost or OnConnectionFailed, on a time-out or a stop request.
    void Connect(const AnsiString& host, int port);
    // Sends all bytes. Raises ESockError on failure, time-out or stop request.
    void Send(const AnsiString& bytes);
    // Reads the next packet into buffer: all the socket holds, up to size, waiting only when
    // it holds nothing; 0 when the server has closed the connection. Raises ESockError on
    // failure (after the bytes that came before it), time-out or stop request.
    int Receive(char* buffer, int size);
    // What every read does before it looks at the socket: re-arms the countdown, lets window
    // messages through and raises on a stop request, a closed session or a time-out.
    void BeforeReading();
    // Reports one of the client's own status texts at the given level.
    void Status(int level, const AnsiString& text);
    void ClearStopRequest() { stopRequested_ = false; }
    // Turns the countdown off, so that the next wait starts a fresh one: a step of the exchange
    // that has its own time-out begins here.
    void StopTimeOut();

    int bytesReceived_ = 0;

  private:
    // A host look-up through WSAAsyncGetHostByName; its result arrives at the window.
    class TLookup;
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Notice(UINT msg, WPARAM wParam, LPARAM lParam);

    // Returns the address of the host, 0 when it has none.
    unsigned long LookUp(const AnsiString& host);
    // Starts the time-out countdown with TimeOut, unless a countdown set with that same value
    // is running already.
    void ArmTimeOut();
    // Dispatches the pending window messages of the thread, then raises when the transfer was
    // asked to stop, a handler closed the connection meanwhile, or its time ran out (while
    // connecting, after OnConnectionFailed).
    void KeepMessagesFlowing(bool connecting);
    [[noreturn]] void ConnectionFailed(const AnsiString& why);
    // Waits until the socket signals network events or a window message arrives; returns the
    // events (0 after a message).
    long WaitForSocket();
    // Releases the connection's resources; never raises.
    void Close() noexcept;

    struct WinsockUse {
        WinsockUse();
        ~WinsockUse();
    } winsock_;
    WindowHandle window_;
    SocketHandle socket_;
    KernelHandle socketEvent_;
    int connectError_ = 0;
    int readError_ = 0; // a failure met after bytes that were delivered first
    std::unique_ptr<TLookup> lookup_;
    // Buffers of look-ups given up before their result arrived: the system may still write
    // them, so they live until that result comes (or the process ends).
    std::map<HANDLE, std::unique_ptr<char[]>> abandoned_;
    UINT_PTR timerId_ = 0;
    bool timerOn_ = false;
    int timerValue_ = 0; // the value the running countdown was started with
    DWORD deadline_ = 0; // tick count at which the countdown runs out
    DWORD due_ = 0;      // tick count at which the window timer fires
    bool timedOut_ = false;
    bool stopRequested_ = false;
    bool connected_ = false;
    bool sessionOpen_ = false;
    bool quitPending_ = false;
    int quitCode_ = 0;
};
