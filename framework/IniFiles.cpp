#include "IniFiles.h"

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& key,
                                const AnsiString& def) const {
    char buffer[2048];
    GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer, sizeof buffer,
                             fileName_.c_str());
    return buffer;
}

int TIniFile::ReadInteger(const AnsiString& section, const AnsiString& key, int def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
}
