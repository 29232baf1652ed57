#include "Updatelst.h"

#include "Handles.h"
#include "Lists.h"
#include "TempDir.h"
#include "Times.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

namespace {

// Every entry here lists 12 June 2003 08:38:<second> and a size in bytes.
AnsiString Listed(int second) {
    return "2003/06/12?08:38:" + IntToStr(second);
}

// A file of size bytes last written at the listed time of that second.
void Put(const AnsiString& path, int size = 1, int second = 20) {
    WriteFile(path, AnsiString(size, 'x'));
    SetLocalWriteTime(path, 2003, 6, 12, 8, 38, second);
}

Names LocalPathsOf(const TUpdateFileList& list) {
    Names paths;
    for (int i = 0; i < list.Count(); ++i)
        paths.push_back(list.GetLocalPath(i));
    return paths;
}

// A list read as the state file is, in the order of the lines.
void Read(TUpdateFileList& list, const Names& lines) {
    list.Lines.SetText(UpdateList("", false, lines));
    ASSERT_TRUE(list.ReadFiles());
    ASSERT_EQ(list.Count(), static_cast<int>(lines.size()));
}

// Runs in a fresh folder, made the current directory for relative targets.
class Reconcile : public testing::Test {
  protected:
    Reconcile() : before(GetCurrentDir()) { SetCurrentDir(dir.Path()); }
    ~Reconcile() override { SetCurrentDir(before); }

    // A copy in the download folder.
    AnsiString Download(const AnsiString& name, int size = 1, int second = 20) {
        CreateDirectoryA((dir / "dl").c_str(), nullptr);
        Put(dir / ("dl\\" + name), size, second);
        return dir / ("dl\\" + name);
    }

    TempDir dir;
    AnsiString before;
    TUpdateFileList list;
};

} // namespace

TEST_F(Reconcile, EmptyLists) {
    TUpdateFileList other;
    list.RemoveUpToDate();
    list.AdoptDownloads(other);
    EXPECT_TRUE(list.VerifyDownloads());
    EXPECT_TRUE(list.CheckFiles());
    EXPECT_EQ(list.Count(), 0);
    // With nothing to adopt them, the other list's copies go.
    const AnsiString copy = Download("ud0.$$$");
    Read(other, {EntryLine("a") + "?" + copy});
    list.AdoptDownloads(other);
    EXPECT_FALSE(Exists(copy));
}

TEST_F(Reconcile, RemoveUpToDateDropsExactlyTheInstalledEntries) {
    Put("a", 3);
    Put("b", 1);
    Put("c", 2);
    Put("d", 1, 22);
    Put("f", 1, 21); // stamped 08:38:20 on disk
    CreateDirectoryA("g", nullptr);
    CreateDirectoryA("sub", nullptr);
    Put("sub\\h");
    Put(dir / "i");
    Put("j");
    SetFileAttributesA("j",
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const AnsiString copyOfA = Download("ud0.$$$", 3), copyOfC = Download("ud1.$$$", 1);
    Read(list, {EntryLine("a", "u", Listed(20), 3) + "?" + copyOfA, EntryLine("b"),
                EntryLine("c") + "?" + copyOfC,  // size differs
                EntryLine("d"),                  // time differs
                EntryLine("e"),                  // missing
                EntryLine("f", "u", Listed(21)), // an odd second never matches
                EntryLine("g"), EntryLine("sub/h"), EntryLine(dir / "i"), EntryLine("j")});
    list.RemoveUpToDate();
    EXPECT_EQ(PathsOf(list), (Names{"c", "d", "e", "f", "g"}));
    EXPECT_FALSE(Exists(copyOfA));
    EXPECT_TRUE(Exists(copyOfC));
    EXPECT_EQ(list.GetLocalPath(0), copyOfC);
}

TEST_F(Reconcile, UpdateEntryIsTheRunningUpdater) {
    const AnsiString updater = ExtractFilePath(ExeName()) + "quen6aux.exe";
    ASSERT_FALSE(Exists(updater));
    Put(updater, 5);
    Read(list,
         {EntryLine("$$update$$", "u", Listed(20), 4), EntryLine("$$update$$", "u", Listed(20), 5),
          EntryLine("$$update$$", "u", Listed(22), 5)});
    Put("quen6aux.exe", 4); // the current directory's copy does not count
    list.RemoveUpToDate();
    DeleteFileA(updater.c_str());
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetSize(0), 4);
    EXPECT_EQ(list.GetTime(1), At(2003, 6, 12, 8, 38, 22));
}

