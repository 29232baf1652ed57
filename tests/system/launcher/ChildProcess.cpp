#include "ChildProcess.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

ChildProcess::ChildProcess(DWORD starterId, const char* fileName, DWORD timeoutMs)
    : fileName_(fileName) {
    const KernelHandle starter(OpenProcess(SYNCHRONIZE, FALSE, starterId));
    const DWORD start = GetTickCount();
    for (;;) {
        // A child started before the starter ended is in the snapshot taken after this test.
        const bool starterEnded = !starter || WaitForSingleObject(starter.get(), 0) != WAIT_TIMEOUT;
        if (Find(starterId) || starterEnded)
            return;
        if (GetTickCount() - start >= timeoutMs) {
            ADD_FAILURE() << "no " << fileName_ << " started by process " << starterId;
            return;
        }
        Sleep(10);
    }
}

bool ChildProcess::Find(DWORD starterId) {
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID != starterId ||
            lstrcmpiA(entry.szExeFile, fileName_.c_str()) != 0)
            continue;
        process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                   FALSE, entry.th32ProcessID));
        if (process_)
            id_ = entry.th32ProcessID;
        return static_cast<bool>(process_);
    }
    return false;
}

ChildProcess::~ChildProcess() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), INFINITE);
    }
}

int ChildProcess::Wait(DWORD timeoutMs) {
    if (!process_)
        return -1;
    if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << fileName_ << " (process " << id_ << ") still runs after " << timeoutMs
                      << " ms: killed";
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), INFINITE);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<int>(code);
}
