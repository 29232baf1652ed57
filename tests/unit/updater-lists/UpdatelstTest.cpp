#include "Updatelst.h"

#include "DebugOutput.h"
#include "HttpMod.h"
#include "HttpTestServer.h"
#include "Lists.h"
#include "TempDir.h"
#include "Times.h"

#include <gtest/gtest.h>

namespace {

const AnsiString E1 = EntryLine("a.dll");
const AnsiString E2 = EntryLine("b.dll");

struct Text {
    const char* name;
    AnsiString text; // lines ended by "\n"
    bool parses;
    AnsiString message;
    bool needed;
    Names paths; // after Parse
};

const Text kTexts[] = {
    {"empty", "", true, "", false, {}},
    {"blanks only", " \n\t\n  \n", true, "", false, {}},
    {"no header", E1 + "\n" + E2 + "\n", true, "", false, {}},
    {"header in another case", "[Update]\n" + E1 + "\n", true, "", false, {}},
    {"header with blanks around", " \t[update]\t \n" + E1 + "\n", true, "", false, {"a.dll"}},
    {"only the marker", "[update]\n$$needed$$\n", true, "", true, {}},
    {"marker with blanks around", "[update]\n \t$$needed$$ \n" + E1, true, "", true, {"a.dll"}},
    {"marker after the entries", "[update]\n" + E1 + "\n$$needed$$", true, "", true, {"a.dll"}},
    {"marker before every header",
     "$$needed$$\n[update]\n" + E1 + "\n",
     true,
     "",
     false,
     {"a.dll"}},
    {"marker inside the message",
     "[message]\n$$needed$$\n[update]\n" + E1 + "\n",
     true,
     "\n$$needed$$",
     false,
     {"a.dll"}},
    {"marker after the section",
     "[update]\n" + E1 + "\n[x]\n$$needed$$\n",
     true,
     "",
     false,
     {"a.dll"}},
    {"marker in another case", "[update]\n$$NEEDED$$\n" + E1 + "\n", false, "", false, {"a.dll"}},
    {"message of three lines", "[message]\nHello\n\nWorld\n", true, "\nHello\n\nWorld", false, {}},
    {"message lines trimmed", "  [message] \n \t Hello \t\n", true, "\nHello", false, {}},
    {"message header followed by a header",
     "[message]\n[update]\n" + E1 + "\n",
     true,
     "",
     false,
     {"a.dll"}},
    {"message of one empty line", "[message]\n\n[update]\n", true, "\n", false, {}},
    {"message of blank lines up to the end", "[message]\n \n\t", true, "\n\n", false, {}},
    {"message line beginning with [", "[message]\nA\n [note] B\nC\n", true, "\nA", false, {}},
    {"update before message",
     "[update]\n" + E2 + "\n" + E1 + "\n[message]\nHi\n",
     true,
     "\nHi",
     false,
     {"a.dll", "b.dll"}},
    {"lines before, between and after the sections",
     "intro\n[message]\nHi\n[other]\nx\n[update]\n" + E1 + "\n[end]\n" + E2 + "\n",
     true,
     "\nHi",
     false,
     {"a.dll"}},
    {"two update sections",
     "[update]\n" + E1 + "\n[update]\n" + E2 + "\n",
     true,
     "",
     false,
     {"a.dll"}},
    {"two message sections", "[message]\nA\n[message]\nB\n", true, "\nA", false, {}},
    {"empty and blank lines inside the section",
     "[update]\n\n  \n" + E2 + "\n\t\n" + E1 + "\n \n",
     true,
     "",
     false,
     {"a.dll", "b.dll"}},
    {"entry line with blanks around", "[update]\n  " + E1 + " \t\n", true, "", false, {"a.dll"}},
    {"entry line that forms no entry",
     "[message]\nM\n[update]\n" + E2 + "\nbad line\n" + E1 + "\n$$needed$$\n",
     false,
     "\nM",
     true,
     {"b.dll", "a.dll"}},
};

// The text with every "\n" replaced by the given line break.
AnsiString WithBreaks(const AnsiString& text, const AnsiString& lineBreak) {
    AnsiString out;
    for (char c : text)
        out += c == '\n' ? lineBreak : AnsiString(1, c);
    return out;
}

} // namespace

