// The install step and its RunOnce fallback, after a download and in install-only mode
// ("$$UPDT$$" on the command line). The tests write, read and delete the updater's value under
// HKEY_LOCAL_MACHINE RunOnce, and the key itself for a while, always restoring it: they live in
// this one program so that they never run side by side.
#include "Installation.h"

#include "BoxWatcher.h"
#include "HttpTestServer.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

namespace {

const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const AnsiString kContent = "hello";
const int kQuestion = 0; // stands for the Yes/No question in a row's texts

AnsiString Caption() {
    return "Demo:" + Text(104);
}

// The updater's RunOnce value, or "(none)".
AnsiString RunOnceValue(const AnsiString& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    RegKey owner(key);
    char data[4096];
    DWORD size = sizeof data, type = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS)
        return "(none)";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(size > 0 && data[size - 1] == '\0'); // written with its terminating zero
    return AnsiString(data);
}

// Deletes the updater's RunOnce value when the test ends.
struct RunOnceValueRemover {
    ~RunOnceValueRemover() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegKey owner(key);
            RegDeleteValueA(key, name.c_str());
        }
    }
    AnsiString name;
};

// Takes the RunOnce key away for a test and puts it back, values and all.
class RunOnceKeyRemoved {
  public:
    RunOnceKeyRemoved() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegKey owner(key);
            for (DWORD i = 0;; ++i) {
                char name[16384];
                BYTE data[65536];
                DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
                if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
                    ERROR_SUCCESS)
                    break;
                saved_.push_back({AnsiString(name, nameSize), type,
                                  std::string(reinterpret_cast<char*>(data), dataSize)});
            }
        }
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRunOnceKey), ERROR_SUCCESS);
    }
    ~RunOnceKeyRemoved() {
        HKEY key;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegKey owner(key);
        for (const Value& v : saved_)
            RegSetValueExA(key, v.name.c_str(), 0, v.type,
                           reinterpret_cast<const BYTE*>(v.data.data()),
                           static_cast<DWORD>(v.data.size()));
    }

  private:
    struct Value {
        AnsiString name;
        DWORD type;
        std::string data;
    };
    std::vector<Value> saved_;
};

