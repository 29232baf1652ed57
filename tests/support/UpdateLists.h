// Update lists and state files as tests write them: their entry lines, the lists, and files
// stamped with the time the entries list.
#pragma once

#include "SysUtils.h"

#include <vector>

// The date and time fields of an entry listed at 12 June 2003 08:38:20, with the "?" between
// them.
const AnsiString kListedWhen = "2003/06/12?08:38:20";

// An entry line "path?url?when?size". A state file's download follows as "?" and its path.
AnsiString EntryLine(const AnsiString& path, const AnsiString& url = "u",
                     const AnsiString& when = kListedWhen, int size = 1);
// An update list: the "[message]" section when the message is not empty, then "[update]",
// "$$needed$$" when mandatory, and the entry lines, each line ended by CR LF.
AnsiString UpdateList(const AnsiString& message, bool mandatory,
                      const std::vector<AnsiString>& entries);
// A file with that content and the time of kListedWhen as its last-write time.
void WriteStamped(const AnsiString& path, const AnsiString& content);
