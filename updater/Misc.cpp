#include "Misc.h"

#include <climits>

TFileStamp GetFileStamp(const AnsiString& path) {
    TFileStamp stamp;
    const AnsiString file =
        path == "$$update$$" ? IncludeTrailingBackslash(ExtractFilePath(ExeName())) + "quen6aux.exe"
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
    if (path.empty() || !IsExistingFile(path))
        return true;
    SetFileAttributesA(path.c_str(), 0);
    return DeleteFileA(path.c_str()) != 0;
}
