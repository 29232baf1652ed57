#include "Misc.h"

#include "UpdateFile.h"

#include <climits>

TFileStamp GetFileStamp(const AnsiString& path) {
    TFileStamp stamp;
    // The updater is up to date when the one in place, "quen6aux.exe", has the listed stamp;
    // the new one that an install leaves beside it ("quen6aux2.exe") takes that place at the
    // launcher's next start, so it is never the one weighed.
    const AnsiString file =
        path == kUpdaterEntryPath
            ? IncludeTrailingBackslash(ExtractFilePath(ExeName())) + "quen6aux.exe"
            : path;
    WIN32_FILE_ATTRIBUTE_DATA data;
    int dos = 0;
    if (GetFileData(file, data) && data.nFileSizeHigh == 0 && data.nFileSizeLow <= INT_MAX &&
        LastWriteToDos(data.ftLastWriteTime, dos)) {
        stamp.Time = FileDateToDateTime(dos);
        stamp.Size = static_cast<int>(data.nFileSizeLow);
    }
    return stamp;
}

bool ForceDeleteFile(const AnsiString& path) {
    if (path.empty() || !FileExistsAnyDate(path))
        return true;
    SetFileAttributesA(path.c_str(), 0);
    return DeleteFileA(path.c_str()) != 0;
}
