#include "EngineSupport.h"

#include <gtest/gtest.h>

ChildProcess::ChildProcess(const AnsiString& program, const AnsiString& arguments, HANDLE input,
                           HANDLE output) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (input || output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    AnsiString line = "\"" + ExtractFilePath(ExeName()) + program + "\" " + arguments;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, input || output, 0, nullptr,
                        nullptr, &startup, &info)) {
        ADD_FAILURE() << "cannot start " << line << " (error " << GetLastError() << ")";
        return;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
}

ChildProcess::~ChildProcess() {
    Kill();
}

void ChildProcess::Wait() {
    if (process_ && WaitForSingleObject(process_.get(), kDeadlineMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "a helper process still runs at the deadline: killed";
        Kill();
    }
}

void ChildProcess::Kill() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), INFINITE);
    }
}

HeldFile::HeldFile(const AnsiString& path) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr, input = nullptr, output = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &input, &inheritable, 0) ||
        !CreatePipe(&output, &childOutput, &inheritable, 0)) {
        ADD_FAILURE() << "cannot create pipes";
        return;
    }
    KernelHandle childIn(childInput), out(output), childOut(childOutput);
    input_.reset(input);
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    helper_ = std::make_unique<ChildProcess>("holdfile.exe", "\"" + path + "\"", childIn.get(),
                                             childOut.get());
    // Only the helper writes to the pipe now: the read ends with its first line or its end.
    childIn.reset();
    childOut.reset();
    AnsiString reply;
    char c = 0;
    DWORD got = 0;
    while (reply.find('\n') == AnsiString::npos && ReadFile(out.get(), &c, 1, &got, nullptr) &&
           got == 1)
        reply += c;
    EXPECT_EQ(reply.substr(0, 4), "held") << path << ": " << reply;
}

HeldFile::~HeldFile() {
    input_.reset();
    if (helper_)
        helper_->Wait();
}
