// Runs the demo's launcher and follows the updater it starts until the updater ends.
//   answer.exe yes|no|user FOLDER LAUNCHER [ARGUMENT...]
// yes, no: answers the updater's question so and every other box with OK, and prints every box
// it answers.
// user: the user answers; the program only watches.
// In the folder FOLDER it creates the file progress-shown once a progress bar of the updater's
// window stands at a quarter or more (the demo takes its screenshot then). When the updater has
// ended, it creates there the file declined when the question was asked and no download
// followed (its progress bars never showed), and writes the text of the last box shown to
// last-box.txt. Exit code: the updater's, or 2 when the launcher or the updater failed, or did
// not end within the deadline (then it is ended).
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

struct Bars {
    bool shown = false;   // a bar is visible: the download has begun
    bool quarter = false; // a bar stands at a quarter or more
};

struct Scan {
    std::vector<DWORD> processes;
    std::vector<HWND> boxes;
    Bars bars;
};

BOOL CALLBACK FindProgressBar(HWND child, LPARAM param) {
    if (!ClassIs(child, "msctls_progress32") || !IsWindowVisible(child))
        return TRUE;
    auto* bars = reinterpret_cast<Bars*>(param);
    bars->shown = true;
    DWORD_PTR position = 0;
    if (SendMessageTimeoutA(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position) &&
        position >= 25)
        bars->quarter = true;
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
        EnumChildWindows(hwnd, FindProgressBar, reinterpret_cast<LPARAM>(&scan->bars));
    return TRUE;
}

enum class Mode { Yes, No, User };

// What the run showed so far.
struct Watch {
    std::vector<HWND> seen;  // boxes, each taken once
    std::string lastBox;     // the text of the last box shown, on one line
    bool asked = false;      // the question was shown
    bool downloaded = false; // the progress bars showed after the question
};

// Takes in a box the first time it shows; answers it unless the user does.
void SeeBox(HWND box, Mode mode, Watch& watch) {
    for (HWND h : watch.seen)
        if (h == box)
            return;
    watch.seen.push_back(box);
    const HWND label = GetDlgItem(box, 0xFFFF);
    std::string text = label ? WindowText(label) : "";
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    watch.lastBox = text;
    const bool question = GetDlgItem(box, IDYES) != nullptr;
    watch.asked = watch.asked || question;
    if (mode == Mode::User)
        return;
    const int id = !question ? IDOK : mode == Mode::Yes ? IDYES : IDNO;
    const char* const button = id == IDOK ? "OK" : id == IDYES ? "Yes" : "No";
    std::printf("demo: box \"%s\":%s%s -> %s\n", WindowText(box).c_str(),
                text.empty() || text[0] == ' ' ? "" : " ", text.c_str(), button);
    std::fflush(stdout);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    const FileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file &&
           WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// What the demo reads once the updater has ended.
void Report(const std::string& folder, const Watch& watch) {
    if (watch.asked && !watch.downloaded)
        WriteTextFile(folder + "\\declined", "");
    WriteTextFile(folder + "\\last-box.txt", watch.lastBox + "\n");
}

} // namespace

int main(int argc, char** argv) {
    const std::string modeName = argc < 4 ? "" : argv[1];
    if (modeName != "yes" && modeName != "no" && modeName != "user") {
        std::fprintf(stderr, "usage: answer.exe yes|no|user FOLDER LAUNCHER [ARGUMENT...]\n");
        return 2;
    }
    const Mode mode = modeName == "yes" ? Mode::Yes : modeName == "no" ? Mode::No : Mode::User;
    const std::string folder = argv[2];
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
    Watch watch;
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
            Report(folder, watch);
            return static_cast<int>(code);
        }
        Scan scan;
        scan.processes = {launched.dwProcessId, updaterId};
        EnumWindows(ScanWindow, reinterpret_cast<LPARAM>(&scan));
        for (HWND box : scan.boxes)
            SeeBox(box, mode, watch);
        watch.downloaded = watch.downloaded || (watch.asked && scan.bars.shown);
        if (scan.bars.quarter && !markerWritten)
            markerWritten = WriteTextFile(folder + "\\progress-shown", "");
        Sleep(50);
    }
    std::fprintf(stderr, "the update did not end in time\n");
    if (updater)
        TerminateProcess(updater.get(), 2);
    TerminateProcess(launcher.get(), 2);
    return 2;
}