// Holds a file open with no sharing, as the running application would, until it goes.
class HeldFile {
  public:
    explicit HeldFile(const AnsiString& path)
        : release_(CreateEventA(nullptr, TRUE, FALSE, EventName().c_str())),
          holder_("\"" + DosPath(HOLDFILE_EXE) + "\" \"" + path + "\" " + EventName(), "C:\\") {
        WaitUntil([&] {
            FileHandle probe(
                CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
        });
    }
    ~HeldFile() {
        SetEvent(release_.get());
        EXPECT_EQ(holder_.Wait(), 0);
    }

  private:
    static AnsiString EventName() {
        return "quen6-held-" + IntToStr(static_cast<int>(GetCurrentProcessId()));
    }
    KernelHandle release_;
    Process holder_;
};

enum class Setup {
    Pending,         // normal run: the file is served and downloaded
    Ready,           // install-only: the download and the state file of an earlier run
    DownloadMissing, // install-only: the state file names a download that is gone
};

enum class Target {
    Missing,       // not installed yet
    ReadOnly,      // installed, read-only
    InUse,         // installed, held open by another process
    FolderBlocked, // its folder is a file
};

struct Row {
    const char* name;
    Setup setup;
    Target target;
    bool mandatory;
    bool keyRemoved;
    std::vector<int> texts;
    bool appStarted;
    int exitCode;
    bool valueWritten;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class Install : public testing::TestWithParam<Row> {};

TEST_P(Install, TextsRunOnceApplicationAndExitCode) {
    const Row& row = GetParam();
    HttpTestServer server;
    Installation inst;
    RunOnceValueRemover remover;
    remover.name = inst.Exe();
    for (char& c : remover.name)
        if (c == '\\')
            c = '$';

    const AnsiString path = row.target == Target::FolderBlocked ? "sub\\a.dll" : "a.dll";
    const AnsiString target = inst.App() + path;
    const AnsiString url = server.Url("/a.dll");
    server.Route("/list.txt",
                 HttpReply::Ok(UpdateList("", row.mandatory, {EntryLine(path, url, 5)})));
    server.Route("/a.dll", HttpReply::Ok(kContent));
    inst.WriteSettings({"appname=Demo", "list=" + server.Url("/list.txt")});
    const AnsiString download = inst.DownloadDir() + "ud0.$$$";
    if (row.setup != Setup::Pending) {
        CreateDirectoryA(inst.DownloadDir().c_str(), nullptr);
        WriteFile(inst.DownloadDir() + "dllst.$$$",
                  "[update]\r\n" + EntryLine(path, url, 5, download) + "\r\n");
        if (row.setup == Setup::Ready)
            WriteStamped(download, kContent);
    }
    if (row.target == Target::FolderBlocked)
        WriteFile(inst.App() + "sub", "");
    else if (row.target != Target::Missing)
        WriteFile(target, "old");
    if (row.target == Target::ReadOnly)
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    std::unique_ptr<HeldFile> held;
    if (row.target == Target::InUse)
        held = std::make_unique<HeldFile>(target);
    std::unique_ptr<RunOnceKeyRemoved> keyRemoved;
    if (row.keyRemoved)
        keyRemoved = std::make_unique<RunOnceKeyRemoved>();

    const bool installOnly = row.setup != Setup::Pending;
    Process updater(inst.CommandLine(installOnly ? " $$UPDT$$" : " arg"), inst.StartDir());
    BoxWatcher boxes(updater.Id(), IDYES);
    EXPECT_EQ(updater.Wait(), row.exitCode);
    keyRemoved.reset();
    held.reset();

    std::vector<AnsiString> texts;
    for (int number : row.texts)
        texts.push_back(Text(number != kQuestion ? number : row.mandatory ? 107 : 108));
    EXPECT_EQ(BoxTexts(boxes, Caption()), texts);
    EXPECT_EQ(RunOnceValue(remover.name),
              row.valueWritten ? "\"" + inst.Exe() + "\" $$UPDT$$" : "(none)");
    EXPECT_EQ(inst.AppRuns().size(), row.appStarted ? 1u : 0u);
    const bool installed = row.texts.back() == 113;
    AnsiString expected = "(none)";
    if (installed)
        expected = kContent;
    else if (row.target == Target::ReadOnly || row.target == Target::InUse)
        expected = "old";
    EXPECT_EQ(FileExists(target) ? ReadFile(target) : "(none)", expected);
    // Whatever is not installed waits for the next run.
    EXPECT_EQ(FileExists(inst.DownloadDir() + "dllst.$$$"), !installed);
}

INSTANTIATE_TEST_SUITE_P(
    Roads, Install,
    testing::Values(
        // After a download in a normal run.
        Row{"InUseOptional",
            Setup::Pending,
            Target::ReadOnly,
            false,
            false,
            {kQuestion, 115},
            true,
            0,
            true},
        Row{"InUseMandatory",
            Setup::Pending,
            Target::ReadOnly,
            true,
            false,
            {kQuestion, 115},
            false,
            0,
            true},
        Row{"InUseKeyMissing",
            Setup::Pending,
            Target::ReadOnly,
            false,
            true,
            {kQuestion, 114},
            false,
            1,
            false},
        // Install-only mode: no list, no question, never the application.
        Row{"OnlyInstalled", Setup::Ready, Target::Missing, false, false, {113}, false, 0, false},
        Row{"OnlyReadOnly", Setup::Ready, Target::ReadOnly, false, false, {115}, false, 0, true},
        Row{"OnlyDownloadMissing",
            Setup::DownloadMissing,
            Target::Missing,
            false,
            false,
            {111},
            false,
            0,
            false},
        Row{"OnlyStillInUse", Setup::Ready, Target::InUse, false, false, {115}, false, 0, true},
        Row{"OnlyKeyMissing", Setup::Ready, Target::ReadOnly, false, true, {114}, false, 1, false},
        Row{"OnlyFolderCannotBeCreated",
            Setup::Ready,
            Target::FolderBlocked,
            false,
            false,
            {112},
            false,
            1,
            false}),
    [](const testing::TestParamInfo<Row>& info) { return AnsiString(info.param.name); });

} // namespace
