// Reconciliation of large update lists on real files: the cost per entry of each step of a
// prepared run (parse and order the server's list, read the state file, adopt its downloads,
// check installed files and downloads, save the state file) for 10,000 to 100,000 entries with
// a state file as large. On the smaller sizes the same run goes a second time through the
// plain algorithm (a linear search per adoption, one removal at a time, a sort that asks the
// locale at every comparison, the old file deleted before the new one is written), from the
// same files, and the two results (the state file written and every file left) must agree.
//
// Under Wine a lookup of a name that is not there reads the whole folder (a case-insensitive
// match on a case-sensitive file system), so in a folder of tens of thousands of files every
// such lookup, creating a file among them, costs in proportion to the folder; NTFS has no such
// cost. The downloads therefore lie in subfolders of the download folder, a few hundred files
// each, like the targets in the application's folders: the figures show the lists' own work.
#include "Misc.h"
#include "Updatelst.h"

#include "Handles.h"
#include "PlainSortFiles.h"
#include "TempDir.h"
#include "UpdateLists.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// ---- the plain algorithm ----------------------------------------------------------------

namespace plain {

bool Parse(TUpdateFileList& list) {
    list.ReadMessage();
    const bool read = list.ReadFiles();
    for (int i = 0; i < list.Count(); ++i)
        list.GetFile(i)->LocalFile.clear();
    if (!read)
        return false;
    PlainSortFiles(list);
    return true;
}

void AdoptDownloads(TUpdateFileList& list, const TUpdateFileList& other) {
    for (int i = 0; i < other.Count(); ++i)
        list.AdoptDownload(*other.GetFile(i));
}

bool CheckFiles(TUpdateFileList& list) {
    for (int i = 0; i < list.Count();) {
        const TUpdateFile& entry = *list.GetFile(i);
        const TFileStamp stamp = GetFileStamp(entry.Path);
        if (stamp.Size != -1 && stamp.Size == entry.Size && stamp.Time == entry.Time)
            list.DiscardAt(i);
        else
            ++i;
    }
    return list.VerifyDownloads();
}

bool SaveToFile(TUpdateFileList& list, const AnsiString& path) {
    list.WriteLines();
    ForceDeleteFile(path);
    try {
        ForceDirectories(ExcludeTrailingBackslash(ExtractFilePath(path)));
        list.Lines.SaveToFile(path);
    } catch (...) {
    }
    return FileExists(path);
}

} // namespace plain

// ---- the files of one run -----------------------------------------------------------------

struct FileSpec {
    AnsiString path; // below the run's folder
    int size;
    int dosTime;
};

// A server's list of n paths, an older state file as large and the files both refer to. By
// the path's number modulo 8: 0 and 1 are installed as listed, 2 is installed with another
// size, 3 and 4 have a download of the state list as listed, 5 has one listed with an older
// time, 6 has one named in the state file that is gone, 7 has none. Every twentieth path is
// listed twice, the second time older; the state file also names downloads of paths the
// server no longer lists.
struct Scenario {
    int entries = 0;
    AnsiString list;
    AnsiString state;
    std::vector<FileSpec> files;
};

const AnsiString kDownload = "quen6\\Download\\";

Scenario Make(int n) {
    const TDateTime now = EncodeDate(2003, 6, 12) + EncodeTime(8, 38, 20, 0);
    const TDateTime older = now - 2;
    const int dosNow = DateTimeToFileDate(now), dosOlder = DateTimeToFileDate(older);
    auto when = [](TDateTime t) {
        return FormatDateTime("yyyy/mm/dd", t) + "?" + FormatDateTime("hh:nn:ss", t);
    };
    const AnsiString whenNow = when(now), whenOlder = when(older);

    Scenario s;
    s.entries = n;
    std::vector<AnsiString> listLines, stateLines;
    for (int i = 0; i < n; ++i) {
        // Scattered over folders and out of order in the text.
        const unsigned h = static_cast<unsigned>(i) * 2654435761u;
        char name[64];
        wsprintfA(name, "d%02u\\F%08x_%d.dll", h % 97, h, i);
        const AnsiString path = name, url = "http://updates.example/app/" + IntToStr(i);
        const int size = 1 + i % 7;
        const AnsiString entry = EntryLine(path, url, whenNow, size);
        listLines.push_back(entry);
        if (i % 20 == 0)
            listLines.push_back(EntryLine(path, url, whenOlder, size));
        char bucket[8];
        wsprintfA(bucket, "b%02u\\", h % 89);
        const AnsiString download = kDownload + bucket + "ud" + IntToStr(i) + ".$$$";
        switch (i % 8) {
        case 0:
        case 1:
            s.files.push_back({"app\\" + path, size, dosNow});
            stateLines.push_back(entry);
            break;
        case 2:
            s.files.push_back({"app\\" + path, size + 1, dosNow});
            stateLines.push_back(entry);
            break;
        case 3:
        case 4:
            s.files.push_back({"app\\" + download, size, dosNow});
            stateLines.push_back(entry + "?" + download);
            break;
        case 5:
            s.files.push_back({"app\\" + download, size, dosOlder});
            stateLines.push_back(EntryLine(path, url, whenOlder, size) + "?" + download);
            break;
        case 6:
            stateLines.push_back(entry + "?" + download);
            break;
        default: {
            const AnsiString gone = kDownload + bucket + "gone" + IntToStr(i) + ".$$$";
            s.files.push_back({"app\\" + gone, 1, dosNow});
            stateLines.push_back(EntryLine("gone\\" + IntToStr(i), "u", whenNow) + "?" + gone);
        }
        }
    }
    // A fixed shuffle of the server's lines.
    for (std::size_t i = listLines.size(); i > 1; --i)
        std::swap(listLines[i - 1], listLines[(i * 40503u + 7) % i]);
    s.list = UpdateList("A large update.", false, listLines);
    s.state = UpdateList("", false, stateLines);
    return s;
}

