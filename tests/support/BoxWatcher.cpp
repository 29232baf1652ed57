#include "BoxWatcher.h"

#include "TopWindows.h"

#include <algorithm>

namespace {

// The text of a message box is its static control with id 0xFFFF.
AnsiString BoxText(HWND box) {
    HWND label = GetDlgItem(box, 0xFFFF);
    return label ? WindowText(label) : AnsiString();
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
        // A handle value can come back for a later box once the earlier one is gone.
        answered_.erase(
            std::remove_if(answered_.begin(), answered_.end(), [](HWND h) { return !IsWindow(h); }),
            answered_.end());
        for (HWND box : TopWindows(processId_)) {
            if (ClassOf(box) != "#32770" ||
                std::find(answered_.begin(), answered_.end(), box) != answered_.end())
                continue;
            answered_.push_back(box);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                boxes_.push_back({WindowText(box), BoxText(box)});
            }
            const int id = answer_;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
        }
        Sleep(20);
    }
}
