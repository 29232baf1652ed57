// The real exec.exe in a temporary installation whose folder has a blank in its name.
// fakeapp.exe stands in for the updater: an updater folder gets one as "quen6aux.exe", and its
// log beside it tells whether the launcher started that one, with which command line and in
// which working directory.
#include "BoxWatcher.h"
#include "FakeApp.h"
#include "HeldFile.h"
#include "TempDir.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::wstring kStartFailureCaption = L"\u30a8\u30e9\u30fc";
const std::wstring kInstalledText = L"text 101 of the installed library";
const std::wstring kDeliveredText = L"text 101 of the delivered library";

std::wstring WideText(HWND window) {
    wchar_t buf[1024];
    const int n = GetWindowTextW(window, buf, 1024);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// The command line that the shell gives a program it starts: the program in double quotes,
// then a blank and the parameters when there are any.
AnsiString ShellCommandLine(const AnsiString& program, const AnsiString& parameters) {
    return "\"" + program + "\"" + (parameters.empty() ? "" : " " + parameters);
}

// The rows of every table below are named.
template <typename Case> std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// A message box as the user reads it, whatever the ANSI code page.
struct ShownBox {
    std::wstring caption;
    std::wstring text;
};

class Launcher : public testing::Test {
  protected:
    void SetUp() override {
        CreateDirectoryA(appDir.c_str(), nullptr);
        CreateDirectoryA(workDir.c_str(), nullptr);
        CopyTo(DosPath(EXEC_EXE), appDir + "exec.exe");
    }

    // A folder of the installation, created; "" is the launcher's own folder.
    AnsiString Folder(const AnsiString& name) const {
        if (name.empty())
            return appDir;
        const AnsiString dir = appDir + name + "\\";
        CreateDirectoryA(dir.c_str(), nullptr);
        return dir;
    }
    // A folder with a stand-in updater and a language library.
    AnsiString PutUpdater(const AnsiString& name) const {
        const AnsiString dir = Folder(name);
        CopyTo(DosPath(FAKEAPP_EXE), dir + "quen6aux.exe");
        CopyTo(DosPath(INSTALLED_LANG_DLL), dir + "quen6aux_lang.dll");
        return dir;
    }
    void Settings(const AnsiString& text) const { WriteFile(appDir + "quen6fld.ini", text); }
    AnsiString CommandLine(const AnsiString& arguments) const {
        return "\"" + appDir + "exec.exe\"" + arguments;
    }

    // Runs the launcher, answering every box.
    int Run(const AnsiString& arguments = " x") {
        Process launcher(CommandLine(arguments), workDir);
        BoxWatcher watcher(launcher.Id(), IDOK);
        const int exitCode = launcher.Wait();
        boxes = watcher.Boxes();
        return exitCode;
    }
    // Runs the launcher up to its box, reads the box and answers it.
    ShownBox RunToBox(int& exitCode) {
        Process launcher(CommandLine(" x"), workDir);
        ShownBox shown;
        if (const HWND box = WaitForWindow(launcher.Id(), "#32770"))
            shown = {WideText(box), WideText(GetDlgItem(box, 0xFFFF))};
        BoxWatcher watcher(launcher.Id(), IDOK);
        exitCode = launcher.Wait();
        return shown;
    }

    // The updater in the folder was started once, with these parameters, in the launcher's
    // working directory. Both wait until the updater of the folder has ended.
    void ExpectStarted(const AnsiString& dir, const AnsiString& parameters = "x") const {
        const std::vector<FakeAppRun> runs = FakeAppRuns(dir, "quen6aux.exe");
        ASSERT_EQ(runs.size(), 1u) << "starts of " << dir << "quen6aux.exe";
        EXPECT_EQ(runs[0].commandLine, ShellCommandLine(dir + "quen6aux.exe", parameters));
        EXPECT_EQ(runs[0].currentDir, ExcludeTrailingBackslash(workDir));
    }
    void ExpectNotStarted(const AnsiString& dir) const {
        EXPECT_TRUE(FakeAppRuns(dir, "quen6aux.exe").empty()) << dir << "quen6aux.exe was started";
    }

    TempDir root;
    const AnsiString appDir = root / "my app\\";
    const AnsiString workDir = root / "work\\";
    std::vector<SeenBox> boxes;
};

// ---- where the updater lives ----------------------------------------------

struct FolderCase {
    const char* name;
    const char* settings;                 // quen6fld.ini; null: no file
    std::vector<const char*> updaterDirs; // besides the launcher's own folder
    const char* file;                     // a file of this name in the launcher's folder
    const char* expected;                 // the updater folder; "" is the launcher's own
    bool settingsWrittenIn1979 = false;   // a last write outside the MS-DOS years
};

class UpdaterFolder : public Launcher, public testing::WithParamInterface<FolderCase> {};

TEST_P(UpdaterFolder, StartsTheUpdaterOfTheChosenFolder) {
    const FolderCase& c = GetParam();
    std::vector<AnsiString> dirs{""};
    dirs.insert(dirs.end(), c.updaterDirs.begin(), c.updaterDirs.end());
    for (const AnsiString& dir : dirs)
        PutUpdater(dir);
    if (c.file)
        WriteFile(appDir + c.file, "not a folder");
    if (c.settings) {
        AnsiString settings = c.settings;
        // A real folder named by its full path, drive letter included.
        if (const auto at = settings.find("%ELSEWHERE%"); at != AnsiString::npos)
            settings.replace(at, 11, Folder("elsewhere"));
        Settings(settings);
        if (c.settingsWrittenIn1979)
            SetLocalWriteTime(appDir + "quen6fld.ini", 1979, 6, 1, 12, 0, 0);
    }

    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(boxes.empty());
    for (const AnsiString& dir : dirs)
        if (dir == c.expected)
            ExpectStarted(Folder(dir));
        else
            ExpectNotStarted(Folder(dir));
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, UpdaterFolder,
    testing::Values(
        FolderCase{"NoSettingsNoSubfolder", nullptr, {}, nullptr, ""},
        FolderCase{"NoSettingsQuen6Subfolder", nullptr, {"quen6"}, nullptr, "quen6"},
        FolderCase{"EmptyUpdaterdir", "[update]\r\nupdaterdir=\r\n", {"quen6"}, nullptr, "quen6"},
        FolderCase{"NoUpdaterdirKey", "[update]\r\nlanguage=\r\n", {"quen6"}, nullptr, "quen6"},
        FolderCase{"UpdaterdirNamesFolder",
                   "[update]\r\nupdaterdir=tools\r\n",
                   {"quen6", "tools"},
                   nullptr,
                   "tools"},
        FolderCase{"SettingsWrittenIn1979",
                   "[update]\r\nupdaterdir=tools\r\n",
                   {"quen6", "tools"},
                   nullptr,
                   "tools",
                   true},
        FolderCase{"UpdaterdirMissing", "[update]\r\nupdaterdir=tools\r\n", {"quen6"}, nullptr, ""},
        FolderCase{"UpdaterdirIsFile", "[update]\r\nupdaterdir=tools\r\n", {"quen6"}, "tools", ""},
        FolderCase{"UpdaterdirEndsInBackslash",
                   "[update]\r\nupdaterdir=tools\\\r\n",
                   {"quen6", "tools"},
                   nullptr,
                   "tools"},
        FolderCase{"UpdaterdirWithDrive",
                   "[update]\r\nupdaterdir=%ELSEWHERE%\r\n",
                   {"quen6", "elsewhere"},
                   nullptr,
                   ""}),
    CaseName<FolderCase>);

// ---- the command line handed on -------------------------------------------

struct CommandLineCase {
    const char* name;
    const char* arguments; // what follows the launcher's own path, quoted since it holds a blank
    const char* parameters;
};

class HandedOn : public Launcher, public testing::WithParamInterface<CommandLineCase> {};

TEST_P(HandedOn, RestAfterOwnPathAndOneBlankReachesTheUpdater) {
    const AnsiString dir = PutUpdater("quen6");
    EXPECT_EQ(Run(GetParam().arguments), 0);
    ExpectStarted(dir, GetParam().parameters);
}

INSTANTIATE_TEST_SUITE_P(Launcher, HandedOn,
                         testing::Values(CommandLineCase{"QuotedArguments", " a \"b c\" \"\" d",
                                                         "a \"b c\" \"\" d"},
                                         CommandLineCase{"TwoBlanks", "  a", " a"},
                                         CommandLineCase{"OneTrailingBlank", " ", ""},
                                         CommandLineCase{"NoBlankAfterOwnPath", "", ""},
                                         CommandLineCase{"TabDoesNotEndOwnPath", "\tb c", "c"}),
                         CaseName<CommandLineCase>);

// ---- a delivered updater --------------------------------------------------

enum class Hold { None, Installed, Delivered };

struct DeliveredCase {
    const char* name;
    bool installedPresent;
    bool installedReadOnly;
    Hold hold;
    bool swapped;
    bool deliveredWrittenIn1979 = false; // a last write outside the MS-DOS years
};

class DeliveredUpdater : public Launcher, public testing::WithParamInterface<DeliveredCase> {};

TEST_P(DeliveredUpdater, TakesThePlaceOfTheInstalledOneOrBothStay) {
    const DeliveredCase& c = GetParam();
    const AnsiString dir = PutUpdater("quen6");
    const AnsiString installed = dir + "quen6aux.exe", delivered = dir + "quen6aux2.exe";
    const AnsiString oldProgram = ReadFile(installed);
    // The same program with bytes after its image: it runs alike and reads differently.
    const AnsiString newProgram = oldProgram + "delivered";
    WriteFile(delivered, newProgram);
    if (c.deliveredWrittenIn1979)
        SetLocalWriteTime(delivered, 1979, 12, 31, 23, 59, 58);
    if (!c.installedPresent)
        DeleteFileA(installed.c_str());
    if (c.installedReadOnly)
        SetFileAttributesA(installed.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        std::unique_ptr<FileOpenedHere> held;
        if (c.hold == Hold::Installed)
            held = std::make_unique<FileOpenedHere>(installed, FILE_SHARE_READ);
        if (c.hold == Hold::Delivered)
            held = std::make_unique<FileOpenedHere>(delivered, 0);
        EXPECT_EQ(Run(), 0);
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(ReadFile(installed), c.swapped ? newProgram : oldProgram);
    EXPECT_EQ(FileExistsAnyDate(delivered), !c.swapped);
    ExpectStarted(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, DeliveredUpdater,
    testing::Values(DeliveredCase{"ReplacesTheInstalledOne", true, false, Hold::None, true},
                    DeliveredCase{"NoInstalledOne", false, false, Hold::None, true},
                    DeliveredCase{"ReadOnlyInstalledOne", true, true, Hold::None, true},
                    DeliveredCase{"InstalledOneInUse", true, false, Hold::Installed, false},
                    // The installed updater must survive a delivered one that cannot move.
                    DeliveredCase{"DeliveredOneInUse", true, false, Hold::Delivered, false},
                    DeliveredCase{"DeliveredOneWrittenIn1979", true, false, Hold::None, true,
                                  true}),
    CaseName<DeliveredCase>);

// ---- language libraries and the two failures ------------------------------

// With no updater to start, the box of the start failure shows text 101 of the library that
// the launcher loaded.
struct LibraryCase {
    const char* name;
    // Built libraries and their names in the updater folder.
    std::vector<std::pair<const char*, const char*>> libraries;
    const char* settings; // quen6fld.ini; null: no file
    Hold hold;
    std::wstring text;
};

class LanguageLibrary : public Launcher, public testing::WithParamInterface<LibraryCase> {};

TEST_P(LanguageLibrary, StartFailureShowsText101OfTheLoadedLibrary) {
    const LibraryCase& c = GetParam();
    const AnsiString dir = Folder("quen6");
    const AnsiString delivered = dir + "quen6aux_lang2.dll";
    for (const auto& [library, name] : c.libraries)
        CopyTo(DosPath(library), dir + name);
    if (c.settings)
        Settings(c.settings);

    int exitCode = 0;
    ShownBox box;
    {
        std::unique_ptr<FileOpenedHere> held;
        if (c.hold == Hold::Delivered)
            held = std::make_unique<FileOpenedHere>(delivered, 0);
        box = RunToBox(exitCode);
    }
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(box.caption, kStartFailureCaption);
    EXPECT_EQ(box.text, c.text);
    // A delivered library is loaded at once unless it cannot move.
    EXPECT_EQ(FileExistsAnyDate(delivered), c.hold == Hold::Delivered);
}

const std::pair<const char*, const char*> kInstalled{INSTALLED_LANG_DLL, "quen6aux_lang.dll"};
const std::pair<const char*, const char*> kDelivered{DELIVERED_LANG_DLL, "quen6aux_lang2.dll"};

INSTANTIATE_TEST_SUITE_P(
    Launcher, LanguageLibrary,
    testing::Values(
        LibraryCase{"InstalledOnly", {kInstalled}, nullptr, Hold::None, kInstalledText},
        LibraryCase{"DeliveredReplacesInstalled",
                    {kInstalled, kDelivered},
                    nullptr,
                    Hold::None,
                    kDeliveredText},
        LibraryCase{"DeliveredWithoutInstalled", {kDelivered}, nullptr, Hold::None, kDeliveredText},
        LibraryCase{
            "DeliveredInUse", {kInstalled, kDelivered}, nullptr, Hold::Delivered, kInstalledText},
        LibraryCase{"LanguageCodeWithEmptyUpdaterdirLoadsItsLibraryFromQuen6",
                    {kInstalled, {PERLANGUAGE_LANG_DLL, "quen6aux_xx.dll"}},
                    "[update]\r\nupdaterdir=\r\nlanguage=xx\r\n",
                    Hold::None,
                    L"text 101 of the perlanguage library"},
        LibraryCase{"LibraryWithoutText101ShowsEmptyText",
                    {{NO101_LANG_DLL, "quen6aux_lang.dll"}},
                    nullptr,
                    Hold::None,
                    L""}),
    CaseName<LibraryCase>);

TEST_F(Launcher, NoLanguageLibraryEndsWithoutStartingTheUpdater) {
    const AnsiString dir = PutUpdater("quen6");
    DeleteFileA((dir + "quen6aux_lang.dll").c_str());
    // A delivered updater is put in place all the same: the swaps come first.
    const AnsiString newProgram = ReadFile(dir + "quen6aux.exe") + "delivered";
    WriteFile(dir + "quen6aux2.exe", newProgram);
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Language DLL can not load.");
    ExpectNotStarted(dir);
    EXPECT_EQ(ReadFile(dir + "quen6aux.exe"), newProgram);
}

} // namespace
