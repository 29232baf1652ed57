#include "Process.h"

#include <gtest/gtest.h>

Process::Process(const AnsiString& commandLine, const AnsiString& workingDir, HANDLE input,
                 HANDLE output) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    const bool standardHandles = input || output;
    if (standardHandles) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION info{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, standardHandles, 0, nullptr,
                        workingDir.c_str(), &startup, &info)) {
        ADD_FAILURE() << "cannot start " << commandLine << " (error " << GetLastError() << ")";
        return;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

Process::Process(DWORD id) {
    if (id == 0)
        return;
    process_.reset(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id));
    if (process_)
        id_ = id;
}

Process::~Process() {
    Kill();
}

int Process::Wait(DWORD timeoutMs) {
    if (!process_)
        return -1;
    if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "process " << id_ << " still runs after " << timeoutMs << " ms: killed";
        Kill();
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<int>(code);
}

bool Process::Kill(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_.get(), 0) != WAIT_TIMEOUT)
        return true;
    // A process that ends by itself meanwhile refuses to be ended: only its end counts.
    TerminateProcess(process_.get(), 255);
    if (WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0)
        return true;
    ADD_FAILURE() << "process " << id_ << " still runs " << timeoutMs << " ms after it was killed";
    return false;
}

std::vector<PROCESSENTRY32> RunningProcesses() {
    std::vector<PROCESSENTRY32> processes;
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry))
        processes.push_back(entry);
    return processes;
}

namespace {

ULONGLONG CreationTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return ULARGE_INTEGER{{created.dwLowDateTime, created.dwHighDateTime}}.QuadPart;
}

} // namespace

std::vector<PROCESSENTRY32> StartedProcesses(HANDLE starter, DWORD starterId) {
    const ULONGLONG start = CreationTime(starter);
    std::vector<PROCESSENTRY32> started;
    for (const PROCESSENTRY32& entry : RunningProcesses()) {
        if (entry.th32ParentProcessID != starterId)
            continue;
        const KernelHandle process(
            OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID));
        if (process && CreationTime(process.get()) >= start)
            started.push_back(entry);
    }
    return started;
}

DWORD StartedBy(DWORD starterId, const char* fileName, DWORD timeoutMs) {
    const KernelHandle starter(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, starterId));
    const DWORD start = GetTickCount();
    for (;;) {
        // A process started before the starter ended is in the snapshot taken after this test.
        const bool starterEnded = !starter || WaitForSingleObject(starter.get(), 0) != WAIT_TIMEOUT;
        for (const PROCESSENTRY32& entry : StartedProcesses(starter.get(), starterId))
            if (lstrcmpiA(entry.szExeFile, fileName) == 0)
                return entry.th32ProcessID;
        if (starterEnded)
            return 0;
        if (GetTickCount() - start >= timeoutMs) {
            ADD_FAILURE() << "no " << fileName << " started by process " << starterId;
            return 0;
        }
        Sleep(10);
    }
}

AnsiString DosPath(const char* hostPath) {
    // Wine's own conversion (a cdecl export), absent on Windows.
    using Convert = WCHAR* (*)(const char*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    WCHAR* wide = convert ? convert(hostPath) : nullptr;
    if (!wide)
        return hostPath;
    char buf[MAX_PATH * 2];
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
    HeapFree(GetProcessHeap(), 0, wide);
    return n > 0 ? AnsiString(buf) : AnsiString(hostPath);
}

void CopyTo(const AnsiString& from, const AnsiString& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy " << from << " to " << to << " (error " << GetLastError()
                      << ")";
}
