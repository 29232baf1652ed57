#include "Launcher.h"

#include "IniFiles.h"

AnsiString LanguageCode;

AnsiString GetUpdaterDir(const AnsiString& launcherDir) {
    AnsiString folderName;
    const AnsiString settingsPath = launcherDir + "quen6fld.ini";
    // Whatever its time stamp: a settings file copied with an odd date must still be read.
    if (FileExistsAnyDate(settingsPath)) {
        TIniFile settings(settingsPath);
        folderName = settings.ReadString("update", "updaterdir", "");
        LanguageCode = settings.ReadString("update", "language", "");
    }
    if (folderName.empty())
        folderName = "quen6";
    const AnsiString candidate = IncludeTrailingBackslash(launcherDir + folderName);
    return IsDirectory(candidate) ? candidate : launcherDir;
}

bool IsDirectory(const AnsiString& path) {
    return DirectoryExists(path);
}

void SwapInDelivered(const AnsiString& installed, const AnsiString& delivered) {
    // Whatever its time stamp, as the settings file.
    if (!FileExistsAnyDate(delivered))
        return;
    SetFileAttributesA(installed.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Deleting the installed file first and renaming the delivered one after it would leave no
    // file at all when the rename fails (the delivered file held open). Replacing in one step
    // keeps the installed file whenever the delivered one cannot take its place; a running
    // updater, or a loaded library, cannot be replaced, so it stays and runs once more.
    MoveFileExA(delivered.c_str(), installed.c_str(), MOVEFILE_REPLACE_EXISTING);
}
