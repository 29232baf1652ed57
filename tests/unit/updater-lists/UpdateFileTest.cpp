#include "UpdateFile.h"

#include "Times.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const AnsiString kBaseLine = "a/b.dll?dir/b.dll?2003/06/12?08:38:20?1200";

struct Good {
    AnsiString line;
    AnsiString path, url;
    TDateTime time;
    int size;
    AnsiString local;
};

// A line of the given date and time fields around a fixed path, URL and size.
AnsiString Stamped(const AnsiString& date, const AnsiString& time) {
    return "p?u?" + date + "?" + time + "?7";
}
Good When(const AnsiString& date, const AnsiString& time, TDateTime expected) {
    return {Stamped(date, time), "p", "u", expected, 7, ""};
}

// Built at run time: the date functions are not ready while statics are initialised.
std::vector<Good> GoodLines() {
    const TDateTime kBase = At(2003, 6, 12, 8, 38, 20);
    return {
        {kBaseLine, "a\\b.dll", "dir/b.dll", kBase, 1200, ""},
        {kBaseLine + "?", "a\\b.dll", "dir/b.dll", kBase, 1200, ""},
        {kBaseLine + "?dl\\x.tmp", "a\\b.dll", "dir/b.dll", kBase, 1200, "dl\\x.tmp"},
        {kBaseLine + "?a?b", "a\\b.dll", "dir/b.dll", kBase, 1200, "a?b"},
        {kBaseLine + "?\t x y \t", "a\\b.dll", "dir/b.dll", kBase, 1200, "x y"},
        {kBaseLine + "?   ", "a\\b.dll", "dir/b.dll", kBase, 1200, ""},
        // Blanks and control characters at both ends and after each of the first four "?".
        {" \t a/b.dll? dir/b.dll?\t2003/06/12?\r 08:38:20?  1200 \n", "a\\b.dll", "dir/b.dll",
         kBase, 1200, ""},
        // Before a "?" they stay part of path and URL.
        {"p ?u ?2003/06/12?08:38:20?1200", "p ", "u ", kBase, 1200, ""},
        {"C:/app/sub/x.exe?http://h/a/x.exe?2003/06/12?08:38:20?1", "C:\\app\\sub\\x.exe",
         "http://h/a/x.exe", kBase, 1, ""},
        {"p?u?2003/06/12?08:38:20?$4B0", "p", "u", kBase, 1200, ""},
        {"p?u?2003/06/12?08:38:20?2147483647", "p", "u", kBase, 2147483647, ""},
        When("0/06/12", "08:38:20", At(2000, 6, 12, 8, 38, 20)),
        When("79/06/12", "08:38:20", At(2079, 6, 12, 8, 38, 20)),
        When("80/06/12", "08:38:20", At(1980, 6, 12, 8, 38, 20)),
        When("99/06/12", "08:38:20", At(1999, 6, 12, 8, 38, 20)),
        When("1980/01/01", "00:00:00", At(1980, 1, 1, 0, 0, 0)),
        When("9999/12/31", "23:59:59", At(9999, 12, 31, 23, 59, 59)),
        When("2003/01/31", "08:38:20", At(2003, 1, 31, 8, 38, 20)),
        When("2004/02/29", "08:38:20", At(2004, 2, 29, 8, 38, 20)),
        When("2003/12/31", "08:38:20", At(2003, 12, 31, 8, 38, 20)),
        // Any non-digit separates, and only the six numbers together count.
        When("2003-6-1", "8.5.0", At(2003, 6, 1, 8, 5, 0)),
        When("03.06.12", "08h38m20", At(2003, 6, 12, 8, 38, 20)),
        When("2003a6b1", "8\0015\3770", At(2003, 6, 1, 8, 5, 0)),
        When("2003/06/12/08", "38:20", At(2003, 6, 12, 8, 38, 20)),
        When("2003", "06/12/08:38:20", At(2003, 6, 12, 8, 38, 20)),
        When("0002003/006/012", "008:038:020", At(2003, 6, 12, 8, 38, 20)),
    };
}

// Each line with the reason the reader gives for it.
struct Bad {
    AnsiString line;
    AnsiString reason;
};

const AnsiString kSizeIs = "the size ", kNoSize = "\" is not a whole number of at least 1";

