// The download loop of the engine for 100 to 5,000 small files from a web server on loopback:
//
//     download_bench <base URL>      (the files are <base URL>/f0 to /f4999, 64 bytes each)
//
// For each size it fetches the same files three ways, each into a fresh download folder: by
// THttp::GetToFile alone (the transfer), by TDownload::DownloadAll, and on the smaller sizes
// by the straightforward loop (the whole state file saved after every file, the free name
// probed from 0 for every file). It prints microseconds per file: each loop's whole time, the
// time spent inside its transfers, clocked within the same run, and its own cost, the one less
// the other. A loop's own cost thus carries none of the noise of a second run's transfers. The
// bare transfer loop's own cost is the floor: what the clocking leaves outside the transfers.
// Each figure is the median of the rounds, which take the three ways in turn. The
// straightforward loop's state file and downloads must equal the engine's.
#include "Download.h"

#include "Forms.h"
#include "HttpMod.h"
#include "Misc.h"
#include "TempDir.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

namespace {

constexpr int kFileSize = 64;

double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency;
}

// The time spent inside THttp's transfers, from the status reports each gives: a transfer
// runs from its first report (before the request goes out) to its last (the connection
// closed). Every transfer of a run here writes a file of a name of its own, so a new target
// marks the next transfer. (A failed download's name is taken again by the next one, which
// would join the two; a failure is reported beside the figures.)
class TransferClock {
  public:
    TransferClock() {
        Http->SetOnStatus([this](TObject*) { Report(); });
    }
    ~TransferClock() { Http->SetOnStatus(nullptr); }
    TransferClock(const TransferClock&) = delete;
    TransferClock& operator=(const TransferClock&) = delete;

    double Inside() const { return inside_ + (last_ - first_); }

  private:
    void Report() {
        const double now = Seconds();
        AnsiString target = Http->GetTarget();
        if (target != target_) {
            inside_ += last_ - first_;
            first_ = now;
            target_ = std::move(target);
        }
        last_ = now;
    }

    AnsiString target_;
    double first_ = 0, last_ = 0, inside_ = 0;
};

// A loop's whole time and the time inside its transfers, in seconds.
struct Run {
    double Loop = 0, Inside = 0;
};

// ---- the straightforward loop -------------------------------------------------------------

namespace plain {

AnsiString FreeDownloadName(const AnsiString& folder) {
    for (int number = 0;; ++number) {
        const AnsiString name = folder + "ud" + IntToStr(number) + ".$$$";
        if (!FileExists(name))
            return name;
    }
}

bool DownloadAll(TUpdateFileList& remote, const AnsiString& stateFile, const AnsiString& folder) {
    ForceDirectories(ExcludeTrailingBackslash(folder));
    remote.SaveToFile(stateFile);
    bool failed = false;
    for (int i = 0; i < remote.Count(); ++i) {
        if (!remote.GetLocalPath(i).empty())
            continue;
        const AnsiString name = FreeDownloadName(folder);
        remote.SetLocalPath(i, name);
        if (Http->GetToFile(name, remote.GetUrl(i)) && FileExists(name) &&
            GetFileStamp(name).Size == remote.GetSize(i) &&
            StampDownload(name, remote.GetTime(i))) {
            remote.SaveToFile(stateFile);
        } else {
            remote.SetLocalPath(i, "");
            failed = true;
        }
    }
    remote.CheckFiles();
    remote.SaveToFile(stateFile);
    return !failed;
}

} // namespace plain

// ---- one size -----------------------------------------------------------------------------

AnsiString ListText(const AnsiString& base, int n) {
    AnsiString text = "[update]\r\n";
    for (int i = 0; i < n; ++i)
        text += "files\\f" + IntToStr(i) + ".dat?" + base + "/f" + IntToStr(i) +
                "?2003/06/12?08:38:20?" + IntToStr(kFileSize) + "\r\n";
    return text;
}

// What a loop leaves: its state file with the folder's name taken out, and every download.
AnsiString Result(const AnsiString& folder) {
    AnsiString state = ReadFile(folder + "dllst.$$$");
    for (auto at = state.find(folder); at != AnsiString::npos; at = state.find(folder))
        state.erase(at, folder.size());
    AnsiString result = state;
    for (int i = 0;; ++i) {
        const AnsiString name = folder + "ud" + IntToStr(i) + ".$$$";
        if (!FileExistsAnyDate(name))
            break;
        result += ReadFile(name);
    }
    return result;
}

