// The updater's progress window and the update run it drives: fetch the update list, ask,
// download with progress and cancel, install, and start the application.
#pragma once

#include "ComCtrls.h"
#include "Define.h"
#include "Download.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

#include <functional>

// The name of the single-instance mutex: the program's full path upper-cased in the system's
// ANSI code page, keeping only its ASCII letters and digits, byte by byte.
AnsiString MutexName(const AnsiString& exePath);

// The target name as the progress line shows it: the name itself up to 50 bytes, else "..."
// followed by its last 47 bytes.
AnsiString ShownName(const AnsiString& name);

// The progress line: status, ":", the name as ShownName gives it, ";", received, "/", total,
// both numbers in plain signed decimal.
AnsiString ProgressLine(const AnsiString& status, const AnsiString& name, int received, int total);

// The progress line as it fits a label: exactly ProgressLine's when fits accepts it. Otherwise
// the shown name is "..." and a shorter tail of the name, its leading characters dropped whole
// (double-byte characters of the ANSI code page stay whole), the longest tail that fits; "..."
// alone when none does.
AnsiString FittedProgressLine(const AnsiString& status, const AnsiString& name, int received,
                              int total, const std::function<bool(const AnsiString&)>& fits);

// part * 100 / whole, truncated toward zero and formed without overflow; 0 when whole is 0.
// A result beyond the int range is held at its nearest end.
int Percent(long long part, long long whole);

// The run's count of finished transfers for one progress report. A name that differs from
// progressName adds the size recorded for the previous name to doneBytes and starts the new
// name at size 0; a further report under the same name records its total when it is positive.
void CountTransfer(const AnsiString& name, int total, AnsiString& progressName,
                   int& progressFileSize, int& doneBytes);

class TFmDisp : public TForm {
  public:
    // Fixes the paths, makes the parent of the updater folder the current directory, reads
    // "quen6.ini" and loads the language library; when either fails it shows its fixed message
    // and ends the process with exit code 1.
    explicit TFmDisp(TComponent* owner);

    // Routes the self-posted WM_USER (its LParam the form's window handle) to the update run.
    void Dispatch(TMessage& message) override;

    TLabel* LbProgress;
    TLabel* LbMsg;
    TButton* BtnCancel;
    TBevel* Bevel1;
    TProgressBar* TotalProgress;
    TProgressBar* CurrentProgress;

    // Hands the network settings and the progress callback to Http, then posts WM_USER with
    // the window handle to start the run once the loop takes it.
    void FormShow(TObject* sender);
    // Shows the state of the running transfer: its status line and the two bars.
    void HttpProgress(TObject* sender);
    // Cancels the download engine's run and the running transfer.
    void BtnCancelClick(TObject* sender);

  private:
    // The self-posted WM_USER, the one whose LParam is the form's window handle: acts once.
    void WmStartUpdate();
    void RunUpdate();
    void InstallAndClose();
    // True only after irInstalled. Ends the process on irInstallFailed.
    bool InstallUpdate();
    // Writes the RunOnce value that restarts the updater in install-only mode; ends the process
    // when the key cannot be opened. A refused write raises ERegistryException.
    void ScheduleRunOnce();
    // Starts the application with the rest of the command line and closes the form; ends the
    // process when the shell fails.
    void LaunchApplication();

    // No update list, or it or the state file unusable: IDS_NO_UPDATE_INFO, the application
    // when the setting "offline" allows it, then the end of the process.
    [[noreturn]] void EndWithoutList();
    // A mandatory update closes the form; an optional one starts the application.
    void FinishRun(bool mandatory);
    // The text of that number (TextNumbers.h) in a box with an OK button, titled with the caption.
    void ShowText(int number);
    AnsiString StateFile() const { return DownloadDir + "dllst.$$$"; }

    bool Started = false;
    bool NormalRun = false;
    AnsiString StartDir;
    AnsiString CommandLine;
    AnsiString ExeDir;
    AnsiString DownloadDir;
    AnsiString IniPath;
    TReadIniFile Settings;
    TDownload Downloader;
    AnsiString ProgressName;
    int ProgressFileSize = 0;
    int TotalBytes = 0;
    int DoneBytes = 0;
};

// The program's one window; null until the program creates it.
extern TFmDisp* FmDisp;
