// Loads a language library in a process of its own and writes what it saw, one line each:
//   before=<text 133 before loading>
//   result=<0 or 1>
//   module=<full path of a loaded library whose name holds "quen6aux_">   (any number)
//   after=<text 133 after loading>
// Usage: LanguageProbe <output file> <folder> <code>; "-" stands for a null pointer.
#include "Language.h"

#include "Handles.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 2;
    const auto arg = [](const char* a) { return std::strcmp(a, "-") == 0 ? nullptr : a; };

    std::fprintf(out, "before=%s\n", LoadLangString(133));
    std::fprintf(out, "result=%d\n", LoadLanguageDll(arg(argv[2]), arg(argv[3])) ? 1 : 0);
    // A snapshot handle is closed like a file handle.
    const FileHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL more = modules && Module32First(modules.get(), &module); more;
         more = Module32Next(modules.get(), &module))
        if (std::strstr(module.szModule, "quen6aux_"))
            std::fprintf(out, "module=%s\n", module.szExePath);
    std::fprintf(out, "after=%s\n", LoadLangString(133));
    return std::fclose(out) == 0 ? 0 : 2;
}
