#include "SysUtils.h"

#include "TempDir.h"

#include <gtest/gtest.h>

TEST(Trim, RemovesCodesUpTo32AtBothEnds) {
    EXPECT_EQ(Trim(AnsiString("\t\r\n a b \x01\x1f ", 11)), "a b");
    EXPECT_EQ(Trim(AnsiString("\0x\0", 3)), "x");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0"); // bytes above 127 are text
}

TEST(StrToIntDef, Table) {
    struct Row {
        const char* text;
        int expected;
    } rows[] = {
        {"0", 0},
        {"1200", 1200},
        {"  12", 12},
        {"+7", 7},
        {"-5", -5},
        {"$4B0", 1200},
        {"x10", 16},
        {"X10", 16},
        {"0x50", 80},
        {"0X50", 80},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"0x80000000", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", 99},
        {"-2147483649", 99},
        {"$100000000", 99},
        {"", 99},
        {" ", 99},
        {"12a", 99},
        {"12 ", 99},
        {"\t12", 99},
        {"30s", 99},
        {"$", 99},
        {"0x", 99},
        {"-", 99},
        {"yes", 99},
        {"1 2", 99},
        {"$G", 99},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(StrToIntDef(r.text, 99), r.expected);
    }
}

TEST(StripFirstToken, Table) {
    struct Row {
        const char* commandLine;
        const char* rest;
    } rows[] = {
        {"C:\\app\\quen6aux.exe /a b", "/a b"},
        {"\"C:\\Program Files\\quen6aux.exe\" \"x y\" z", "\"x y\" z"},
        {"C:\\quen6aux.exe  two", " two"},           // only one blank goes
        {"C:\\quen6aux.exe ", ""},                   // a lone trailing blank
        {"C:\\quen6aux.exe", ""},                    // no arguments at all
        {"\"C:\\Program Files\\quen6aux.exe\"", ""}, // a quoted path alone
        {"C:\\quen6aux.exe\targ more", "more"},      // a tab does not end the token
        {"\"C:\\a b\\x.exe\targ\" rest", "rest"},
        {"a\"b c\"d e", "e"}, // quotes inside the token
        {"\"unclosed quote here", ""},
        {" lead", "lead"}, // the token may be empty
        {"", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.commandLine);
        EXPECT_EQ(StripFirstToken(r.commandLine), r.rest);
    }
}

TEST(EncodeDate, AcceptsRealDaysAndRejectsOthers) {
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_DOUBLE_EQ(EncodeDate(2003, 6, 12), 37784);
    EXPECT_DOUBLE_EQ(EncodeDate(2000, 2, 29), 36585);
    EXPECT_DOUBLE_EQ(EncodeDate(1, 1, 1), -693593);
    EXPECT_DOUBLE_EQ(EncodeDate(9999, 12, 31), 2958465);
    struct {
        int y, m, d;
    } bad[] = {{2003, 2, 29}, {1900, 2, 29}, {2003, 4, 31}, {2003, 1, 0}, {2003, 1, 32},
               {2003, 0, 1},  {2003, 13, 1}, {0, 1, 1},     {10000, 1, 1}};
    for (auto b : bad) {
        SCOPED_TRACE(testing::Message() << b.y << "-" << b.m << "-" << b.d);
        EXPECT_THROW(EncodeDate(b.y, b.m, b.d), EConvertError);
    }
}

