// The records of fakeapp.exe, the stand-in for a program that a program under test starts (see
// fakeapp_program.cpp): copy it into the installation, under its own name or the name of the
// program it stands in for, let the program under test start it, then read what each start
// received.
//
//     CopyTo(DosPath(FAKEAPP_EXE), app / "fakeapp.exe");
//     ... run the program under test ...
//     std::vector<FakeAppRun> runs = FakeAppRuns(app.Path());
//     std::vector<FakeAppRun> updaterRuns = FakeAppRuns(updaterDir, "quen6aux.exe");
#pragma once

#include "Process.h"

#include <vector>

struct FakeAppRun {
    AnsiString commandLine; // as the process received it
    AnsiString currentDir;  // its working directory at start
};

// Waits until no copy named fileName (any letter case) from the folder (ending in a backslash)
// runs any more, then gives the runs recorded in the folder's "fakeapp.log", oldest first; none
// when there is no log. A copy that is still running at the deadline fails the test.
std::vector<FakeAppRun> FakeAppRuns(const AnsiString& folder, const char* fileName = "fakeapp.exe",
                                    DWORD timeoutMs = kDeadlineMs);
