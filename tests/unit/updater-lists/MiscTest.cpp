#include "Misc.h"

#include "Handles.h"
#include "TempDir.h"
#include "Times.h"
#include "UpdateFile.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

void ExpectNoStamp(const AnsiString& path) {
    const TFileStamp stamp = GetFileStamp(path);
    EXPECT_EQ(stamp.Time, 0);
    EXPECT_EQ(stamp.Size, -1);
}

// A file of the given length whose bytes take no room on disk.
void WriteSparse(const AnsiString& path, LONGLONG length) {
    FileHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f);
    LARGE_INTEGER end;
    end.QuadPart = length;
    ASSERT_TRUE(SetFilePointerEx(f.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(f.get()));
}

DWORD Attributes(const AnsiString& path) {
    return GetFileAttributesA(path.c_str());
}

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

} // namespace

TEST(GetFileStamp, MissingFilesAndFoldersHaveNoStamp) {
    TempDir dir;
    ExpectNoStamp(dir / "missing");
    ExpectNoStamp(dir / "no\\such\\file");
    ExpectNoStamp(dir.Path());
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    ExpectNoStamp(dir / "sub");
    ExpectNoStamp("");
}

TEST(GetFileStamp, AWildcardNamesNoFile) {
    TempDir dir;
    WriteFile(dir / "ab", "12345");
    for (const char* pattern : {"a*", "*", "?b"}) {
        SCOPED_TRACE(pattern);
        ExpectNoStamp(dir / pattern);
    }
}

TEST(GetFileStamp, FilesOfAnyAttributes) {
    const DWORD attributes[] = {0,
                                FILE_ATTRIBUTE_READONLY,
                                FILE_ATTRIBUTE_HIDDEN,
                                FILE_ATTRIBUTE_SYSTEM,
                                FILE_ATTRIBUTE_ARCHIVE,
                                FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM};
    TempDir dir;
    for (DWORD a : attributes) {
        SCOPED_TRACE(a);
        const AnsiString path = dir / ("f" + IntToStr(a));
        WriteFile(path, "12345");
        SetLocalWriteTime(path, 2003, 6, 12, 8, 38, 20);
        SetFileAttributesA(path.c_str(), a);
        const TFileStamp stamp = GetFileStamp(path);
        EXPECT_EQ(stamp.Time, At(2003, 6, 12, 8, 38, 20));
        EXPECT_EQ(stamp.Size, 5);
    }
}

TEST(GetFileStamp, LocalTimeInTwoSecondSteps) {
    struct Row {
        int y, mo, d, h, mi, s;
        TDateTime expected; // 0: no stamp
    } rows[] = {
        {2003, 6, 12, 10, 15, 7, At(2003, 6, 12, 10, 15, 6)},
        {2003, 6, 12, 10, 15, 6, At(2003, 6, 12, 10, 15, 6)},
        {2004, 2, 29, 23, 59, 59, At(2004, 2, 29, 23, 59, 58)},
        {1980, 1, 1, 0, 0, 0, At(1980, 1, 1, 0, 0, 0)},
        {2107, 12, 31, 23, 59, 59, At(2107, 12, 31, 23, 59, 58)},
        {1979, 12, 31, 23, 59, 59, 0},
        {1979, 6, 1, 12, 0, 0, 0},
        {2108, 1, 1, 0, 0, 0, 0},
    };
    TempDir dir;
    const AnsiString path = dir / "f";
    WriteFile(path, "x");
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.y << "-" << r.mo << "-" << r.d << " " << r.h << ":"
                                        << r.mi << ":" << r.s);
        SetLocalWriteTime(path, r.y, r.mo, r.d, r.h, r.mi, r.s);
        const TFileStamp stamp = GetFileStamp(path);
        EXPECT_EQ(stamp.Time, r.expected);
        EXPECT_EQ(stamp.Size, r.expected == 0 ? -1 : 1);
    }
}

