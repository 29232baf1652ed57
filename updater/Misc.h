// A file's stamp in the terms of an update entry, and deleting a file whatever its attributes.
#pragma once

#include "SysUtils.h"

// Time and size of a file on disk; 0 and -1 when the file has no stamp.
struct TFileStamp {
    TDateTime Time = 0; // last write, local time, seconds rounded down to an even number
    int Size = -1;
};

// The stamp of the file at path ("$$update$$" stands for "quen6aux.exe" in the running
// program's folder). Nothing there, a folder, a last write outside the years 1980 to 2107 and
// a file of 2 GiB or more (whose size an int cannot hold) give no stamp.
TFileStamp GetFileStamp(const AnsiString& path);

// Clears the file's attributes and deletes it. Returns true when an empty path, nothing or a
// folder is there, or the file was deleted; false when the delete failed, the file then staying
// with its attributes cleared. A file is deleted whatever its time stamp.
bool ForceDeleteFile(const AnsiString& path);
