// The updater's settings, read once from its "quen6.ini" (section "update").
#pragma once

#include "SysUtils.h"

class TReadIniFile {
  public:
    // Reads every key of the file at path; a missing key takes its default (port 80, time-out
    // 20 s, offline 0, empty strings). Returns false, and changes nothing but Loaded, only when
    // no file exists at the path (a folder does not count).
    bool Load(const AnsiString& path);

    AnsiString GetAppName() const { return AppName; }
    // "list", "list2" and "list3" for the indexes 0 to 2; empty for any other index.
    AnsiString GetList(int index) const;
    AnsiString GetExec() const { return Exec; }
    AnsiString GetUser() const { return User; }
    AnsiString GetPass() const { return Pass; }
    AnsiString GetProxy() const { return Proxy; }
    int GetProxyPort() const { return ProxyPort; }
    // Milliseconds: 20000 for a time-out of 0 s or less; INT_MAX when it would not fit.
    int GetTimeOut() const;
    bool IsOffline() const { return Offline != 0; }
    AnsiString GetLanguage() const { return Language; }

  private:
    bool Loaded = false;
    AnsiString AppName;
    AnsiString List[3];
    AnsiString Exec;
    AnsiString User;
    AnsiString Pass;
    AnsiString Check; // read and kept; nothing uses it
    AnsiString Proxy;
    int ProxyPort = 0;
    int TimeOut = 0; // seconds
    int Offline = 0;
    AnsiString Language;
};
