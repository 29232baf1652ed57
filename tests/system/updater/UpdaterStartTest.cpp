// The updater's start: one instance per installation, its two start-up errors, its window,
// the one start of its run, and what the application it starts receives.
#include "Installation.h"

#include "BoxWatcher.h"
#include "HttpTestServer.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

namespace {

const AnsiString kCaption = "Demo:";

// An installation whose updater finds one file to download and stops at its question.
struct HeldAtQuestion : testing::Test {
    void SetUp() override {
        server.Route("/list.txt", HttpReply::Ok(list));
        inst.WriteSettings({"appname=", "list=" + server.Url("/list.txt")});
    }
    void Start() {
        updater = std::make_unique<Process>(inst.CommandLine(), inst.StartDir());
        form = WaitForWindow(updater->Id(), "TForm");
        question = WaitForWindow(updater->Id(), "#32770");
    }

    HttpTestServer server;
    const AnsiString list =
        UpdateList("", false, {EntryLine("a.dll", server.Url("/a.dll"), kListedWhen, 5)});
    Installation inst;
    std::unique_ptr<Process> updater;
    HWND form = nullptr;
    HWND question = nullptr;
};

TEST_F(HeldAtQuestion, SecondInstanceEndsAtOnceWithZeroAndShowsNothing) {
    Start();
    ASSERT_TRUE(question);
    // The second instance must end before it looks for its settings.
    ASSERT_TRUE(DeleteFileA((inst.UpdaterDir() + "quen6.ini").c_str()));
    {
        Process second(inst.CommandLine(" x"), inst.StartDir());
        BoxWatcher secondBoxes(second.Id());
        EXPECT_EQ(second.Wait(), 0);
        EXPECT_TRUE(secondBoxes.Boxes().empty());
    }
    EXPECT_EQ(server.Requests().size(), 1u);

    BoxWatcher boxes(updater->Id(), IDNO);
    EXPECT_EQ(updater->Wait(), 0);
    EXPECT_EQ(inst.AppRuns().size(), 1u); // the first instance's, after its optional question
}

TEST_F(HeldAtQuestion, AnotherInstallationRunsSideBySide) {
    Start();
    ASSERT_TRUE(question);
    Installation other;
    other.WriteSettings({"appname=", "list=" + server.Url("/list.txt")});
    Process second(other.CommandLine(), other.StartDir());
    EXPECT_TRUE(WaitForWindow(second.Id(), "#32770"));
    BoxWatcher secondBoxes(second.Id(), IDNO);
    BoxWatcher boxes(updater->Id(), IDNO);
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(updater->Wait(), 0);
    EXPECT_EQ(server.Requests().size(), 2u);
    // Declining the optional update starts each installation's application once.
    EXPECT_EQ(inst.AppRuns().size(), 1u);
    EXPECT_EQ(other.AppRuns().size(), 1u);
}

TEST_F(HeldAtQuestion, WindowLayoutCaptionAndTitle) {
    Start();
    ASSERT_TRUE(form && question);

    // An empty "appname" leaves ":" and text 104.
    const AnsiString caption = ":" + Text(104);
    EXPECT_EQ(WindowText(form), caption);
    EXPECT_EQ(WindowText(question), caption);
    HWND application = nullptr;
    for (HWND w : TopWindows(updater->Id(), true))
        if (ClassOf(w) == "TApplication")
            application = w;
    ASSERT_TRUE(application);
    EXPECT_EQ(WindowText(application), caption);

    const SIZE client = ClientSize(form);
    EXPECT_EQ(client.cx, 473);
    EXPECT_EQ(client.cy, 151);
    RECT frame;
    GetWindowRect(form, &frame);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2);
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2);
    const LONG style = GetWindowLongA(form, GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    struct Control {
        const char* name;
        int left, top, width, height;
        const char* windowClass;
        bool shown;
    } controls[] = {
        {"Bevel1", 8, 8, 457, 105, "Static", true},
        {"LbMsg", 16, 24, 441, 17, "Static", true},
        {"LbProgress", 16, 48, 441, 20, "Static", true},
        {"BtnCancel", 384, 120, 75, 25, "Button", true},
        {"TotalProgress", 16, 72, 441, 17, "msctls_progress32", false},
        {"CurrentProgress", 16, 88, 441, 17, "msctls_progress32", false},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        HWND child = ChildAt(form, c.left, c.top);
        ASSERT_TRUE(child);
        EXPECT_EQ(AnsiCompareText(ClassOf(child), c.windowClass), 0) << ClassOf(child);
        EXPECT_EQ(ClientSize(child).cx, c.width);
        EXPECT_EQ(ClientSize(child).cy, c.height);
        if (c.shown)
            EXPECT_TRUE(IsShown(child));
        else
            EXPECT_FALSE(IsWindowVisible(child) || (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE));
    }
    EXPECT_EQ(WindowText(ChildAt(form, 16, 24)), Text(117));
    EXPECT_EQ(WindowText(ChildAt(form, 384, 120)), Text(133));
    // The list request reported itself under text 130 with its byte counts.
    const AnsiString counts = ";" + IntToStr(static_cast<int>(list.size())) + "/" +
                              IntToStr(static_cast<int>(list.size()));
    const AnsiString progress = WindowText(ChildAt(form, 16, 48));
    EXPECT_NE(progress.find(":" + Text(130) + counts), AnsiString::npos) << progress;

    BoxWatcher boxes(updater->Id(), IDNO);
    EXPECT_EQ(updater->Wait(), 0);
    EXPECT_EQ(inst.AppRuns().size(), 1u);
}

