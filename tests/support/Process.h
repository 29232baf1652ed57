// Programs under test and helper programs: started with a command line and a working directory,
// or taken over by their process id when another program started them, waited for with a
// deadline, killed when they hang.
//
//     Process updater("\"" + exe + "\" arg", workDir);
//     BoxWatcher boxes(updater.Id(), IDYES);
//     EXPECT_EQ(updater.Wait(), 0);
//
//     Process launcher("\"" + app + "exec.exe\" arg", workDir);
//     Process started(StartedBy(launcher.Id(), "quen6aux.exe"));
#pragma once

#include "Handles.h"
#include "SysUtils.h"

#include <tlhelp32.h>

#include <vector>

// Long enough for a first start under a fresh Wine server; only hung programs reach it.
constexpr DWORD kDeadlineMs = 60000;

class Process {
  public:
    // Starts the program (CreateProcessA with the command line as given); the standard handles
    // given (inheritable ones) become the program's input, output and error output. A failure to
    // start fails the test; Id() is then 0 and Wait() gives -1.
    Process(const AnsiString& commandLine, const AnsiString& workingDir, HANDLE input = nullptr,
            HANDLE output = nullptr);
    // Takes over the running process of that id. When there is none (id 0, or it has ended
    // already) Id() is 0 and Wait() gives -1.
    explicit Process(DWORD id);
    // Kills the process when it still runs (Kill).
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    DWORD Id() const { return id_; }
    // The process handle, to wait for it beside other objects; null when there is none.
    HANDLE Handle() const { return process_.get(); }
    // Waits for the end and gives the exit code. At the deadline the process is killed, the
    // test fails and the result is -1.
    int Wait(DWORD timeoutMs = kDeadlineMs);
    // Ends the process when it still runs, and waits until it has gone. A process still there at
    // the deadline fails the test: false.
    bool Kill(DWORD timeoutMs = kDeadlineMs);

  private:
    KernelHandle process_;
    DWORD id_ = 0;
};

// The processes that run now, as a Toolhelp snapshot lists them.
std::vector<PROCESSENTRY32> RunningProcesses();

// The running processes that the starter (a handle with PROCESS_QUERY_INFORMATION, and its id)
// started. Ids of ended processes are given again, and the processes they started keep naming
// them as parent: only those created after the starter count. While Wine still starts a process
// its entry bears no file name yet.
std::vector<PROCESSENTRY32> StartedProcesses(HANDLE starter, DWORD starterId);

// The id of a process that the starter started from a program of that file name (any letter
// case), waiting until one runs or the starter has ended; 0 when the starter ended without such
// a process running. The starter must still have a handle open (its Process), so that its id
// names no other process meanwhile. At the deadline the test fails and the result is 0.
DWORD StartedBy(DWORD starterId, const char* fileName, DWORD timeoutMs = kDeadlineMs);

// The Windows path of a file of the build tree, given by its host path (a CMake
// $<TARGET_FILE:...>): Wine maps host paths to a drive of its own. Other paths come back as
// they are.
AnsiString DosPath(const char* hostPath);

// Copies a file; a failure fails the test.
void CopyTo(const AnsiString& from, const AnsiString& to);
