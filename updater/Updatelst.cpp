#include "Updatelst.h"

#include "Handles.h"
#include "HttpMod.h"
#include "Misc.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

TUpdateFile* EntryOf(const TStringList& list, int index) {
    return static_cast<TUpdateFile*>(list.Objects(index));
}

// CompareStringA for the user's default locale and no flags, as -1, 0 or 1 (-2 on an error).
int LocaleCompare(const AnsiString& a, const AnsiString& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

// Bytes whose plain order is the order in which LocaleCompare puts the texts.
AnsiString SortKey(const AnsiString& s) {
    const int n = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, s.data(),
                               static_cast<int>(s.size()), nullptr, 0);
    AnsiString key(std::max(n, 0), '\0');
    if (n > 0)
        LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, s.data(), static_cast<int>(s.size()),
                     key.data(), n);
    return key;
}

// Index of the first line whose trimmed form equals the header, or -1.
int FindHeader(const TStringList& lines, const AnsiString& header) {
    for (int i = 0; i < lines.Count(); ++i)
        if (LocaleCompare(Trim(lines.Strings(i)), header) == 0)
            return i;
    return -1;
}

bool BeginsSection(const AnsiString& trimmed) {
    return !trimmed.empty() && trimmed[0] == '[';
}

// Puts the items into the given order (order[k]: the present index of the item that goes to
// place k) with one exchange per item at most.
void Reorder(TStringList& list, const std::vector<int>& order) {
    const int n = list.Count();
    std::vector<int> at(n), where(n); // item (by its index before) at a place, and its inverse
    for (int i = 0; i < n; ++i)
        at[i] = where[i] = i;
    for (int k = 0; k < n; ++k) {
        const int from = where[order[k]];
        if (from == k)
            continue;
        list.Exchange(k, from);
        const int displaced = at[k];
        at[from] = displaced;
        where[displaced] = from;
        at[k] = order[k];
        where[order[k]] = k;
    }
}

// Deletes the marked items, freeing what the list owns, and closes the gaps in one pass.
void DeleteMarked(TStringList& list, const std::vector<bool>& marked) {
    int kept = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (!marked[i])
            list.Exchange(kept++, i);
    while (list.Count() > kept)
        list.Delete(list.Count() - 1);
}

// Line breaks (CR LF, LF or CR) among the characters of codes 0 to 32 at the start of the text,
// which Trim removes.
int CountLeadingBreaks(const AnsiString& text) {
    int breaks = 0;
    for (std::size_t i = 0; i < text.size() && static_cast<unsigned char>(text[i]) <= ' '; ++i)
        if (text[i] == '\n' || (text[i] == '\r' && text.compare(i + 1, 1, "\n") != 0))
            ++breaks;
    return breaks;
}

bool HasListedStamp(const AnsiString& file, const TUpdateFile& entry) {
    const TFileStamp stamp = GetFileStamp(file);
    return stamp.Size != -1 && stamp.Size == entry.Size && stamp.Time == entry.Time;
}

// The same file offered: URL, time and size equal.
bool SameFile(const TUpdateFile& a, const TUpdateFile& b) {
    return a.Url == b.Url && a.Time == b.Time && a.Size == b.Size;
}

// The adoption of other's copy by first, the first entry with other's path (null: none).
void Adopt(TUpdateFile* first, const TUpdateFile& other) {
    if (first && SameFile(*first, other)) {
        ForceDeleteFile(first->LocalFile);
        first->LocalFile = other.LocalFile;
    } else {
        ForceDeleteFile(other.LocalFile);
    }
}

// The path up to its last backslash, without it; empty when it has none.
AnsiString FolderPart(const AnsiString& path) {
    AnsiString folder = ExtractFilePath(path);
    while (!folder.empty() && folder.back() == ':') // a drive or stream colon, no backslash
        folder = ExtractFilePath(folder.substr(0, folder.size() - 1));
    return ExcludeTrailingBackslash(folder);
}

// Writes the text into a file beside path, flushed to the disk, and moves that over path in
// one step; true when the text stands at path. When anything fails the file at path stays as it
// was and nothing is left beside it.
bool ReplaceWith(const AnsiString& path, const AnsiString& text) {
    const AnsiString fresh = path + ".new";
    SetFileAttributesA(fresh.c_str(), FILE_ATTRIBUTE_NORMAL); // left read-only by a lost run
    bool written;
    {
        FileHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        DWORD done = 0;
        written =
            WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
            done == text.size() && FlushFileBuffers(file.get());
    }
    if (written) {
        const DWORD old = GetFileAttributesA(path.c_str());
        if (old != INVALID_FILE_ATTRIBUTES && !(old & FILE_ATTRIBUTE_DIRECTORY))
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); // read-only refuses the move
        written = MoveFileExA(fresh.c_str(), path.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!written)
        DeleteFileA(fresh.c_str());
    return written;
}

} // namespace

