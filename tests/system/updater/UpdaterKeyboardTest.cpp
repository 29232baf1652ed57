// The keyboard during a download, as a user drives the progress window. The keys go to the
// window with the focus, so the test runs alone: another program's window taking the
// foreground would take the keyboard from it.
#include "Installation.h"

#include "BoxWatcher.h"
#include "HttpTestServer.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// The keyboard reaches the cancel button during a download: it holds the focus from the
// start, and the dialog keys press it.
struct Keys {
    const char* name;
    std::vector<std::pair<UINT, WPARAM>> messages; // posted to the window with the focus
};

void PrintTo(const Keys& keys, std::ostream* out) {
    *out << keys.name;
}

class Keyboard : public testing::TestWithParam<Keys> {};

TEST_P(Keyboard, CancelsTheDownload) {
    StalledRun run;
    ASSERT_TRUE(run.ReachStall());
    const HWND form = run.form;

    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &thread));
    EXPECT_EQ(thread.hwndFocus, ChildAt(form, 384, 120));
    for (const auto& [message, key] : GetParam().messages)
        PostMessageA(thread.hwndFocus, message, key,
                     message == WM_KEYUP ? LPARAM(0xC0000001) : LPARAM(1));
    EXPECT_EQ(run.updater->Wait(), 0);
    EXPECT_EQ(BoxTexts(*run.boxes, Caption()), (std::vector<AnsiString>{Text(108), Text(109)}));
    EXPECT_FALSE(FileExists(run.inst.DownloadDir() + "ud0.$$$"));
}

INSTANTIATE_TEST_SUITE_P(
    Updater, Keyboard,
    testing::Values(Keys{"Escape", {{WM_KEYDOWN, VK_ESCAPE}, {WM_KEYUP, VK_ESCAPE}}},
                    Keys{"Enter", {{WM_KEYDOWN, VK_RETURN}, {WM_KEYUP, VK_RETURN}}},
                    Keys{"Space", {{WM_KEYDOWN, VK_SPACE}, {WM_KEYUP, VK_SPACE}}},
                    // The one control in tab order keeps the focus.
                    Keys{"TabThenEnter",
                         {{WM_KEYDOWN, VK_TAB},
                          {WM_KEYUP, VK_TAB},
                          {WM_KEYDOWN, VK_RETURN},
                          {WM_KEYUP, VK_RETURN}}}),
    [](const testing::TestParamInfo<Keys>& info) { return std::string(info.param.name); });

} // namespace
