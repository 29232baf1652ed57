#include "disp.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

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

// A line fits when it has at most so many bytes.
std::function<bool(const AnsiString&)> AtMost(AnsiString::size_type bytes) {
    return [bytes](const AnsiString& line) { return line.size() <= bytes; };
}

TEST(FittedProgressLine, CutsTheNameFromItsFrontUntilTheLineFits) {
    const AnsiString path = "C:\\Program Files\\Sample Viewer\\quen6\\Download\\ud0.$$$";
    const AnsiString full = ProgressLine("Receiving", path, 1, 2);
    struct Row {
        const char* what;
        AnsiString name;
        AnsiString::size_type room;
        AnsiString line;
    } rows[] = {
        {"fits: the line as it is built", path, full.size(), full},
        {"short name fits", "list", 100, "Receiving:list;1/2"},
        {"one byte short", path, full.size() - 1,
         "Receiving:..." + path.substr(path.size() - 46) + ";1/2"},
        {"a short name is cut too", "readme.txt", 22, "Receiving:...e.txt;1/2"},
        {"nothing of the name fits", path, 10, "Receiving:...;1/2"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(FittedProgressLine("Receiving", r.name, 1, 2, AtMost(r.room)), r.line);
    }
}

// Under the code page 932 a double-byte character is dropped whole, never split.
TEST(FittedProgressLine, KeepsDoubleByteCharactersWhole) {
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the code page 932";
    // "\x95\x5c" is one character whose second byte is a backslash.
    const AnsiString name = "ab\x95\x5c\x95\x5cz";
    const struct {
        AnsiString::size_type room;
        const char* shown;
    } rows[] = {
        {13, "ab\x95\x5c\x95\x5cz"}, // fits whole
        {12, "...\x95\x5cz"},
        {11, "...z"}, // never a lone trail byte
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.room);
        EXPECT_EQ(FittedProgressLine("s", name, 1, 2, AtMost(r.room)),
                  AnsiString("s:") + r.shown + ";1/2");
    }
}

// The window's status line in its own label: the longest line the run can show is drawn on one
// line, within the label, with both counts whole.
TEST(FittedProgressLine, DrawnWithinTheLabel) {
    Application->Initialize();
    TForm form(nullptr);
    TLabel label(&form, 16, 48, 441, 20);
    const AnsiString name =
        "Z:\\work\\Program Files\\Sample Viewer Professional\\quen6\\Download\\ud12.$$$";
    const AnsiString status = "Receiving data from the server";
    const AnsiString line =
        FittedProgressLine(status, name, 2147483647, 2147483647, [&](const AnsiString& l) {
            return label.TextWidth(l) <= label.ClientWidth();
        });
    EXPECT_NE(line, ProgressLine(status, name, 2147483647, 2147483647));
    EXPECT_EQ(line.substr(line.size() - 22), ";2147483647/2147483647");
    EXPECT_EQ(line.compare(0, status.size() + 4, status + ":..."), 0);

    const HDC dc = GetDC(label.Handle());
    const HGDIOBJ previous = SelectObject(dc, form.Font());
    RECT drawn{0, 0, 0, 0};
    DrawTextA(dc, line.c_str(), static_cast<int>(line.size()), &drawn,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(label.Handle(), dc);
    EXPECT_LE(drawn.right, 441);
    EXPECT_GT(drawn.right, 300); // no more of the name is dropped than needed
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
