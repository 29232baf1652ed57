// The whole system as a user meets it: the launcher in the application folder starts the real
// updater, which fetches its update list and the new files from the test bed's nginx, installs
// them and starts the application (fakeapp.exe). The runs go under the Japanese code page, so
// that the texts of the Japanese library read exactly.
#include "Installation.h"

#include "BoxWatcher.h"
#include "HeldFile.h"
#include "RunOnce.h"
#include "TestBed.h"

#include <gtest/gtest.h>

// Boxes compared and shown by caption and text.
bool operator==(const SeenBox& a, const SeenBox& b) {
    return a.caption == b.caption && a.text == b.text;
}
void PrintTo(const SeenBox& box, std::ostream* out) {
    *out << box.caption << ": " << box.text;
}

namespace {

const AnsiString kAppName = "EndToEnd";
const AnsiString kMessage = "Version 2 is ready.";

// Text N of a language library file, as a program that loaded it reads it.
AnsiString TextOf(const AnsiString& library, int number) {
    const ModuleHandle module(LoadLibraryExA(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_TRUE(module) << library;
    char text[512] = "";
    LoadStringA(module.get(), static_cast<UINT>(number), text, sizeof text);
    return text;
}

// The boxes of one updater run, in order, each with its caption.
std::vector<SeenBox> Boxes(const AnsiString& caption, const std::vector<AnsiString>& texts) {
    std::vector<SeenBox> boxes;
    for (const AnsiString& text : texts)
        boxes.push_back({caption, text});
    return boxes;
}

class EndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        const AnsiString port = TestBedValue("QUEN6_NGINX_PORT");
        ASSERT_FALSE(port.empty()) << "the test bed's nginx is not running";
        const AnsiString folder = AnsiString("endtoend\\") +
                                  testing::UnitTest::GetInstance()->current_test_info()->name();
        served = TestBedValue("QUEN6_NGINX_ROOT") + "\\" + folder + "\\";
        ForceDirectories(served);
        url = "http://127.0.0.1:" + port + "/" + folder + "/";
        for (char& c : url)
            if (c == '\\')
                c = '/';
        CopyTo(DosPath(EXEC_EXE), inst.App() + "exec.exe");
        inst.WriteSettings({"appname=" + kAppName, "list=" + url + "list.txt"});
    }

    // A file on the server, and its entry line for the installed path.
    AnsiString Serve(const AnsiString& name, const AnsiString& content, const AnsiString& path) {
        WriteFile(served + name, content);
        return EntryLine(path, url + name, kListedWhen, static_cast<int>(content.size()));
    }
    void ServeList(const std::vector<AnsiString>& entries) {
        WriteFile(served + "list.txt", UpdateList(kMessage, false, entries));
    }

    // Starts the launcher as the user does, answers every box of the updater that it starts
    // with Yes, and gives the updater's boxes and exit code.
    int Launch(const AnsiString& arguments, std::vector<SeenBox>& boxes) {
        Process launcher("\"" + inst.App() + "exec.exe\"" + arguments, inst.StartDir());
        BoxWatcher launcherBoxes(launcher.Id(), IDOK);
        Process updater(StartedBy(launcher.Id(), "quen6aux.exe"));
        EXPECT_EQ(launcher.Wait(), 0);
        EXPECT_TRUE(launcherBoxes.Boxes().empty());
        EXPECT_NE(updater.Id(), 0u) << "the launcher started no updater";
        BoxWatcher updaterBoxes(updater.Id(), IDYES);
        const int exitCode = updater.Wait();
        boxes = updaterBoxes.Boxes();
        return exitCode;
    }

    Installation inst;
    AnsiString served; // the folder on the server, ending in a backslash
    AnsiString url;    // its URL, ending in a slash
};

TEST_F(EndToEnd, LauncherUpdaterAndApplicationPassTheArgumentsOn) {
    WriteFile(inst.App() + "readme.txt", "version 1");
    CreateDirectoryA((inst.App() + "doc").c_str(), nullptr);
    WriteFile(inst.App() + "doc\\manual.txt", "manual 1");
    ServeList({Serve("readme.txt", "version 2", "readme.txt"),
               Serve("manual.txt", "manual 2, longer", "doc\\manual.txt")});

    std::vector<SeenBox> boxes;
    EXPECT_EQ(Launch(" /open \"my file.txt\"", boxes), 0);

    EXPECT_EQ(boxes, Boxes(kAppName + ":" + Text(104), {"\n" + kMessage, Text(113)}));
    EXPECT_EQ(ReadFile(inst.App() + "readme.txt"), "version 2");
    EXPECT_EQ(ReadFile(inst.App() + "doc\\manual.txt"), "manual 2, longer");
    const std::vector<FakeAppRun> runs = inst.AppRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(StripFirstToken(runs[0].commandLine), "/open \"my file.txt\"");
    EXPECT_EQ(runs[0].currentDir, ExcludeTrailingBackslash(inst.StartDir()));

    // Installed files carry the listed time: the next run finds nothing to do.
    EXPECT_EQ(Launch(" again", boxes), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(inst.AppRuns().size(), 2u);
}

// A file whose name has a blank is listed with its URL as the vendor writes it, blank and all.
TEST_F(EndToEnd, NameWithABlankIsFetchedAsListed) {
    WriteFile(inst.App() + "Read Me.txt", "version 1");
    ServeList({Serve("Read Me.txt", "version 2 of the notes", "Read Me.txt")});

    std::vector<SeenBox> boxes;
    EXPECT_EQ(Launch(" first", boxes), 0);
    EXPECT_EQ(boxes, Boxes(kAppName + ":" + Text(104), {"\n" + kMessage, Text(113)}));
    EXPECT_EQ(ReadFile(inst.App() + "Read Me.txt"), "version 2 of the notes");

    EXPECT_EQ(Launch(" second", boxes), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(inst.AppRuns().size(), 2u);
}

// Under the code page 932: the folder \x95\x5c is one character whose second byte is a backslash,
// and a "\.\" after it is a dot folder of its own.
TEST_F(EndToEnd, DoubleBytePathsAreInstalledStampedAndUpToDate) {
    ASSERT_EQ(GetACP(), 932u);
    const AnsiString folder = inst.App() + "\x95\x5c\\";
    ServeList({Serve("a.txt", "in the folder", "\x95\x5c\\a.txt"),
               Serve("b.txt", "after a dot folder", "\x95\x5c\\.\\b.txt")});

    std::vector<SeenBox> boxes;
    EXPECT_EQ(Launch(" first", boxes), 0);
    EXPECT_EQ(boxes, Boxes(kAppName + ":" + Text(104), {"\n" + kMessage, Text(113)}));
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_EQ(ReadFile(folder + "a.txt"), "in the folder");
    EXPECT_EQ(ReadFile(folder + "b.txt"), "after a dot folder");

    EXPECT_EQ(Launch(" second", boxes), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(inst.AppRuns().size(), 2u);
}

TEST_F(EndToEnd, DeliveredUpdaterAndLanguageLibraryRunFromTheNextStart) {
    const AnsiString updater = inst.Exe(), language = inst.UpdaterDir() + "quen6aux_lang.dll";
    const AnsiString oldUpdater = ReadFile(updater), oldLanguage = ReadFile(language);
    // The same updater with bytes after its image: it runs alike and reads differently.
    const AnsiString newUpdater = oldUpdater + "delivered updater";
    const AnsiString newLanguage = ReadFile(DosPath(JA_LANG_DLL));
    ServeList({Serve("quen6aux.exe", newUpdater, "$$update$$"),
               Serve("quen6aux_lang.dll", newLanguage, "quen6\\quen6aux_lang2.dll")});

    // The running updater and the library it loaded stay; the new ones wait beside them.
    std::vector<SeenBox> boxes;
    EXPECT_EQ(Launch(" first", boxes), 0);
    EXPECT_EQ(boxes, Boxes(kAppName + ":" + Text(104), {"\n" + kMessage, Text(113)}));
    EXPECT_EQ(ReadFile(updater), oldUpdater);
    EXPECT_EQ(ReadFile(language), oldLanguage);
    EXPECT_EQ(ReadFile(inst.UpdaterDir() + "quen6aux2.exe"), newUpdater);
    EXPECT_EQ(ReadFile(inst.UpdaterDir() + "quen6aux_lang2.dll"), newLanguage);

    // The next start puts them in place: the new updater runs with the new texts, finds
    // itself up to date and fetches only the library, which the launcher has moved away.
    EXPECT_EQ(Launch(" second", boxes), 0);
    EXPECT_EQ(boxes, Boxes(kAppName + ":" + TextOf(language, 104),
                           {"\n" + kMessage, TextOf(language, 113)}));
    EXPECT_NE(TextOf(language, 113), Text(113));
    EXPECT_EQ(ReadFile(updater), newUpdater);
    EXPECT_EQ(ReadFile(language), newLanguage);
    EXPECT_FALSE(FileExists(inst.UpdaterDir() + "quen6aux2.exe"));
    EXPECT_EQ(ReadFile(inst.UpdaterDir() + "quen6aux_lang2.dll"), newLanguage);

    const std::vector<FakeAppRun> runs = inst.AppRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(StripFirstToken(runs[0].commandLine), "first");
    EXPECT_EQ(StripFirstToken(runs[1].commandLine), "second");
}

TEST_F(EndToEnd, FileInUseIsInstalledByTheRunOnceCommand) {
    const AnsiString target = inst.App() + "data.txt";
    WriteFile(target, "data 1");
    ServeList({Serve("data.txt", "data 2", "data.txt")});
    RunOnceValue value(inst.Exe());

    std::vector<SeenBox> boxes;
    {
        HeldFile held(target);
        EXPECT_EQ(Launch(" x", boxes), 0);
    }
    const AnsiString caption = kAppName + ":" + Text(104);
    EXPECT_EQ(boxes, Boxes(caption, {"\n" + kMessage, Text(115)}));
    EXPECT_EQ(ReadFile(target), "data 1");
    EXPECT_EQ(inst.AppRuns().size(), 1u); // an optional update starts the old application
    const AnsiString command = value.Data();
    ASSERT_EQ(command, "\"" + inst.Exe() + "\" $$UPDT$$");

    // What Windows runs at the next log-on, once the file is free.
    Process completion(command, inst.StartDir());
    BoxWatcher completionBoxes(completion.Id(), IDOK);
    EXPECT_EQ(completion.Wait(), 0);
    EXPECT_EQ(completionBoxes.Boxes(), Boxes(caption, {Text(113)}));
    EXPECT_EQ(ReadFile(target), "data 2");
    EXPECT_FALSE(FileExists(inst.DownloadDir() + "dllst.$$$"));
    EXPECT_EQ(inst.AppRuns().size(), 1u); // install-only mode never starts the application
}

} // namespace
