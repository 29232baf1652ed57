// A language library that remembers the process's error mode at the moment it was loaded.
#include <windows.h>

extern "C" {
__declspec(dllexport) UINT ErrorModeAtLoad = 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // SetErrorMode gives the mode it replaces; put it back at once.
        ErrorModeAtLoad = SetErrorMode(0);
        SetErrorMode(ErrorModeAtLoad);
    }
    return TRUE;
}
