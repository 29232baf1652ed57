#include "Download.h"

#include "DebugOutput.h"
#include "Forms.h"
#include "HeldFile.h"
#include "HttpMod.h"
#include "HttpTestServer.h"
#include "Imports.h"
#include "Misc.h"
#include "TempDir.h"
#include "TestBed.h"
#include "UpdateLists.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

struct Environment : testing::Environment {
    void SetUp() override {
        Application->Initialize();
        Application->CreateForm(Http);
    }
};
const auto* const environment = testing::AddGlobalTestEnvironment(new Environment);

const TDateTime kListed = EncodeDate(2003, 6, 12) + EncodeTime(8, 38, 20, 0);

// A file the server offers, and its entry in the list.
struct Offer {
    AnsiString path;
    AnsiString body;
    AnsiString when = kListedWhen;

    AnsiString Line(const AnsiString& url) const {
        return EntryLine(path, url, when, static_cast<int>(body.size()));
    }
};

// Deletes the file at the end of the scope, also when the test fails.
struct Removed {
    ~Removed() { ForceDeleteFile(path); }
    AnsiString path;
};

// An update run on a temporary application folder, which is the current directory, with its
// updater folder "quen6\" and a test server for the list and its files.
class Engine : public testing::Test {
  protected:
    Engine() { SetCurrentDir(app.Path()); }
    ~Engine() override {
        Http->SetOnStatus(nullptr);
        SetCurrentDir(startDir_);
    }

    // The server offers the files (file i at "/f<i>") and the list "/list" naming them.
    void Publish(const std::vector<Offer>& offers) {
        std::vector<AnsiString> entries;
        for (std::size_t i = 0; i < offers.size(); ++i) {
            server.Route(FileTarget(i), HttpReply::Ok(offers[i].body));
            entries.push_back(offers[i].Line(server.Url(FileTarget(i))));
        }
        server.Route("/list", HttpReply::Ok(UpdateList("", false, entries)));
    }
    static std::string FileTarget(std::size_t i) { return "/f" + std::to_string(i); }

    // A state file as an earlier run left it: each offer of the list with the download named
    // (none when empty), each download a file of the offer's body with the listed time.
    void WriteState(const std::vector<std::pair<Offer, AnsiString>>& entries) {
        ForceDirectories(downloads);
        std::vector<AnsiString> lines;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& [offer, download] = entries[i];
            lines.push_back(offer.Line(server.Url(FileTarget(i))));
            if (!download.empty()) {
                lines.back() += "?" + downloads + download;
                WriteStamped(downloads + download, offer.body);
            }
        }
        WriteFile(stateFile, UpdateList("", false, lines));
    }

    // The start of a run: the list fetched and reconciled with the state file.
    int Prepare(TDownload& run) {
        EXPECT_TRUE(run.LoadList(server.Url("/list")));
        return run.Prepare(stateFile);
    }
    // A run up to the end of its downloads.
    bool DownloadRun(TDownload& run) {
        Prepare(run);
        return run.DownloadAll(stateFile, downloads);
    }
    // A start that only installs.
    int InstallOnly() { return TDownload().Install(stateFile); }

    // Entry path -> the name of the download that the state file and the record beside it
    // name for it (empty: none), as the next run reads them.
    std::map<AnsiString, AnsiString> Recorded() {
        TDownload next;
        EXPECT_TRUE(FileExists(stateFile));
        EXPECT_TRUE(next.LoadState(stateFile));
        std::map<AnsiString, AnsiString> recorded;
        for (int i = 0; i < next.Local.Count(); ++i)
            recorded[next.Local.GetName(i)] = ExtractFileName(next.Local.GetLocalPath(i));
        return recorded;
    }
    // The targets of the server's file requests, in order.
    std::vector<std::string> Fetched() {
        std::vector<std::string> targets;
        for (const std::string& request : server.Requests()) {
            const std::string target = request.substr(4, request.find(' ', 4) - 4);
            if (target != "/list")
                targets.push_back(target);
        }
        return targets;
    }

    void ExpectInstalled(const AnsiString& path, const AnsiString& body) {
        EXPECT_EQ(ReadFile(path), body) << path;
        EXPECT_EQ(GetFileStamp(path).Time, kListed) << path;
    }

    TempDir app;
    const AnsiString downloads = app / "quen6\\Download\\";
    const AnsiString stateFile = downloads + "dllst.$$$";
    HttpTestServer server;

  private:
    const AnsiString startDir_ = GetCurrentDir();
};

} // namespace

TEST_F(Engine, InstallsRelativeAndAbsoluteTargets) {
    TempDir elsewhere;
    CreateDirectoryA("sub", nullptr);
    WriteFile("sub\\a.txt", "old a");
    Publish({{"sub\\a.txt", "new a"},
             {".\\dots\\.\\b.txt", "new b"},
             {elsewhere / "abs\\deep\\c.txt", "new c"}});
    TDownload run;
    EXPECT_EQ(Prepare(run), 3);
    EXPECT_EQ(run.GetPendingCount(), 3);
    EXPECT_EQ(run.GetPendingSize(), 15);
    ASSERT_TRUE(run.DownloadAll(stateFile, downloads));

    EXPECT_EQ(run.Install(stateFile), 0);
    ExpectInstalled(app / "sub\\a.txt", "new a");
    ExpectInstalled(app / "dots\\b.txt", "new b");
    ExpectInstalled(elsewhere / "abs\\deep\\c.txt", "new c");
    EXPECT_EQ(NamesIn(app / "sub\\"), std::set<AnsiString>{"a.txt"}); // the old file is gone
    EXPECT_TRUE(NamesIn(downloads).empty());                          // state file included
}