TEST(EncodeTime, FractionOfDayAndLimits) {
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(EncodeTime(0, 0, 0, 0), 0);
    EXPECT_DOUBLE_EQ(EncodeTime(8, 38, 20, 0), (8 * 3600 + 38 * 60 + 20) / 86400.0);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 60, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

TEST(FormatDateTime, WritesFieldsWithLocaleSeparators) {
    const TDateTime t = EncodeDate(2003, 6, 2) + EncodeTime(8, 5, 0, 0);
    // LANG=C: the user's separators are "/" and ":".
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd", t), "2003/06/02");
    EXPECT_EQ(FormatDateTime("hh:nn:ss", t), "08:05:00");
    EXPECT_EQ(FormatDateTime("hh:nn:ss", EncodeDate(2107, 12, 31) + EncodeTime(23, 59, 59, 0)),
              "23:59:59");
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd", EncodeDate(9999, 12, 31)), "9999/12/31");
}

TEST(DosDateTime, UnpackAndPackRoundTrip) {
    const TDateTime t = EncodeDate(2003, 6, 12) + EncodeTime(8, 38, 20, 0);
    const int dos = DateTimeToFileDate(t);
    EXPECT_EQ(dos, static_cast<int>((((2003 - 1980) << 9 | 6 << 5 | 12) << 16) |
                                    (8 << 11 | 38 << 5 | 10)));
    EXPECT_EQ(FileDateToDateTime(dos), t);
    // An odd second packs to the even second below it.
    EXPECT_EQ(FileDateToDateTime(DateTimeToFileDate(t + 1 / 86400.0)), t);
    EXPECT_EQ(DateTimeToFileDate(EncodeDate(1979, 12, 31)), 0);
    EXPECT_EQ(DateTimeToFileDate(EncodeDate(2108, 1, 1)), 0);
    EXPECT_NE(DateTimeToFileDate(EncodeDate(2107, 12, 31)), 0);
    EXPECT_THROW(FileDateToDateTime(0), EConvertError); // month 0
}

TEST(FileExists, FilesInsideTheDosYearsOnly) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    EXPECT_TRUE(FileExists(dir / "f"));
    EXPECT_FALSE(FileExists(dir / "missing"));
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    EXPECT_FALSE(FileExists(dir / "sub"));
    EXPECT_TRUE(DirectoryExists(dir / "sub"));
    EXPECT_FALSE(DirectoryExists(dir / "f"));
    SetLocalWriteTime(dir / "f", 1979, 12, 31, 23, 0, 0);
    EXPECT_FALSE(FileExists(dir / "f"));
    SetLocalWriteTime(dir / "f", 1980, 1, 1, 0, 0, 0);
    EXPECT_TRUE(FileExists(dir / "f"));
}

TEST(FileExists, AWildcardNamesNoFile) {
    TempDir dir;
    WriteFile(dir / "ab", "x");
    for (const char* pattern : {"a*", "*", "a?", "?b"}) {
        SCOPED_TRACE(pattern);
        EXPECT_FALSE(FileExists(dir / pattern));
        WIN32_FILE_ATTRIBUTE_DATA data;
        EXPECT_FALSE(GetFileData(dir / pattern, data));
    }
}

TEST(ForceDirectories, CreatesParentsAndRejectsEmpty) {
    TempDir dir;
    EXPECT_TRUE(ForceDirectories(dir / "a\\b\\c"));
    EXPECT_TRUE(DirectoryExists(dir / "a\\b\\c"));
    EXPECT_TRUE(ForceDirectories(dir / "a\\b\\"));
    WriteFile(dir / "file", "");
    EXPECT_FALSE(ForceDirectories(dir / "file\\sub"));
    EXPECT_THROW(ForceDirectories(""), EInOutError);
}

TEST(Paths, Parts) {
    EXPECT_EQ(ExtractFilePath("C:\\a\\b.exe"), "C:\\a\\");
    EXPECT_EQ(ExtractFilePath("C:b.exe"), "C:");
    EXPECT_EQ(ExtractFilePath("b.exe"), "");
    EXPECT_EQ(ExtractFileName("C:\\a\\b.exe"), "b.exe");
    EXPECT_EQ(ExtractFileDrive("C:\\a"), "C:");
    EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\a"), "\\\\srv\\share");
    EXPECT_EQ(ExtractFileDrive("a\\b"), "");
    EXPECT_EQ(ExtractFileDrive("\\a"), "");
    EXPECT_EQ(IncludeTrailingBackslash("a"), "a\\");
    EXPECT_EQ(IncludeTrailingBackslash("a\\"), "a\\");
    EXPECT_EQ(ExcludeTrailingBackslash("a\\"), "a");
    EXPECT_EQ(ExcludeTrailingBackslash("\\"), "");
    EXPECT_EQ(AnsiPos("\\.\\", "a\\.\\b"), 1u);
    EXPECT_EQ(AnsiPos("x", "abc"), AnsiString::npos);
    const AnsiString exe = ExeName();
    EXPECT_EQ(ExtractFileName(exe), "SysUtilsTest.exe");
}
