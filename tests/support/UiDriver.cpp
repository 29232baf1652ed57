#include "UiDriver.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

struct ChildSearch {
    HWND parent;
    POINT at;
    HWND found = nullptr;
};

BOOL CALLBACK FindChildAt(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (GetParent(hwnd) != search->parent)
        return TRUE;
    RECT r;
    GetWindowRect(hwnd, &r);
    POINT corner{r.left, r.top};
    ScreenToClient(search->parent, &corner);
    if (corner.x == search->at.x && corner.y == search->at.y) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND WaitForWindow(DWORD processId, const char* windowClass, DWORD timeoutMs) {
    HWND window = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopWindows(processId))
                if (ClassOf(w) == windowClass) {
                    window = w;
                    return true;
                }
            return false;
        },
        timeoutMs);
    if (!window)
        ADD_FAILURE() << "no window of class " << windowClass << " in process " << processId;
    return window;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMs) {
            ADD_FAILURE() << "condition not met within " << timeoutMs << " ms";
            return false;
        }
        Sleep(20);
    }
    return true;
}

SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

HWND ChildAt(HWND parent, int left, int top) {
    ChildSearch search{parent, {left, top}};
    EnumChildWindows(parent, FindChildAt, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int ProgressPosition(HWND bar) {
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position))
        return -1;
    return static_cast<int>(position);
}

bool IsShown(HWND window) {
    return IsWindowVisible(window) != FALSE;
}

void Press(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}