void Create(const AnsiString& path, const AnsiString& content, int dosTime) {
    FileHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD done = 0;
    WriteFile(f.get(), content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    FILETIME local, utc;
    DosDateTimeToFileTime(HIWORD(dosTime), LOWORD(dosTime), &local);
    LocalFileTimeToFileTime(&local, &utc);
    SetFileTime(f.get(), nullptr, nullptr, &utc);
}

void Lay(const Scenario& s, const AnsiString& root) {
    for (const FileSpec& f : s.files) {
        const AnsiString path = root + f.path;
        ForceDirectories(ExtractFilePath(path));
        Create(path, AnsiString(f.size, 'x'), f.dosTime);
    }
    ForceDirectories(root + "app\\" + kDownload);
    Create(root + "app\\" + kDownload + "dllst.$$$", s.state,
           DateTimeToFileDate(EncodeDate(2003, 6, 12)));
}

// ---- one run --------------------------------------------------------------------------------

const char* const kSteps[] = {"Parse", "LoadFromFile", "AdoptDownloads", "CheckFiles",
                              "SaveToFile"};

struct Outcome {
    double micros[5];  // per step
    AnsiString result; // the state file written, then every file left
};

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

Outcome Run(const Scenario& s, bool usePlain) {
    const TempDir dir;
    const AnsiString& root = dir.Path();
    Lay(s, root);
    const AnsiString before = GetCurrentDir();
    SetCurrentDir(root + "app");
    const AnsiString stateFile = root + "app\\" + kDownload + "dllst.$$$";

    TUpdateFileList remote, local;
    remote.Lines.SetText(s.list);
    const std::function<void()> steps[5] = {
        [&] { usePlain ? plain::Parse(remote) : remote.Parse(); },
        [&] { local.LoadFromFile(stateFile); },
        [&] { usePlain ? plain::AdoptDownloads(remote, local) : remote.AdoptDownloads(local); },
        [&] { usePlain ? plain::CheckFiles(remote) : remote.CheckFiles(); },
        [&] { usePlain ? plain::SaveToFile(remote, stateFile) : remote.SaveToFile(stateFile); },
    };
    Outcome outcome;
    for (int k = 0; k < 5; ++k) {
        const double start = Seconds();
        steps[k]();
        outcome.micros[k] = (Seconds() - start) * 1e6 / s.entries;
    }
    SetCurrentDir(before);

    TStringList written;
    written.LoadFromFile(stateFile);
    outcome.result = written.Text();
    std::vector<AnsiString> left;
    ForEachBelow(root, [&](const AnsiString& path, bool isFolder) {
        if (!isFolder)
            left.push_back(path);
    });
    std::sort(left.begin(), left.end());
    for (const AnsiString& path : left)
        outcome.result += path.substr(root.size()) + "\r\n";
    return outcome;
}

} // namespace

int main() {
    std::printf("microseconds per entry of the server's list; \"plain\": the straightforward "
                "algorithm\n\n");
    std::printf("%8s  %-15s %10s %10s\n", "entries", "step", "this", "plain");
    for (int n : {10000, 30000, 100000}) {
        const Scenario s = Make(n);
        const Outcome fast = Run(s, false);
        const bool compare = n <= 30000;
        const Outcome reference = compare ? Run(s, true) : Outcome{};
        for (int k = 0; k < 5; ++k) {
            std::printf("%8d  %-15s %10.2f ", n, kSteps[k], fast.micros[k]);
            if (compare)
                std::printf("%10.2f\n", reference.micros[k]);
            else
                std::printf("%10s\n", "-");
        }
        std::printf("%8d  %-15s %s (%zu bytes: the state file written and every file left)\n\n", n,
                    "same result",
                    !compare                          ? "not compared"
                    : fast.result == reference.result ? "yes"
                                                      : "NO",
                    fast.result.size());
    }
    return 0;
}
