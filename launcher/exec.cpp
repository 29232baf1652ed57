// The launcher: puts a delivered updater and language library in place, then starts the
// updater with the launcher's own arguments and ends without waiting for it.
#include "Launcher.h"

#include "Forms.h"
#include "Language.h"
#include "TextNumbers.h"

#include <shellapi.h>

#include <cstdlib>

namespace {

// Shown through the wide API: the caption reads as these characters under any ANSI code page.
const std::wstring kStartFailureCaption = L"\u30a8\u30e9\u30fc";

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        // No form is created, so Run returns at once: no window of our own, no message loop.
        Application->Initialize();
        Application->Run();

        const AnsiString commandLine = GetCommandLineA();
        const AnsiString launcherDir = ExtractFilePath(Application->ExeName());
        const AnsiString updaterDir = GetUpdaterDir(launcherDir);
        const AnsiString updater = updaterDir + "quen6aux.exe";
        const AnsiString deliveredUpdater = updaterDir + "quen6aux2.exe";
        const AnsiString languageLibrary = updaterDir + "quen6aux_lang.dll";
        const AnsiString deliveredLanguageLibrary = updaterDir + "quen6aux_lang2.dll";
        const AnsiString parameters = StripFirstToken(commandLine);

        SwapInDelivered(updater, deliveredUpdater);
        SwapInDelivered(languageLibrary, deliveredLanguageLibrary);

        if (!LoadLanguageDll(updaterDir.c_str(), LanguageCode.c_str())) {
            Application->MessageBox("Language DLL can not load.", "Error", MB_OK);
            std::exit(1);
        }
        const HINSTANCE started =
            ShellExecuteA(Application->Handle(), "open", updater.c_str(), parameters.c_str(),
                          GetCurrentDir().c_str(), SW_SHOW);
        if (reinterpret_cast<INT_PTR>(started) <= 32) {
            Application->MessageBox(LoadLangString(IDS_UPDATER_NOT_STARTED), kStartFailureCaption,
                                    MB_OK);
            std::exit(1);
        }
    } catch (const Exception& e) {
        Application->ShowException(e);
    }
    return 0;
}