TEST_F(Reconcile, VerifyDownloadsForgetsEveryCopyThatIsNotAsListed) {
    const AnsiString good = Download("good", 2), small = Download("small", 1),
                     late = Download("late", 2, 22), odd = Download("odd", 2, 21);
    CreateDirectoryA("folder", nullptr);
    Read(list, {EntryLine("none", "u", Listed(20), 2),
                EntryLine("gone", "u", Listed(20), 2) + "?" + dir / "gone",
                EntryLine("folder", "u", Listed(20), 2) + "?" + dir / "folder",
                EntryLine("small", "u", Listed(20), 2) + "?" + small,
                EntryLine("late", "u", Listed(20), 2) + "?" + late,
                EntryLine("odd", "u", Listed(21), 2) + "?" + odd,
                EntryLine("good", "u", Listed(20), 2) + "?" + good});
    EXPECT_FALSE(list.VerifyDownloads());
    EXPECT_EQ(LocalPathsOf(list), (Names{"", "", "", "", "", "", good}));
    EXPECT_EQ(NamesIn(dir / "dl\\", Listing::FilesAndFolders), (std::set<AnsiString>{"good"}));
    EXPECT_TRUE(DirectoryExists("folder"));

    for (int i = 0; i < 6; ++i)
        list.RemoveAt(0);
    EXPECT_TRUE(list.VerifyDownloads());
    EXPECT_EQ(LocalPathsOf(list), (Names{good}));
}

TEST_F(Reconcile, CheckFilesWantsAVerifiedCopyForEveryEntryLeft) {
    Put("installed");
    const AnsiString copy = Download("ud0.$$$");
    Read(list, {EntryLine("installed"), EntryLine("new") + "?" + copy});
    EXPECT_TRUE(list.CheckFiles());
    EXPECT_EQ(PathsOf(list), (Names{"new"}));
    ASSERT_TRUE(list.AddFileLine(EntryLine("pending")));
    EXPECT_FALSE(list.CheckFiles());
    EXPECT_EQ(LocalPathsOf(list), (Names{copy, ""}));
}

