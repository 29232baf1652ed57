#include "Updatelst.h"

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