TEST_F(Engine, UpdaterGoesBesideTheRunningProgram) {
    const AnsiString exe = Application->ExeName();
    const Removed waiting{ExtractFilePath(exe) + "quen6aux2.exe"};
    WriteFile(waiting.path, "an older updater");
    const TFileStamp running = GetFileStamp(exe);
    Publish({{"$$update$$", "the new updater"}});
    TDownload run;
    ASSERT_TRUE(DownloadRun(run));
    {
        const HeldFile held(waiting.path);
        EXPECT_EQ(run.Install(stateFile), 3);
    }
    EXPECT_EQ(ReadFile(waiting.path), "an older updater");
    EXPECT_EQ(InstallOnly(), 0);
    ExpectInstalled(waiting.path, "the new updater");
    EXPECT_EQ(GetFileStamp(exe).Time, running.Time);
    EXPECT_EQ(GetFileStamp(exe).Size, running.Size);
    for (const AnsiString& name : NamesIn(ExtractFilePath(exe)))
        EXPECT_NE(name.compare(0, 5, "q6old"), 0) << name << " left beside the updater";
}

TEST_F(Engine, IsWritableOnlyForAFileNobodyElseHolds) {
    TDownload engine;
    WriteFile("free.txt", "x");
    WriteFile("readonly.txt", "x");
    SetFileAttributesA("readonly.txt", FILE_ATTRIBUTE_READONLY);
    WriteFile("held.txt", "x");
    CreateDirectoryA("folder", nullptr);
    EXPECT_TRUE(engine.IsWritable("free.txt"));
    EXPECT_FALSE(engine.IsWritable("missing.txt"));
    EXPECT_FALSE(engine.IsWritable("readonly.txt"));
    EXPECT_FALSE(engine.IsWritable("folder"));
    const HeldFile held(app / "held.txt");
    EXPECT_FALSE(engine.IsWritable("held.txt"));
}

// What stops an install before anything moves: a target or a download that another process
// holds open, or that is read-only; a target last written outside the MS-DOS years as well.
struct Obstacle {
    const char* name;
    bool onDownload;
    bool held; // else read-only
    bool writtenIn1979 = false;
};

void PrintTo(const Obstacle& row, std::ostream* os) {
    *os << row.name;
}

class InstallBlocked : public Engine, public testing::WithParamInterface<Obstacle> {};

