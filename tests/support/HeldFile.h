// A file held open with no sharing by another process (the holdfile helper), as a program that
// uses the file holds it, for as long as the object lives:
//
//     {
//         HeldFile held(app + "data.txt");
//         ... run the program under test: the file is in use ...
//     }
#pragma once

#include "Process.h"

#include <memory>

class HeldFile {
  public:
    // Holds the file of that full path. A file that cannot be held fails the test.
    explicit HeldFile(const AnsiString& path);
    // Lets the file go and waits until the helper has ended.
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

  private:
    KernelHandle input_; // the helper's standard input: closing it lets the file go
    std::unique_ptr<Process> holder_;
};
