// The real updater killed outright at a random instant of an update of many files: right after
// the kill, before any later run, every installed file is whole, its old body or its new one;
// runs to the end then finish the update and leave nothing of it behind.
//
// The instants come from a generator whose seed the failures show; QUEN6_KILL_SEED=<seed> in
// the environment plays the same rounds again (the instants themselves still follow the run).
#include "Installation.h"

#include "BoxWatcher.h"
#include "HttpTestServer.h"
#include "Misc.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

namespace {

using Micro = std::chrono::microseconds;

constexpr int kFiles = 120;
constexpr int kRounds = 30;
// After a kill one run to the end fetches what is missing and installs it all; the update
// counts as unfinished only when two more have not finished it either.
constexpr int kCompletionRuns = 3;
// A round takes seconds, on a loaded machine some ten; one that takes longer than twice the
// deadline of a single run waited for deadlines: a process hung, and the later rounds would wait
// on what it holds.
constexpr DWORD kRoundMs = 2 * kDeadlineMs;

const TDateTime kListed = EncodeDate(2003, 6, 12) + EncodeTime(8, 38, 20, 0);
const AnsiString kMissing = "(missing)";

struct Target {
    AnsiString path; // relative to the application folder
    bool installed;  // an old version is in place
};

// Every tenth file is new, in a folder the install creates; the others replace old files.
std::vector<Target> Targets() {
    std::vector<Target> targets;
    for (int i = 0; i < kFiles; ++i) {
        const bool fresh = i % 10 == 9;
        const AnsiString folder = fresh ? "new\\" : i % 2 ? "lib\\" : "";
        targets.push_back({folder + "f" + IntToStr(1000 + i).substr(1) + ".dat", !fresh});
    }
    return targets;
}

// The bodies differ in their first word and in their size: a file that is neither whole body
// shows.
AnsiString OldBody(const Target& target) {
    AnsiString body = "old " + target.path;
    body.resize(64, '.');
    return body;
}

AnsiString NewBody(const Target& target) {
    AnsiString body = "new " + target.path;
    body.resize(96, '+');
    return body;
}

AnsiString ServedPath(const Target& target) {
    return "/" + ExtractFileName(target.path);
}

// The size of the file; -1 when there is none.
long long SizeOf(const AnsiString& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

AnsiString ContentOf(const AnsiString& path) {
    return SizeOf(path) < 0 ? kMissing : ReadFile(path);
}

// An installation with the old files in place, and a server with the list and the new files.
struct Update {
    explicit Update(const std::vector<Target>& targets) {
        std::vector<AnsiString> entries;
        for (const Target& t : targets) {
            if (t.installed) {
                ForceDirectories(ExtractFilePath(inst.App() + t.path));
                WriteFile(inst.App() + t.path, OldBody(t));
            }
            server.Route(ServedPath(t), HttpReply::Ok(NewBody(t)));
            entries.push_back(EntryLine(t.path, server.Url(ServedPath(t)), kListedWhen,
                                        static_cast<int>(NewBody(t).size())));
        }
        server.Route("/list.txt", HttpReply::Ok(UpdateList("", false, entries)));
        inst.WriteSettings({"appname=Demo", "list=" + server.Url("/list.txt")});
    }

    HttpTestServer server;
    Installation inst;
};

// Where a round kills the updater: at a mark of its run, after a pause.
struct Kill {
    enum Mark {
        Started,   // the process started
        Requested, // the server received `at` requests, the list's the first
        Changed,   // the size of target `at` is no longer the one before the run (none: missing)
    } mark;
    int at;
    Micro pause;
};

Micro Uniform(std::mt19937& random, Micro low, Micro high) {
    return Micro(std::uniform_int_distribution<long long>(low.count(), high.count())(random));
}

// Spread evenly over the powers of ten: a run's phases take their share on a fast machine as on
// a slow one.
Micro LogUniform(std::mt19937& random, Micro low, Micro high) {
    std::uniform_real_distribution<double> exponent(std::log(static_cast<double>(low.count())),
                                                    std::log(static_cast<double>(high.count())));
    return Micro(std::llround(std::exp(exponent(random))));
}

// Most kills fall into the install, where a file is replaced; the rest into the start, the
// list request and the question, the downloads, and the end of the run.
Kill DrawKill(std::mt19937& random) {
    using namespace std::chrono_literals;
    switch (std::uniform_int_distribution<int>(0, 9)(random)) {
    case 0:
    case 1:
        return {Kill::Started, 0, LogUniform(random, 1ms, 3s)};
    case 2:
    case 3:
        return {Kill::Requested, std::uniform_int_distribution<int>(1, kFiles + 1)(random),
                Uniform(random, 0us, 2ms)};
    case 4:
    case 5:
    case 6:
    case 7:
        return {Kill::Changed, std::uniform_int_distribution<int>(0, kFiles - 1)(random),
                Uniform(random, 0us, 1ms)};
    default:
        return {Kill::Changed, kFiles - 1, LogUniform(random, 10us, 300ms)};
    }
}

AnsiString Describe(const Kill& kill, const std::vector<Target>& targets) {
    const AnsiString after = IntToStr(static_cast<int>(kill.pause.count())) + " us after ";
    switch (kill.mark) {
    case Kill::Started:
        return after + "the start";
    case Kill::Requested:
        return after + "request " + IntToStr(kill.at);
    case Kill::Changed:
        break;
    }
    return after + targets[kill.at].path + " changed";
}

// Waits until the mark is reached, looking at it every millisecond, or until the process ends;
// false at the deadline. No tighter loop: the run under test shares the system with it.
bool Reach(const Process& process, const std::function<bool()>& mark) {
    const DWORD start = GetTickCount();
    while (!mark()) {
        if (WaitForSingleObject(process.Handle(), 1) != WAIT_TIMEOUT)
            return true;
        if (GetTickCount() - start >= kDeadlineMs)
            return false;
    }
    return true;
}

// Lets the time pass, to the microsecond, unless the process ends first.
void Pause(const Process& process, Micro pause) {
    const auto end = std::chrono::steady_clock::now() + pause;
    const auto wholeMs = std::chrono::duration_cast<std::chrono::milliseconds>(pause).count();
    if (wholeMs > 0 &&
        WaitForSingleObject(process.Handle(), static_cast<DWORD>(wholeMs)) != WAIT_TIMEOUT)
        return;
    // The rest, under a millisecond: a short busy wait.
    while (std::chrono::steady_clock::now() < end) {
    }
}

// Where a run stands: the boxes it showed and the status line of its window.
std::string Showing(const Process& updater, const BoxWatcher& boxes) {
    std::string text = "boxes:";
    for (const SeenBox& box : boxes.Boxes())
        text += " [" + box.text + "]";
    for (HWND window : TopWindows(updater.Id()))
        if (ClassOf(window) == "TForm")
            text += ", status line: " + WindowText(ChildAt(window, 16, 48));
    return text;
}

// Whether the process of that id is one the starter started (see StartedProcesses).
bool IsStartedBy(const Process& starter, DWORD id) {
    for (const PROCESSENTRY32& entry : StartedProcesses(starter.Handle(), starter.Id()))
        if (entry.th32ProcessID == id)
            return true;
    return false;
}

// A run killed while it starts the application leaves that process hung in its start under Wine;
// it is ended here, and the application is no part of what the rounds check. Nothing else the
// run started: such a process may serve the later runs, as Wine's desktop process does, which the
// first program that needs a desktop starts.
void EndStartedApplication(const Process& updater) {
    for (const PROCESSENTRY32& entry : StartedProcesses(updater.Handle(), updater.Id())) {
        // While Wine starts a process its entry bears no file name yet.
        if (entry.szExeFile[0] != '\0' && lstrcmpiA(entry.szExeFile, "fakeapp.exe") != 0)
            continue;
        Process started(entry.th32ProcessID);
        // The id may have passed to another process before it was opened; held open, it names
        // the same process.
        if (IsStartedBy(updater, started.Id()))
            started.Kill();
    }
}

// Starts a normal run, which answers its question Yes, and kills it at the drawn instant.
void RunAndKill(const Update& update, const std::vector<Target>& targets, const Kill& kill) {
    Process updater(update.inst.CommandLine(), update.inst.StartDir());
    BoxWatcher boxes(updater.Id(), IDYES);
    bool reached = true;
    switch (kill.mark) {
    case Kill::Started:
        break;
    case Kill::Requested:
        reached = Reach(updater, [&] {
            return update.server.Requests().size() >= static_cast<size_t>(kill.at);
        });
        break;
    case Kill::Changed: {
        const Target& t = targets[kill.at];
        const long long before = t.installed ? static_cast<long long>(OldBody(t).size()) : -1;
        reached = Reach(updater, [&] { return SizeOf(update.inst.App() + t.path) != before; });
        break;
    }
    }
    EXPECT_TRUE(reached) << "the mark is not reached within " << kDeadlineMs << " ms; requests "
                         << update.server.Requests().size() << ", " << Showing(updater, boxes);
    Pause(updater, kill.pause);
    updater.Kill();
    EndStartedApplication(updater);
}

// The targets that hold neither whole body they may hold, with what they hold.
std::vector<AnsiString> NotWhole(const Installation& inst, const std::vector<Target>& targets) {
    std::vector<AnsiString> broken;
    for (const Target& t : targets) {
        const AnsiString now = ContentOf(inst.App() + t.path);
        if (now != NewBody(t) && now != (t.installed ? OldBody(t) : kMissing))
            broken.push_back(t.path + ": " + now);
    }
    return broken;
}

// The targets without their new body and the listed time.
std::vector<AnsiString> NotUpdated(const Installation& inst, const std::vector<Target>& targets) {
    std::vector<AnsiString> stale;
    for (const Target& t : targets) {
        const AnsiString path = inst.App() + t.path;
        if (ContentOf(path) != NewBody(t) || GetFileStamp(path).Time != kListed)
            stale.push_back(t.path);
    }
    return stale;
}

// The names that each folder of the installation must hold once the update is finished.
std::map<AnsiString, std::set<AnsiString>> FinishedFolders(const std::vector<Target>& targets) {
    std::map<AnsiString, std::set<AnsiString>> folders{
        {"", {"fakeapp.exe", "fakeapp.log", "quen6"}},
        {"quen6\\", {"quen6aux.exe", "quen6aux_lang.dll", "quen6.ini"}}};
    for (const Target& t : targets) {
        const AnsiString folder = ExtractFilePath(t.path);
        folders[folder].insert(ExtractFileName(t.path));
        if (!folder.empty())
            folders[""].insert(ExcludeTrailingBackslash(folder));
    }
    return folders;
}

unsigned Seed() {
    if (const char* given = std::getenv("QUEN6_KILL_SEED"))
        return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    return static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
}

TEST(KilledRun, LeavesEveryFileWholeAndLaterRunsFinishTheUpdate) {
    const unsigned seed = Seed();
    SCOPED_TRACE("QUEN6_KILL_SEED=" + std::to_string(seed));
    // Before the first round: a run that hangs past the test's own time-out is cut off without
    // a word of its traces.
    std::printf("QUEN6_KILL_SEED=%u plays these rounds again\n", seed);
    std::fflush(stdout);
    std::mt19937 random(seed);
    const std::vector<Target> targets = Targets();
    const auto finished = FinishedFolders(targets);
    for (int round = 0; round < kRounds; ++round) {
        const DWORD roundStart = GetTickCount();
        const Kill kill = DrawKill(random);
        SCOPED_TRACE("round " + IntToStr(round) + ": killed " + Describe(kill, targets));
        Update update(targets);
        const Installation& inst = update.inst;

        RunAndKill(update, targets, kill);
        EXPECT_EQ(NotWhole(inst, targets), std::vector<AnsiString>{});

        // At least one run: one killed after its install may have left what a later run must
        // clear away.
        for (int run = 0; run < kCompletionRuns && (run == 0 || !NotUpdated(inst, targets).empty());
             ++run) {
            Process updater(inst.CommandLine(), inst.StartDir());
            BoxWatcher boxes(updater.Id(), IDYES);
            EXPECT_EQ(updater.Wait(), 0) << "completion run " << run;
        }
        inst.AppRuns(); // waits for the applications the runs started
        EXPECT_EQ(NotUpdated(inst, targets), std::vector<AnsiString>{});
        for (const auto& folder : finished) {
            std::set<AnsiString> names =
                NamesIn(inst.App() + folder.first, Listing::FilesAndFolders);
            if (folder.first == "quen6\\")
                names.erase("Download");
            EXPECT_EQ(names, folder.second) << "in " << folder.first;
        }
        EXPECT_EQ(NamesIn(inst.DownloadDir(), Listing::FilesAndFolders), std::set<AnsiString>{});
        const DWORD took = GetTickCount() - roundStart;
        if (took > kRoundMs) {
            ADD_FAILURE() << "the round took " << took << " ms, more than " << kRoundMs
                          << " ms: a run or a kill hung; the rounds stop here";
            break;
        }
    }
}

} // namespace