TEST_P(InstallBlocked, NothingMoves) {
    const Obstacle& obstacle = GetParam();
    WriteFile("a.txt", "old a");
    WriteFile("b.txt", "old b");
    Publish({{"a.txt", "new a"}, {"b.txt", "new b"}});
    TDownload run;
    ASSERT_TRUE(DownloadRun(run));
    const AnsiString state = ReadFile(stateFile);
    const auto before = NamesIn(downloads);

    const AnsiString blocked =
        obstacle.onDownload ? downloads + Recorded()["b.txt"] : app / "b.txt";
    if (obstacle.writtenIn1979)
        SetLocalWriteTime(blocked, 1979, 6, 1, 12, 0, 0);
    std::unique_ptr<HeldFile> held;
    if (obstacle.held)
        held = std::make_unique<HeldFile>(blocked);
    else
        SetFileAttributesA(blocked.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(run.Install(stateFile), 3);
    held.reset();

    EXPECT_EQ(ReadFile("a.txt"), "old a");
    EXPECT_EQ(ReadFile("b.txt"), "old b");
    EXPECT_EQ(NamesIn(downloads), before);
    EXPECT_EQ(ReadFile(stateFile), state);
}

INSTANTIATE_TEST_SUITE_P(Engine, InstallBlocked,
                         testing::Values(Obstacle{"HeldTarget", false, true},
                                         Obstacle{"ReadOnlyTarget", false, false},
                                         Obstacle{"HeldTargetFrom1979", false, true, true},
                                         Obstacle{"ReadOnlyTargetFrom1979", false, false, true},
                                         Obstacle{"HeldDownload", true, true},
                                         Obstacle{"ReadOnlyDownload", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, DownloadDeletedBetweenRunsIsFetchedAgain) {
    Publish({{"a.txt", "new a"}});
    {
        TDownload first;
        ASSERT_TRUE(DownloadRun(first));
    }
    ASSERT_TRUE(DeleteFileA((downloads + "ud0.$$$").c_str()));
    const AnsiString state = ReadFile(stateFile);
    EXPECT_EQ(InstallOnly(), 2);
    EXPECT_EQ(ReadFile(stateFile), state);

    TDownload next;
    EXPECT_EQ(Prepare(next), 1);
    EXPECT_EQ(next.GetPendingCount(), 1);
    EXPECT_TRUE(next.DownloadAll(stateFile, downloads));
    EXPECT_EQ(Fetched(), (std::vector<std::string>{"/f0", "/f0"}));
    EXPECT_EQ(next.Install(stateFile), 0);
    ExpectInstalled("a.txt", "new a");
}

// A listed time that no file can carry: an odd second (the download is stamped with the even
// second below it) or a year after 2107 (the download keeps the time it was written).
struct UnreachableTime {
    const char* name;
    const char* when;
    bool evenSecondBelow;
};

void PrintTo(const UnreachableTime& row, std::ostream* os) {
    *os << row.name;
}

class ListedTime : public Engine, public testing::WithParamInterface<UnreachableTime> {};

TEST_P(ListedTime, DownloadIsRejectedEveryRun) {
    const UnreachableTime& row = GetParam();
    Publish({{"a.txt", "new a", row.when}, {"b.txt", "new b"}});
    AnsiString recordedWhileNext;
    TFileStamp stampWhileNext;
    Http->SetOnStatus([&](TObject*) {
        if (ExtractFileName(Http->GetTarget()) == "ud1.$$$" && recordedWhileNext.empty()) {
            recordedWhileNext = Recorded()["a.txt"];
            stampWhileNext = GetFileStamp(downloads + "ud0.$$$");
        }
    });
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        TDownload run;
        EXPECT_TRUE(DownloadRun(run));
        Http->SetOnStatus(nullptr);
        EXPECT_EQ(Recorded(),
                  (std::map<AnsiString, AnsiString>{{"a.txt", ""}, {"b.txt", "ud1.$$$"}}));
        EXPECT_FALSE(FileExists(downloads + "ud0.$$$"));
        EXPECT_EQ(run.Install(stateFile), 2);
    }
    // Before the check that follows the transfers, the download was recorded and stamped.
    EXPECT_EQ(recordedWhileNext, "ud0.$$$");
    EXPECT_EQ(stampWhileNext.Size, 5);
    if (row.evenSecondBelow) {
        EXPECT_EQ(stampWhileNext.Time, kListed);
    }
    EXPECT_EQ(Fetched(), (std::vector<std::string>{"/f0", "/f1", "/f0"}));
}

INSTANTIATE_TEST_SUITE_P(Engine, ListedTime,
                         testing::Values(UnreachableTime{"OddSecond", "2003/06/12?08:38:21", true},
                                         UnreachableTime{"After2107", "2108/01/01?08:38:20",
                                                         false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, DownloadsTakeTheLowestFreeName) {
    const Offer x{"x.txt", "xx"}, y1{"y1.txt", "y1y1"}, y2{"y2.txt", "y2y2y2"}, z{"z.txt", "zzz"};
    for (const bool y1Arrives : {true, false}) {
        SCOPED_TRACE(y1Arrives);
        ForceDeleteFile(stateFile);
        Publish({x, y1, y2, z});
        if (!y1Arrives)
            server.Route(FileTarget(1), HttpReply::NotFound());
        WriteState({{x, "ud0.$$$"}, {y1, ""}, {y2, ""}, {z, "ud2.$$$"}});
        TDownload run;
        EXPECT_EQ(DownloadRun(run), y1Arrives);
        const std::map<AnsiString, AnsiString> expected =
            y1Arrives ? std::map<AnsiString, AnsiString>{{"x.txt", "ud0.$$$"},
                                                         {"y1.txt", "ud1.$$$"},
                                                         {"y2.txt", "ud3.$$$"},
                                                         {"z.txt", "ud2.$$$"}}
                      : std::map<AnsiString, AnsiString>{{"x.txt", "ud0.$$$"},
                                                         {"y1.txt", ""},
                                                         {"y2.txt", "ud1.$$$"},
                                                         {"z.txt", "ud2.$$$"}};
        EXPECT_EQ(Recorded(), expected);
        for (const Offer& offer : {x, y1, y2, z}) {
            if (!expected.at(offer.path).empty()) {
                EXPECT_EQ(ReadFile(downloads + expected.at(offer.path)), offer.body) << offer.path;
            }
        }
        for (const AnsiString& name : NamesIn(downloads)) {
            ForceDeleteFile(downloads + name);
        }
    }
}

TEST_F(Engine, CancelDuringTheThirdOfFiveDownloads) {
    Publish(
        {{"a.txt", "1"}, {"b.txt", "22"}, {"c.txt", "333"}, {"d.txt", "4444"}, {"e.txt", "55555"}});
    {
        TDownload run;
        Http->SetOnStatus([&](TObject*) {
            if (ExtractFileName(Http->GetTarget()) == "ud2.$$$" && Http->GetBytesRecvd() > 0 &&
                !run.Cancelled)
                run.Cancel();
        });
        EXPECT_FALSE(DownloadRun(run));
        Http->SetOnStatus(nullptr);
    }
    EXPECT_EQ(Fetched(), (std::vector<std::string>{"/f0", "/f1", "/f2"}));
    EXPECT_EQ(Recorded(), (std::map<AnsiString, AnsiString>{{"a.txt", "ud0.$$$"},
                                                            {"b.txt", "ud1.$$$"},
                                                            {"c.txt", ""},
                                                            {"d.txt", ""},
                                                            {"e.txt", ""}}));
    EXPECT_EQ(NamesIn(downloads), (std::set<AnsiString>{"dllst.$$$", "ud0.$$$", "ud1.$$$"}));

    TDownload next;
    EXPECT_EQ(Prepare(next), 5);
    EXPECT_EQ(next.GetPendingCount(), 3);
    EXPECT_EQ(next.GetPendingSize(), 12);
    EXPECT_TRUE(next.DownloadAll(stateFile, downloads));
    EXPECT_EQ(Fetched(), (std::vector<std::string>{"/f0", "/f1", "/f2", "/f2", "/f3", "/f4"}));
    EXPECT_EQ(next.Install(stateFile), 0);
    ExpectInstalled("c.txt", "333");
    ExpectInstalled("e.txt", "55555");
}

TEST_F(Engine, RunKilledDuringADownloadKeepsTheFinishedOnes) {
    Publish({{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}, {"d.txt", "fourth"}});
    const AnsiString eventName =
        "q6engine-stopped-" + IntToStr(static_cast<int>(GetCurrentProcessId()));
    const KernelHandle stopped(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    {
        // The folder's closing backslash is doubled, else it would escape the quote.
        Process run("\"" + ExtractFilePath(ExeName()) + "interruptedrun.exe\" \"" +
                        server.Url("/list") + "\" \"" + stateFile + "\" \"" + downloads +
                        "\\\" ud2.$$$ " + eventName,
                    app.Path());
        const HANDLE ends[] = {stopped.get(), run.Handle()};
        ASSERT_EQ(WaitForMultipleObjects(2, ends, FALSE, kDeadlineMs), WAIT_OBJECT_0);
        ASSERT_TRUE(FileExists(downloads + "ud2.$$$")); // the transfer in flight
        run.Kill();
    }
    EXPECT_EQ(Recorded(),
              (std::map<AnsiString, AnsiString>{
                  {"a.txt", "ud0.$$$"}, {"b.txt", "ud1.$$$"}, {"c.txt", ""}, {"d.txt", ""}}));
    // Left by earlier ends of this kind, and files of other names, which stay.
    WriteFile(downloads + "ud9.$$$", "lost");
    WriteFile(downloads + "UD12.$$$", "lost");
    WriteFile(downloads + "ud01.$$$", "not a download name");
    WriteFile(downloads + "notes.txt", "kept");

    TDownload next;
    EXPECT_EQ(Prepare(next), 4);
    EXPECT_EQ(next.GetPendingCount(), 2);
    // The record of the finished downloads stays until the next save of the state file.
    EXPECT_EQ(NamesIn(downloads), (std::set<AnsiString>{"dllst.$$$", "dllst.$$$.add", "notes.txt",
                                                        "ud0.$$$", "ud01.$$$", "ud1.$$$"}));
    EXPECT_TRUE(next.DownloadAll(stateFile, downloads));
    EXPECT_EQ(Fetched(), (std::vector<std::string>{"/f0", "/f1", "/f2", "/f2", "/f3"}));
    EXPECT_EQ(next.Install(stateFile), 0);
    ExpectInstalled("a.txt", "first");
    ExpectInstalled("d.txt", "fourth");
}

TEST_F(Engine, InstallWithoutStateFileInstallsNothing) {
    EXPECT_EQ(InstallOnly(), 0);
    EXPECT_TRUE(NamesIn(app.Path()).empty());
}

TEST_F(Engine, ListWithoutEntriesDropsRecordedDownloads) {
    WriteState({{{"a.txt", "aa"}, "ud0.$$$"}, {{"b.txt", "bb"}, "ud1.$$$"}});
    server.Route("/list", HttpReply::Ok("[update]\r\n"));
    TDownload run;
    EXPECT_EQ(Prepare(run), 0);
    EXPECT_TRUE(NamesIn(downloads).empty()); // the state file goes with them
}

TEST_F(Engine, PrepareFailsForABadListOrAnUnreadableStateFile) {
    server.Route("/list", HttpReply::Ok("[update]\r\nno entry line\r\n"));
    TDownload badList;
    EXPECT_EQ(Prepare(badList), -1);

    Publish({{"a.txt", "aa"}});
    WriteState({{{"a.txt", "aa"}, ""}});
    const HeldFile held(stateFile);
    TDownload heldState;
    EXPECT_EQ(Prepare(heldState), -1);
}

TEST_F(Engine, PendingSizeStopsAtTheIntMaximum) {
    server.Route("/list", HttpReply::Ok("[update]\r\n"
                                        "a.txt?http://h/a?2003/06/12?08:38:20?2000000000\r\n"
                                        "b.txt?http://h/b?2003/06/12?08:38:20?2000000000\r\n"));
    TDownload run;
    EXPECT_EQ(Prepare(run), 2);
    EXPECT_EQ(run.GetPendingSize(), INT_MAX);
}

TEST_F(Engine, EmptyDownloadFolderFetchesNothing) {
    Publish({{"a.txt", "aa"}});
    WriteState({{{"a.txt", "aa"}, ""}});
    const AnsiString state = ReadFile(stateFile);
    for (const char* folder : {"", "\\"}) {
        SCOPED_TRACE(folder);
        TDownload run;
        Prepare(run);
        EXPECT_FALSE(run.DownloadAll(stateFile, folder));
        EXPECT_EQ(ReadFile(stateFile), state);
    }
    EXPECT_TRUE(Fetched().empty());
}

// A failure at an entry leaves the entries before it installed, the failing one with its old
// file or folder, and everything after it untouched.
struct Unplaceable {
    const char* name;
    const char* target;
    const char* keptPath; // created before the install, must stay as it was
    const char* folder;   // created before keptPath, when set
};

void PrintTo(const Unplaceable& row, std::ostream* os) {
    *os << row.name;
}

class InstallFails : public Engine, public testing::WithParamInterface<Unplaceable> {};

TEST_P(InstallFails, EarlierEntriesStayInstalled) {
    const Unplaceable& row = GetParam();
    if (row.folder)
        CreateDirectoryA(row.folder, nullptr);
    WriteFile(row.keptPath, "kept");
    Publish({{"a.txt", "new a"}, {row.target, "new b"}, {"c.txt", "new c"}});
    TDownload run;
    ASSERT_TRUE(DownloadRun(run));
    const AnsiString state = ReadFile(stateFile);
    const auto recorded = Recorded();

    EXPECT_EQ(run.Install(stateFile), 4);
    ExpectInstalled("a.txt", "new a");
    EXPECT_EQ(ReadFile(row.keptPath), "kept");
    EXPECT_FALSE(FileExists("c.txt"));
    EXPECT_EQ(ReadFile(stateFile), state);
    EXPECT_EQ(ReadFile(downloads + recorded.at(row.target)), "new b");
    EXPECT_EQ(ReadFile(downloads + recorded.at("c.txt")), "new c");
}

INSTANTIATE_TEST_SUITE_P(
    Engine, InstallFails,
    testing::Values(Unplaceable{"FolderPathHoldsAFile", "blocker\\b.txt", "blocker", nullptr},
                    Unplaceable{"TargetIsAFolder", "b.txt", "b.txt\\inside.txt", "b.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// Two entries share one download: once the first has moved it, the second finds nothing to
// move or copy. Its old file stays whole, also under a name too long for any suffix.
TEST_F(Engine, OldTargetStaysWholeWhenTheNewFileCannotBePutInPlace) {
    for (const AnsiString& name : {AnsiString("b.txt"), AnsiString(250, 'b')}) {
        SCOPED_TRACE(name.size());
        WriteState({{{"a.txt", "new!"}, "ud0.$$$"}, {{name, "new!"}, "ud0.$$$"}});
        WriteFile(name, "old b");
        SetLocalWriteTime(name, 2001, 2, 3, 4, 5, 6);
        const TFileStamp old = GetFileStamp(name);
        WriteFile("b.txt.q6old", "someone else's");

        EXPECT_EQ(InstallOnly(), 4);
        ExpectInstalled("a.txt", "new!");
        EXPECT_EQ(ReadFile(name), "old b");
        EXPECT_EQ(GetFileStamp(name).Time, old.Time);
        EXPECT_EQ(ReadFile("b.txt.q6old"), "someone else's");
        EXPECT_EQ(NamesIn(app.Path()), (std::set<AnsiString>{"a.txt", name, "b.txt.q6old"}));
        for (const AnsiString& file : NamesIn(app.Path()))
            ForceDeleteFile(file);
    }
}

TEST_F(Engine, ATargetWithALongNameIsReplaced) {
    const AnsiString name(250, 'l');
    WriteFile(name, "old");
    Publish({{name, "new"}});
    TDownload run;
    ASSERT_TRUE(DownloadRun(run));
    EXPECT_EQ(run.Install(stateFile), 0);
    ExpectInstalled(name, "new");
    EXPECT_EQ(NamesIn(app.Path()), std::set<AnsiString>{name});
    EXPECT_TRUE(NamesIn(downloads).empty());
}

// A state file that cannot be saved: no download could be recorded for the install. An earlier
// state file that stays names other downloads, so it is no save either.
TEST_F(Engine, AStateFileThatCannotBeSavedFailsTheDownloads) {
    Publish({{"a.txt", "new a"}});
    {
        SCOPED_TRACE("a folder in its place");
        ForceDirectories(stateFile);
        TDownload run;
        EXPECT_FALSE(DownloadRun(run));
        RemoveDirectoryA(stateFile.c_str());
    }
    {
        SCOPED_TRACE("an earlier one held open");
        const AnsiString earlier = UpdateList("", false, {EntryLine("z.txt")});
        WriteFile(stateFile, earlier);
        TDownload run;
        Prepare(run);
        {
            const FileOpenedHere held(stateFile, 0);
            EXPECT_FALSE(run.DownloadAll(stateFile, downloads));
        }
        EXPECT_EQ(ReadFile(stateFile), earlier);
    }
    EXPECT_TRUE(Fetched().empty());
    EXPECT_FALSE(FileExists("a.txt"));
}

// The save after the downloads fails: the run fails, and the downloads it recorded on the way
// stay known to the next run, which fetches nothing again.
TEST_F(Engine, AFailedSaveAfterTheDownloadsKeepsTheirRecord) {
    Publish({{"a.txt", "new a"}, {"b.txt", "new b"}});
    const AnsiString blocker = stateFile + ".new";
    Http->SetOnStatus([&](TObject*) {
        if (ExtractFileName(Http->GetTarget()) == "ud1.$$$")
            ForceDirectories(blocker); // the next save cannot write its new text
    });
    {
        TDownload run;
        EXPECT_FALSE(DownloadRun(run));
    }
    Http->SetOnStatus(nullptr);
    RemoveDirectoryA(blocker.c_str());
    EXPECT_EQ(Recorded(),
              (std::map<AnsiString, AnsiString>{{"a.txt", "ud0.$$$"}, {"b.txt", "ud1.$$$"}}));
    TDownload next;
    EXPECT_EQ(Prepare(next), 2);
    EXPECT_EQ(next.GetPendingCount(), 0);
    EXPECT_TRUE(next.DownloadAll(stateFile, downloads));
    EXPECT_EQ(Fetched(), (std::vector<std::string>{"/f0", "/f1"}));
    EXPECT_EQ(next.Install(stateFile), 0);
    ExpectInstalled("a.txt", "new a");
    ExpectInstalled("b.txt", "new b");
}

TEST_F(Engine, ADownloadNameHeldByAFolderIsSkipped) {
    ForceDirectories(downloads + "ud0.$$$");
    Publish({{"a.txt", "new a"}});
    TDownload run;
    EXPECT_TRUE(DownloadRun(run));
    EXPECT_EQ(Recorded()["a.txt"], "ud1.$$$");
    EXPECT_EQ(run.Install(stateFile), 0);
    ExpectInstalled("a.txt", "new a");
}

// The state file names its downloads by the folder as one run spelled it; the next run may
// spell the same folder otherwise.
TEST_F(Engine, RecordedDownloadsStayWhateverTheFolderIsCalled) {
    const Offer a{"a.txt", "new a"};
    Publish({a});
    const AnsiString folder = app / "Download Folder\\";
    char shortName[MAX_PATH];
    ForceDirectories(folder);
    const DWORD n = GetShortPathNameA(folder.c_str(), shortName, MAX_PATH);
    ASSERT_GT(n, 0u);
    ASSERT_NE(AnsiUpperCase(AnsiString(shortName, n)), AnsiUpperCase(folder));
    for (const AnsiString& spelling : {AnsiString(shortName, n), AnsiUpperCase(folder)}) {
        SCOPED_TRACE(spelling);
        WriteFile(
            folder + "dllst.$$$",
            UpdateList("", false, {a.Line(server.Url(FileTarget(0))) + "?" + folder + "ud0.$$$"}));
        WriteStamped(folder + "ud0.$$$", a.body);
        TDownload run;
        ASSERT_TRUE(run.LoadList(server.Url("/list")));
        EXPECT_EQ(run.Prepare(spelling + "dllst.$$$"), 1);
        EXPECT_EQ(run.GetPendingCount(), 0);
        EXPECT_EQ(ReadFile(folder + "ud0.$$$"), a.body);
    }
}

// An install killed before each of its file steps in turn: at that instant every target holds
// its whole old or its whole new content, and after the next run's install the new one, with
// nothing left beside it or in the download folder. The downloads move into place, or, as from
// another volume, are copied, and a copy may end halfway.
class InstallKilled : public Engine, public testing::WithParamInterface<const char*> {};
INSTANTIATE_TEST_SUITE_P(Engine, InstallKilled, testing::Values("move", "copy"));

TEST_P(InstallKilled, AtAnyStepLosesNothing) {
    struct Target {
        AnsiString path, old, fresh;
    };
    const std::vector<Target> targets = {{"a.txt", "old a", "new a"},
                                         {"b.txt", "", "new b"}, // no old file
                                         {AnsiString(250, 'l'), "old long", "new long"},
                                         {"sub\\c.txt", "old c", "new c"}};
    const AnsiString eventName =
        "q6install-stopped-" + IntToStr(static_cast<int>(GetCurrentProcessId()));
    const KernelHandle stopped(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    bool finished = false;
    for (int step = 1; step < 100 && !finished; ++step) {
        SCOPED_TRACE(step);
        const AnsiString run = app / ("run" + IntToStr(step) + "\\");
        const AnsiString folder = run + "quen6\\Download\\";
        const AnsiString state = folder + "dllst.$$$";
        ForceDirectories(run + "sub");
        ForceDirectories(folder);
        SetCurrentDir(run); // the long name fits relative to the run's folder only
        std::vector<AnsiString> lines;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const Target& t = targets[i];
            if (!t.old.empty())
                WriteFile(t.path, t.old);
            const AnsiString download = folder + "ud" + IntToStr(static_cast<int>(i)) + ".$$$";
            WriteStamped(download, t.fresh);
            lines.push_back(Offer{t.path, t.fresh}.Line("http://h/x") + "?" + download);
        }
        WriteFile(state, UpdateList("", false, lines));

        ResetEvent(stopped.get());
        {
            Process killed("\"" + ExtractFilePath(ExeName()) + "interruptedinstall.exe\" \"" +
                               state + "\" " + eventName + " " + IntToStr(step) + " " + GetParam(),
                           run);
            const HANDLE ends[] = {stopped.get(), killed.Handle()};
            const DWORD end = WaitForMultipleObjects(2, ends, FALSE, kDeadlineMs);
            ASSERT_NE(end, WAIT_TIMEOUT);
            if (end == WAIT_OBJECT_0 + 1) {
                EXPECT_EQ(killed.Wait(), 100);
                finished = true;
            }
            killed.Kill();
        }

        for (const Target& t : targets) {
            SCOPED_TRACE(t.path.substr(0, 10));
            const bool present = FileExistsAnyDate(t.path);
            EXPECT_TRUE(present || t.old.empty());
            if (present) {
                const AnsiString content = ReadFile(t.path);
                EXPECT_TRUE(content == t.old || content == t.fresh) << content;
            }
        }
        TDownload next;
        next.SettleInstallRecord(state);
        EXPECT_EQ(next.Install(state), 0);
        for (const Target& t : targets)
            ExpectInstalled(t.path, t.fresh);
        EXPECT_EQ(NamesIn(run), (std::set<AnsiString>{"a.txt", "b.txt", targets[2].path}));
        EXPECT_EQ(NamesIn(run + "sub\\"), std::set<AnsiString>{"c.txt"});
        EXPECT_TRUE(NamesIn(folder).empty());
        SetCurrentDir(app.Path());
    }
    EXPECT_TRUE(finished);
}

// The record beside the state file names the copies an install makes beside its targets, and
// the old files an earlier version set aside. Settling it deletes only such files, in the folder
// of the target that the line names, and puts nothing back; every other line is passed over and
// dropped.
TEST_F(Engine, SettlingTheRecordTouchesOnlyWhatTheInstallMade) {
    const AnsiString outside = app / "outside\\";
    ForceDirectories(outside);
    ForceDirectories("doc");
    ForceDirectories("sub");
    const std::vector<AnsiString> untouched = {
        "keep.txt",        "app.exe", "doc\\readme.txt", "data.bin", outside + "precious.txt",
        "q6old0.$$$",      // under a line cut right after "?"
        "q6old1.$$$",      // its target is missing
        "sub\\q6new2.$$$", // in another folder than its target
        "q6new5.$$$",      // the same, its target's folder named with "/"
    };
    for (const AnsiString& file : untouched)
        WriteFile(file, "content of " + file);
    WriteFile("b.txt", "new b");
    WriteFile("q6old3.$$$", "old b");
    WriteFile("q6new4.$$$", "part of new a");
    WriteFile("sub\\q6new6.$$$", "part of new sub/d.txt");
    ForceDirectories(downloads);
    const AnsiString record = stateFile + ".old";
    WriteFile(record, "keep.txt?app.exe\r\ndoc\\readme.txt?\r\ndata.bin?missing.bin\r\n" + outside +
                          "precious.txt?\r\nq6old0.$$$?\r\nq6old1.$$$?c.txt\r\n"
                          "sub\\q6new2.$$$?a.txt\r\nq6old3.$$$?b.txt\r\nq6new4.$$$?a.txt\r\n"
                          "q6new5.$$$?sub/t2.exe\r\nsub/q6new6.$$$?sub\\d.txt\r\n");

    TDownload().SettleInstallRecord(stateFile);
    for (const AnsiString& file : untouched)
        EXPECT_EQ(ReadFile(file), "content of " + file) << file;
    EXPECT_EQ(ReadFile("b.txt"), "new b");
    for (const char* gone : {"missing.bin", "c.txt", "q6old3.$$$", "q6new4.$$$", "sub\\q6new6.$$$"})
        EXPECT_FALSE(FileExistsAnyDate(gone)) << gone;
    // The old file stays recorded until a file stands at its target.
    EXPECT_EQ(ReadFile(record), "q6old1.$$$?c.txt\r\n");
    WriteFile("c.txt", "new c");
    TDownload().SettleInstallRecord(stateFile);
    EXPECT_FALSE(FileExistsAnyDate("q6old1.$$$"));
    EXPECT_FALSE(FileExistsAnyDate(record));
}

// A run ended after its install had placed every file, before it removed the state file and
// the record of downloads beside it. The next run finds nothing to do and removes both.
TEST_F(Engine, NothingToDoRemovesWhatAnEndedRunLeft) {
    const Offer a{"a.txt", "new a"};
    Publish({a});
    WriteStamped("a.txt", a.body);
    WriteState({{a, ""}});
    WriteFile(stateFile + ".add", UpdateList("", false, {}));
    TDownload run;
    EXPECT_EQ(Prepare(run), 0);
    EXPECT_TRUE(NamesIn(downloads).empty());
}

// A target on another volume with room for the new file, but not for the old and the new side by
// side: the old file goes first, and the download stays until its copy stands.
TEST_F(Engine, AVolumeWithoutRoomForBothTakesTheNewFileInPlaceOfTheOld) {
    const AnsiString drive = TestBedValue("QUEN6_SMALL_DRIVE");
    const int room = StrToIntDef(TestBedValue("QUEN6_SMALL_DRIVE_BYTES"), 0);
    if (drive.empty() || room <= 0)
        GTEST_SKIP() << "the test bed has no small drive";
    const AnsiString target = drive + "\\big.bin";
    const Removed removed{target};
    WriteFile(target, AnsiString(room * 6 / 10, 'o'));
    const Offer big{target, AnsiString(room * 6 / 10 + 1, 'n')};
    WriteState({{big, "ud0.$$$"}});
    EXPECT_EQ(InstallOnly(), 0);
    ExpectInstalled(target, big.body);
    EXPECT_EQ(NamesIn(drive + "\\"), std::set<AnsiString>{"big.bin"});
    EXPECT_TRUE(NamesIn(downloads).empty());
}

// While it lives, every rename out of the folder fails as one to another volume does. Windows
// refuses a rename to another volume before it looks at the target; Wine first refuses one over
// a target that another program holds, whatever the volume.
class RenamesSeeAnotherVolume {
  public:
    explicit RenamesSeeAnotherVolume(const AnsiString& folder) {
        folder_ = AnsiUpperCase(folder);
        RedirectImport("MoveFileExA", &Move, original_);
    }
    ~RenamesSeeAnotherVolume() {
        decltype(original_) ours;
        RedirectImport("MoveFileExA", original_, ours);
    }

  private:
    static BOOL WINAPI Move(LPCSTR from, LPCSTR to, DWORD flags) {
        if (AnsiUpperCase(ExtractFilePath(from)) == folder_) {
            SetLastError(ERROR_NOT_SAME_DEVICE);
            return FALSE;
        }
        return original_(from, to, flags);
    }

    static inline AnsiString folder_;
    static inline decltype(&MoveFileExA) original_ = nullptr;
};

// A target on a nearly full volume, where no copy fits beside the old file, and the old file
// cannot make room for the new one: the new one would not fit in its place, another program holds
// the old one, or the rename failed because the target is in use rather than on another volume.
// The install fails, the old file stays whole and the download stays for a later run, which puts
// the new file in place once the obstacle has gone. Where the rename saw another volume first, a
// holder that opened the file for no access at all is seen only once the delete waits for it:
// the install fails all the same, and the file goes when that holder lets it go.
TEST_F(Engine, ANearlyFullVolumeLosesNoFile) {
    const AnsiString drive = TestBedValue("QUEN6_SMALL_DRIVE");
    const int room = StrToIntDef(TestBedValue("QUEN6_SMALL_DRIVE_BYTES"), 0);
    if (drive.empty() || room <= 0)
        GTEST_SKIP() << "the test bed has no small drive";
    // Sizes for a volume of 1 MiB, scaled to the drive's.
    const auto bytes = [room](int size) {
        return static_cast<int>(static_cast<long long>(room) * size / 1048576);
    };
    struct Row {
        const char* name;
        int filler, old, fresh;
        bool downloadBeside; // on the drive, beside the target, rather than in the download folder
        DWORD holderAccess, holderShare;
        bool volumeFirst; // the rename sees the other volume before the holder
        bool oldStays;
    };
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const Row rows[] = {
        {"the new file fits nowhere", 600000, 300000, 500000, false, 0, 0, false, true},
        {"held, the download on the same volume", 100000, 500000, 400000, true, 0,
         FILE_SHARE_DELETE, false, true},
        {"held for no access, sharing the delete", 560000, 300000, 400000, false, 0,
         FILE_SHARE_DELETE, false, true},
        {"held for no access, sharing the delete, the volume seen first", 560000, 300000, 400000,
         false, 0, FILE_SHARE_DELETE, true, false},
        {"held for no access, sharing all, the volume seen first", 560000, 300000, 400000, false, 0,
         all, true, false},
    };
    const AnsiString target = drive + "\\app.dll", filler = drive + "\\filler.bin";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Removed removedTarget{target}, removedFiller{filler};
        WriteFile(filler, AnsiString(bytes(row.filler), 'f'));
        const AnsiString old(bytes(row.old), 'o');
        WriteFile(target, old);
        const Offer fresh{target, AnsiString(bytes(row.fresh), 'n')};
        const AnsiString download = (row.downloadBeside ? drive + "\\" : downloads) + "ud0.$$$";
        const Removed removedDownload{download};
        ForceDirectories(downloads);
        WriteStamped(download, fresh.body);
        WriteFile(stateFile, UpdateList("", false, {fresh.Line("http://h/x") + "?" + download}));
        {
            const std::unique_ptr<HeldFile> holder =
                row.holderShare || row.holderAccess
                    ? std::make_unique<HeldFile>(target, row.holderAccess, row.holderShare)
                    : nullptr;
            const std::unique_ptr<RenamesSeeAnotherVolume> volume =
                row.volumeFirst ? std::make_unique<RenamesSeeAnotherVolume>(downloads) : nullptr;
            EXPECT_EQ(InstallOnly(), 4);
            EXPECT_EQ(ReadFile(download), fresh.body);
        }
        if (row.oldStays)
            EXPECT_EQ(ReadFile(target), old);
        else
            EXPECT_FALSE(FileExistsAnyDate(target));
        ForceDeleteFile(filler);
        EXPECT_EQ(InstallOnly(), 0);
        ExpectInstalled(target, fresh.body);
        EXPECT_EQ(NamesIn(drive + "\\"), std::set<AnsiString>{"app.dll"});
        EXPECT_TRUE(NamesIn(downloads).empty());
    }
}

// The user learns only that the download failed; the debugger output says why, with the URL.
TEST_F(Engine, AFailedDownloadSaysWhyInTheDebuggerOutput) {
    struct Row {
        const char* name;
        HttpReply reply;
        std::string reason;
    };
    const Row rows[] = {
        {"an error status", HttpReply::NotFound(), "the server answered status 404"},
        {"another size", HttpReply::Ok("new!!"), "5 bytes arrived of 5 announced, the list says 4"},
        {"cut short, no length announced", HttpReply(HttpReply::Head("HTTP/1.0 200 OK"), "new"),
         "3 bytes arrived, the list says 4"},
        {"cut short", HttpReply(HttpReply::Head("HTTP/1.0 200 OK", {"Content-Length: 4"}), "new"),
         "The server closed the connection before the announced length"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Publish({{"a.txt", "new!"}});
        server.Route(FileTarget(0), row.reply);
        const DebugOutput output;
        TDownload run;
        EXPECT_FALSE(DownloadRun(run));
        EXPECT_EQ(output.Text(),
                  "DownloadTest.exe: GET " + server.Url(FileTarget(0)) + ": " + row.reason + "\n");
    }
}
