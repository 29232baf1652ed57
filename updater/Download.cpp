#include "Download.h"

#include "Forms.h"
#include "Handles.h"
#include "HttpMod.h"
#include "Misc.h"

#include <algorithm>
#include <climits>
#include <set>
#include <vector>

namespace {

// The target an entry names: "$$update$$" is the new updater, which the launcher moves over
// the running one at its next start.
AnsiString ResolveTarget(const AnsiString& path) {
    return path == "$$update$$" ? ExtractFilePath(Application->ExeName()) + "quen6aux2.exe" : path;
}

// Read and write access with no sharing, existing files only.
FileHandle OpenExclusive(const AnsiString& path) {
    return FileHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Sets the file's last-write time, through an exclusive handle, to the MS-DOS form of a local
// time, so that it reads back exactly as the listed time (or as the even second below it).
// A time the MS-DOS form cannot hold leaves the file's time alone. False when the file does
// not open.
bool StampDownload(const AnsiString& path, TDateTime time) {
    FileHandle file = OpenExclusive(path);
    if (!file)
        return false;
    const auto dos = static_cast<DWORD>(DateTimeToFileDate(time));
    FILETIME local, utc;
    if (DosDateTimeToFileTime(HIWORD(dos), LOWORD(dos), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file.get(), nullptr, nullptr, &utc);
    return true;
}

// The first free name of the pattern "%sud%d.$$$", counting from 0.
AnsiString FreeDownloadName(const AnsiString& folder) {
    for (int number = 0;; ++number) {
        const AnsiString name = folder + "ud" + IntToStr(number) + ".$$$";
        if (!FileExists(name))
            return name;
    }
}

// A name that the pattern "ud%d.$$$" gives: "ud", a decimal number without leading zeros,
// ".$$$"; letter case does not count, as in the file system.
bool IsDownloadName(const AnsiString& name) {
    const AnsiString upper = AnsiUpperCase(name);
    if (upper.size() < 7 || upper.compare(0, 2, "UD") != 0 ||
        upper.compare(upper.size() - 4, 4, ".$$$") != 0)
        return false;
    const AnsiString number = upper.substr(2, upper.size() - 6);
    return number.find_first_not_of("0123456789") == AnsiString::npos &&
           (number == "0" || number[0] != '0');
}

// The full path in upper case: two names of one file compare equal.
AnsiString FileKey(const AnsiString& path) {
    std::vector<char> full(MAX_PATH);
    DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    return AnsiUpperCase(n ? AnsiString(full.data(), n) : path);
}

void AddDownloadKeys(TUpdateFileList& list, std::set<AnsiString>& keys) {
    for (int i = 0; i < list.Count(); ++i)
        if (!list.GetLocalPath(i).empty())
            keys.insert(FileKey(list.GetLocalPath(i)));
}

// A run that ended during its downloads leaves the files it fetched in the folder, named by
// no state file; they are deleted here, as are downloads whose deletion failed before. Files
// that either list names stay.
void RemoveUnlistedDownloads(const AnsiString& folder, TUpdateFileList& remote,
                             TUpdateFileList& local) {
    std::set<AnsiString> named;
    AddDownloadKeys(remote, named);
    AddDownloadKeys(local, named);
    std::vector<AnsiString> unlisted;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "*").c_str(), &data));
    if (!find)
        return;
    do {
        const AnsiString path = folder + data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsDownloadName(data.cFileName) &&
            !named.count(FileKey(path)))
            unlisted.push_back(path);
    } while (FindNextFileA(find.get(), &data));
    for (const AnsiString& path : unlisted)
        ForceDeleteFile(path);
}

// Moves an existing file out of the way within its folder, to the target's name followed by
// ".q6old" and, when that is taken, a number. Returns the new name; empty when there is no
// file or it cannot be moved.
AnsiString MoveAside(const AnsiString& target) {
    if (!IsExistingFile(target))
        return AnsiString();
    for (int number = 0;; ++number) {
        const AnsiString aside = target + ".q6old" + (number ? IntToStr(number) : AnsiString());
        if (GetFileAttributesA(aside.c_str()) == INVALID_FILE_ATTRIBUTES)
            return MoveFileA(target.c_str(), aside.c_str()) ? aside : AnsiString();
    }
}

} // namespace

AnsiString ReduceDotFolders(AnsiString path) {
    for (auto at = AnsiPos("\\.\\", path); at != AnsiString::npos; at = AnsiPos("\\.\\", path))
        path.erase(at, 2);
    return path;
}

bool TDownload::LoadList(AnsiString url) {
    return Remote.LoadFromUrl(url);
}

int TDownload::GetListResult() {
    return Remote.GetRequestResult();
}

int TDownload::Prepare(AnsiString stateFile) {
    if (!Remote.Parse())
        return -1;
    if (!Local.LoadFromFile(stateFile))
        return -1;
    Remote.AdoptDownloads(Local);
    const AnsiString folder = ExtractFilePath(stateFile);
    if (!folder.empty())
        RemoveUnlistedDownloads(folder, Remote, Local);
    Remote.CheckFiles();
    return Remote.Count();
}

