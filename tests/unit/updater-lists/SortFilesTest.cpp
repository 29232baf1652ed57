// The order of a parsed list against the plain algorithm: a sort with CompareFiles, then the
// removal of each entry whose path equals its predecessor's. Run under the Western and the
// Japanese ANSI code page.
#include "Updatelst.h"

#include "Lists.h"
#include "PlainSortFiles.h"
#include "Times.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Pieces of paths that the user's locale orders in its own way: letter case, punctuation the
// word sort weighs apart, digits, and characters of the code page beyond ASCII.
std::vector<AnsiString> Pieces() {
    std::vector<AnsiString> pieces = {"a", "A", "b", "B", "z", "Z", "-", "_",  ".", "\\",
                                      " ", "'", "0", "1", "9", "~", "!", "ae", "(", "+"};
    if (GetACP() == 932) {
        for (const char* dbcs : {"\x82\xa0", "\x82\xa2", "\x83\x41", "\x83\x43", "\x82\x60",
                                 "\x82\x81", "\x8a\xbf", "\x95\x5c"}) // kana, letters, kanji
            pieces.push_back(dbcs);
        for (const char* kana : {"\xb1", "\xb2", "\xde"}) // half-width katakana
            pieces.push_back(kana);
    } else {
        for (const char* latin : {"\xe9", "\xc9", "\xe6", "\xc6", "\xdf", "\xf1", "\xfc", "\xad"})
            pieces.push_back(latin);
    }
    return pieces;
}

// Paths of up to six pieces, many of them listed more than once; each entry its own time.
AnsiString ListText(int entries, int paths) {
    std::mt19937 random(20030612);
    const std::vector<AnsiString> pieces = Pieces();
    std::vector<AnsiString> names;
    for (int i = 0; i < paths; ++i) {
        AnsiString name;
        for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n)
            name += pieces[random() % pieces.size()];
        name = Trim(name);
        names.push_back(name.empty() ? AnsiString("x") : name);
    }
    std::vector<int> seconds(entries);
    for (int i = 0; i < entries; ++i)
        seconds[i] = i;
    std::shuffle(seconds.begin(), seconds.end(), random);
    AnsiString text = "[update]\r\n";
    for (int i = 0; i < entries; ++i) {
        const int s = seconds[i];
        text += EntryLine(names[random() % names.size()], "u" + IntToStr(i),
                          "2003/06/12?" + IntToStr(s / 3600) + ":" + IntToStr(s / 60 % 60) + ":" +
                              IntToStr(s % 60)) +
                "\r\n";
    }
    return text;
}

struct Row {
    AnsiString path, url;
    TDateTime time;
    bool operator==(const Row& o) const { return path == o.path && url == o.url && time == o.time; }
};

std::vector<Row> RowsOf(const TUpdateFileList& list) {
    std::vector<Row> rows;
    for (int i = 0; i < list.Count(); ++i)
        rows.push_back({list.GetName(i), list.GetUrl(i), list.GetTime(i)});
    return rows;
}

} // namespace

TEST(SortFiles, GivesThePlainAlgorithmsResult) {
    const AnsiString text = ListText(3000, 700);

    TUpdateFileList plain;
    plain.Lines.SetText(text);
    ASSERT_TRUE(plain.ReadFiles());
    ASSERT_EQ(plain.Count(), 3000);
    PlainSortFiles(plain);

    TUpdateFileList list;
    list.Lines.SetText(text);
    ASSERT_TRUE(list.Parse());
    EXPECT_LT(list.Count(), 700);
    for (int i = 0; i + 1 < list.Count(); ++i)
        ASSERT_LT(TUpdateFileList::CompareFiles(&list.Files, i, i + 1), 0) << i;
    EXPECT_TRUE(RowsOf(list) == RowsOf(plain));
}

TEST(SortFiles, SameTimeAndPath) {
    TUpdateFileList list;
    list.Lines.SetText("[update]\n" + EntryLine("b", "1") + "\n" + EntryLine("a", "2") + "\n" +
                       EntryLine("b", "3") + "\n" + EntryLine("a", "4"));
    ASSERT_TRUE(list.Parse());
    EXPECT_EQ(PathsOf(list), (Names{"a", "b"}));
}

// Under code page 1252 a soft hyphen weighs nothing: "a" and "a" followed by one are equal to
// the locale, yet two paths.
TEST(SortFiles, PathsTheLocaleHoldsEqualKeepOneEntryEach) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the soft hyphen is a character of code page 1252";
    TUpdateFileList list;
    list.Lines.SetText("[update]\r\n" + EntryLine("a", "h/x", "2024/01/03?12:00:00") + "\r\n" +
                       EntryLine("a\xad", "h/x", "2024/01/02?12:00:00") + "\r\n" +
                       EntryLine("a", "h/x", "2024/01/01?12:00:00") + "\r\n");
    ASSERT_TRUE(list.Parse());
    ASSERT_EQ(list.Count(), 2);
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetName(i) == "a") {
            EXPECT_EQ(list.GetTime(i), EncodeDate(2024, 1, 3) + EncodeTime(12, 0, 0, 0));
        }
}

TEST(CompareFiles, ItemsWithoutAnEntryComeFirst) {
    TStringList files(true);
    files.AddObject("", nullptr);
    files.AddObject("", new TUpdateFile(EntryLine("a", "u", "2003/06/12?08:38:20")));
    files.AddObject("", new TUpdateFile(EntryLine("a", "u", "2003/06/12?08:38:22")));
    files.AddObject("", new TUpdateFile(EntryLine("A")));
    files.AddObject("", nullptr);
    const int expected[5][5] = {
        {0, -1, -1, -1, 0}, {1, 0, 1, -1, 1},   {1, -1, 0, -1, 1},
        {1, 1, 1, 0, 1},    {0, -1, -1, -1, 0},
    };
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            SCOPED_TRACE(testing::Message() << i << " " << j);
            EXPECT_EQ(TUpdateFileList::CompareFiles(&files, i, j), expected[i][j]);
        }
}
