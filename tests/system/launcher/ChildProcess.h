// A process that a program under test started through the shell, so that the test holds no
// handle of its own to it: found among the children of its starter by its program's file
// name, waited for with a deadline, killed when it hangs.
//
//     Process launcher("\"" + app + "exec.exe\" arg", workDir);
//     ChildProcess updater(launcher.Id(), "quen6aux.exe");
//     EXPECT_EQ(launcher.Wait(), 0);
//     BoxWatcher boxes(updater.Id(), IDYES);
//     EXPECT_EQ(updater.Wait(), 0);
#pragma once

#include "Process.h"

class ChildProcess {
  public:
    // Watches for a child of starterId named fileName (any letter case) until one runs or the
    // starter has ended; Id() is 0 when the starter ended with no such child running. The
    // starter must still have a handle open (its Process). At the deadline the test fails.
    ChildProcess(DWORD starterId, const char* fileName, DWORD timeoutMs = kDeadlineMs);
    // Kills the process when it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD Id() const { return id_; }
    // Waits for the end and gives the exit code; -1 when no child was found. At the deadline
    // the process is killed, the test fails and the result is -1.
    int Wait(DWORD timeoutMs = kDeadlineMs);

  private:
    // Takes the child when one runs.
    bool Find(DWORD starterId);

    AnsiString fileName_;
    KernelHandle process_;
    DWORD id_ = 0;
};