const Bad kBadLines[] = {
    {"", "too few fields: no URL follows the path"},
    {" \t ", "too few fields: no URL follows the path"},
    {"a/b.dll", "too few fields: no URL follows the path"},
    {"a/b.dll?dir/b.dll", "too few fields: no date follows the URL"},
    {"a/b.dll?dir/b.dll?2003/06/12?08:38:20", // fewer than four "?"
     "too few fields: no size follows the time"},
    {"a/b.dll?dir/b.dll?2003/06/12", "too few fields: no time follows the date"},
    {"?u?2003/06/12?08:38:20?1200", "the path is empty"}, // begins with "?"
    {" ?u?2003/06/12?08:38:20?1200", "the path is empty"},
    {"p??2003/06/12?08:38:20?1200", "the URL is empty"}, // two "?" in a row
    {"p? ?2003/06/12?08:38:20?1200", "the URL is empty"},
    {"p?u??08:38:20?1200", "the date is empty"},
    {"p?u?2003/06/12??1200", "the time is empty"},
    {"p?u?2003/06/12?08:38:20??x", kSizeIs + "\"" + kNoSize},
    // A blank before the "?" after date or time.
    {"p?u?2003/06/12 ?08:38:20?1200", "the date \"2003/06/12 \" is not yyyy/mm/dd"},
    {"p?u?2003/06/12?08:38:20 ?1200", "the time \"08:38:20 \" is not hh:mm:ss"},
    // Size.
    {"p?u?2003/06/12?08:38:20?0", kSizeIs + "\"0" + kNoSize},
    {"p?u?2003/06/12?08:38:20?-5", kSizeIs + "\"-5" + kNoSize},
    {"p?u?2003/06/12?08:38:20?12a", kSizeIs + "\"12a" + kNoSize},
    {"p?u?2003/06/12?08:38:20?", kSizeIs + "\"" + kNoSize},
    {"p?u?2003/06/12?08:38:20?1200 ?x", kSizeIs + "\"1200 " + kNoSize},
    {"p?u?2003/06/12?08:38:20?2147483648", kSizeIs + "\"2147483648" + kNoSize},
    // Years, months and days.
    {Stamped("100/06/12", "08:38:20"),
     "the year \"100\" in the date \"100/06/12\" is not from 1980 to 9999"},
    {Stamped("1979/12/31", "23:59:59"),
     "the year \"1979\" in the date \"1979/12/31\" is not from 1980 to 9999"},
    {Stamped("10000/01/01", "00:00:00"),
     "the year \"10000\" in the date \"10000/01/01\" is not from 1980 to 9999"},
    {Stamped("2147483648/01/01", "00:00:00"),
     "the year \"2147483648\" in the date \"2147483648/01/01\" is not from 1980 to 9999"},
    {Stamped("2003/00/12", "08:38:20"),
     "the month \"00\" in the date \"2003/00/12\" is not from 1 to 12"},
    {Stamped("2003/13/12", "08:38:20"),
     "the month \"13\" in the date \"2003/13/12\" is not from 1 to 12"},
    {Stamped("2003/02/29", "08:38:20"),
     "the day \"29\" in the date \"2003/02/29\" is past the end of its month"},
    {Stamped("2003/02/30", "08:38:20"),
     "the day \"30\" in the date \"2003/02/30\" is past the end of its month"},
    {Stamped("2003/04/31", "08:38:20"),
     "the day \"31\" in the date \"2003/04/31\" is past the end of its month"},
    {Stamped("2003/06/00", "08:38:20"),
     "the day \"00\" in the date \"2003/06/00\" is not from 1 to 31"},
    {Stamped("2003/06/32", "08:38:20"),
     "the day \"32\" in the date \"2003/06/32\" is not from 1 to 31"},
    {Stamped("05/01/2024", "12:00:00"), // month, day and year
     "the day \"2024\" in the date \"05/01/2024\" is not from 1 to 31"},
    // Hours, minutes and seconds.
    {Stamped("2003/06/12", "24:00:00"),
     "the hour \"24\" in the time \"24:00:00\" is not from 0 to 23"},
    {Stamped("2003/06/12", "08:60:00"),
     "the minute \"60\" in the time \"08:60:00\" is not from 0 to 59"},
    {Stamped("2003/06/12", "08:38:60"),
     "the second \"60\" in the time \"08:38:60\" is not from 0 to 59"},
    {Stamped("2003/06/12", "08:38:99999999999"),
     "the second \"99999999999\" in the time \"08:38:99999999999\" is not from 0 to 59"},
    // Numbers that stand in the other field than their place among the six: the date does not
    // hold its three.
    {Stamped("2003/06/12/25", "38:20"), "the date \"2003/06/12/25\" is not yyyy/mm/dd"},
    {Stamped("2003/02", "30/08:38:20"), "the date \"2003/02\" is not yyyy/mm/dd"},
    // Five or seven numbers, and empty numbers: the date is at fault unless it holds three.
    {Stamped("2003/06/12", "08:38"), "the time \"08:38\" is not hh:mm:ss"},
    {Stamped("2024-05-01", "12:00"), "the time \"12:00\" is not hh:mm:ss"},
    {Stamped("2003/06/12", "08:38:20:01"), "the time \"08:38:20:01\" is not hh:mm:ss"},
    {Stamped("2003/06", "08:38:20"), "the date \"2003/06\" is not yyyy/mm/dd"},
    {Stamped("2003/06/12/08", "38:20:01"), "the date \"2003/06/12/08\" is not yyyy/mm/dd"},
    {Stamped("2003/06/12/08/38/20", "01"), "the date \"2003/06/12/08/38/20\" is not yyyy/mm/dd"},
    {Stamped("2003/06/12/", "08:38:20"), "the date \"2003/06/12/\" is not yyyy/mm/dd"},
    {Stamped("2003//06", "12:08:38:20"), "the date \"2003//06\" is not yyyy/mm/dd"},
    {Stamped("/2003/06/12", "08:38:20"), "the date \"/2003/06/12\" is not yyyy/mm/dd"},
    {Stamped("2003/06/12", "08:38:"), "the time \"08:38:\" is not hh:mm:ss"},
    {Stamped("2003/06/12", ":08:38:20"), "the time \":08:38:20\" is not hh:mm:ss"},
    {Stamped("2003y6m1d", "08:38:20"), "the date \"2003y6m1d\" is not yyyy/mm/dd"},
    // A "?" in the URL shifts every later field.
    {"p?http://h/x?a=1?2003/06/12?08:38:20?1200", kSizeIs + "\"08:38:20" + kNoSize},
};

