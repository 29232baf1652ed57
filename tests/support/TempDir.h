// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include "SysUtils.h"

#include <functional>
#include <set>

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
// Visits every file and folder below the folder (ending in a backslash) by its full path (a
// folder's without a closing backslash), each folder after everything in it. The visit may
// delete what it is given.
void ForEachBelow(const AnsiString& dir,
                  const std::function<void(const AnsiString& path, bool isFolder)>& visit);
// Which names NamesIn gives.
enum class Listing { Files, FilesAndFolders };
// The names in the folder (ending in a backslash): of its files, and of its folders as well when
// asked. None when the folder is missing.
std::set<AnsiString> NamesIn(const AnsiString& dir, Listing listing = Listing::Files);