TEST(TUpdateFileList, ParsesListTexts) {
    for (const Text& t : kTexts)
        for (const char* lineBreak : {"\r\n", "\n", "\r"}) {
            SCOPED_TRACE(testing::Message()
                         << t.name << ", break " << int(lineBreak[0]) << int(lineBreak[1]));
            TUpdateFileList list;
            list.Lines.SetText(WithBreaks(t.text, lineBreak));
            EXPECT_EQ(list.Parse(), t.parses);
            EXPECT_EQ(list.GetMessage(), t.message);
            EXPECT_EQ(list.IsNeeded(), t.needed);
            EXPECT_EQ(PathsOf(list), t.paths);
        }
}

TEST(TUpdateFileList, NulEndsTheText) {
    TUpdateFileList list;
    list.Lines.SetText("[update]\r\n" + E1 + AnsiString(1, '\0') + "\r\n" + E2 + "\r\n");
    EXPECT_TRUE(list.Parse());
    EXPECT_EQ(PathsOf(list), (Names{"a.dll"}));
}

TEST(TUpdateFileList, ParseKeepsTheLatestEntryOfEachPathInPathOrder) {
    const AnsiString early = "2003/06/12?08:38:20", late = "2003/06/12?08:38:21";
    const AnsiString lines[][3] = {
        {EntryLine("x.dll", "old", early), EntryLine("m.dll"), EntryLine("x.dll", "new", late)},
        {EntryLine("x.dll", "new", late), EntryLine("m.dll"), EntryLine("x.dll", "old", early)},
        {EntryLine("x.dll", "old", early), EntryLine("x.dll", "new", late), EntryLine("m.dll")},
    };
    for (const auto& three : lines) {
        SCOPED_TRACE(three[0]);
        TUpdateFileList list;
        list.Lines.SetText("[update]\n" + three[0] + "\n" + three[1] + "\n" + three[2]);
        ASSERT_TRUE(list.Parse());
        EXPECT_EQ(PathsOf(list), (Names{"m.dll", "x.dll"}));
        EXPECT_EQ(list.GetUrl(1), "new");
        EXPECT_EQ(list.GetTime(1), At(2003, 6, 12, 8, 38, 21));
    }
}

TEST(TUpdateFileList, PathsOfAnotherCaseAreOtherEntries) {
    TUpdateFileList list;
    list.Lines.SetText("[update]\n" + EntryLine("A.dll", "upper") + "\n" +
                       EntryLine("a.dll", "lower") + "\n" + EntryLine("B.dll") + "\n" +
                       EntryLine("a.dll", "again"));
    ASSERT_TRUE(list.Parse());
    // The user's locale puts "a" before "A", and both before "B".
    EXPECT_EQ(PathsOf(list), (Names{"a.dll", "A.dll", "B.dll"}));
    EXPECT_EQ(list.GetUrl(1), "upper");
}

TEST(TUpdateFileList, OnlyTheServerListIsOrdered) {
    const AnsiString text = "[update]\n" + EntryLine("c") + "\n" + EntryLine("a") + "\n" +
                            EntryLine("b") + "\n" + EntryLine("a", "second");
    TUpdateFileList state;
    state.Lines.SetText(text);
    EXPECT_TRUE(state.ReadFiles());
    EXPECT_EQ(PathsOf(state), (Names{"c", "a", "b", "a"}));
    TUpdateFileList server;
    server.Lines.SetText(text);
    EXPECT_TRUE(server.Parse());
    EXPECT_EQ(PathsOf(server), (Names{"a", "b", "c"}));
}

TEST(TUpdateFileList, ServerListNamesNoDownloads) {
    TUpdateFileList list;
    list.Lines.SetText("[update]\n" + EntryLine("a.dll") + "?C:\\windows\\win.ini");
    ASSERT_TRUE(list.Parse());
    EXPECT_EQ(list.GetLocalPath(0), "");
    // The state list keeps them.
    list.Lines.SetText("[update]\n" + EntryLine("a.dll") + "?C:\\q\\Download\\ud0.$$$");
    ASSERT_TRUE(list.ReadFiles());
    EXPECT_EQ(list.GetLocalPath(0), "C:\\q\\Download\\ud0.$$$");
}

