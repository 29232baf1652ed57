// Runs the demo's launcher and follows the updater it starts until the updater ends.
//   answer.exe auto|user MARKER LAUNCHER [ARGUMENT...]
// auto: answers the updater's question with Yes and every other box with OK, and creates the
// file MARKER once a progress bar of the updater's window stands at a quarter or more (the demo
// takes its screenshot then).
// user: the user answers; the program only waits.
// Prints every box it answers. Exit code: the updater's, or 2 when the launcher or the updater
// failed, or did not end within the deadline (then it is ended).
#include "Handles.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const DWORD kDeadlineMs = 10 * 60 * 1000;

std::string Quoted(const std::string& arg) {
    return arg.find_first_of(" \t\"") == std::string::npos ? arg : "\"" + arg + "\"";
}

std::string WindowText(HWND hwnd) {
    char buf[2048];
    const int n = GetWindowTextA(hwnd, buf, sizeof buf);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

bool ClassIs(HWND hwnd, const char* name) {
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return lstrcmpiA(cls, name) == 0;
}

// The process that the launcher started: its child named quen6aux.exe.
DWORD FindUpdater(DWORD launcherId) {
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = snapshot && Process32First(snapshot.get(), &entry); ok;
         ok = Process32Next(snapshot.get(), &entry))
        if (entry.th32ParentProcessID == launcherId &&
            lstrcmpiA(entry.szExeFile, "quen6aux.exe") == 0)
            return entry.th32ProcessID;
    return 0;
}

struct Scan {
    std::vector<DWORD> processes;
    std::vector<HWND> boxes;
    bool progressShown = false; // a bar stands at a quarter or more
};

BOOL CALLBACK FindProgressBar(HWND child, LPARAM param) {
    DWORD_PTR position = 0;
    if (ClassIs(child, "msctls_progress32") && IsWindowVisible(child) &&
        SendMessageTimeoutA(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position) &&
        position >= 25) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ScanWindow(HWND hwnd, LPARAM param) {
    auto* scan = reinterpret_cast<Scan*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    bool ours = false;
    for (DWORD p : scan->processes)
        ours = ours || (p && p == pid);
    if (!ours || !IsWindowVisible(hwnd))
        return TRUE;
    if (ClassIs(hwnd, "#32770"))
        scan->boxes.push_back(hwnd);
    else
        EnumChildWindows(hwnd, FindProgressBar, reinterpret_cast<LPARAM>(&scan->progressShown));
    return TRUE;
}

void Answer(HWND box, std::vector<HWND>& answered) {
    for (HWND h : answered)
        if (h == box)
            return;
    answered.push_back(box);
    const HWND label = GetDlgItem(box, 0xFFFF);
    std::string text = label ? WindowText(label) : "";
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    const int id = GetDlgItem(box, IDYES) ? IDYES : IDOK;
    std::printf("demo: box \"%s\":%s%s -> %s\n", WindowText(box).c_str(),
                text.empty() || text[0] == ' ' ? "" : " ", text.c_str(),
                id == IDYES ? "Yes" : "OK");
    std::fflush(stdout);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: answer.exe auto|user MARKER LAUNCHER [ARGUMENT...]\n");
        return 2;
    }
    const bool automatic = std::string(argv[1]) == "auto";
    const std::string marker = argv[2];
    std::string commandLine = Quoted(argv[3]);
    for (int i = 4; i < argc; ++i)
        commandLine += " " + Quoted(argv[i]);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION launched{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &launched)) {
        std::fprintf(stderr, "cannot start %s\n", argv[3]);
        return 2;
    }
    const KernelHandle launcher(launched.hProcess), launcherThread(launched.hThread);
    KernelHandle updater;

    const DWORD start = GetTickCount();
    std::vector<HWND> answered;
    bool markerWritten = false;
    DWORD updaterId = 0;
    while (GetTickCount() - start < kDeadlineMs) {
        const bool launcherEnded = WaitForSingleObject(launcher.get(), 0) == WAIT_OBJECT_0;
        if (!updaterId && (updaterId = FindUpdater(launched.dwProcessId)) != 0)
            updater.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                      FALSE, updaterId));
        if (!updaterId && launcherEnded) {
            DWORD code = 0;
            GetExitCodeProcess(launcher.get(), &code);
            std::fprintf(stderr, "the launcher ended with exit code %lu and no updater\n", code);
            return 2;
        }
        if (updater && WaitForSingleObject(updater.get(), 0) == WAIT_OBJECT_0) {
            DWORD code = 2;
            GetExitCodeProcess(updater.get(), &code);
            return static_cast<int>(code);
        }
        if (automatic) {
            Scan scan;
            scan.processes = {launched.dwProcessId, updaterId};
            EnumWindows(ScanWindow, reinterpret_cast<LPARAM>(&scan));
            for (HWND box : scan.boxes)
                Answer(box, answered);
            if (scan.progressShown && !markerWritten) {
                markerWritten = static_cast<bool>(FileHandle(CreateFileA(
                    marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
            }
        }
        Sleep(50);
    }
    std::fprintf(stderr, "the update did not end in time\n");
    if (updater)
        TerminateProcess(updater.get(), 2);
    TerminateProcess(launcher.get(), 2);
    return 2;
}
