#include "TopWindows.h"

namespace {

struct TopWindowSearch {
    DWORD processId;
    bool hiddenToo;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<TopWindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->processId && (search->hiddenToo || IsWindowVisible(hwnd)))
        search->found.push_back(hwnd);
    return TRUE;
}

} // namespace

std::vector<HWND> TopWindows(DWORD processId, bool hiddenToo) {
    TopWindowSearch search{processId, hiddenToo, {}};
    EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

AnsiString WindowText(HWND window) {
    char buf[4096];
    const int n = GetWindowTextA(window, buf, sizeof buf);
    return AnsiString(buf, n > 0 ? n : 0);
}

AnsiString ClassOf(HWND window) {
    char buf[256];
    const int n = GetClassNameA(window, buf, sizeof buf);
    return AnsiString(buf, n > 0 ? n : 0);
}
