#include "BoxWatcher.h"

#include <algorithm>

namespace {

AnsiString Text(HWND hwnd) {
    char buf[4096];
    const int n = GetWindowTextA(hwnd, buf, sizeof buf);
    return AnsiString(buf, n > 0 ? n : 0);
}

// The text of a message box is its static control with id 0xFFFF.
AnsiString BoxText(HWND box) {
    HWND label = GetDlgItem(box, 0xFFFF);
    return label ? Text(label) : AnsiString();
}

struct Found {
    DWORD processId;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[16] = {};
    if (pid == found->processId && IsWindowVisible(hwnd) && GetClassNameA(hwnd, cls, sizeof cls) &&
        AnsiString(cls) == "#32770")
        found->boxes.push_back(hwnd);
    return TRUE;
}

} // namespace

BoxWatcher::BoxWatcher(DWORD processId, int answer)
    : processId_(processId ? processId : GetCurrentProcessId()), answer_(answer),
      thread_([this] { Watch(); }) {}

BoxWatcher::~BoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenBox> BoxWatcher::Boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

void BoxWatcher::Watch() {
    while (!stop_) {
        Found found{processId_, {}};
        EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&found));
        // A handle value can come back for a later box once the earlier one is gone.
        answered_.erase(std::remove_if(answered_.begin(), answered_.end(),
                                       [](HWND h) { return !IsWindow(h); }),
                        answered_.end());
        for (HWND box : found.boxes) {
            if (std::find(answered_.begin(), answered_.end(), box) != answered_.end())
                continue;
            answered_.push_back(box);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                boxes_.push_back({Text(box), BoxText(box)});
            }
            const int id = answer_;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
        }
        Sleep(20);
    }
}
