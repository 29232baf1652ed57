#include "Process.h"

#include <gtest/gtest.h>

#include <vector>

Process::Process(const AnsiString& commandLine, const AnsiString& workingDir) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.c_str(), &startup, &info)) {
        ADD_FAILURE() << "cannot start " << commandLine << " (error " << GetLastError() << ")";
        return;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

Process::~Process() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), INFINITE);
    }
}

int Process::Wait(DWORD timeoutMs) {
    if (!process_)
        return -1;
    if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "process " << id_ << " still runs after " << timeoutMs << " ms: killed";
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), INFINITE);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<int>(code);
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
