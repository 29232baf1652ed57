#include "TempDir.h"

#include "Handles.h"

#include <stdexcept>

namespace {

// Visits what lies in the folder (ending in a backslash) by its name, in the order the system
// lists it.
void ForEachIn(const AnsiString& dir,
               const std::function<void(const AnsiString& name, bool isFolder)>& visit) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((dir + "*").c_str(), &data));
    if (!find)
        return;
    do {
        const AnsiString name = data.cFileName;
        if (name != "." && name != "..")
            visit(name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(find.get(), &data));
}

void RemoveTree(const AnsiString& dir) {
    ForEachBelow(dir, [](const AnsiString& path, bool isFolder) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isFolder)
            RemoveDirectoryA(path.c_str());
        else
            DeleteFileA(path.c_str());
    });
    RemoveDirectoryA(ExcludeTrailingBackslash(dir).c_str());
}

} // namespace

TempDir::TempDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH];
        wsprintfA(name, "%sq6t%lu_%u", base, GetCurrentProcessId(), counter++);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = AnsiString(name) + "\\";
            return;
        }
    }
}

TempDir::~TempDir() {
    RemoveTree(path_);
}

void ForEachBelow(const AnsiString& dir,
                  const std::function<void(const AnsiString& path, bool isFolder)>& visit) {
    ForEachIn(dir, [&](const AnsiString& name, bool isFolder) {
        const AnsiString path = dir + name;
        if (isFolder)
            ForEachBelow(path + "\\", visit);
        visit(path, isFolder);
    });
}

std::set<AnsiString> NamesIn(const AnsiString& dir, Listing listing) {
    std::set<AnsiString> names;
    ForEachIn(dir, [&](const AnsiString& name, bool isFolder) {
        if (!isFolder || listing == Listing::FilesAndFolders)
            names.insert(name);
    });
    return names;
}

void WriteFile(const AnsiString& path, const AnsiString& content) {
    FileHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!f)
        throw std::runtime_error("cannot create " + path);
    DWORD written = 0;
    ::WriteFile(f.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

AnsiString ReadFile(const AnsiString& path) {
    FileHandle f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f)
        throw std::runtime_error("cannot open " + path);
    AnsiString out;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    return out;
}

void SetLocalWriteTime(const AnsiString& path, int year, int month, int day, int hour, int minute,
                       int second) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    FileHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!f || !SetFileTime(f.get(), nullptr, nullptr, &utc))
        throw std::runtime_error("cannot stamp " + path);
}