TEST(GetFileStamp, EqualsTheTimeOfAnEntryForTheSameEvenSecond) {
    TempDir dir;
    const AnsiString path = dir / "f";
    WriteFile(path, "12345");
    for (int hour = 0; hour < 24; hour += 5)
        for (int minute = 0; minute < 60; minute += 13)
            for (int second = 0; second < 60; second += 2) {
                const AnsiString time =
                    IntToStr(hour) + ":" + IntToStr(minute) + ":" + IntToStr(second);
                SCOPED_TRACE(time);
                SetLocalWriteTime(path, 2004, 2, 29, hour, minute, second);
                const TUpdateFile entry("p?u?2004/02/29?" + time + "?5");
                const TFileStamp stamp = GetFileStamp(path);
                EXPECT_TRUE(stamp.Time == entry.Time);
                EXPECT_EQ(stamp.Size, entry.Size);
            }
}

TEST(GetFileStamp, FilesTooLargeForAnIntHaveNoStamp) {
    TempDir dir;
    WriteSparse(dir / "max", INT_MAX);
    EXPECT_EQ(GetFileStamp(dir / "max").Size, INT_MAX);
    WriteSparse(dir / "2g", 1LL << 31);
    ExpectNoStamp(dir / "2g");
    // The low 32 bits alone would read as 1200 bytes.
    WriteSparse(dir / "4g", (1LL << 32) + 1200);
    ExpectNoStamp(dir / "4g");
}

TEST(GetFileStamp, UpdateMarkerNamesTheUpdaterBesideTheRunningProgram) {
    const AnsiString updater = ExtractFilePath(ExeName()) + "quen6aux.exe";
    ASSERT_FALSE(FileExists(updater));
    ExpectNoStamp("$$update$$");
    WriteFile(updater, "updater");
    SetLocalWriteTime(updater, 2003, 6, 12, 8, 38, 20);
    const TFileStamp stamp = GetFileStamp("$$update$$");
    DeleteFileA(updater.c_str());
    EXPECT_EQ(stamp.Time, At(2003, 6, 12, 8, 38, 20));
    EXPECT_EQ(stamp.Size, 7);

    // Only the exact marker: another case is an ordinary relative path.
    TempDir dir;
    const AnsiString current = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(dir.Path()));
    WriteFile("$$UPDATE$$", "abc");
    SetLocalWriteTime("$$UPDATE$$", 2004, 1, 2, 3, 4, 6);
    const TFileStamp relative = GetFileStamp("$$UPDATE$$");
    SetCurrentDir(current);
    EXPECT_EQ(relative.Time, At(2004, 1, 2, 3, 4, 6));
    EXPECT_EQ(relative.Size, 3);
}

TEST(ForceDeleteFile, NothingToDelete) {
    TempDir dir;
    EXPECT_TRUE(ForceDeleteFile(""));
    EXPECT_TRUE(ForceDeleteFile(dir / "missing"));
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    EXPECT_TRUE(ForceDeleteFile(dir / "sub"));
    EXPECT_TRUE(DirectoryExists(dir / "sub"));
}

TEST(ForceDeleteFile, DeletesFilesWhateverTheirAttributesAndStamp) {
    const DWORD attributes[] = {0, FILE_ATTRIBUTE_READONLY, kSettable};
    TempDir dir;
    for (DWORD a : attributes) {
        SCOPED_TRACE(a);
        const AnsiString path = dir / "f";
        WriteFile(path, "x");
        SetFileAttributesA(path.c_str(), a);
        EXPECT_TRUE(ForceDeleteFile(path));
        EXPECT_EQ(Attributes(path), INVALID_FILE_ATTRIBUTES);
    }
    // A file stamped before 1980 has no stamp, but it is there and goes all the same.
    WriteFile(dir / "old", "x");
    SetLocalWriteTime(dir / "old", 1979, 6, 1, 12, 0, 0);
    EXPECT_TRUE(ForceDeleteFile(dir / "old"));
    EXPECT_EQ(Attributes(dir / "old"), INVALID_FILE_ATTRIBUTES);
}

TEST(ForceDeleteFile, FileHeldOpenWithoutDeleteSharingStaysWithAttributesCleared) {
    const DWORD shareModes[] = {0, FILE_SHARE_READ | FILE_SHARE_WRITE};
    TempDir dir;
    const AnsiString path = dir / "busy";
    for (DWORD share : shareModes) {
        SCOPED_TRACE(share);
        WriteFile(path, "x");
        SetFileAttributesA(path.c_str(), kSettable);
        {
            FileHandle holder(
                CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(holder);
            EXPECT_FALSE(ForceDeleteFile(path));
        }
        const DWORD left = Attributes(path);
        ASSERT_NE(left, INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(left & kSettable, 0u);
    }
}
