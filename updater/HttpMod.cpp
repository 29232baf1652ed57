#include "HttpMod.h"

#include "HttpWire.h"
#include "Language.h"
#include "TextNumbers.h"

#include <climits>

THttp* Http = nullptr;

AnsiString CompleteUrl(const AnsiString& url) {
    if (AnsiCompareText(url.substr(0, 5), "HTTP:") == 0)
        return url;
    return "http:" + (url.compare(0, 1, "/") == 0 ? url : "//" + url);
}

THttp::THttp(TComponent* owner) : TDataModule(owner), NmHttp(new TNMHTTP(this)) {
    NmHttp->Port = 0;
    NmHttp->ReportLevel = 0;
    NmHttp->ProxyPort = 0;
    NmHttp->InputFileMode = false;
    NmHttp->OnAboutToSend = [this](TObject* sender) { NmHttpAboutToSend(sender); };
    NmHttp->OnAuthenticationNeeded = [this](TObject* sender) {
        NmHttpAuthenticationNeeded(sender);
    };
    NmHttp->OnConnect = [this](TObject* sender) { NmHttpConnect(sender); };
    NmHttp->OnConnectionFailed = [this](TObject* sender) { NmHttpConnectionFailed(sender); };
    NmHttp->OnDisconnect = [this](TObject* sender) { NmHttpDisconnect(sender); };
    NmHttp->OnFailure = [this](TCmdType cmd) { NmHttpFailure(cmd); };
    NmHttp->OnHostResolved = [this](TObject* sender) { NmHttpHostResolved(sender); };
    NmHttp->OnInvalidHost = [this](bool& handled) { NmHttpInvalidHost(handled); };
    NmHttp->OnPacketRecvd = [this](TObject* sender) { NmHttpPacketRecvd(sender); };
    NmHttp->OnPacketSent = [this](TObject* sender) { NmHttpPacketSent(sender); };
    NmHttp->OnRedirect = [this](bool& handled) { NmHttpRedirect(handled); };
    NmHttp->OnStatus = [this](TComponent* sender, AnsiString status) {
        NmHttpStatus(sender, status);
    };
    NmHttp->OnSuccess = [this](TCmdType cmd) { NmHttpSuccess(cmd); };
}

void THttp::SetTimeOut(int timeOut) {
    TimeOut = timeOut > 0 ? timeOut : 120000;
}

void THttp::SetUserId(AnsiString userId) {
    UserId = std::move(userId);
}

void THttp::SetPassword(AnsiString password) {
    Password = std::move(password);
}

void THttp::SetProxy(AnsiString proxy) {
    Proxy = std::move(proxy);
}

void THttp::SetProxyPort(int proxyPort) {
    if (proxyPort >= 0)
        ProxyPort = proxyPort;
}

void THttp::SetOnStatus(TNotifyEvent onStatus) {
    OnStatus = std::move(onStatus);
}

void THttp::SetStatus(AnsiString status) {
    StatusText = std::move(status);
    if (OnStatus)
        OnStatus(this);
}

AnsiString THttp::GetStatus() const {
    return StatusText;
}

int THttp::GetBytesRecvd() const {
    return Receiving ? NmHttp->BytesReceived() : 0;
}

int THttp::GetBytesTotal() const {
    return Receiving ? NmHttp->ContentLength() : 0;
}

AnsiString THttp::GetTarget() const {
    return NmHttp->InputFileMode ? NmHttp->Body : AnsiString(LoadLangString(IDS_UPDATE_LIST));
}

void THttp::ReportText(int number) {
    SetStatus(LoadLangString(number));
}