bool TDownload::IsNeeded() {
    return Remote.IsNeeded();
}

AnsiString TDownload::GetMessageText() {
    return Remote.GetMessage();
}

int TDownload::GetPendingCount() {
    int count = 0;
    for (int i = 0; i < Remote.Count(); ++i)
        if (Remote.GetLocalPath(i).empty())
            ++count;
    return count;
}

int TDownload::GetPendingSize() {
    long long size = 0;
    for (int i = 0; i < Remote.Count(); ++i)
        if (Remote.GetLocalPath(i).empty())
            size += Remote.GetSize(i);
    return static_cast<int>(std::min<long long>(size, INT_MAX));
}

bool TDownload::DownloadAll(AnsiString stateFile, AnsiString folder) {
    const AnsiString dir = ExcludeTrailingBackslash(folder);
    if (dir.empty())
        return false;
    ForceDirectories(dir);
    Remote.SaveToFile(stateFile);
    const bool complete = DownloadFiles(stateFile, folder);
    Remote.CheckFiles();
    Remote.SaveToFile(stateFile);
    return complete;
}

bool TDownload::DownloadFiles(AnsiString stateFile, AnsiString folder) {
    bool failed = false;
    Cancelled = false;
    for (int i = 0; i < Remote.Count() && !Cancelled; ++i) {
        if (!Remote.GetLocalPath(i).empty())
            continue; // fetched by an earlier run
        const AnsiString name = FreeDownloadName(folder);
        Remote.SetLocalPath(i, name);
        const bool arrived = Http->GetToFile(name, Remote.GetUrl(i)) && FileExists(name);
        if (arrived && GetFileStamp(name).Size == Remote.GetSize(i) &&
            StampDownload(name, Remote.GetTime(i))) {
            // Saved at once: a run that ends before the loop does keeps this download.
            Remote.SaveToFile(stateFile);
        } else {
            // Deleted and forgotten at once, so that no entry names a file that the next
            // entry's download may take the name of.
            Remote.SetLocalPath(i, "");
            failed = true;
        }
    }
    return !Cancelled && !failed;
}

int TDownload::Install(AnsiString stateFile) {
    if (!Local.LoadFromFile(stateFile))
        return 2;
    if (!Local.CheckFiles())
        return 2;
    if (!AllWritable())
        return 3;
    if (!InstallFiles())
        return 4;
    ForceDeleteFile(stateFile);
    return 0;
}

bool TDownload::AllWritable() {
    for (int i = 0; i < Local.Count(); ++i) {
        // Whatever its time stamp: the install replaces any file standing at the target.
        const AnsiString target = ResolveTarget(Local.GetName(i));
        if (IsExistingFile(target) && !IsWritable(target))
            return false;
        if (!IsWritable(Local.GetLocalPath(i)))
            return false;
    }
    return true;
}

bool TDownload::IsWritable(AnsiString fileName) {
    const AnsiString path = ResolveTarget(fileName);
    // A privileged process may be let open a read-only file for writing; the attribute itself
    // decides, so that a read-only file is never replaced.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    return static_cast<bool>(OpenExclusive(path));
}

bool TDownload::InstallFiles() {
    for (int i = 0; i < Local.Count(); ++i)
        if (!InstallFile(Local.GetName(i), Local.GetLocalPath(i)))
            return false;
    return true;
}

bool TDownload::InstallFile(AnsiString target, AnsiString localFile) {
    target = ReduceDotFolders(ResolveTarget(target));
    localFile = ReduceDotFolders(localFile);
    const AnsiString folder = ExtractFileDrive(target).empty()
                                  ? ExcludeTrailingBackslash(ExtractFilePath(
                                        IncludeTrailingBackslash(GetCurrentDir()) + target))
                                  : ExtractFilePath(target);
    if (!folder.empty() && !ForceDirectories(ExcludeTrailingBackslash(folder)))
        return false;
    // The old file goes aside rather than away, so that it can come back whole when the new
    // one cannot be put in place. When it cannot be moved, it is deleted as before.
    const AnsiString aside = MoveAside(target);
    if (aside.empty())
        ForceDeleteFile(target);
    bool placed = MoveFileExA(localFile.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
    if (!placed && CopyFileA(localFile.c_str(), target.c_str(), FALSE)) {
        ForceDeleteFile(localFile);
        placed = true;
    }
    if (!placed) {
        ForceDeleteFile(target); // a partial copy
        if (!aside.empty())
            MoveFileA(aside.c_str(), target.c_str());
        return false;
    }
    // An old file that is still in use cannot be deleted; it stays under its aside name.
    if (!aside.empty())
        ForceDeleteFile(aside);
    return true;
}

void TDownload::Cancel() {
    Cancelled = true;
    Http->Abort();
}
