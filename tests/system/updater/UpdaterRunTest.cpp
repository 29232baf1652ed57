// The roads of a normal update run, from the list request to the end of the process: the
// texts shown, whether the application starts, and the exit code.
#include "Installation.h"

#include "BoxWatcher.h"
#include "HttpTestServer.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

namespace {

enum class Setup {
    NoList,          // "list" empty
    UpToDate,        // the installed file has the listed size and time
    Pending,         // the file is served
    NotServed,       // the file's URL answers 404
    FolderBlocked,   // the target's folder is a file
    DownloadedEarly, // an earlier run left the download and its state file
    DroppedEarly     // as DownloadedEarly, and the state file names a file the list dropped
};

struct Road {
    const char* name;
    Setup setup;
    bool mandatory;
    const char* message; // the list's "[message]", empty for none
    std::vector<const char*> settings;
    int answer;
    std::vector<int> texts;
    bool appStarted;
    int exitCode;
    bool installed; // the served file is in place and the state file gone
};

void PrintTo(const Road& road, std::ostream* out) {
    *out << road.name;
}

class NormalRun : public testing::TestWithParam<Road> {};

TEST_P(NormalRun, TextsApplicationAndExitCode) {
    const Road& road = GetParam();
    HttpTestServer server;
    Installation inst;
    const AnsiString target = road.setup == Setup::FolderBlocked ? "sub\\a.dll" : "a.dll";
    const AnsiString entry = EntryLine(target, server.Url("/a.dll"), kListedWhen, 5);
    server.Route("/list.txt", HttpReply::Ok(UpdateList(road.message, road.mandatory, {entry})));
    if (road.setup != Setup::NotServed)
        server.Route("/a.dll", HttpReply::Ok(kContent));
    std::vector<AnsiString> settings{"appname=Demo"};
    if (road.setup != Setup::NoList)
        settings.push_back("list=" + server.Url("/list.txt"));
    settings.insert(settings.end(), road.settings.begin(), road.settings.end());
    inst.WriteSettings(settings);
    switch (road.setup) {
    case Setup::UpToDate:
        WriteStamped(inst.App() + "a.dll", kContent);
        break;
    case Setup::FolderBlocked:
        WriteFile(inst.App() + "sub", "");
        break;
    case Setup::DownloadedEarly:
    case Setup::DroppedEarly: {
        CreateDirectoryA(inst.DownloadDir().c_str(), nullptr);
        WriteStamped(inst.DownloadDir() + "ud0.$$$", kContent);
        std::vector<AnsiString> state{entry + "?" + inst.DownloadDir() + "ud0.$$$"};
        if (road.setup == Setup::DroppedEarly) // not fetched before that run ended
            state.push_back(EntryLine("b.dll", server.Url("/b.dll"), kListedWhen, 5));
        WriteFile(inst.DownloadDir() + "dllst.$$$", UpdateList("", false, state));
        break;
    }
    default:
        break;
    }

    Process updater(inst.CommandLine(" arg"), inst.StartDir());
    BoxWatcher boxes(updater.Id(), road.answer);
    EXPECT_EQ(updater.Wait(), road.exitCode);

    std::vector<AnsiString> texts;
    for (int number : road.texts)
        texts.push_back(number != kQuestion ? Text(number)
                        : *road.message     ? "\n" + AnsiString(road.message)
                                            : Text(road.mandatory ? 107 : 108));
    EXPECT_EQ(BoxTexts(boxes, Caption()), texts);
    const std::vector<FakeAppRun> runs = inst.AppRuns();
    EXPECT_EQ(runs.size(), road.appStarted ? 1u : 0u);
    for (const FakeAppRun& run : runs)
        EXPECT_EQ(StripFirstToken(run.commandLine), "arg");
    if (road.installed) {
        EXPECT_EQ(ReadFile(inst.App() + "a.dll"), kContent);
        EXPECT_FALSE(FileExists(inst.DownloadDir() + "dllst.$$$"));
    }
}

// The first row of each kind of end; "question" is the Yes/No box before the download.
INSTANTIATE_TEST_SUITE_P(
    Roads, NormalRun,
    testing::Values(
        Road{"NoListOffline0", Setup::NoList, false, "", {}, IDOK, {106}, false, 1, false},
        Road{
            "NoListOffline1", Setup::NoList, false, "", {"offline=1"}, IDOK, {106}, true, 1, false},
        Road{"NothingToInstallMandatory", Setup::UpToDate, true, "", {}, IDOK, {}, true, 0, false},
        Road{"DeclinedMandatory",
             Setup::Pending,
             true,
             "",
             {},
             IDNO,
             {kQuestion, 110},
             false,
             0,
             false},
        Road{"DeclinedOptional", Setup::Pending, false, "", {}, IDNO, {kQuestion}, true, 0, false},
        Road{"DownloadFailedMandatory",
             Setup::NotServed,
             true,
             "",
             {},
             IDYES,
             {kQuestion, 109},
             false,
             0,
             false},
        Road{"DownloadFailedOptional",
             Setup::NotServed,
             false,
             "",
             {},
             IDYES,
             {kQuestion, 109},
             true,
             0,
             false},
        Road{"Installed",
             Setup::Pending,
             true,
             "Version 2 is ready.",
             {},
             IDYES,
             {kQuestion, 113},
             true,
             0,
             true},
        Road{"InstalledFromEarlierDownload",
             Setup::DownloadedEarly,
             false,
             "",
             {},
             IDYES,
             {113},
             true,
             0,
             true},
        Road{"InstalledAfterTheListDroppedAFile",
             Setup::DroppedEarly,
             false,
             "",
             {},
             IDYES,
             {113},
             true,
             0,
             true},
        Road{"FolderCannotBeCreated",
             Setup::FolderBlocked,
             false,
             "",
             {},
             IDYES,
             {kQuestion, 112},
             false,
             1,
             false}),
    [](const testing::TestParamInfo<Road>& info) { return AnsiString(info.param.name); });

// Which list URLs are tried: the next one only after a request that raised.
TEST(ListSearch, FallsThroughOnlyAfterARaisedRequest) {
    struct Row {
        const char* name;
        const char* list;
        const char* list2;
        const char* list3;
        int requests; // that reach the server
        bool found;
    } rows[] = {
        {"refused, empty, good", "refused", "", "good", 1, true},
        {"404 ends the search", "missing", "good", "good", 1, false},
        {"empty list ends the search", "", "good", "good", 0, false},
        {"three refused", "refused", "refused", "refused", 0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        HttpTestServer server;
        server.Route("/list.txt", HttpReply::Ok(UpdateList(
                                      "", false, {EntryLine("a.dll", "u", kListedWhen, 5)})));
        // Port 1 of the loopback refuses: the request raises.
        const auto url = [&](const AnsiString& kind) -> AnsiString {
            return kind == "good"      ? server.Url("/list.txt")
                   : kind == "missing" ? server.Url("/missing.txt")
                   : kind == "refused" ? "http://127.0.0.1:1/list.txt"
                                       : "";
        };
        Installation inst;
        inst.WriteSettings({"appname=Demo", "list=" + url(r.list), "list2=" + url(r.list2),
                            "list3=" + url(r.list3)});
        WriteStamped(inst.App() + "a.dll", kContent);
        Process updater(inst.CommandLine(), inst.StartDir());
        BoxWatcher boxes(updater.Id());
        EXPECT_EQ(updater.Wait(), r.found ? 0 : 1);
        EXPECT_EQ(server.Requests().size(), static_cast<size_t>(r.requests));
        EXPECT_EQ(BoxTexts(boxes, Caption()),
                  r.found ? std::vector<AnsiString>{} : std::vector<AnsiString>{Text(106)});
        EXPECT_EQ(inst.AppRuns().size(), r.found ? 1u : 0u);
    }
}

// The cancel button during a list request makes it raise: the next URL is tried.
TEST(ListSearch, CancelDuringAListRequestTriesTheNextUrl) {
    HttpTestServer stalled, good;
    stalled.Route("/list.txt",
                  HttpReply(HttpReply::Head("HTTP/1.0 200 OK")).Pause(10 * kDeadlineMs));
    good.Route("/list.txt",
               HttpReply::Ok(UpdateList("", false, {EntryLine("a.dll", "u", kListedWhen, 5)})));
    Installation inst;
    // Only the cancel button can end the stall in time.
    inst.WriteSettings({"appname=Demo", "timeout=3600", "list=" + stalled.Url("/list.txt"),
                        "list2=" + good.Url("/list.txt")});
    WriteStamped(inst.App() + "a.dll", kContent);
    Process updater(inst.CommandLine(), inst.StartDir());
    HWND form = WaitForWindow(updater.Id(), "TForm");
    ASSERT_TRUE(form);
    ASSERT_TRUE(WaitUntil([&] { return stalled.Requests().size() == 1; }));
    BoxWatcher boxes(updater.Id());
    Press(ChildAt(form, 384, 120));
    EXPECT_EQ(updater.Wait(), 0);
    EXPECT_EQ(good.Requests().size(), 1u);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(inst.AppRuns().size(), 1u);
}

TEST(Progress, BarsAndLineDuringADownloadAndCancel) {
    StalledRun run;
    ASSERT_TRUE(run.ReachStall());
    HWND total = ChildAt(run.form, 16, 72);
    HWND current = ChildAt(run.form, 16, 88);
    const AnsiString download = run.inst.DownloadDir() + "ud0.$$$";
    // The name is shortened from its front as far as the label needs.
    const AnsiString text = WindowText(run.line);
    const AnsiString head = Text(125) + ":...", end = ";400/1000";
    ASSERT_GT(text.size(), head.size() + end.size());
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
    const AnsiString tail = text.substr(head.size(), text.size() - head.size() - end.size());
    EXPECT_LE(tail.size(), 47u);
    EXPECT_EQ(download.compare(download.size() - tail.size(), tail.size(), tail), 0) << text;
    // The bars take the report just after the line does, each with its redrawing held back for
    // a moment: the whole report stands once they show at 40.
    EXPECT_TRUE(WaitUntil([&] {
        return IsShown(total) && IsShown(current) && ProgressPosition(current) == 40 &&
               ProgressPosition(total) == 40;
    })) << "shown "
        << IsShown(current) << IsShown(total) << ", at " << ProgressPosition(current) << " and "
        << ProgressPosition(total);

    Press(ChildAt(run.form, 384, 120));
    EXPECT_EQ(run.updater->Wait(), 0);
    EXPECT_EQ(BoxTexts(*run.boxes, Caption()), (std::vector<AnsiString>{Text(108), Text(109)}));
    EXPECT_EQ(run.inst.AppRuns().size(), 1u); // optional: the application starts
    EXPECT_FALSE(FileExists(download));
}

// An install that ended early left a copy on its way to its target, and an earlier version an
// old file set aside, in the record beside the state file. Every run, also one that finds
// nothing to do and an install-only one, deletes those two and touches nothing else that a line
// names.
TEST(InstallRecord, EveryRunSettlesWhatAnEndedInstallLeft) {
    for (const char* rest : {" arg", " $$UPDT$$"}) {
        SCOPED_TRACE(rest);
        HttpTestServer server;
        server.Route("/list.txt", HttpReply::Ok(UpdateList("", false, {})));
        Installation inst;
        inst.WriteSettings({"appname=Demo", "list=" + server.Url("/list.txt")});
        const AnsiString app = inst.App();
        WriteFile(app + "b.dll", "new b");
        WriteFile(app + "q6old0.$$$", "old b");
        WriteFile(app + "q6new1.$$$", "part of new a");
        WriteFile(app + "keep.txt", "the user's");
        ForceDirectories(inst.DownloadDir());
        WriteFile(inst.DownloadDir() + "dllst.$$$.old",
                  app + "q6old0.$$$?" + app + "b.dll\r\n" + app + "q6new1.$$$?" + app +
                      "a.dll\r\n" + app + "keep.txt?" + app + "gone.txt\r\n");

        Process updater(inst.CommandLine(rest), inst.StartDir());
        BoxWatcher boxes(updater.Id(), IDYES);
        EXPECT_EQ(updater.Wait(), 0);
        EXPECT_EQ(ReadFile(app + "b.dll"), "new b");
        EXPECT_EQ(ReadFile(app + "keep.txt"), "the user's");
        EXPECT_EQ(NamesIn(app), (std::set<AnsiString>{"b.dll", "fakeapp.exe", "keep.txt"}));
        EXPECT_TRUE(NamesIn(inst.DownloadDir()).empty());
    }
}

// Closing the window does not stop the run: the update is installed and the application starts.
TEST(CloseBox, RunGoesOnToItsEnd) {
    HttpTestServer server;
    server.Route("/list.txt",
                 HttpReply::Ok(UpdateList(
                     "", true, {EntryLine("a.dll", server.Url("/a.dll"), kListedWhen, 5)})));
    server.Route("/a.dll", HttpReply::Ok(kContent));
    Installation inst;
    inst.WriteSettings({"appname=Demo", "list=" + server.Url("/list.txt")});
    Process updater(inst.CommandLine(), inst.StartDir());
    HWND form = WaitForWindow(updater.Id(), "TForm");
    ASSERT_TRUE(WaitForWindow(updater.Id(), "#32770"));
    // Taken by the question's loop before the answer that the watcher posts afterwards.
    PostMessageA(form, WM_CLOSE, 0, 0);
    BoxWatcher boxes(updater.Id(), IDYES);
    EXPECT_EQ(updater.Wait(), 0);
    EXPECT_EQ(BoxTexts(boxes, Caption()), (std::vector<AnsiString>{Text(107), Text(113)}));
    EXPECT_EQ(ReadFile(inst.App() + "a.dll"), kContent);
    EXPECT_EQ(inst.AppRuns().size(), 1u);
}

} // namespace