void ExpectFields(const TUpdateFile& entry, const AnsiString& path, const AnsiString& url,
                  TDateTime time, int size, const AnsiString& local) {
    EXPECT_EQ(entry.Path, path);
    EXPECT_EQ(entry.Url, url);
    EXPECT_EQ(entry.Time, time);
    EXPECT_EQ(entry.Size, size);
    EXPECT_EQ(entry.LocalFile, local);
}

} // namespace

TEST(TUpdateFile, ParsesLines) {
    for (const Good& g : GoodLines()) {
        SCOPED_TRACE(g.line);
        auto entry = CreateUpdateFile(g.line);
        ASSERT_TRUE(entry);
        ExpectFields(*entry, g.path, g.url, g.time, g.size, g.local);
    }
}

TEST(TUpdateFile, RejectsLines) {
    for (const Bad& bad : kBadLines) {
        SCOPED_TRACE(bad.line);
        EXPECT_FALSE(CreateUpdateFile(bad.line));
        AnsiString reason;
        EXPECT_FALSE(CreateUpdateFile(bad.line, &reason));
        EXPECT_EQ(reason, bad.reason);
        TUpdateFile entry(bad.line);
        EXPECT_EQ(entry.Path, "");
        EXPECT_EQ(entry.Size, -1);
        // A parse over a good entry says the same and clears it.
        TUpdateFile good(kBaseLine);
        reason.clear();
        EXPECT_FALSE(good.Parse(bad.line, &reason));
        EXPECT_EQ(reason, bad.reason);
        EXPECT_EQ(good.Path, "");
    }
}

TEST(TUpdateFile, FailedParseClearsEveryField) {
    TUpdateFile entry(kBaseLine + "?dl\\x.tmp");
    ASSERT_EQ(entry.Path, "a\\b.dll");
    EXPECT_FALSE(entry.Parse("p?u?2003/02/29?08:38:20?1200"));
    EXPECT_EQ(entry.Path, "");
    EXPECT_EQ(entry.Url, "");
    EXPECT_EQ(entry.LocalFile, "");
    EXPECT_EQ(entry.Time, 0);
    EXPECT_EQ(entry.Size, -1);
    EXPECT_TRUE(entry.Parse(kBaseLine));
    EXPECT_EQ(entry.Path, "a\\b.dll");
    EXPECT_EQ(entry.Size, 1200);
}

TEST(TUpdateFile, GetLineWritesTheFieldsBack) {
    // The test bed's locale gives "/" and ":" as separators.
    TUpdateFile entry(kBaseLine);
    EXPECT_EQ(entry.GetLine(), "a\\b.dll?dir/b.dll?2003/06/12?08:38:20?1200");
    entry.LocalFile = "C:\\q\\Download\\ud0.$$$";
    EXPECT_EQ(entry.GetLine(),
              "a\\b.dll?dir/b.dll?2003/06/12?08:38:20?1200?C:\\q\\Download\\ud0.$$$");
    EXPECT_EQ(TUpdateFile(Stamped("0-1-2", "3.4.5")).GetLine(), "p?u?2000/01/02?03:04:05?7");
}

TEST(TUpdateFile, WrittenLinesReadBackToTheSameFields) {
    for (const Good& g : GoodLines()) {
        SCOPED_TRACE(g.line);
        TUpdateFile entry(g.line);
        auto back = CreateUpdateFile(entry.GetLine());
        ASSERT_TRUE(back);
        ExpectFields(*back, entry.Path, entry.Url, entry.Time, entry.Size, entry.LocalFile);
    }
}
