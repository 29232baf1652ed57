// The download and install engine: fetches the changed files of an update list into the
// download folder, records them in the state file and installs them over the application's
// files once every file involved can be opened for writing.
#pragma once

#include "Updatelst.h"

// The path with every "\.\" reduced to a single backslash. Double-byte aware: a backslash that
// is the second byte of a character of the system's ANSI code page is no match.
AnsiString ReduceDotFolders(AnsiString path);

// Sets the file's last-write time, through an exclusive handle, to the MS-DOS form of a local
// time, so that it reads back exactly as the listed time (or as the even second below it).
// A time the MS-DOS form cannot hold leaves the file's time alone. False when the file does
// not open.
bool StampDownload(const AnsiString& path, TDateTime time);

// What Install reports; the numbers are the ones the run has always used.
enum TInstallResult : int {
    // Every entry installed, or nothing to install; the state file is deleted.
    irInstalled = 0,
    // The state file cannot be read, or a download is missing or lacks the listed stamp;
    // nothing installed (downloads of entries already up to date are deleted).
    irDownloadsChanged = 2,
    // An existing target or a download cannot be opened for reading and writing with no
    // sharing (in use or read-only); nothing has moved.
    irFilesInUse = 3,
    // A target folder cannot be created, or the new file cannot take the old one's place;
    // entries before it are installed, the failing one keeps its download and its old file,
    // whole (but where a volume has no room for both: see InstallFile).
    irInstallFailed = 4,
};

class TDownload {
  public:
    TUpdateFileList Remote; // the list fetched from the server
    TUpdateFileList Local;  // the state list: an earlier run's record, or the list to install
    bool Cancelled = false;

    // Settles what an install that ended early left beside its targets, as its record beside
    // the state file names it: deletes each copy that never took its target's place, and each
    // old file that an earlier version set aside once its target stands. Touches no other file.
    // The first step of every run.
    void SettleInstallRecord(const AnsiString& stateFile);
    // Fetches the update list text from the URL; true when it was fetched.
    bool LoadList(const AnsiString& url);
    // How the last list request ended: 1 when it raised an error, 2 otherwise.
    int GetListResult() const;
    // Parses the fetched list, loads the state file with the downloads recorded beside it, lets the
    // list take over every download the state file records for an unchanged entry (deleting the
    // others), removes the download files of the state file's folder that no list names any more,
    // drops the entries already installed and forgets downloads that are missing or changed.
    // Returns the number of entries still to install; with none, the state file and the record of
    // downloads beside it go. -1 when the list does not parse or the state file exists but cannot
    // be read.
    int Prepare(const AnsiString& stateFile);
    // The list marks the update as mandatory.
    bool IsNeeded() const;
    AnsiString GetMessageText() const;
    // The entries without a download, and the sum of their listed sizes (held at the int
    // maximum when it would overflow).
    int GetPendingCount() const;
    int GetPendingSize() const;
    // Fetches every entry without a download into the folder (ending in a backslash) under the
    // first name "ud<n>.$$$" that nothing in the folder holds, checks its size and stamps it
    // with the listed time. The state file is saved before the first transfer, and each
    // download that arrived is recorded at once in a small record beside it, so a run that
    // ends at any moment keeps every finished download; after the transfers, downloads that
    // are missing or lack the listed stamp are deleted and forgotten and the state file is
    // saved once more, taking in the record. Returns true when every file arrived, was
    // recorded and no cancel came; false when a save of the state file fails (nothing is
    // fetched when the first one does); false at once, with nothing saved or fetched, when the
    // folder is empty or a lone backslash.
    bool DownloadAll(const AnsiString& stateFile, const AnsiString& folder);
    // Local := the state file with the downloads recorded beside it since it was saved; false
    // when either exists but cannot be read.
    bool LoadState(const AnsiString& stateFile);
    // Installs the downloads that the state file records, in its order. The state file stays
    // unless the result is irInstalled.
    TInstallResult Install(const AnsiString& stateFile);
    // Whether the file opens for reading and writing with no sharing: false for a missing file,
    // a read-only one and one that another process holds open. "$$update$$" names the updater
    // waiting beside the running program.
    bool IsWritable(const AnsiString& fileName) const;
    // Stops the downloads: the running transfer fails and no further one starts.
    void Cancel();

  private:
    bool DownloadFiles(const AnsiString& folder, const AnsiString& journal);
    bool AllWritable() const;
    bool InstallFiles();
    // Replaces the target by the download in one step, so that the target's name holds the whole
    // old file or the whole new one at every instant: by a rename on one volume, else by a copy
    // beside the target that is then renamed over it. Where that copy finds no room, the old
    // file is deleted before the download is copied in its place, but only when the new one fits
    // there and nobody else holds the old one. False, with the old file in place, for any other
    // failure of the rename, and false as well when the old file's delete waits for a holder
    // that had opened it for no access at all; the download stays.
    bool InstallFile(const AnsiString& entryPath, const AnsiString& localPath);

    AnsiString Record; // where the install records the copies it makes beside targets
    int NextCopy = 0;  // the number of the next copy name to try
};
