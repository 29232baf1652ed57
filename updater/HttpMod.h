// The updater's HTTP module: fetches a URL into a file or a text through its client
// component, cancels a running transfer and reports every step as a status text.
#pragma once

#include "Forms.h"
#include "NMHttp.h"

// The URL as a request uses it: unless its first five characters are "HTTP:" in any case,
// "//" is put in front (when it does not begin with "/") and then "http:".
AnsiString CompleteUrl(const AnsiString& url);

class THttp : public TDataModule {
  public:
    explicit THttp(TComponent* owner);

    TNMHTTP* NmHttp;

    // TimeOut := the value when it is above 0, else 120000.
    void SetTimeOut(int timeOut);
    void SetUserId(AnsiString userId);
    void SetPassword(AnsiString password);
    void SetProxy(AnsiString proxy);
    // ProxyPort := the value when it is 0 or above; a negative value is ignored.
    void SetProxyPort(int proxyPort);
    // The callback runs after every status change, with the module as sender.
    void SetOnStatus(TNotifyEvent onStatus);
    void SetStatus(AnsiString status);
    AnsiString GetStatus() const;
    // Body bytes of the current reply so far; 0 before the first packet of a request.
    int GetBytesRecvd() const;
    // The length the current reply announced (0 when none); 0 before the first packet.
    int GetBytesTotal() const;
    // The file being written, or the text IDS_UPDATE_LIST while the reply goes to memory.
    AnsiString GetTarget() const;

    // One GET of the completed URL: a first attempt without credentials, and a second with
    // them only after the server asked for authentication. Returns true when it succeeded;
    // false at once, with nothing reported, for an empty URL. Never raises.
    bool Request(AnsiString url);
    // The reply body goes to the file (created anew; an error page too). True when the request
    // succeeded and was not aborted.
    bool GetToFile(AnsiString path, AnsiString url);
    // The reply body goes to body, which stays untouched when the request fails. True when the
    // request succeeded and was not aborted.
    bool GetToString(AnsiString& body, AnsiString url);
    // Reports IDS_CANCELLING, then stops the running transfer, which then fails.
    void Abort();
    // 1 when the last attempt ended in an exception, else 2.
    int GetRequestResult() const;

    void NmHttpAboutToSend(TObject* sender);
    void NmHttpAuthenticationNeeded(TObject* sender);
    void NmHttpConnect(TObject* sender);
    void NmHttpConnectionFailed(TObject* sender);
    void NmHttpDisconnect(TObject* sender);
    void NmHttpFailure(TCmdType cmd);
    void NmHttpHostResolved(TObject* sender);
    void NmHttpInvalidHost(bool& handled);
    void NmHttpPacketRecvd(TObject* sender);
    void NmHttpPacketSent(TObject* sender);
    void NmHttpRedirect(bool& handled);
    void NmHttpStatus(TComponent* sender, const AnsiString& status);
    void NmHttpSuccess(TCmdType cmd);

  private:
    void ReportText(int number);

    bool RequestRaised = false;
    bool Succeeded = false;
    bool Aborted = false;
    bool Receiving = false;
    bool AuthNeeded = false;
    int Port = 80;
    AnsiString Referer;
    AnsiString UserId;
    AnsiString Password;
    AnsiString Proxy;
    int ProxyPort = 0;
    int TimeOut = 120000;
    int TimeOutToggle = 1;
    TNotifyEvent OnStatus;
    AnsiString StatusText;
};

// The one module of the program; null until the program creates it.
extern THttp* Http;