Run Transfer(const AnsiString& base, const AnsiString& folder, int n) {
    ForceDirectories(ExcludeTrailingBackslash(folder));
    TransferClock clock;
    const double start = Seconds();
    for (int i = 0; i < n; ++i)
        Http->GetToFile(folder + "ud" + IntToStr(i) + ".$$$", base + "/f" + IntToStr(i));
    return {Seconds() - start, clock.Inside()};
}

// A run that fetches everything: the list parsed and prepared untimed, then DownloadAll (or
// the straightforward loop) timed. The folder is the application folder of the run.
Run Download(const AnsiString& list, const AnsiString& app, bool straightforward,
             AnsiString& result) {
    ForceDirectories(app + "files");
    SetCurrentDir(app);
    const AnsiString folder = app + "quen6\\Download\\";
    const AnsiString stateFile = folder + "dllst.$$$";
    TDownload run;
    run.Remote.Lines.SetText(list);
    run.Prepare(stateFile);
    TransferClock clock;
    const double start = Seconds();
    const bool complete = straightforward ? plain::DownloadAll(run.Remote, stateFile, folder)
                                          : run.DownloadAll(stateFile, folder);
    const Run timed{Seconds() - start, clock.Inside()};
    if (!complete)
        std::printf("   (a download failed)\n");
    result = Result(folder);
    return timed;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The median microseconds per file of the rounds of one way: the whole loop, inside the
// transfers and the loop's own cost (taken round by round, then the median).
void PrintMedians(const std::vector<Run>& runs, int n, bool withInside) {
    std::vector<double> loop, inside, own;
    for (const Run& run : runs) {
        loop.push_back(run.Loop * 1e6 / n);
        inside.push_back(run.Inside * 1e6 / n);
        own.push_back((run.Loop - run.Inside) * 1e6 / n);
    }
    std::printf(" %8.0f", Median(loop));
    if (withInside)
        std::printf(" %8.0f", Median(inside));
    std::printf(" %8.0f", Median(own));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: download_bench <base URL>\n");
        return 2;
    }
    const AnsiString base = argv[1];
    Application->Initialize();
    Application->CreateForm(Http);

    std::printf("microseconds per file, medians; \"inside\": inside the transfers of the same "
                "run; \"own\": the rest\n");
    std::printf("%6s %6s | %8s %8s | %8s %8s %8s | %8s %8s %8s | %s\n", "files", "rounds",
                "transfer", "own", "engine", "inside", "own", "plain", "inside", "own",
                "same result");
    for (const int n : {100, 400, 1000, 5000}) {
        TempDir dir;
        const AnsiString list = ListText(base, n);
        const bool withPlain = n <= 1000;
        const int rounds = n < 5000 ? 5 : 3;
        // The ways take turns within each round, so that a passing load on the machine weighs
        // on no way alone.
        std::vector<Run> transfer, engine, straightforward;
        AnsiString ours, theirs;
        bool same = true;
        for (int round = 0; round < rounds; ++round) {
            const AnsiString r = IntToStr(round);
            transfer.push_back(Transfer(base, dir / ("transfer" + r + "\\"), n));
            engine.push_back(Download(list, dir / ("engine" + r + "\\"), false, ours));
            if (withPlain) {
                straightforward.push_back(Download(list, dir / ("plain" + r + "\\"), true, theirs));
                same = same && ours == theirs;
            }
            SetCurrentDir(dir.Path());
        }
        std::printf("%6d %6d |", n, rounds);
        PrintMedians(transfer, n, false);
        std::printf(" |");
        PrintMedians(engine, n, true);
        std::printf(" |");
        if (withPlain) {
            PrintMedians(straightforward, n, true);
            std::printf(" | %s\n", same ? "yes" : "NO");
        } else {
            std::printf(" %8s %8s %8s | %s\n", "-", "-", "-", "-");
        }
        std::fflush(stdout);
    }
    return 0;
}
