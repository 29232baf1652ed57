// Where the language tests find their libraries, and the text numbers the programs fetch.
#pragma once

#include "SysUtils.h"

#include <vector>

// The folder of the running test program (with LanguageProbe.exe and the "long" test library),
// ending in a backslash.
inline AnsiString TestProgramDir() {
    return ExtractFilePath(ExeName());
}

// The folder of the built language libraries, ending in a backslash.
inline AnsiString BuiltLanguageDir() {
    char full[MAX_PATH];
    GetFullPathNameA((TestProgramDir() + LANG_DLL_DIR).c_str(), MAX_PATH, full, nullptr);
    return IncludeTrailingBackslash(full);
}

inline std::vector<int> FetchedTextNumbers() {
    std::vector<int> numbers = {101, 104};
    for (int n = 106; n <= 133; ++n)
        numbers.push_back(n);
    return numbers;
}
