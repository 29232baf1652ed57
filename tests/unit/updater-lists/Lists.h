// Entry lines and views of update lists for tests.
#pragma once

#include "Updatelst.h"

#include <vector>

using Names = std::vector<AnsiString>;

// An entry line; when is the date and time fields with the "?" between them.
inline AnsiString Entry(const AnsiString& path, const AnsiString& url = "u",
                        const AnsiString& when = "2003/06/12?08:38:20", int size = 1) {
    return path + "?" + url + "?" + when + "?" + IntToStr(size);
}

inline Names PathsOf(const TUpdateFileList& list) {
    Names paths;
    for (int i = 0; i < list.Count(); ++i)
        paths.push_back(list.GetName(i));
    return paths;
}

inline Names LinesOf(const TStringList& lines) {
    Names out;
    for (int i = 0; i < lines.Count(); ++i)
        out.push_back(lines.Strings(i));
    return out;
}

// Anything, file or folder, at the path.
inline bool Exists(const AnsiString& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
