// QueryFullProcessImageNameA answers from the moment a process exists.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "FakeApp.h"

#include "Classes.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

namespace {

// Handles of the running fakeapp.exe processes whose program lies in the folder.
std::vector<KernelHandle> RunningFakeApps(const AnsiString& folder) {
    std::vector<KernelHandle> running;
    KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) {
        snapshot.release();
        return running;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, "fakeapp.exe") != 0)
            continue;
        KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                         entry.th32ProcessID));
        char image[MAX_PATH * 2];
        DWORD size = sizeof image;
        if (process && QueryFullProcessImageNameA(process.get(), 0, image, &size) &&
            AnsiCompareText(ExtractFilePath(AnsiString(image, size)), folder) == 0)
            running.push_back(std::move(process));
    }
    return running;
}

} // namespace

std::vector<FakeAppRun> FakeAppRuns(const AnsiString& folder, DWORD timeoutMs) {
    for (const KernelHandle& process : RunningFakeApps(folder))
        if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0)
            ADD_FAILURE() << "fakeapp.exe in " << folder << " still runs";

    std::vector<FakeAppRun> runs;
    const AnsiString log = folder + "fakeapp.log";
    if (GetFileAttributesA(log.c_str()) == INVALID_FILE_ATTRIBUTES)
        return runs;
    TStringList lines;
    lines.SetText(ReadFile(log));
    for (int i = 0; i + 1 < lines.Count(); i += 2)
        runs.push_back({lines.Strings(i), lines.Strings(i + 1)});
    return runs;
}
