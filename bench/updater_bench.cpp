// Times the real updater with its window: starts it, answers its question with Yes and measures
// from that answer to the next box it shows (the closing box after the install); answers every
// further box with OK and waits for the updater to end.
//   updater_bench UPDATER BYTES
// Prints one line: the bytes (as given), the seconds and the updater's peak working set in KiB.
#include "Process.h"
#include "TopWindows.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The whole run of the updater, a large download under Wine included.
const DWORD kRunDeadlineMs = 10 * 60 * 1000;

// The first box of the process that is not among the answered ones; null when none shows.
HWND NewBox(DWORD process, const std::vector<HWND>& answered) {
    for (HWND window : TopWindows(process))
        if (ClassOf(window) == "#32770" &&
            std::find(answered.begin(), answered.end(), window) == answered.end())
            return window;
    return nullptr;
}

void Press(HWND box, int id) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: updater_bench UPDATER BYTES\n");
        return 2;
    }
    Process updater("\"" + AnsiString(argv[1]) + "\"", GetCurrentDir());
    if (!updater.Id()) {
        std::fprintf(stderr, "updater_bench: cannot start %s\n", argv[1]);
        return 2;
    }

    const DWORD begin = GetTickCount();
    std::vector<HWND> answered;
    double answeredAt = 0, closedAt = 0;
    SIZE_T peak = 0;
    while (GetTickCount() - begin < kRunDeadlineMs &&
           WaitForSingleObject(updater.Handle(), 0) == WAIT_TIMEOUT) {
        const HWND box = NewBox(updater.Id(), answered);
        if (!box) {
            Sleep(answeredAt && !closedAt ? 1 : 20);
            continue;
        }
        answered.push_back(box);
        if (!answeredAt) {
            Press(box, IDYES);
            answeredAt = Now();
            continue;
        }
        if (!closedAt) {
            closedAt = Now();
            PROCESS_MEMORY_COUNTERS memory{};
            if (GetProcessMemoryInfo(updater.Handle(), &memory, sizeof memory))
                peak = memory.PeakWorkingSetSize;
        }
        Press(box, IDOK);
    }
    if (WaitForSingleObject(updater.Handle(), 0) == WAIT_TIMEOUT) {
        updater.Kill();
        std::fprintf(stderr, "updater_bench: the updater did not end in time\n");
        return 1;
    }
    if (!closedAt) {
        std::fprintf(stderr, "updater_bench: the updater showed no closing box\n");
        return 1;
    }
    std::printf("%11lld bytes %8.3f s  peak %7lu KiB\n", std::atoll(argv[2]), closedAt - answeredAt,
                static_cast<unsigned long>(peak / 1024));
    return 0;
}
