// The launcher's own steps: where the updater lives, and putting the files that an update
// run delivered in place before the updater starts.
#pragma once

#include "SysUtils.h"

// The language code of the launcher's settings file; empty until GetUpdaterDir has read it.
extern AnsiString LanguageCode;

// The updater folder, ending in a backslash. launcherDir, ending in a backslash, is the
// launcher's own folder; the setting "updaterdir" of section "update" in "quen6fld.ini" there
// ("quen6" when it is empty or the file is missing) is appended to it unchanged, and that
// folder is the result when it exists; otherwise launcherDir is. When the settings file
// exists, its "language" becomes LanguageCode.
AnsiString GetUpdaterDir(const AnsiString& launcherDir);

// True when path names an existing folder.
bool IsDirectory(const AnsiString& path);

// When a file stands at delivered, whatever its date, it takes the place of installed, whose
// attributes are cleared first. The replacement is one step: when it cannot be made (either
// file in use, no rights), both files stay as they are and the delivered one waits for the
// next start. Nothing is reported.
void SwapInDelivered(const AnsiString& installed, const AnsiString& delivered);
