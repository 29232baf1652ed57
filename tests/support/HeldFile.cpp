#include "HeldFile.h"

#include <gtest/gtest.h>

#include <string>

HeldFile::HeldFile(const AnsiString& path, DWORD access, DWORD share) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr, input = nullptr, output = nullptr, childOutput = nullptr;
    const bool piped = CreatePipe(&childInput, &input, &inheritable, 0) &&
                       CreatePipe(&output, &childOutput, &inheritable, 0);
    KernelHandle childIn(childInput), out(output), childOut(childOutput);
    input_.reset(input);
    if (!piped) {
        ADD_FAILURE() << "cannot create pipes";
        return;
    }
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    holder_ = std::make_unique<Process>("\"" + DosPath(HOLDFILE_EXE) + "\" \"" + path + "\" " +
                                            std::to_string(access) + " " + std::to_string(share),
                                        "C:\\", childIn.get(), childOut.get());
    // Only the helper writes to the pipe now: the read ends with its first line or its end.
    childIn.reset();
    childOut.reset();
    AnsiString reply;
    char c = 0;
    DWORD got = 0;
    while (reply.find('\n') == AnsiString::npos && ::ReadFile(out.get(), &c, 1, &got, nullptr) &&
           got == 1)
        reply += c;
    EXPECT_EQ(reply.substr(0, 4), "held") << path << ": " << reply;
    // A holder with no access at all keeps nobody out.
    if (access == 0)
        return;
    const FileHandle probe(
        CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(!probe && GetLastError() == ERROR_SHARING_VIOLATION) << path << " is not held";
}

HeldFile::~HeldFile() {
    input_.reset();
    if (holder_) {
        EXPECT_EQ(holder_->Wait(), 0);
    }
}

FileOpenedHere::FileOpenedHere(const AnsiString& path, DWORD share)
    : file_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_TRUE(file_) << "cannot hold " << path;
}