bool THttp::Request(AnsiString url) {
    NmHttp->Port = Port;
    NmHttp->Proxy = Proxy;
    NmHttp->ProxyPort = Proxy.empty() ? 0 : ProxyPort;
    NmHttp->TimeOut = TimeOut;
    NmHttp->HeaderInfo.UserId.clear();
    NmHttp->HeaderInfo.Password.clear();
    if (url.empty())
        return false;
    const AnsiString asked = url;
    url = CompleteUrl(url);
    AuthNeeded = false;
    Succeeded = false;
    Aborted = false;
    Receiving = false;
    ReportText(IDS_CONTACTING_SERVER);

    int attempt = 0;
    do {
        ++attempt;
        RequestRaised = false;
        try {
            NmHttp->Get(url);
        } catch (const EUrlUserName& e) {
            // A URL of the settings or of the list: credentials have their own settings.
            Trace("GET " + WithoutPassword(url),
                  e.Message + "; user names go in the settings' user= and pass=");
            RequestRaised = true;
        } catch (const Exception& e) {
            // Completed, such a URL names its scheme as the host with an empty port, which the
            // client refuses; the trace names the scheme instead.
            if (const AnsiString scheme = SchemeOf(asked);
                !scheme.empty() && AnsiCompareText(scheme, "http") != 0)
                Trace("GET " + WithoutPassword(asked), "only http:// URLs are fetched");
            else
                TraceException("GET " + url, e);
            RequestRaised = true;
        } catch (...) {
            RequestRaised = true;
        }
        if (NmHttp->Connected()) {
            NmHttp->Disconnect();
            while (NmHttp->Connected()) {
                Sleep(100);
                Application->ProcessMessages();
            }
        }
    } while (!Succeeded && AuthNeeded && attempt == 1);
    if (!Succeeded && !RequestRaised)
        Trace("GET " + url, "the server answered status " + IntToStr(NmHttp->ReplyStatus()));
    return Succeeded;
}

bool THttp::GetToFile(AnsiString path, AnsiString url) {
    NmHttp->InputFileMode = true;
    NmHttp->Body = std::move(path);
    return Request(std::move(url)) && !Aborted;
}

bool THttp::GetToString(AnsiString& body, AnsiString url) {
    NmHttp->InputFileMode = false;
    NmHttp->Body.clear();
    if (!Request(std::move(url)))
        return false;
    body = NmHttp->Body;
    return !Aborted;
}

void THttp::Abort() {
    Aborted = true;
    ReportText(IDS_CANCELLING);
    NmHttp->Abort();
}

int THttp::GetRequestResult() const {
    return RequestRaised ? 1 : 2;
}

void THttp::NmHttpAboutToSend(TObject*) {
    NmHttp->HeaderInfo.Referer = Referer;
}

void THttp::NmHttpAuthenticationNeeded(TObject*) {
    ReportText(IDS_AUTH_REQUIRED);
    NmHttp->HeaderInfo.UserId = UserId;
    NmHttp->HeaderInfo.Password = Password;
    AuthNeeded = true;
}

void THttp::NmHttpConnect(TObject*) {
    ReportText(IDS_CONNECTED);
}

void THttp::NmHttpConnectionFailed(TObject*) {
    ReportText(IDS_CONNECTION_FAILED);
}

void THttp::NmHttpDisconnect(TObject*) {
    ReportText(IDS_DISCONNECTED);
}

void THttp::NmHttpFailure(TCmdType) {
    ReportText(IDS_SERVER_ERROR);
}

void THttp::NmHttpHostResolved(TObject*) {
    ReportText(IDS_HOST_RESOLVED);
}

void THttp::NmHttpInvalidHost(bool& handled) {
    ReportText(IDS_HOST_NOT_FOUND);
    handled = false;
}

void THttp::NmHttpPacketRecvd(TObject*) {
    Receiving = true;
    // Alternating values restart the client's countdown; at the top of the range alternate below.
    NmHttp->TimeOut = TimeOut < INT_MAX ? TimeOut + TimeOutToggle : TimeOut - TimeOutToggle;
    TimeOutToggle ^= 1;
    ReportText(IDS_RECEIVING);
}

void THttp::NmHttpPacketSent(TObject*) {
    ReportText(IDS_REQUEST_SENT);
}

void THttp::NmHttpRedirect(bool& handled) {
    ReportText(IDS_REDIRECTED);
    handled = false;
}

void THttp::NmHttpStatus(TComponent*, const AnsiString& status) {
    SetStatus(AnsiString(LoadLangString(IDS_STATUS)) + status);
}

void THttp::NmHttpSuccess(TCmdType) {
    Succeeded = true;
    ReportText(IDS_COMPLETED);
}
