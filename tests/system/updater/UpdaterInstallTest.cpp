// The install step and its RunOnce fallback, after a download and in install-only mode
// ("$$UPDT$$" on the command line). The tests write, read and delete the updater's value under
// HKEY_LOCAL_MACHINE RunOnce, and the key itself for a while, always restoring it: they live in
// this one program so that they never run side by side.
#include "Installation.h"

#include "BoxWatcher.h"
#include "HeldFile.h"
#include "HttpTestServer.h"
#include "RunOnce.h"

#include <gtest/gtest.h>

namespace {

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
    RunOnceValue value(inst.Exe());

    const AnsiString path = row.target == Target::FolderBlocked ? "sub\\a.dll" : "a.dll";
    const AnsiString target = inst.App() + path;
    const AnsiString url = server.Url("/a.dll");
    server.Route("/list.txt", HttpReply::Ok(UpdateList("", row.mandatory,
                                                       {EntryLine(path, url, kListedWhen, 5)})));
    server.Route("/a.dll", HttpReply::Ok(kContent));
    inst.WriteSettings({"appname=Demo", "list=" + server.Url("/list.txt")});
    const AnsiString download = inst.DownloadDir() + "ud0.$$$";
    if (row.setup != Setup::Pending) {
        CreateDirectoryA(inst.DownloadDir().c_str(), nullptr);
        WriteFile(inst.DownloadDir() + "dllst.$$$",
                  UpdateList("", false, {EntryLine(path, url, kListedWhen, 5) + "?" + download}));
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
    EXPECT_EQ(value.Data(), row.valueWritten ? "\"" + inst.Exe() + "\" $$UPDT$$" : "(none)");
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
