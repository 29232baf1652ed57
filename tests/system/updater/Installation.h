// An installed application in a temporary folder, with the real updater in its subfolder:
//
//     <root>\app\fakeapp.exe                 the application the updater starts ("exec")
//     <root>\app\quen6\quen6aux.exe          the updater under test
//     <root>\app\quen6\quen6aux_lang.dll     the generic language library
//     <root>\app\quen6\quen6.ini             written by the test
//     <root>\start\                          the working directory the updater starts in
#pragma once

#include "BoxWatcher.h"
#include "FakeApp.h"
#include "HttpTestServer.h"
#include "TempDir.h"
#include "UpdateLists.h"

#include <memory>
#include <vector>

// Text N of the generic language library, as the updater shows it.
AnsiString Text(int number);

// The content of the file the test server delivers, and the stand-in for the Yes/No question
// in a list of expected box texts.
const AnsiString kContent = "hello";
const int kQuestion = 0;

// The caption of the window and its boxes for "appname=Demo".
inline AnsiString Caption() {
    return "Demo:" + Text(104);
}

class Installation {
  public:
    Installation();

    AnsiString App() const { return root_ / "app\\"; }
    AnsiString UpdaterDir() const { return App() + "quen6\\"; }
    AnsiString Exe() const { return UpdaterDir() + "quen6aux.exe"; }
    AnsiString DownloadDir() const { return UpdaterDir() + "Download\\"; }
    AnsiString StartDir() const { return root_ / "start\\"; }

    // quen6.ini with section "update" and these lines ("key=value"), and "exec=fakeapp.exe"
    // unless the lines give "exec" themselves.
    void WriteSettings(const std::vector<AnsiString>& lines) const;
    // The updater's command line: its quoted path followed by the text.
    AnsiString CommandLine(const AnsiString& rest = "") const;
    // The runs of the application that the updater started.
    std::vector<FakeAppRun> AppRuns() const { return FakeAppRuns(App()); }

  private:
    TempDir root_;
};

// The texts of the boxes the watcher answered, in order; each box must carry the caption.
std::vector<AnsiString> BoxTexts(const BoxWatcher& watcher, const AnsiString& caption);

// An optional update whose download stalls after its first 400 of 1000 bytes until the server
// goes ("/list.txt" names "a.dll", served from "/a.dll"), run by the updater with its question
// answered Yes. Only the cancel button can end the stall in time.
struct StalledRun {
    StalledRun();
    // Waits for the window, then until its status line shows the stall; false at the deadline.
    bool ReachStall();

    HttpTestServer server;
    Installation inst;
    std::unique_ptr<Process> updater;
    HWND form = nullptr;
    std::unique_ptr<BoxWatcher> boxes;
    HWND line = nullptr; // the status line
};
