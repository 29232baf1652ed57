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

// The target an entry names. The running updater cannot be replaced, so a new one goes beside
// it as "quen6aux2.exe", which the launcher moves over "quen6aux.exe" at its next start; the
// stamp (GetFileStamp) weighs "quen6aux.exe", the updater that then stands.
AnsiString ResolveTarget(const AnsiString& path) {
    return path == kUpdaterEntryPath ? ExtractFilePath(Application->ExeName()) + "quen6aux2.exe"
                                     : path;
}

// Read and write access with no sharing, existing files only.
FileHandle OpenExclusive(const AnsiString& path) {
    return FileHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Visits the name of everything in the folder (ending in a backslash), files and folders.
template <typename Visit> void ForEachName(const AnsiString& folder, Visit visit) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "*").c_str(), &data));
    if (find)
        do
            visit(AnsiString(data.cFileName),
                  (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        while (FindNextFileA(find.get(), &data));
}

// The number of a name that the pattern "ud%d.$$$" gives ("ud", a decimal number without
// leading zeros, ".$$$"; letter case does not count, as in the file system); -1 for any other
// name.
int DownloadNumber(const AnsiString& name) {
    const AnsiString upper = AnsiUpperCase(name);
    if (upper.size() < 7 || upper.size() > 15 || upper.compare(0, 2, "UD") != 0 ||
        upper.compare(upper.size() - 4, 4, ".$$$") != 0)
        return -1;
    const AnsiString number = upper.substr(2, upper.size() - 6);
    if (number.find_first_not_of("0123456789") != AnsiString::npos ||
        (number != "0" && number[0] == '0'))
        return -1;
    return StrToIntDef(number, -1);
}

AnsiString DownloadName(const AnsiString& folder, int number) {
    return folder + "ud" + IntToStr(number) + ".$$$";
}

// The free download names of a folder, lowest number first, from one reading of the folder:
// a name that anything holds, a file or a folder, is not free.
class DownloadNames {
  public:
    explicit DownloadNames(const AnsiString& folder) : folder_(folder) {
        ForEachName(folder, [this](const AnsiString& name, bool) {
            if (const int number = DownloadNumber(name); number >= 0)
                held_.insert(number);
        });
    }

    // The lowest free name, held from now on.
    AnsiString Take() {
        while (held_.count(lowest_))
            ++lowest_;
        held_.insert(lowest_);
        return DownloadName(folder_, lowest_);
    }

    // A name taken before is free again when nothing stands there any more.
    void GiveBack(const AnsiString& path) {
        const int number = DownloadNumber(ExtractFileName(path));
        if (number >= 0 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            held_.erase(number);
            lowest_ = std::min(lowest_, number);
        }
    }

  private:
    AnsiString folder_;
    std::set<int> held_;
    int lowest_ = 0; // every number below is held
};

void AddDownloadNumbers(const TUpdateFileList& list, std::set<int>& numbers) {
    for (int i = 0; i < list.Count(); ++i)
        if (const int number = DownloadNumber(ExtractFileName(list.GetLocalPath(i))); number >= 0)
            numbers.insert(number);
}

// Whether the download has the size its entry lists; when not, the debugger output says what
// arrived and what the server announced, since the user sees only that the download failed.
bool HasListedSize(const AnsiString& download, const AnsiString& url, int listed) {
    const int size = GetFileStamp(download).Size;
    if (size == listed)
        return true;
    const int announced = Http->GetBytesTotal();
    Trace("GET " + url, IntToStr(size) + " bytes arrived" +
                            (announced > 0 ? " of " + IntToStr(announced) + " announced" : "") +
                            ", the list says " + IntToStr(listed));
    return false;
}

// A run that ended during its downloads leaves the files it fetched in the folder, named by
// no state file; they are deleted here, as are downloads whose deletion failed before. Every
// download lies in this folder, so a file that either list names by its name within the
// folder stays, however the lists spell the folder.
void RemoveUnlistedDownloads(const AnsiString& folder, const TUpdateFileList& remote,
                             const TUpdateFileList& local) {
    std::set<int> named;
    AddDownloadNumbers(remote, named);
    AddDownloadNumbers(local, named);
    std::vector<AnsiString> unlisted;
    ForEachName(folder, [&](const AnsiString& name, bool isFolder) {
        const int number = DownloadNumber(name);
        if (!isFolder && number >= 0 && !named.count(number))
            unlisted.push_back(folder + name);
    });
    for (const AnsiString& path : unlisted)
        ForceDeleteFile(path);
}

// The record of the downloads that arrived since the state file was last saved: a list in the
// state file's own form, "[update]" and one entry line per download, each appended as its
// download arrives. A run that ends at any moment thus keeps every finished download without
// rewriting the whole state file after each; the next save of the state file takes them in.
AnsiString JournalOf(const AnsiString& stateFile) {
    return stateFile + ".add";
}

// Appends the line to the file, creating it when missing; true when written whole, and with
// flush, on the disk as well.
bool AppendLine(const AnsiString& path, const AnsiString& line, bool flush = false) {
    FileHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const AnsiString text = line + "\r\n";
    DWORD done = 0;
    return file &&
           WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
           done == text.size() && (!flush || FlushFileBuffers(file.get()));
}

// Nothing is left to install: the state file and its record of downloads go.
void ForgetState(const AnsiString& stateFile) {
    ForceDeleteFile(JournalOf(stateFile));
    ForceDeleteFile(stateFile);
}

// An empty record, in place of an earlier one, which the state file just saved holds.
bool StartJournal(const AnsiString& path) {
    return ForceDeleteFile(path) && AppendLine(path, "[update]");
}

// A new file that cannot be renamed into place (another volume) is copied beside its target
// under a name of its own, "q6new<n>.$$$", recorded beside the state file before the copy
// starts, one line "<copy>?<target>" each, as the install names them: relative ones count from
// the application folder, the current directory of every run. A run that ends before the copy
// has taken its target's place leaves it there, and the next run deletes it.
AnsiString InstallRecordOf(const AnsiString& stateFile) {
    return stateFile + ".old";
}

// The number of a name the install makes beside a target ("q6new<n>.$$$"; "q6old<n>.$$$", an
// old file that earlier versions set aside), in any letter case; -1 for any other name.
int InstallNameNumber(const AnsiString& name, const char* prefix) {
    const AnsiString upper = AnsiUpperCase(name);
    const AnsiString head = AnsiUpperCase(prefix);
    if (upper.size() <= head.size() + 4 || upper.size() > head.size() + 13 ||
        upper.compare(0, head.size(), head) != 0 || upper.compare(upper.size() - 4, 4, ".$$$") != 0)
        return -1;
    const AnsiString number = upper.substr(head.size(), upper.size() - head.size() - 4);
    return number.find_first_not_of("0123456789") == AnsiString::npos ? StrToIntDef(number, -1)
                                                                      : -1;
}

// The folder part of a path, up to and including its last separator: Windows takes "/" for one
// as well as "\", and a list may name a target either way. "/" is never the second byte of a
// double-byte character.
AnsiString FolderOf(const AnsiString& path) {
    const AnsiString folder = ExtractFilePath(path);
    const auto slash = path.rfind('/');
    return slash != AnsiString::npos && slash >= folder.size() ? path.substr(0, slash + 1) : folder;
}

// Whether two folder parts name one folder, however they write their separators and letters.
bool SameFolder(AnsiString a, AnsiString b) {
    std::replace(a.begin(), a.end(), '/', '\\');
    std::replace(b.begin(), b.end(), '/', '\\');
    return AnsiUpperCase(a) == AnsiUpperCase(b);
}

// A free name for the copy in the target's folder, so that it fits wherever the target's name
// does, recorded with the target; the numbers count on through one install, so that no two lines
// of its record name one file. Empty when it cannot be recorded.
AnsiString RecordedCopyName(const AnsiString& record, const AnsiString& target, int& next) {
    const AnsiString folder = FolderOf(target);
    for (;;) {
        const AnsiString name = folder + "q6new" + IntToStr(next++) + ".$$$";
        if (GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        return AppendLine(record, name + "?" + target, true) ? name : AnsiString();
    }
}

bool IsDiskFull(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// Whether the download would fit in the target's place: the volume's free space and the old
// file's size together cover it.
bool FitsInPlaceOf(const AnsiString& localFile, const AnsiString& target) {
    WIN32_FILE_ATTRIBUTE_DATA fresh, old;
    ULARGE_INTEGER available;
    const AnsiString folder = FolderOf(target);
    if (!GetFileAttributesExA(localFile.c_str(), GetFileExInfoStandard, &fresh) ||
        !GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &old) ||
        !GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                             nullptr))
        return false;
    const auto size = [](const WIN32_FILE_ATTRIBUTE_DATA& data) {
        return ULARGE_INTEGER{{data.nFileSizeLow, data.nFileSizeHigh}}.QuadPart;
    };
    return available.QuadPart + size(old) >= size(fresh);
}

// Deletes the target only when nobody else holds it: through a handle that shares nothing. A
// holder that opened it for no access at all is not seen that way, and its delete waits for the
// holder to close it; false then too, the name still standing.
bool DeleteUnheld(const AnsiString& target) {
    {
        const FileHandle file(CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
        if (!file)
            return false;
    }
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// No room for old and new side by side: the old file goes first, when the new one fits in its
// place and nobody else holds it, and the download is copied there. A run that ends before the
// copy stands leaves the target missing or cut short; the download stays recorded until then, so
// the next run installs it again.
bool ReplaceInPlace(const AnsiString& localFile, const AnsiString& target) {
    if (!FitsInPlaceOf(localFile, target) || !DeleteUnheld(target))
        return false;
    if (CopyFileA(localFile.c_str(), target.c_str(), FALSE)) {
        ForceDeleteFile(localFile);
        return true;
    }
    ForceDeleteFile(target);
    return false;
}

// Replaces the target on another volume by the download in one step: at every instant the
// target's name holds the whole old file or the whole new one. The download goes once the new
// file stands.
bool ReplaceWithCopy(const AnsiString& record, const AnsiString& localFile,
                     const AnsiString& target, int& next) {
    const AnsiString copy = RecordedCopyName(record, target, next);
    if (copy.empty())
        return false;
    if (CopyFileA(localFile.c_str(), copy.c_str(), FALSE)) {
        const bool placed = MoveFileExA(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        if (placed)
            ForceDeleteFile(localFile); // as a move would leave it
        else
            ForceDeleteFile(copy);
        return placed;
    }
    const DWORD error = GetLastError();
    ForceDeleteFile(copy);
    return IsDiskFull(error) && ReplaceInPlace(localFile, target);
}

// What a line of the record names: a file the install made, in the folder of the target the line
// names, with that target. False for any other line: one cut short, one with no target, one that
// names another file or another folder.
bool ReadRecordLine(const AnsiString& line, AnsiString& made, AnsiString& target, bool& old) {
    const auto separator = line.find('?');
    if (separator == AnsiString::npos)
        return false;
    made = line.substr(0, separator);
    target = line.substr(separator + 1);
    const AnsiString folder = FolderOf(made);
    const AnsiString name = made.substr(folder.size());
    old = InstallNameNumber(name, "q6old") >= 0;
    return target.size() > FolderOf(target).size() &&
           (old || InstallNameNumber(name, "q6new") >= 0) && SameFolder(folder, FolderOf(target));
}

// Settles every line of the record: a copy that never took its target's place is deleted; an
// old file that an earlier version set aside is deleted once its target stands, and otherwise
// kept where it is, never put back, since a later file may have taken and left that place since.
// Lines that name nothing the install made are passed over and dropped. The record keeps only
// the lines whose file stays; without any it goes. A name may be taken again once nothing stands
// there, so the last line that names it tells what stands there now; earlier ones are passed
// over.
void SettleRecord(const AnsiString& record) {
    if (!FileExistsAnyDate(record))
        return;
    TStringList lines;
    // Tried again at the next run.
    try {
        lines.LoadFromFile(record);
    } catch (const Exception& e) {
        TraceException("Reading " + record, e);
        return;
    } catch (...) {
        return;
    }
    TStringList staying;
    std::set<AnsiString> settled;
    for (int i = lines.Count() - 1; i >= 0; --i) {
        const AnsiString& line = lines.Strings(i);
        AnsiString made, target;
        bool old = false;
        if (!ReadRecordLine(line, made, target, old) ||
            !settled.insert(AnsiUpperCase(made)).second || !FileExistsAnyDate(made))
            continue;
        if (!old || FileExistsAnyDate(target))
            ForceDeleteFile(made);
        if (FileExistsAnyDate(made))
            staying.Add(line);
    }
    if (staying.Count() == 0) {
        ForceDeleteFile(record);
        return;
    }
    // On failure the record stays as it was; its settled lines are passed over next time.
    try {
        staying.SaveToFile(record);
    } catch (const Exception& e) {
        TraceException("Writing " + record, e);
    } catch (...) {
    }
}

} // namespace

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

AnsiString ReduceDotFolders(AnsiString path) {
    for (auto at = AnsiPos("\\.\\", path); at != AnsiString::npos; at = AnsiPos("\\.\\", path))
        path.erase(at, 2);
    return path;
}

bool TDownload::LoadList(const AnsiString& url) {
    return Remote.LoadFromUrl(url);
}

int TDownload::GetListResult() const {
    return Remote.GetRequestResult();
}

void TDownload::SettleInstallRecord(const AnsiString& stateFile) {
    SettleRecord(InstallRecordOf(stateFile));
}

bool TDownload::LoadState(const AnsiString& stateFile) {
    TUpdateFileList journal;
    if (!Local.LoadFromFile(stateFile) || !journal.LoadFromFile(JournalOf(stateFile)))
        return false;
    Local.TakeDownloads(journal);
    return true;
}

int TDownload::Prepare(const AnsiString& stateFile) {
    if (!Remote.Parse())
        return -1;
    if (!LoadState(stateFile))
        return -1;
    Remote.AdoptDownloads(Local);
    const AnsiString folder = ExtractFilePath(stateFile);
    if (!folder.empty())
        RemoveUnlistedDownloads(folder, Remote, Local);
    Remote.CheckFiles();
    if (Remote.Count() == 0)
        ForgetState(stateFile);
    return Remote.Count();
}

bool TDownload::IsNeeded() const {
    return Remote.IsNeeded();
}

AnsiString TDownload::GetMessageText() const {
    return Remote.GetMessage();
}

int TDownload::GetPendingCount() const {
    int count = 0;
    for (int i = 0; i < Remote.Count(); ++i)
        if (Remote.GetLocalPath(i).empty())
            ++count;
    return count;
}

int TDownload::GetPendingSize() const {
    long long size = 0;
    for (int i = 0; i < Remote.Count(); ++i)
        if (Remote.GetLocalPath(i).empty())
            size += Remote.GetSize(i);
    return static_cast<int>(std::min<long long>(size, INT_MAX));
}

bool TDownload::DownloadAll(const AnsiString& stateFile, const AnsiString& folder) {
    const AnsiString dir = ExcludeTrailingBackslash(folder);
    if (dir.empty())
        return false;
    ForceDirectories(dir);
    // A download that cannot be recorded would be lost to the install: nothing is fetched.
    if (!Remote.SaveToFile(stateFile))
        return false;
    const AnsiString journal = JournalOf(stateFile);
    const bool complete = StartJournal(journal) && DownloadFiles(folder, journal);
    Remote.CheckFiles();
    if (!Remote.SaveToFile(stateFile))
        return false;
    ForceDeleteFile(journal); // the state file holds it all now
    return complete;
}

bool TDownload::DownloadFiles(const AnsiString& folder, const AnsiString& journal) {
    bool failed = false;
    Cancelled = false;
    DownloadNames names(folder);
    for (int i = 0; i < Remote.Count() && !Cancelled; ++i) {
        if (!Remote.GetLocalPath(i).empty())
            continue; // fetched by an earlier run
        const AnsiString name = names.Take();
        Remote.SetLocalPath(i, name);
        const bool arrived = Http->GetToFile(name, Remote.GetUrl(i)) && FileExists(name);
        const bool whole = arrived && HasListedSize(name, Remote.GetUrl(i), Remote.GetSize(i));
        if (whole && StampDownload(name, Remote.GetTime(i))) {
            // Recorded at once: a run that ends before the loop does keeps this download.
            if (!AppendLine(journal, Remote.GetFile(i)->GetLine()))
                failed = true;
        } else {
            // Deleted and forgotten at once, so that no entry names a file that the next
            // entry's download may take the name of.
            Remote.SetLocalPath(i, "");
            names.GiveBack(name);
            failed = true;
        }
    }
    return !Cancelled && !failed;
}

TInstallResult TDownload::Install(const AnsiString& stateFile) {
    if (!LoadState(stateFile))
        return irDownloadsChanged;
    if (!Local.CheckFiles())
        return irDownloadsChanged;
    if (!AllWritable())
        return irFilesInUse;
    Record = InstallRecordOf(stateFile);
    NextCopy = 0;
    const bool installed = InstallFiles();
    // A copy that could not be deleted at once goes now, or at a later run.
    SettleRecord(Record);
    if (!installed)
        return irInstallFailed;
    ForgetState(stateFile);
    return irInstalled;
}

bool TDownload::AllWritable() const {
    for (int i = 0; i < Local.Count(); ++i) {
        // Whatever its time stamp: the install replaces any file standing at the target.
        const AnsiString target = ResolveTarget(Local.GetName(i));
        if (FileExistsAnyDate(target) && !IsWritable(target))
            return false;
        if (!IsWritable(Local.GetLocalPath(i)))
            return false;
    }
    return true;
}

bool TDownload::IsWritable(const AnsiString& fileName) const {
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

bool TDownload::InstallFile(const AnsiString& entryPath, const AnsiString& localPath) {
    const AnsiString target = ReduceDotFolders(ResolveTarget(entryPath));
    const AnsiString localFile = ReduceDotFolders(localPath);
    const AnsiString folder = ExtractFileDrive(target).empty()
                                  ? ExcludeTrailingBackslash(ExtractFilePath(
                                        IncludeTrailingBackslash(GetCurrentDir()) + target))
                                  : ExtractFilePath(target);
    if (!folder.empty() && !ForceDirectories(ExcludeTrailingBackslash(folder)))
        return false;
    // On one volume one rename replaces the old file; on another a copy beside it does. Any
    // other failure of the rename (the target in use, say) leaves the old file as it is.
    if (MoveFileExA(localFile.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    return GetLastError() == ERROR_NOT_SAME_DEVICE &&
           ReplaceWithCopy(Record, localFile, target, NextCopy);
}

void TDownload::Cancel() {
    Cancelled = true;
    Http->Abort();
}
