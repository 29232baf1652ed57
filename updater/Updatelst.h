// One update list: its text line by line, the entries of its "[update]" section, its message,
// whether the update is mandatory, how its last fetch ended; and the operations that weigh its
// entries against installed files and earlier downloads, and keep it as the state file.
//
// The list text: lines split at CR LF, LF or CR, a NUL ending the text; every line trimmed of
// the codes 0 to 32 before it is looked at. A section begins after the first line equal to its
// header ("[message]", "[update]") by CompareStringA for the user's default locale, and runs up
// to the next line that begins with "[". "[update]" holds entry lines and, optionally, the line
// "$$needed$$" that makes the update mandatory.
#pragma once

#include "UpdateFile.h"

class TUpdateFileList {
  public:
    TUpdateFileList() = default;
    TUpdateFileList(const TUpdateFileList&) = delete;
    TUpdateFileList& operator=(const TUpdateFileList&) = delete;

    // Fetches the list text through the global Http into Lines, trimmed as one text and
    // without a leading UTF-8 byte order mark, and returns true; on failure Lines is emptied and
    // the result is false. Needed is reset and RequestResult takes the module's request result
    // either way; Files and Message stay. Source and LeadingBreaks are set for Parse's report.
    bool LoadFromUrl(const AnsiString& url);
    // Reads the message and the entries; then orders the entries by path, the latest time of a
    // path first, and keeps one entry per path. Returns false, leaving the entries unordered,
    // when an entry line forms no entry; the debugger output then gets "list <Source>: line
    // <n>: <why>" for the first such line, n counted from 1 in the text as it was fetched. The
    // entries of a server's list name no downloads: a sixth field on its lines is dropped.
    bool Parse();
    // Message := a line feed and the trimmed line for each line of the "[message]" section;
    // empty when there is no such section.
    void ReadMessage();
    // Rebuilds Files from the "[update]" section, in the order of the text, and sets Needed on
    // "$$needed$$" (never resets it). Returns false when a line forms no entry, with the first
    // such line in RejectedLine and RejectedReason; the other lines are read all the same.
    bool ReadFiles();
    // Orders the entries as CompareFiles does, then removes every entry whose path equals,
    // byte for byte, the one before it.
    void SortFiles();
    // Negative when item index1 goes before item index2: items without an entry first, then
    // paths by CompareStringA for the user's default locale, paths it holds equal by their
    // bytes, then the later time first.
    static int CompareFiles(TStringList* list, int index1, int index2);
    // Appends the entry the line forms, with the line; false when it forms none (reason, when
    // given, then says why).
    bool AddFileLine(const AnsiString& line, AnsiString* reason = nullptr);
    // Lines := "[update]" and the line of each entry in list order.
    void WriteLines();
    void ClearFiles();
    // Frees the entry at a valid index and closes the gap.
    void RemoveAt(int index);

    // Invalid indexes give null, empty texts, -1 and 0.0.
    TUpdateFile* GetFile(int index) const;
    int Count() const { return Files.Count(); }
    AnsiString GetName(int index) const;
    AnsiString GetLocalPath(int index) const;
    // Deletes the file the entry's LocalFile names, then stores the new name; does nothing for
    // an invalid index.
    void SetLocalPath(int index, const AnsiString& path);
    AnsiString GetUrl(int index) const;
    int GetSize(int index) const;
    TDateTime GetTime(int index) const;
    int GetRequestResult() const { return RequestResult; }
    bool IsNeeded() const { return Needed; }
    AnsiString GetMessage() const { return Message; }

    // Paths and URLs compare byte for byte, times exactly; a file has an entry's listed stamp
    // when GetFileStamp gives the entry's size and time.

    // Deletes the downloaded copy of the entry at a valid index (a failure is ignored) and
    // removes the entry.
    void DiscardAt(int index);
    // Discards every entry whose target has the listed stamp.
    void RemoveUpToDate();
    // Clears the LocalFile of every entry whose downloaded copy is missing, and deletes and
    // clears it when it lacks the listed stamp. True when every entry has a copy with the
    // listed stamp.
    bool VerifyDownloads();
    // The first entry with the path of other takes over other's downloaded copy when URL,
    // time and size are equal too; otherwise that copy is deleted.
    void AdoptDownload(const TUpdateFile& other);
    // AdoptDownload of each entry of the other list, in its order.
    void AdoptDownloads(const TUpdateFileList& other);
    // The downloads recorded in other since this list was saved: the first entry with the path
    // of each entry of other that names a download takes that name when URL, time and size are
    // equal too. Nothing is deleted, so a record read twice does no harm.
    void TakeDownloads(const TUpdateFileList& other);
    // RemoveUpToDate, then the result of VerifyDownloads.
    bool CheckFiles();
    // Reads the state file into Lines (denying others write access) and rebuilds the entries
    // from it, and returns true; a missing file gives true and no entries. A file that cannot
    // be read gives false, empty Lines and the entries untouched.
    bool LoadFromFile(const AnsiString& path);
    // Writes the entries as the state file, creating its folder with every missing parent. The
    // new text is written beside the old file and then moved over it, so a whole state file,
    // old or new, stands at the path at every moment; a read-only old file is replaced too.
    // A path without a folder part is never written. Returns true when the new text stands at
    // the path; a failed write, which leaves the old file, gives false. Never raises.
    bool SaveToFile(const AnsiString& path);

    TStringList Lines;
    TStringList Files{true}; // the line each entry was read from, with the owned entry
    bool Needed = false;
    int RequestResult = 0; // 1: the last fetch raised an error, 2: otherwise, 0: never fetched
    AnsiString Message;
    AnsiString Source;     // the URL of the last fetch, as it was requested
    int LeadingBreaks = 0; // line breaks trimmed off the start of the fetched text
    int RejectedLine = -1; // index in Lines of the first line of the last ReadFiles that formed
                           // no entry; -1 when every line formed one
    AnsiString RejectedReason;
};
