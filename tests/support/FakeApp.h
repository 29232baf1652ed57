// The records of fakeapp.exe, the stand-in for an application that a program under test
// starts (see fakeapp.cpp): copy the program into the installation, let the program under
// test start it, then read what each start received.
//
//     CopyTo(DosPath(FAKEAPP_EXE), app / "fakeapp.exe");
//     ... run the program under test ...
//     std::vector<FakeAppRun> runs = FakeAppRuns(app.Path());
#pragma once

#include "Process.h"

#include <vector>

struct FakeAppRun {
    AnsiString commandLine; // as the process received it
    AnsiString currentDir;  // its working directory at start
};

// Waits until no fakeapp.exe from the folder (ending in a backslash) runs any more, then gives
// the runs recorded in its "fakeapp.log", oldest first; none when there is no log. A fake
// application that is still running at the deadline fails the test.
std::vector<FakeAppRun> FakeAppRuns(const AnsiString& folder, DWORD timeoutMs = kDeadlineMs);
