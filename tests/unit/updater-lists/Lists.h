// Views of update lists for tests, and the entry lines of UpdateLists.h.
#pragma once

#include "UpdateLists.h"
#include "Updatelst.h"

#include <vector>

using Names = std::vector<AnsiString>;

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