TEST(TUpdateFileList, ReadFilesStartsAfreshButKeepsTheMarker) {
    TUpdateFileList list;
    list.Lines.SetText("[update]\n$$needed$$\n" + E1 + "\n" + E2);
    ASSERT_TRUE(list.ReadFiles());
    list.Lines.SetText("[update]\n" + E2);
    ASSERT_TRUE(list.ReadFiles());
    EXPECT_EQ(PathsOf(list), (Names{"b.dll"}));
    EXPECT_TRUE(list.IsNeeded());
    list.Lines.SetText("[message]\nfirst");
    list.ReadMessage();
    list.Lines.SetText("no message");
    list.ReadMessage();
    EXPECT_EQ(list.GetMessage(), "");
}

TEST(TUpdateFileList, AccessorsAndInvalidIndexes) {
    TUpdateFileList list;
    EXPECT_EQ(list.GetRequestResult(), 0);
    EXPECT_FALSE(list.IsNeeded());
    ASSERT_TRUE(list.AddFileLine("dir/x.dll?http://h/x.dll?2003/06/12?08:38:20?1200?dl\\ud0.$$$"));
    EXPECT_FALSE(list.AddFileLine("not an entry"));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Files.Strings(0),
              "dir/x.dll?http://h/x.dll?2003/06/12?08:38:20?1200?dl\\ud0.$$$");
    EXPECT_EQ(list.GetFile(0)->Path, "dir\\x.dll");
    EXPECT_EQ(list.GetName(0), "dir\\x.dll");
    EXPECT_EQ(list.GetUrl(0), "http://h/x.dll");
    EXPECT_EQ(list.GetLocalPath(0), "dl\\ud0.$$$");
    EXPECT_EQ(list.GetSize(0), 1200);
    EXPECT_EQ(list.GetTime(0), At(2003, 6, 12, 8, 38, 20));
    for (int index : {-1, 1, 2, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(list.GetFile(index), nullptr);
        EXPECT_EQ(list.GetName(index), "");
        EXPECT_EQ(list.GetLocalPath(index), "");
        EXPECT_EQ(list.GetUrl(index), "");
        EXPECT_EQ(list.GetSize(index), -1);
        EXPECT_EQ(list.GetTime(index), 0.0);
        list.SetLocalPath(index, "elsewhere");
    }
    EXPECT_EQ(list.GetLocalPath(0), "dl\\ud0.$$$");
}

TEST(TUpdateFileList, RemoveAtAndClearFiles) {
    TUpdateFileList list;
    for (const char* path : {"a", "b", "c"})
        ASSERT_TRUE(list.AddFileLine(EntryLine(path)));
    list.RemoveAt(1);
    EXPECT_EQ(PathsOf(list), (Names{"a", "c"}));
    list.RemoveAt(0);
    EXPECT_EQ(PathsOf(list), (Names{"c"}));
    ASSERT_TRUE(list.AddFileLine(EntryLine("d")));
    list.ClearFiles();
    EXPECT_EQ(list.Count(), 0);
}

TEST(TUpdateFileList, WriteLines) {
    TUpdateFileList list;
    list.Lines.SetText("[message]\nHi\n[update]\n$$needed$$\n");
    ASSERT_TRUE(list.Parse());
    list.WriteLines();
    EXPECT_EQ(LinesOf(list.Lines), (Names{"[update]"}));

    ASSERT_TRUE(list.AddFileLine("b/x.dll?u1?03-6-12?8.38.20?7"));
    ASSERT_TRUE(list.AddFileLine("a.dll?u2?2004/02/29?23:59:59?$10?C:\\q\\Download\\ud0.$$$"));
    list.WriteLines();
    EXPECT_EQ(LinesOf(list.Lines),
              (Names{"[update]", "b\\x.dll?u1?2003/06/12?08:38:20?7",
                     "a.dll?u2?2004/02/29?23:59:59?16?C:\\q\\Download\\ud0.$$$"}));
}

