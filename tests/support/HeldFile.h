// Files held open for as long as the object lives:
//
//     {
//         HeldFile held(app + "data.txt");
//         ... run the program under test: the file is in use ...
//     }
//
// HeldFile: held with no sharing by another process (the holdfile helper), as a program that
// uses the file holds it. FileOpenedHere: held by this process with the sharing it asks for, as
// a running program holds its own program file.
#pragma once

#include "Process.h"

#include <memory>

class HeldFile {
  public:
    // Holds the file of that full path, by default for reading with no sharing, else with the
    // access and share mode given. A file that cannot be held fails the test.
    explicit HeldFile(const AnsiString& path, DWORD access = GENERIC_READ, DWORD share = 0);
    // Lets the file go and waits until the helper has ended.
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

  private:
    KernelHandle input_; // the helper's standard input: closing it lets the file go
    std::unique_ptr<Process> holder_;
};

class FileOpenedHere {
  public:
    // Opens the existing file for reading with that share mode: with FILE_SHARE_READ others may
    // read and start it, but neither delete nor replace it; with 0 nobody else may even open it.
    // A file that cannot be opened fails the test.
    FileOpenedHere(const AnsiString& path, DWORD share);

  private:
    FileHandle file_;
};
