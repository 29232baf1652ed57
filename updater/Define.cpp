#include "Define.h"

#include "IniFiles.h"

#include <climits>

namespace {

const char* const Section = "update";

} // namespace

bool TReadIniFile::Load(const AnsiString& path) {
    Loaded = false;
    // Whatever its time stamp: a settings file copied with an odd date must still be read.
    if (!FileExistsAnyDate(path))
        return false;
    const TIniFile ini(path);
    AppName = ini.ReadString(Section, "appname", "");
    for (int i = 0; i < 3; ++i)
        List[i] =
            ini.ReadString(Section, i == 0 ? AnsiString("list") : "list" + IntToStr(i + 1), "");
    Exec = ini.ReadString(Section, "exec", "");
    User = ini.ReadString(Section, "user", "");
    Pass = ini.ReadString(Section, "pass", "");
    Check = ini.ReadString(Section, "check", "");
    Proxy = ini.ReadString(Section, "proxy", "");
    ProxyPort = ini.ReadInteger(Section, "proxyport", 80);
    TimeOut = ini.ReadInteger(Section, "timeout", 20);
    Offline = ini.ReadInteger(Section, "offline", 0);
    Language = ini.ReadString(Section, "language", "");
    Loaded = true;
    return true;
}

AnsiString TReadIniFile::GetList(int index) const {
    return index >= 0 && index < 3 ? List[index] : AnsiString();
}

int TReadIniFile::GetTimeOut() const {
    if (TimeOut <= 0)
        return 20000;
    return TimeOut > INT_MAX / 1000 ? INT_MAX : TimeOut * 1000;
}