TEST_F(HeldAtQuestion, FurtherStartMessagesDoNothing) {
    Start();
    ASSERT_TRUE(form && question);
    // One with a foreign LParam, one like the form's own. The question's own loop takes them
    // before the answer, which the watcher posts to the same thread afterwards: a second run
    // would ask again from inside that loop.
    PostMessageA(form, WM_USER, 0, 0);
    PostMessageA(form, WM_USER, 0, reinterpret_cast<LPARAM>(form));

    BoxWatcher boxes(updater->Id(), IDNO);
    EXPECT_EQ(updater->Wait(), 0);
    EXPECT_EQ(BoxTexts(boxes, ":" + Text(104)), std::vector<AnsiString>{Text(108)});
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(inst.AppRuns().size(), 1u);
}

TEST(Startup, MissingSettingsFile) {
    Installation inst;
    Process updater(inst.CommandLine(), inst.StartDir());
    BoxWatcher boxes(updater.Id());
    EXPECT_EQ(updater.Wait(), 1);
    EXPECT_EQ(BoxTexts(boxes, "quen6aux.exe"),
              std::vector<AnsiString>{".ini can not open.\n(" + inst.UpdaterDir() + "quen6.ini)"});
    EXPECT_TRUE(inst.AppRuns().empty());
}

TEST(Startup, MissingLanguageLibrary) {
    for (const char* code : {"", "ja"}) {
        SCOPED_TRACE(code);
        Installation inst;
        inst.WriteSettings({"language=" + AnsiString(code)});
        ASSERT_TRUE(DeleteFileA((inst.UpdaterDir() + "quen6aux_lang.dll").c_str()));
        Process updater(inst.CommandLine(), inst.StartDir());
        BoxWatcher boxes(updater.Id());
        EXPECT_EQ(updater.Wait(), 1);
        EXPECT_EQ(BoxTexts(boxes, "quen6aux.exe"),
                  std::vector<AnsiString>{"Language DLL can not load."});
    }
}

// The application gets what follows the updater's path on its command line, and the directory
// the updater started in.
TEST(LaunchApplication, ParametersAndWorkingDirectory) {
    struct Row {
        const char* rest;
        const char* parameters;
    } rows[] = {
        {" /a \"b c\" d", "/a \"b c\" d"},
        {"  two", " two"},
        {" ", ""},
        {"", ""}, // no arguments: empty parameters, not the updater's own path
        {"\targ more", "more"},
        {" $$updt$$", "$$updt$$"}, // not the install-only mark
    };
    HttpTestServer server;
    server.Route("/list.txt", HttpReply::Ok(UpdateList(
                                  "", true, {EntryLine("a.dll", "http://x/a", kListedWhen, 5)})));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rest);
        Installation inst;
        inst.WriteSettings({"appname=Demo", "list=" + server.Url("/list.txt")});
        WriteStamped(inst.App() + "a.dll", "hello"); // up to date: no box, the application starts
        Process updater(inst.CommandLine(r.rest), inst.StartDir());
        BoxWatcher boxes(updater.Id());
        EXPECT_EQ(updater.Wait(), 0);
        EXPECT_TRUE(boxes.Boxes().empty());
        const std::vector<FakeAppRun> runs = inst.AppRuns();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(StripFirstToken(runs[0].commandLine), r.parameters) << runs[0].commandLine;
        EXPECT_EQ(AnsiCompareText(IncludeTrailingBackslash(runs[0].currentDir), inst.StartDir()), 0)
            << runs[0].currentDir;
    }
}

TEST(LaunchApplication, ShellFailureEndsWithOne) {
    HttpTestServer server;
    server.Route("/list.txt", HttpReply::Ok(UpdateList(
                                  "", false, {EntryLine("a.dll", "http://x/a", kListedWhen, 5)})));
    Installation inst;
    inst.WriteSettings({"appname=Demo", "exec=missing.exe", "list=" + server.Url("/list.txt")});
    WriteStamped(inst.App() + "a.dll", "hello");
    Process updater(inst.CommandLine(), inst.StartDir());
    BoxWatcher boxes(updater.Id());
    EXPECT_EQ(updater.Wait(), 1);
    EXPECT_EQ(BoxTexts(boxes, kCaption + Text(104)), std::vector<AnsiString>{Text(116)});
}

} // namespace
