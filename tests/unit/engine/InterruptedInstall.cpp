// An install that ends from outside at a chosen step:
//
//     interruptedinstall <state file> <event name> <step> move|copy
//
// It runs as an install-only start does: settles what an earlier install left, then
// installs. Every call that changes a file (create a folder, write, move, copy, delete)
// counts as a step; before the chosen one it signals the event and waits to be killed. When
// the install ends first, the exit code is 100 plus its result. With "copy" the downloads act
// as if they lay on another volume than the targets: no MoveFileExA from the state file's folder
// gets through, and every copy counts one more step halfway, with the first half of the file
// written.
#include "Download.h"

#include "Forms.h"
#include "Imports.h"

#include <windows.h>

#include <cstring>

namespace {

int stopAt = 0;
int steps = 0;
HANDLE stopped = nullptr;
bool otherVolume = false;
AnsiString downloadFolder; // in upper case

void Step() {
    if (++steps == stopAt) {
        SetEvent(stopped);
        Sleep(INFINITE);
    }
}

decltype(&CreateDirectoryA) createDirectory;
decltype(&WriteFile) writeFile;
decltype(&MoveFileExA) moveFileEx;
decltype(&CopyFileA) copyFile;
decltype(&DeleteFileA) deleteFile;

BOOL WINAPI StepCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    Step();
    return createDirectory(path, security);
}
BOOL WINAPI StepWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD done,
                          LPOVERLAPPED overlapped) {
    Step();
    return writeFile(file, data, size, done, overlapped);
}
BOOL WINAPI StepMoveFileEx(LPCSTR from, LPCSTR to, DWORD flags) {
    Step();
    if (otherVolume && AnsiUpperCase(ExtractFilePath(from)) == downloadFolder) {
        SetLastError(ERROR_NOT_SAME_DEVICE);
        return FALSE;
    }
    return moveFileEx(from, to, flags);
}
// The first half of the file written to the destination, as a copy has it when it ends there.
void CopyHalf(LPCSTR from, LPCSTR to) {
    FileHandle source(
        CreateFileA(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    FileHandle destination(
        CreateFileA(to, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    char data[4096];
    DWORD got = 0, done = 0;
    if (source && destination && ReadFile(source.get(), data, sizeof data, &got, nullptr))
        writeFile(destination.get(), data, got / 2, &done, nullptr);
}
BOOL WINAPI StepCopyFile(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    Step();
    if (otherVolume) {
        CopyHalf(from, to);
        Step();
    }
    return copyFile(from, to, failIfExists);
}
BOOL WINAPI StepDeleteFile(LPCSTR path) {
    Step();
    return deleteFile(path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const AnsiString stateFile = argv[1];
    KernelHandle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
    stopAt = StrToIntDef(argv[3], 0);
    otherVolume = std::strcmp(argv[4], "copy") == 0;
    downloadFolder = AnsiUpperCase(ExtractFilePath(stateFile));
    if (!event)
        return 2;
    stopped = event.get();
    Application->Initialize();
    RedirectImport("CreateDirectoryA", &StepCreateDirectory, createDirectory);
    RedirectImport("WriteFile", &StepWriteFile, writeFile);
    RedirectImport("MoveFileExA", &StepMoveFileEx, moveFileEx);
    RedirectImport("CopyFileA", &StepCopyFile, copyFile);
    RedirectImport("DeleteFileA", &StepDeleteFile, deleteFile);
    if (!createDirectory || !writeFile || !moveFileEx || !copyFile || !deleteFile)
        return 3;
    TDownload run;
    run.SettleInstallRecord(stateFile);
    return 100 + run.Install(stateFile);
}
