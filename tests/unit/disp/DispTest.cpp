#include "disp.h"

#include <gtest/gtest.h>

#include <climits>

TEST(MutexName, KeepsUpperCasedAsciiLettersAndDigits) {
    struct Row {
        const char* path;
        const char* name;
    } rows[] = {
        {"C:\\Tools\\Upd2\\x.exe", "CTOOLSUPD2XEXE"},
        {"C:\\a-b\\x.exe", "CABXEXE"}, // these two installations share one name
        {"C:\\AB\\X.EXE", "CABXEXE"},
        {"D:\\Program Files (x86)\\App_1\\quen6\\quen6aux.exe",
         "DPROGRAMFILESX86APP1QUEN6QUEN6AUXEXE"},
        {"C:\\caf\xe9\\\xc9t\xe9\\q.exe", "CCAFTQEXE"}, // bytes of 128 and more go
        {"", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(MutexName(r.path), r.name);
    }
}

TEST(ShownName, FiftyBytesWholeLongerNamesKeepTheirEnd) {
    const AnsiString fifty(50, 'a');
    EXPECT_EQ(ShownName(fifty), fifty);
    const AnsiString fiftyOne = "wxyz" + AnsiString(47, 'b');
    EXPECT_EQ(ShownName(fiftyOne), "..." + AnsiString(47, 'b'));
    const AnsiString path = "C:\\Program Files\\Application\\quen6\\Download\\ud12.$$$";
    EXPECT_EQ(ShownName(path), "..." + path.substr(path.size() - 47));
    EXPECT_EQ(ShownName(path).size(), 50u);
    EXPECT_EQ(ShownName(""), "");
    // Bytes are counted: a double-byte character counts twice.
    const AnsiString dbcs = AnsiString(24, 'x') + "\x83\x5c" + AnsiString(25, 'y');
    EXPECT_EQ(ShownName(dbcs), "..." + dbcs.substr(4));
}

TEST(ProgressLine, StatusNameAndCounts) {
    EXPECT_EQ(ProgressLine("Receiving", "list", 0, 0), "Receiving:list;0/0");
    EXPECT_EQ(ProgressLine("Receiving", "a.dll", 2147483647, 1200),
              "Receiving:a.dll;2147483647/1200");
    EXPECT_EQ(ProgressLine("", "", -1, -2), ":;-1/-2");
    EXPECT_EQ(ProgressLine("s", AnsiString(51, 'n'), 1, 2), "s:..." + AnsiString(47, 'n') + ";1/2");
}

TEST(Percent, TruncatesAndNeverOverflows) {
    struct Row {
        long long part;
        long long whole;
        int percent;
    } rows[] = {
        {0, 0, 0},
        {50, 0, 0}, // no total yet
        {0, 100, 0},
        {1, 3, 33},
        {2, 3, 66},
        {100, 100, 100},
        {200, 100, 200}, // more received than announced: the bar shows full
        {INT_MAX, INT_MAX, 100},
        {INT_MAX - 1, INT_MAX, 99},
        {INT_MAX / 2, INT_MAX, 49},
        {22000000, INT_MAX, 1},
        {2LL * INT_MAX, INT_MAX, 200}, // done bytes plus received beyond the int range
        {INT_MAX, 1, INT_MAX},         // held at the end of the range
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.part << " of " << r.whole);
        EXPECT_EQ(Percent(r.part, r.whole), r.percent);
    }
}

TEST(CountTransfer, DoneBytesGrowWhenTheTargetChanges) {
    struct Report {
        const char* name;
        int total;
        const char* progressName;
        int progressFileSize;
        int doneBytes;
    } reports[] = {
        {"list", 0, "list", 0, 0}, // the list fetch before the download
        {"list", 900, "list", 900, 0},
        {"ud0.$$$", 1000, "ud0.$$$", 0, 900}, // the first total under a name is not recorded
        {"ud0.$$$", 1000, "ud0.$$$", 1000, 900},
        {"ud0.$$$", 0, "ud0.$$$", 1000, 900}, // no total: nothing changes
        {"ud0.$$$", -1, "ud0.$$$", 1000, 900},
        {"ud1.$$$", 300, "ud1.$$$", 0, 1900},
        {"ud1.$$$", 300, "ud1.$$$", 300, 1900},
        {"ud1.$$$", 700, "ud1.$$$", 700, 1900}, // a second transfer under the same name
        {"UD1.$$$", 5, "UD1.$$$", 0, 2600},     // names compare case-sensitively
    };
    AnsiString progressName;
    int progressFileSize = 0;
    int doneBytes = 0;
    for (const Report& r : reports) {
        SCOPED_TRACE(::testing::Message() << r.name << " " << r.total);
        CountTransfer(r.name, r.total, progressName, progressFileSize, doneBytes);
        EXPECT_EQ(progressName, r.progressName);
        EXPECT_EQ(progressFileSize, r.progressFileSize);
        EXPECT_EQ(doneBytes, r.doneBytes);
    }
}