bool TUpdateFileList::LoadFromUrl(const AnsiString& url) {
    Needed = false;
    AnsiString body;
    const bool fetched = Http->GetToString(body, url);
    RequestResult = Http->GetRequestResult();
    // A byte order mark, which some editors write at the start of a text, is no part of it.
    if (fetched && body.compare(0, 3, "\xEF\xBB\xBF") == 0)
        body.erase(0, 3);
    Source = CompleteUrl(url);
    LeadingBreaks = fetched ? CountLeadingBreaks(body) : 0;
    if (fetched)
        Lines.SetText(Trim(body));
    else
        Lines.Clear();
    return fetched;
}

bool TUpdateFileList::Parse() {
    ReadMessage();
    const bool read = ReadFiles();
    // Only the updater names downloads: a server naming a file here could have it deleted or
    // moved over a target.
    for (int i = 0; i < Count(); ++i)
        GetFile(i)->LocalFile.clear();
    if (!read) {
        // The user learns only that the update information could not be obtained; the vendor
        // finds the line to mend here.
        Trace("list " + Source,
              "line " + IntToStr(LeadingBreaks + RejectedLine + 1) + ": " + RejectedReason);
        return false;
    }
    SortFiles();
    return true;
}

void TUpdateFileList::ReadMessage() {
    AnsiString message;
    const int header = FindHeader(Lines, "[message]");
    if (header >= 0)
        for (int i = header + 1; i < Lines.Count(); ++i) {
            const AnsiString line = Trim(Lines.Strings(i));
            if (BeginsSection(line))
                break;
            message += '\n' + line;
        }
    Message = message;
}

bool TUpdateFileList::ReadFiles() {
    bool result = true;
    ClearFiles();
    RejectedLine = -1;
    RejectedReason.clear();
    const int header = FindHeader(Lines, "[update]");
    if (header < 0)
        return result;
    Files.Reserve(Lines.Count() - header - 1);
    for (int i = header + 1; i < Lines.Count(); ++i) {
        const AnsiString line = Trim(Lines.Strings(i));
        if (line == "$$needed$$")
            Needed = true;
        else if (line.empty())
            continue;
        else if (BeginsSection(line))
            break;
        else if (!AddFileLine(line, result ? &RejectedReason : nullptr)) {
            if (result)
                RejectedLine = i;
            result = false;
        }
    }
    return result;
}

void TUpdateFileList::SortFiles() {
    if (Count() > 1) {
        // One locale key per entry, in place of two locale conversions per comparison; the
        // order is CompareFiles' order.
        struct Item {
            AnsiString key;
            const TUpdateFile* entry;
            int index;
        };
        std::vector<Item> items;
        items.reserve(Count());
        for (int i = 0; i < Count(); ++i)
            items.push_back({SortKey(GetFile(i)->Path), GetFile(i), i});
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            if (const int c = a.key.compare(b.key))
                return c < 0;
            if (const int c = a.entry->Path.compare(b.entry->Path))
                return c < 0;
            return a.entry->Time > b.entry->Time;
        });
        std::vector<int> order;
        order.reserve(items.size());
        for (const Item& item : items)
            order.push_back(item.index);
        Reorder(Files, order);
    }
    // Each entry is weighed against the last one kept before it.
    std::vector<bool> repeated(Count());
    for (int i = 1, kept = 0; i < Count(); ++i) {
        if (GetFile(i)->Path == GetFile(kept)->Path)
            repeated[i] = true;
        else
            kept = i;
    }
    DeleteMarked(Files, repeated);
}

int TUpdateFileList::CompareFiles(TStringList* list, int index1, int index2) {
    const TUpdateFile* a = EntryOf(*list, index1);
    const TUpdateFile* b = EntryOf(*list, index2);
    if (!b)
        return a ? 1 : 0;
    if (!a)
        return -1;
    if (const int c = LocaleCompare(a->Path, b->Path))
        return c < 0 ? -1 : 1;
    // Paths that the locale holds equal but whose bytes differ are two paths: each keeps its
    // entries side by side, so that exactly one of them survives.
    if (const int c = a->Path.compare(b->Path))
        return c < 0 ? -1 : 1;
    if (a->Time == b->Time)
        return 0;
    return a->Time > b->Time ? -1 : 1;
}

bool TUpdateFileList::AddFileLine(const AnsiString& line, AnsiString* reason) {
    auto entry = CreateUpdateFile(line, reason);
    if (!entry)
        return false;
    Files.AddObject(line, entry.get());
    entry.release();
    return true;
}

void TUpdateFileList::WriteLines() {
    Lines.Clear();
    Lines.Reserve(Count() + 1);
    Lines.Add("[update]");
    for (int i = 0; i < Count(); ++i)
        Lines.Add(GetFile(i)->GetLine());
}

void TUpdateFileList::ClearFiles() {
    Files.Clear();
}

void TUpdateFileList::RemoveAt(int index) {
    Files.Delete(index);
}