TEST(TUpdateFileList, SetLocalPathDeletesTheFileNamedBefore) {
    TempDir dir;
    TUpdateFileList list;
    ASSERT_TRUE(list.AddFileLine(EntryLine("a.dll")));
    list.SetLocalPath(0, dir / "ud0.$$$"); // nothing named before, nothing there
    WriteFile(dir / "ud0.$$$", "first");
    SetFileAttributesA((dir / "ud0.$$$").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFile(dir / "ud1.$$$", "second");
    list.SetLocalPath(0, dir / "ud1.$$$");
    EXPECT_FALSE(Exists(dir / "ud0.$$$"));
    EXPECT_EQ(list.GetLocalPath(0), dir / "ud1.$$$");
    list.SetLocalPath(0, "");
    EXPECT_FALSE(Exists(dir / "ud1.$$$"));
    EXPECT_EQ(list.GetLocalPath(0), "");
}

class LoadFromUrl : public testing::Test {
  protected:
    LoadFromUrl() : http(nullptr) { Http = &http; }
    ~LoadFromUrl() override { Http = nullptr; }

    HttpTestServer server;
    THttp http;
    TUpdateFileList list;
};

TEST_F(LoadFromUrl, TextTrimmedAsAWhole) {
    list.Needed = true;
    server.Enqueue(HttpReply::Ok(" \r\n\t\r\n[update]\r\n" + E1 + "\r\n \r\n\r\n"));
    EXPECT_TRUE(list.LoadFromUrl(server.Url("/list.txt")));
    EXPECT_EQ(LinesOf(list.Lines), (Names{"[update]", E1}));
    EXPECT_FALSE(list.IsNeeded());
    EXPECT_EQ(list.GetRequestResult(), 2);
    EXPECT_EQ(list.Count(), 0); // the entries come with Parse

    server.Enqueue(HttpReply::Ok(" \r\n\t\r\n  "));
    EXPECT_TRUE(list.LoadFromUrl(server.Url("/list.txt")));
    EXPECT_EQ(list.Lines.Count(), 0);
    EXPECT_TRUE(list.Parse());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.GetMessage(), "");
    EXPECT_FALSE(list.IsNeeded());
}

// Notepad used to save a UTF-8 byte order mark at the start of a text; the "[update]" behind it
// is still the header.
TEST_F(LoadFromUrl, ByteOrderMarkIsNoPartOfTheText) {
    server.Enqueue(HttpReply::Ok("\xEF\xBB\xBF[update]\r\n" + E1 + "\r\n"));
    EXPECT_TRUE(list.LoadFromUrl(server.Url("/list.txt")));
    EXPECT_EQ(LinesOf(list.Lines), (Names{"[update]", E1}));
    EXPECT_TRUE(list.Parse());
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(LoadFromUrl, FailureEmptiesTheLinesAndKeepsTheRest) {
    list.Lines.SetText("[message]\nHi\n[update]\n" + E1);
    ASSERT_TRUE(list.Parse());
    server.Enqueue(HttpReply::NotFound());
    EXPECT_FALSE(list.LoadFromUrl(server.Url("/list.txt")));
    EXPECT_EQ(list.Lines.Count(), 0);
    EXPECT_EQ(list.GetRequestResult(), 2);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetMessage(), "\nHi");

    list.Lines.SetText("stale");
    EXPECT_FALSE(list.LoadFromUrl("http://127.0.0.1:1/list.txt"));
    EXPECT_EQ(list.Lines.Count(), 0);
    EXPECT_EQ(list.GetRequestResult(), 1);
}

