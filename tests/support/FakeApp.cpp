// QueryFullProcessImageNameA answers from the moment a process exists.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "FakeApp.h"

#include "Classes.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

// Handles of the running processes named fileName whose program lies in the folder.
std::vector<KernelHandle> RunningCopies(const AnsiString& folder, const char* fileName) {
    std::vector<KernelHandle> running;
    for (const PROCESSENTRY32& entry : RunningProcesses()) {
        if (lstrcmpiA(entry.szExeFile, fileName) != 0)
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

std::vector<FakeAppRun> FakeAppRuns(const AnsiString& folder, const char* fileName,
                                    DWORD timeoutMs) {
    for (const KernelHandle& process : RunningCopies(folder, fileName))
        if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0)
            ADD_FAILURE() << fileName << " in " << folder << " still runs";

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
