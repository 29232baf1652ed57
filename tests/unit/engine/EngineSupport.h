// Other processes for the engine's tests: one that holds a file open, and a run of the engine
// that is killed part-way.
#pragma once

#include "Handles.h"
#include "SysUtils.h"

#include <memory>

// Long enough for a first start under a fresh Wine server; only a hung program reaches it.
constexpr DWORD kDeadlineMs = 60000;

// A program started from the test program's own folder; killed when it still runs at the end.
class ChildProcess {
public:
    // Starts the program of that folder with the arguments; the standard handles are given
    // to the child when set. A failure to start fails the test.
    ChildProcess(const AnsiString& program, const AnsiString& arguments, HANDLE input = nullptr,
                 HANDLE output = nullptr);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    HANDLE Handle() const { return process_.get(); }
    // Waits for the end; at the deadline the process is killed and the test fails.
    void Wait();
    void Kill();

private:
    KernelHandle process_;
};

// Another process (the holdfile helper) holding the file open with no sharing for as long as
// the object lives. A file that cannot be held fails the test.
class HeldFile {
public:
    explicit HeldFile(const AnsiString& path);
    ~HeldFile();

private:
    KernelHandle input_; // the helper's standard input: closing it lets the file go
    std::unique_ptr<ChildProcess> helper_;
};