// A list that a line makes unusable tells the vendor, in one line of the debugger output, which
// line it is, counted as an editor counts it, and why.
TEST_F(LoadFromUrl, RejectedListNamesItsFirstRejectedLine) {
    struct Row {
        const char* name;
        AnsiString text; // lines ended by "\n"
        int line;        // 0: the list parses
        AnsiString reason;
    };
    const Row rows[] = {
        {"time without seconds after the message and the marker",
         "[message]\nNew version\n\n[update]\n$$needed$$\n" + E1 + "\np?u?2024/05/01?12:00?7\n", 7,
         "the time \"12:00\" is not hh:mm:ss"},
        {"date as month, day, year", "[update]\np?u?05/01/2024?12:00:00?7\n", 2,
         "the day \"2024\" in the date \"05/01/2024\" is not from 1 to 31"},
        {"year before 1980", "[update]\n" + E1 + "\np?u?1979/12/31?23:59:58?7\n", 3,
         "the year \"1979\" in the date \"1979/12/31\" is not from 1980 to 9999"},
        {"day past the end of its month", "[update]\np?u?2023/02/29?12:00:00?7\n", 2,
         "the day \"29\" in the date \"2023/02/29\" is past the end of its month"},
        {"size 0", "[update]\np?u?2024/05/01?12:00:00?0\n", 2,
         "the size \"0\" is not a whole number of at least 1"},
        {"size not a number", "[update]\np?u?2024/05/01?12:00:00?12 KB\n", 2,
         "the size \"12 KB\" is not a whole number of at least 1"},
        {"too few fields", "[update]\np?http://h/p\n", 2,
         "too few fields: no date follows the URL"},
        {"empty URL", "[update]\np??2024/05/01?12:00:00?7\n", 2, "the URL is empty"},
        {"marker in another case", "[update]\n$$NEEDED$$\n", 2,
         "too few fields: no URL follows the path"},
        {"the first of two rejected lines",
         "[update]\n" + E1 + "\np?u?2024/05/01?12:00?7\np?u?2024/05/01?12:00:00?0\n", 3,
         "the time \"12:00\" is not hh:mm:ss"},
        {"blank lines inside the section count",
         "[update]\n\n  \n" + E1 + "\n\np?u?2024/05/01?12:00:00?0\n", 6,
         "the size \"0\" is not a whole number of at least 1"},
        // Blank lines before the text are trimmed off before it is read, yet the vendor sees them.
        {"blank lines and blanks before the text",
         "\n \t\n\n  [update]\np?u?2024/05/01?12:00:00?0\n", 5,
         "the size \"0\" is not a whole number of at least 1"},
        {"byte order mark and a blank line before the text",
         "\xEF\xBB\xBF\n[update]\np?u?2024/05/01?12:00:00?0\n", 3,
         "the size \"0\" is not a whole number of at least 1"},
        {"a bad line after the section is not read",
         "[update]\n" + E1 + "\n[notes]\np?u?2024/05/01?12:00?7\n", 0, ""},
    };
    for (const Row& row : rows)
        for (const char* lineBreak : {"\r\n", "\n", "\r"}) {
            SCOPED_TRACE(testing::Message()
                         << row.name << ", break " << int(lineBreak[0]) << int(lineBreak[1]));
            server.Enqueue(HttpReply::Ok(WithBreaks(row.text, lineBreak)));
            const std::string url = server.Url("/list.txt");
            ASSERT_TRUE(list.LoadFromUrl(url));
            const DebugOutput output;
            EXPECT_EQ(list.Parse(), row.line == 0);
            EXPECT_EQ(output.Text(), row.line == 0
                                         ? std::string()
                                         : "UpdatelstTest.exe: list " + url + ": line " +
                                               std::to_string(row.line) + ": " + row.reason + "\n");
        }
}

TEST_F(LoadFromUrl, ListFromAUrlWithoutSchemeIsNamedAsRequested) {
    server.Enqueue(HttpReply::Ok("[update]\np?u?2024/05/01?12:00:00?0\n"));
    const std::string url = server.Url("/list.txt");
    ASSERT_TRUE(list.LoadFromUrl(url.substr(std::string("http://").size())));
    const DebugOutput output;
    EXPECT_FALSE(list.Parse());
    EXPECT_EQ(output.Text(), "UpdatelstTest.exe: list " + url +
                                 ": line 2: the size \"0\" is not a whole number of at least 1\n");
}

// Only http:// is fetched; a URL of another scheme fails as a raised request (the next list URL
// is tried) and its trace says why.
TEST_F(LoadFromUrl, OtherSchemeIsNotFetched) {
    const std::string hostAndPath = "127.0.0.1:" + std::to_string(server.Port()) + "/list.txt";
    for (const std::string scheme : {"https", "HTTPS", "ftp", "svn+ssh"}) {
        SCOPED_TRACE(scheme);
        const std::string url = scheme + "://" + hostAndPath;
        const DebugOutput output;
        EXPECT_FALSE(list.LoadFromUrl(url));
        EXPECT_EQ(list.GetRequestResult(), 1);
        EXPECT_EQ(output.Text(),
                  "UpdatelstTest.exe: GET " + url + ": only http:// URLs are fetched\n");
    }
    EXPECT_TRUE(server.Requests().empty());
}