TEST_F(Reconcile, DiscardAtForgetsTheEntryEvenWhenItsCopyStays) {
    const AnsiString a = Download("a"), b = Download("b");
    Read(list, {EntryLine("a") + "?" + a, EntryLine("b") + "?" + b, EntryLine("c")});
    list.DiscardAt(0);
    EXPECT_FALSE(Exists(a));
    {
        FileHandle holder(
            CreateFileA(b.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        list.DiscardAt(0);
    }
    EXPECT_TRUE(Exists(b));
    EXPECT_EQ(PathsOf(list), (Names{"c"}));
}

namespace {

// AdoptDownloads, and AdoptDownload of each entry in turn, give the same result.
const std::pair<const char*, std::function<void(TUpdateFileList&, const TUpdateFileList&)>>
    kAdoptions[] = {
        {"AdoptDownloads",
         [](TUpdateFileList& l, const TUpdateFileList& o) { l.AdoptDownloads(o); }},
        {"AdoptDownload",
         [](TUpdateFileList& l, const TUpdateFileList& o) {
             for (int i = 0; i < o.Count(); ++i)
                 l.AdoptDownload(*o.GetFile(i));
         }},
};

} // namespace

TEST_F(Reconcile, DownloadsOfAnOlderListGoToUnchangedEntriesOnly) {
    for (const auto& [name, adopt] : kAdoptions) {
        SCOPED_TRACE(name);
        const AnsiString same = Download("0"), url = Download("1"), time = Download("2"),
                         size = Download("3"), gone = Download("4"), upper = Download("5"),
                         earlier = Download("6"), later = Download("7"), stray = Download("8");
        TUpdateFileList server;
        server.Lines.SetText("[update]\n" + EntryLine("same", "u", Listed(20), 1) + "\n" +
                             EntryLine("url", "new", Listed(20), 1) + "\n" +
                             EntryLine("time", "u", Listed(24), 1) + "\n" +
                             EntryLine("size", "u", Listed(20), 9) + "\n" + EntryLine("case.dll") +
                             "\n" + EntryLine("again"));
        ASSERT_TRUE(server.Parse());
        server.SetLocalPath(0, earlier); // "again": an earlier copy of its own
        TUpdateFileList state;
        Read(state, {EntryLine("same") + "?" + same, EntryLine("url", "old") + "?" + url,
                     EntryLine("time") + "?" + time, EntryLine("size") + "?" + size,
                     EntryLine("gone") + "?" + gone, EntryLine("CASE.DLL") + "?" + upper,
                     EntryLine("again") + "?" + later, EntryLine("nothing")});
        const Names stateCopies = LocalPathsOf(state);

        adopt(server, state);
        EXPECT_EQ(PathsOf(server), (Names{"again", "case.dll", "same", "size", "time", "url"}));
        EXPECT_EQ(LocalPathsOf(server), (Names{later, "", same, "", "", ""}));
        EXPECT_EQ(NamesIn(dir / "dl\\", Listing::FilesAndFolders),
                  (std::set<AnsiString>{"0", "7", "8"}));
        EXPECT_EQ(LocalPathsOf(state), stateCopies);
    }
}

TEST_F(Reconcile, SeveralCopiesForOneEntryLeaveTheLast) {
    for (const auto& [name, adopt] : kAdoptions) {
        SCOPED_TRACE(name);
        const AnsiString a = Download("a"), b = Download("b"), c = Download("c");
        TUpdateFileList server, state;
        Read(server, {EntryLine("x")});
        Read(state, {EntryLine("x") + "?" + a, EntryLine("x") + "?" + b, EntryLine("x") + "?" + c});
        adopt(server, state);
        EXPECT_EQ(LocalPathsOf(server), (Names{c}));
        EXPECT_EQ(NamesIn(dir / "dl\\", Listing::FilesAndFolders), (std::set<AnsiString>{"c"}));
        DeleteFileA(c.c_str());
    }
}

TEST_F(Reconcile, OnlyTheFirstEntryOfAPathCanAdopt) {
    for (const auto& [name, adopt] : kAdoptions) {
        SCOPED_TRACE(name);
        const AnsiString a = Download("a"), b = Download("b");
        TUpdateFileList unsorted, state;
        Read(unsorted, {EntryLine("x", "u1"), EntryLine("y"), EntryLine("x", "u2")});
        Read(state, {EntryLine("x", "u2") + "?" + a, EntryLine("x", "u1") + "?" + b});
        adopt(unsorted, state);
        EXPECT_EQ(LocalPathsOf(unsorted), (Names{b, "", ""}));
        EXPECT_EQ(NamesIn(dir / "dl\\", Listing::FilesAndFolders), (std::set<AnsiString>{"b"}));
        DeleteFileA(b.c_str());
    }
}

TEST_F(Reconcile, MissingStateFileAdoptsAndDeletesNothing) {
    const AnsiString stray = Download("ud0.$$$");
    list.Lines.SetText("stale");
    EXPECT_TRUE(list.LoadFromFile(dir / "dl\\dllst.$$$"));
    EXPECT_EQ(list.Lines.Count(), 0);
    EXPECT_EQ(list.Count(), 0);
    TUpdateFileList server;
    server.Lines.SetText("[update]\n" + EntryLine("a"));
    ASSERT_TRUE(server.Parse());
    server.AdoptDownloads(list);
    EXPECT_EQ(LocalPathsOf(server), (Names{""}));
    EXPECT_TRUE(Exists(stray));
}

TEST_F(Reconcile, LoadFromFileKeepsTheOrderOfTheFile) {
    WriteFile("dllst.$$$", "[update]\r\n" + EntryLine("c") + "\r\nnot an entry\r\n" +
                               EntryLine("a") + "?dl\\ud0.$$$\n" + EntryLine("a", "second") + "\r" +
                               EntryLine("b") + "\r\n[other]\r\n" + EntryLine("z") + "\r\n");
    EXPECT_TRUE(list.LoadFromFile("dllst.$$$"));
    EXPECT_EQ(PathsOf(list), (Names{"c", "a", "a", "b"}));
    EXPECT_EQ(LocalPathsOf(list), (Names{"", "dl\\ud0.$$$", "", ""}));
    EXPECT_EQ(list.Lines.Count(), 8);
}

TEST_F(Reconcile, LoadFromFileFailsWhileAnotherWritesTheFile) {
    WriteFile("dllst.$$$", "[update]\r\n" + EntryLine("new") + "\r\n");
    Read(list, {EntryLine("old")});
    for (DWORD share : {0ul, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
        SCOPED_TRACE(share);
        FileHandle writer(
            CreateFileA("dllst.$$$", GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer);
        list.Lines.SetText("stale");
        EXPECT_FALSE(list.LoadFromFile("dllst.$$$"));
        EXPECT_EQ(list.Lines.Count(), 0);
        EXPECT_EQ(PathsOf(list), (Names{"old"}));
    }
    EXPECT_TRUE(list.LoadFromFile("dllst.$$$"));
    EXPECT_EQ(PathsOf(list), (Names{"new"}));
}

TEST_F(Reconcile, SaveToFileCreatesTheMissingFolders) {
    const AnsiString path = dir / "app\\quen6\\Download\\dllst.$$$";
    Read(list,
         {EntryLine("b/x.dll", "u1", "03-6-12?8.38.20", 7),
          EntryLine("a.dll", "u2", Listed(22), 16) + "?" + dir / "app\\quen6\\Download\\ud0.$$$"});
    EXPECT_TRUE(list.SaveToFile(path));
    EXPECT_EQ(ReadFile(path), "[update]\r\n"
                              "b\\x.dll?u1?2003/06/12?08:38:20?7\r\n"
                              "a.dll?u2?2003/06/12?08:38:22?16?" +
                                  dir / "app\\quen6\\Download\\ud0.$$$\r\n");
    EXPECT_EQ(NamesIn(dir / "app\\quen6\\Download\\", Listing::FilesAndFolders),
              (std::set<AnsiString>{"dllst.$$$"}));

    TUpdateFileList back;
    EXPECT_TRUE(back.LoadFromFile(path));
    EXPECT_EQ(PathsOf(back), PathsOf(list));
    EXPECT_EQ(LocalPathsOf(back), LocalPathsOf(list));
    EXPECT_EQ(back.GetTime(1), At(2003, 6, 12, 8, 38, 22));
}

TEST_F(Reconcile, SaveToFileOfAnEmptyList) {
    EXPECT_TRUE(list.SaveToFile(dir / "dllst.$$$"));
    EXPECT_EQ(ReadFile(dir / "dllst.$$$"), "[update]\r\n");
    TUpdateFileList back;
    EXPECT_TRUE(back.LoadFromFile(dir / "dllst.$$$"));
    EXPECT_EQ(back.Count(), 0);
}

TEST_F(Reconcile, SaveToFileReplacesAReadOnlyStateFile) {
    WriteFile("dllst.$$$", "old");
    SetFileAttributesA("dllst.$$$", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    Read(list, {EntryLine("a")});
    EXPECT_TRUE(list.SaveToFile(dir / "dllst.$$$"));
    EXPECT_EQ(ReadFile("dllst.$$$"), "[update]\r\n" + EntryLine("a") + "\r\n");
    EXPECT_EQ(GetFileAttributesA("dllst.$$$") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              0u);
    EXPECT_EQ(NamesIn(dir.Path(), Listing::FilesAndFolders), (std::set<AnsiString>{"dllst.$$$"}));
}

TEST_F(Reconcile, SaveToFileThatFailsLeavesTheOldStateFileWhole) {
    WriteFile("dllst.$$$", "[update]\r\n" + EntryLine("old") + "\r\n");
    Read(list, {EntryLine("new")});
    {
        FileHandle holder(
            CreateFileA("dllst.$$$", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(list.SaveToFile(dir / "dllst.$$$")); // the old one stands, not this text
    }
    EXPECT_EQ(ReadFile("dllst.$$$"), "[update]\r\n" + EntryLine("old") + "\r\n");
    EXPECT_EQ(NamesIn(dir.Path(), Listing::FilesAndFolders), (std::set<AnsiString>{"dllst.$$$"}));
}

// Another process may look at the state file at any moment: it finds the old or the new one.
TEST_F(Reconcile, SaveToFileNeverLeavesThePathWithoutAWholeStateFile) {
    TUpdateFileList lists[2];
    for (int n = 0; n < 2; ++n) {
        AnsiString text = "[update]\n";
        for (int i = 0; i < 2000; ++i)
            text += EntryLine("folder\\file" + IntToStr(i) + ".dll", "list" + IntToStr(n)) + "\n";
        lists[n].Lines.SetText(text);
        ASSERT_TRUE(lists[n].ReadFiles());
    }
    const AnsiString path = dir / "dllst.$$$";
    ASSERT_TRUE(lists[0].SaveToFile(path));
    const AnsiString texts[2] = {ReadFile(path), (lists[1].WriteLines(), lists[1].Lines.Text())};

    std::atomic<bool> done{false};
    int looks = 0, missing = 0, torn = 0;
    std::thread reader([&] {
        while (!done) {
            ++looks;
            FileHandle f(CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
            if (!f) {
                ++missing;
                continue;
            }
            AnsiString text;
            char buf[65536];
            DWORD got = 0;
            while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0)
                text.append(buf, got);
            if (text != texts[0] && text != texts[1])
                ++torn;
        }
    });
    // A save that finds the file open for reading may fail; it leaves the old text.
    int saved = 0;
    for (int i = 1; i <= 100; ++i)
        saved += lists[i % 2].SaveToFile(path);
    done = true;
    reader.join();
    EXPECT_GT(saved, 0);
    EXPECT_GT(looks, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(NamesIn(dir.Path(), Listing::FilesAndFolders), (std::set<AnsiString>{"dllst.$$$"}));
}

TEST_F(Reconcile, SaveToFileOverwritesTheLeftoverOfASaveThatDied) {
    WriteFile("dllst.$$$.new", "[upd");
    SetFileAttributesA("dllst.$$$.new", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(list.SaveToFile(dir / "dllst.$$$"));
    EXPECT_EQ(ReadFile("dllst.$$$"), "[update]\r\n");
    EXPECT_EQ(NamesIn(dir.Path(), Listing::FilesAndFolders), (std::set<AnsiString>{"dllst.$$$"}));
}

TEST_F(Reconcile, SaveToFileWritesNoPathWithoutAFolder) {
    Read(list, {EntryLine("a")});
    EXPECT_FALSE(list.SaveToFile("dllst.$$$"));
    EXPECT_EQ(NamesIn(dir.Path(), Listing::FilesAndFolders), std::set<AnsiString>{});
    WriteFile("dllst.$$$", "old");
    EXPECT_FALSE(list.SaveToFile("dllst.$$$")); // the old file stays, unsaved over
    EXPECT_EQ(ReadFile("dllst.$$$"), "old");
    CreateDirectoryA("folder", nullptr);
    EXPECT_FALSE(list.SaveToFile(dir / "folder"));
    EXPECT_EQ(NamesIn(dir.Path(), Listing::FilesAndFolders),
              (std::set<AnsiString>{"dllst.$$$", "folder"}));
}
