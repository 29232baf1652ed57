// fakeapp.exe: a stand-in for the application that a program under test starts. It appends
// one record to its log and exits 0. The log is the file that the environment variable
// FAKEAPP_LOG names, else "fakeapp.log" beside the program. A record is two lines, each ended
// by CR LF: the command line as the process received it (GetCommandLineA), then its working
// directory. FakeApp.h reads the log back.
#include "Handles.h"
#include "SysUtils.h"

namespace {

AnsiString LogPath() {
    char buf[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("FAKEAPP_LOG", buf, sizeof buf);
    if (n > 0 && n < sizeof buf)
        return AnsiString(buf, n);
    return ExtractFilePath(ExeName()) + "fakeapp.log";
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const AnsiString record = AnsiString(GetCommandLineA()) + "\r\n" + GetCurrentDir() + "\r\n";
    // Two runs may end at the same moment: wait for the other's append.
    for (int attempt = 0; attempt < 500; ++attempt) {
        FileHandle log(CreateFileA(LogPath().c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (log) {
            DWORD written = 0;
            ::WriteFile(log.get(), record.data(), static_cast<DWORD>(record.size()), &written,
                        nullptr);
            return 0;
        }
        Sleep(10);
    }
    return 1;
}