TUpdateFile* TUpdateFileList::GetFile(int index) const {
    return index >= 0 && index < Count() ? EntryOf(Files, index) : nullptr;
}

AnsiString TUpdateFileList::GetName(int index) const {
    const TUpdateFile* entry = GetFile(index);
    return entry ? entry->Path : AnsiString();
}

AnsiString TUpdateFileList::GetLocalPath(int index) const {
    const TUpdateFile* entry = GetFile(index);
    return entry ? entry->LocalFile : AnsiString();
}

void TUpdateFileList::SetLocalPath(int index, const AnsiString& path) {
    if (TUpdateFile* entry = GetFile(index)) {
        ForceDeleteFile(entry->LocalFile);
        entry->LocalFile = path;
    }
}

AnsiString TUpdateFileList::GetUrl(int index) const {
    const TUpdateFile* entry = GetFile(index);
    return entry ? entry->Url : AnsiString();
}

int TUpdateFileList::GetSize(int index) const {
    const TUpdateFile* entry = GetFile(index);
    return entry ? entry->Size : -1;
}

TDateTime TUpdateFileList::GetTime(int index) const {
    const TUpdateFile* entry = GetFile(index);
    return entry ? entry->Time : 0.0;
}

void TUpdateFileList::DiscardAt(int index) {
    ForceDeleteFile(GetLocalPath(index));
    RemoveAt(index);
}

void TUpdateFileList::RemoveUpToDate() {
    // DiscardAt of each such entry in turn, the gaps closed once at the end.
    std::vector<bool> upToDate(Count());
    for (int i = 0; i < Count(); ++i) {
        const TUpdateFile& entry = *GetFile(i);
        if (HasListedStamp(entry.Path, entry)) {
            ForceDeleteFile(entry.LocalFile);
            upToDate[i] = true;
        }
    }
    DeleteMarked(Files, upToDate);
}

bool TUpdateFileList::VerifyDownloads() {
    bool result = true;
    for (int i = 0; i < Count(); ++i) {
        TUpdateFile& entry = *GetFile(i);
        if (!FileExists(entry.LocalFile)) {
            entry.LocalFile.clear();
            result = false;
        } else if (!HasListedStamp(entry.LocalFile, entry)) {
            ForceDeleteFile(entry.LocalFile);
            entry.LocalFile.clear();
            result = false;
        }
    }
    return result;
}

void TUpdateFileList::AdoptDownload(const TUpdateFile& other) {
    TUpdateFile* first = nullptr;
    for (int i = 0; i < Count() && !first; ++i)
        if (GetFile(i)->Path == other.Path)
            first = GetFile(i);
    Adopt(first, other);
}

namespace {

// The first entry of each path, looked up once for all entries of another list. Adopting
// changes no path and removes no entry, so the index holds throughout.
class FirstOfPath {
  public:
    explicit FirstOfPath(const TUpdateFileList& list) {
        first_.reserve(list.Count());
        for (int i = 0; i < list.Count(); ++i)
            first_.emplace(list.GetFile(i)->Path, list.GetFile(i));
    }
    TUpdateFile* operator()(const AnsiString& path) const {
        const auto found = first_.find(path);
        return found == first_.end() ? nullptr : found->second;
    }

  private:
    std::unordered_map<std::string_view, TUpdateFile*> first_;
};

} // namespace

void TUpdateFileList::AdoptDownloads(const TUpdateFileList& other) {
    const FirstOfPath first(*this);
    for (int i = 0; i < other.Count(); ++i)
        Adopt(first(other.GetFile(i)->Path), *other.GetFile(i));
}

void TUpdateFileList::TakeDownloads(const TUpdateFileList& other) {
    const FirstOfPath first(*this);
    for (int i = 0; i < other.Count(); ++i) {
        const TUpdateFile& entry = *other.GetFile(i);
        TUpdateFile* p = first(entry.Path);
        if (p && !entry.LocalFile.empty() && SameFile(*p, entry))
            p->LocalFile = entry.LocalFile;
    }
}

bool TUpdateFileList::CheckFiles() {
    RemoveUpToDate();
    return VerifyDownloads();
}

bool TUpdateFileList::LoadFromFile(const AnsiString& path) {
    Lines.Clear();
    if (FileExists(path)) {
        try {
            Lines.LoadFromFile(path);
        } catch (const Exception& e) {
            TraceException("Reading " + path, e);
            Lines.Clear();
            return false;
        } catch (...) {
            Lines.Clear();
            return false;
        }
    }
    ReadFiles();
    return true;
}

bool TUpdateFileList::SaveToFile(const AnsiString& path) {
    WriteLines();
    // An older state file that stays after a failed write names other downloads than these:
    // only the new text standing at the path counts as saved.
    bool saved = false;
    try {
        ForceDirectories(FolderPart(path)); // raises for an empty folder part: nothing is written
        saved = ReplaceWith(path, Lines.Text());
    } catch (const Exception& e) {
        TraceException("Writing " + path, e);
    } catch (...) {
    }
    return saved;
}
