// Programs under test: started with a command line and a working directory, waited for with a
// deadline, killed when they hang.
//
//     Process updater("\"" + exe + "\" arg", workDir);
//     BoxWatcher boxes(updater.Id(), IDYES);
//     EXPECT_EQ(updater.Wait(), 0);
#pragma once

#include "Handles.h"
#include "SysUtils.h"

// Long enough for a first start under a fresh Wine server; only hung programs reach it.
constexpr DWORD kDeadlineMs = 60000;

class Process {
  public:
    // Starts the program (CreateProcessA with the command line as given). A failure to start
    // fails the test; Id() is then 0 and Wait() gives -1.
    Process(const AnsiString& commandLine, const AnsiString& workingDir);
    // Kills the process when it still runs.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    DWORD Id() const { return id_; }
    // Waits for the end and gives the exit code. At the deadline the process is killed, the
    // test fails and the result is -1.
    int Wait(DWORD timeoutMs = kDeadlineMs);

  private:
    KernelHandle process_;
    DWORD id_ = 0;
};

// The Windows path of a file of the build tree, given by its host path (a CMake
// $<TARGET_FILE:...>): Wine maps host paths to a drive of its own. Other paths come back as
// they are.
AnsiString DosPath(const char* hostPath);

// Copies a file; a failure fails the test.
void CopyTo(const AnsiString& from, const AnsiString& to);
