// The download loop of the engine for 100 to 5,000 small files from a web server on loopback:
//
//     download_bench <base URL>      (the files are <base URL>/f0 to /f4999, 64 bytes each)
//
// For each size it fetches the same files three ways, each into a fresh download folder: by
// THttp::GetToFile alone (the transfer), by TDownload::DownloadAll, and on the smaller sizes
// by the straightforward loop (the whole state file saved after every file, the free name
// probed from 0 for every file). It prints microseconds per file: the transfer, each loop's
// whole time, and each loop's own cost beside the transfer (its time less the transfer's).
// The transfer and the engine take the best of three rounds. The straightforward loop's state
// file and downloads must equal the engine's.
#include "Download.h"

#include "Forms.h"
#include "HttpMod.h"
#include "Misc.h"
#include "TempDir.h"

#include <algorithm>
#include <cstdio>
#include <set>
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

// ---- the straightforward loop -------------------------------------------------------------

namespace plain {

AnsiString FreeDownloadName(const AnsiString& folder) {
    for (int number = 0;; ++number) {
        const AnsiString name = folder + "ud" + IntToStr(number) + ".$$$";
        if (!FileExists(name))
            return name;
    }
}

bool StampDownload(const AnsiString& path, TDateTime time) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    const auto dos = static_cast<DWORD>(DateTimeToFileDate(time));
    FILETIME local, utc;
    if (DosDateTimeToFileTime(HIWORD(dos), LOWORD(dos), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file.get(), nullptr, nullptr, &utc);
    return true;
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

double Transfer(const AnsiString& base, const AnsiString& folder, int n) {
    ForceDirectories(ExcludeTrailingBackslash(folder));
    const double start = Seconds();
    for (int i = 0; i < n; ++i)
        Http->GetToFile(folder + "ud" + IntToStr(i) + ".$$$", base + "/f" + IntToStr(i));
    return Seconds() - start;
}

// A run that fetches everything: the list parsed and prepared untimed, then DownloadAll (or
// the straightforward loop) timed. The folder is the application folder of the run.
double Download(const AnsiString& list, const AnsiString& app, bool straightforward,
                AnsiString& result) {
    ForceDirectories(app + "files");
    SetCurrentDir(app);
    const AnsiString folder = app + "quen6\\Download\\";
    const AnsiString stateFile = folder + "dllst.$$$";
    TDownload run;
    run.Remote.Lines.SetText(list);
    run.Prepare(stateFile);
    const double start = Seconds();
    const bool complete = straightforward ? plain::DownloadAll(run.Remote, stateFile, folder)
                                          : run.DownloadAll(stateFile, folder);
    const double seconds = Seconds() - start;
    if (!complete)
        std::printf("   (a download failed)\n");
    result = Result(folder);
    return seconds;
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

    std::printf("microseconds per file; \"own\": the loop's time less the transfer's\n");
    std::printf("%6s %10s %10s %10s %10s %10s  %s\n", "files", "transfer", "engine", "own", "plain",
                "own", "same result");
    for (const int n : {100, 400, 1000, 5000}) {
        TempDir dir;
        const AnsiString list = ListText(base, n);
        // The best of three rounds each, taken in turn, so that a passing load on the machine
        // weighs on neither side alone.
        double transfer = 1e9, engine = 1e9;
        AnsiString ours, theirs;
        for (int round = 0; round < 3; ++round) {
            const AnsiString r = IntToStr(round);
            transfer = std::min(transfer, Transfer(base, dir / ("transfer" + r + "\\"), n));
            engine = std::min(engine, Download(list, dir / ("engine" + r + "\\"), false, ours));
            SetCurrentDir(dir.Path());
        }
        std::printf("%6d %10.0f %10.0f %10.0f ", n, transfer * 1e6 / n, engine * 1e6 / n,
                    (engine - transfer) * 1e6 / n);
        if (n <= 400) {
            const double straightforward = Download(list, dir / "plain\\", true, theirs);
            std::printf("%10.0f %10.0f  %s\n", straightforward * 1e6 / n,
                        (straightforward - transfer) * 1e6 / n, ours == theirs ? "yes" : "NO");
        } else {
            std::printf("%10s %10s  %s\n", "-", "-", "-");
        }
        std::fflush(stdout);
        SetCurrentDir(dir.Path());
    }
    return 0;
}
