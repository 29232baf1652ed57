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

// A damaged library must not make the system show a box of its own before the program's
// message: the error mode is lifted for the load and restored after it.
HMODULE LoadQuietly(const std::string& name) {
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = LoadLibraryA(name.c_str());
    SetErrorMode(previous);
    return module;
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
        LangDll = LoadQuietly(name);
        if (!LangDll)
            LangDll = LoadQuietly(GenericName(folder));
    } else {
        LangDll = LoadQuietly(GenericName(folder));
    }
    return LangDll != nullptr;
}

const char* LoadLangString(int number) {
    TextBuffer[0] = '\0';
    if (LangDll)
        LoadStringA(LangDll, static_cast<UINT>(number), TextBuffer, sizeof TextBuffer);
    return TextBuffer;
}
