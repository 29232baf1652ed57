#include "Misc.h"

namespace {

// Files of any attributes; no folders, no volume labels.
constexpr int kAnyFile = faReadOnly | faHidden | faSysFile | faArchive;

} // namespace

TFileStamp GetFileStamp(const AnsiString& path) {
    TFileStamp stamp;
    const AnsiString file =
        path == "$$update$$" ? IncludeTrailingBackslash(ExtractFilePath(ExeName())) + "quen6aux.exe"
                             : path;
    if (!FileExists(file))
        return stamp;
    TSearchRec rec;
    if (FindFirst(file, kAnyFile, rec) == 0 && rec.FindData.nFileSizeHigh == 0 && rec.Size >= 0) {
        try {
            stamp.Time = FileDateToDateTime(rec.Time);
            stamp.Size = rec.Size;
        } catch (const EConvertError&) {
            // The file was stamped outside the MS-DOS years since the test above.
        }
    }
    FindClose(rec);
    return stamp;
}

bool ForceDeleteFile(const AnsiString& path) {
    if (path.empty() || !IsExistingFile(path))
        return true;
    SetFileAttributesA(path.c_str(), 0);
    return DeleteFileA(path.c_str()) != 0;
}
