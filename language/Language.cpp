#include "Language.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The library stays loaded until the process ends, by design: the handle has no owner that
// could free it, and each program loads one library once.
HMODULE LangDll = nullptr;
char TextBuffer[512];

template <typename... Args> std::string Format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    std::string name(static_cast<std::string::size_type>(length), '\0');
    std::snprintf(name.data(), name.size() + 1, pattern, args...);
    return name;
}

std::string GenericName(const char* folder) {
    return *folder ? Format("%squen6aux_lang.dll", folder) : std::string(".\\quen6aux_lang.dll");
}

} // namespace

bool LoadLanguageDll(const char* folder, const char* code) {
    if (!folder)
        folder = "";
    if (!code)
        code = "";
    if (*code) {
        const std::string name = *folder ? Format("%squen6aux_%s.dll", folder, code)
                                         : Format(".\\quen6aux_%s.dll", code);
        LangDll = LoadLibraryA(name.c_str());
        if (!LangDll)
            LangDll = LoadLibraryA(GenericName(folder).c_str());
    } else {
        LangDll = LoadLibraryA(GenericName(folder).c_str());
    }
    return LangDll != nullptr;
}

const char* LoadLangString(int number) {
    TextBuffer[0] = '\0';
    if (LangDll)
        LoadStringA(LangDll, static_cast<UINT>(number), TextBuffer, sizeof TextBuffer);
    return TextBuffer;
}
