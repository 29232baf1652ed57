// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include "SysUtils.h"

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in a backslash.
    const AnsiString& Path() const { return path_; }
    AnsiString operator/(const AnsiString& name) const { return path_ + name; }

private:
    AnsiString path_;
};

// Small file helpers for tests.
void WriteFile(const AnsiString& path, const AnsiString& content);
AnsiString ReadFile(const AnsiString& path);
// Sets the last-write time from a local calendar time.
void SetLocalWriteTime(const AnsiString& path, int year, int month, int day, int hour, int minute,
                       int second);
