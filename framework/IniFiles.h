// Settings files in the INI format, read through the system's profile functions.
#pragma once

#include "SysUtils.h"

class TIniFile {
  public:
    // A file name without a folder is looked for in the Windows folder, as the profile
    // functions do: pass a full path.
    explicit TIniFile(const AnsiString& fileName) : fileName_(fileName) {}

    // The value of the key in the section, at most 2047 characters (a longer one is cut);
    // def when the key is missing. Section and key names match in any letter case.
    AnsiString ReadString(const AnsiString& section, const AnsiString& key,
                          const AnsiString& def) const;
    // The value read by StrToIntDef; def when the key is missing, empty or not a number.
    int ReadInteger(const AnsiString& section, const AnsiString& key, int def) const;

  private:
    AnsiString fileName_;
};
