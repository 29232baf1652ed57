#include "disp.h"

#include "HttpMod.h"
#include "Language.h"
#include "Registry.h"
#include "TextNumbers.h"

#include <shellapi.h>

#include <climits>
#include <vector>

TFmDisp* FmDisp = nullptr;

namespace {

const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kInstallOnlyMark[] = "$$UPDT$$";

// A fatal failure ends the process here and now. ExitProcess rather than std::exit: the
// form's methods and Http's transfer state may still be on the stack, and std::exit would run
// the static destructors, which free the application object's form and module under them.
[[noreturn]] void EndProcess() {
    ExitProcess(1);
}

bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

AnsiString MutexName(const AnsiString& exePath) {
    AnsiString name;
    for (char c : AnsiUpperCase(exePath))
        if (IsAsciiLetterOrDigit(c))
            name += c;
    return name;
}

AnsiString ShownName(const AnsiString& name) {
    if (name.size() <= 50)
        return name;
    return "..." + name.substr(name.size() - 47);
}

namespace {

AnsiString LineWithName(const AnsiString& status, const AnsiString& shown, int received,
                        int total) {
    return status + ":" + shown + ";" + IntToStr(received) + "/" + IntToStr(total);
}

} // namespace

AnsiString ProgressLine(const AnsiString& status, const AnsiString& name, int received, int total) {
    return LineWithName(status, ShownName(name), received, total);
}

AnsiString FittedProgressLine(const AnsiString& status, const AnsiString& name, int received,
                              int total, const std::function<bool(const AnsiString&)>& fits) {
    const AnsiString line = ProgressLine(status, name, received, total);
    if (fits(line))
        return line;
    // Where the name's characters begin, after its first one; a tail shorter than the shown
    // one starts at one of them.
    const AnsiString::size_type shownTail = name.size() <= 50 ? name.size() : 47;
    std::vector<AnsiString::size_type> starts;
    for (AnsiString::size_type i = 0; i < name.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(name[i])))
            ++i;
        if (i + 1 < name.size() && name.size() - (i + 1) < shownTail)
            starts.push_back(i + 1);
    }
    starts.push_back(name.size());
    const auto withTail = [&](AnsiString::size_type start) {
        return LineWithName(status, "..." + name.substr(start), received, total);
    };
    // The drawn width shrinks with the tail: the first start whose line fits.
    std::vector<AnsiString::size_type>::size_type low = 0, high = starts.size() - 1;
    while (low < high) {
        const auto middle = low + (high - low) / 2;
        if (fits(withTail(starts[middle])))
            high = middle;
        else
            low = middle + 1;
    }
    return withTail(starts[low]);
}

int Percent(long long part, long long whole) {
    if (whole == 0)
        return 0;
    const long long percent = part * 100 / whole;
    return percent > INT_MAX ? INT_MAX : percent < INT_MIN ? INT_MIN : static_cast<int>(percent);
}

void CountTransfer(const AnsiString& name, int total, AnsiString& progressName,
                   int& progressFileSize, int& doneBytes) {
    if (name != progressName) {
        // Sizes come from the server: wrap rather than overflow.
        doneBytes = static_cast<int>(static_cast<unsigned>(doneBytes) +
                                     static_cast<unsigned>(progressFileSize));
        progressName = name;
        progressFileSize = 0;
    } else if (total > 0) {
        progressFileSize = total;
    }
}

TFmDisp::TFmDisp(TComponent* owner) : TForm(owner) {
    // The form as its resource lays it out; the bars stay hidden until a download starts.
    Bevel1 = new TBevel(this, 8, 8, 457, 105);
    LbMsg = new TLabel(this, 16, 24, 441, 17);
    LbProgress = new TLabel(this, 16, 48, 441, 20);
    BtnCancel = new TButton(this, 384, 120, 75, 25);
    TotalProgress = new TProgressBar(this, 16, 72, 441, 17);
    CurrentProgress = new TProgressBar(this, 16, 88, 441, 17);
    TotalProgress->SetVisible(false);
    CurrentProgress->SetVisible(false);
    BtnCancel->SetCancel(true);
    BtnCancel->OnClick = [this](TObject* sender) { BtnCancelClick(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
    SetClientSize(473, 151);
    CenterOnScreen();

    // Nothing of the network is touched here: Http gets its settings when the form shows.
    StartDir = GetCurrentDir();
    CommandLine = GetCommandLineA();
    NormalRun = AnsiPos(kInstallOnlyMark, CommandLine) == AnsiString::npos;
    ExeDir = ExtractFilePath(Application->ExeName());
    SetCurrentDir(ExeDir + "..\\");
    DownloadDir = ExeDir + "Download\\";
    IniPath = ExeDir + "quen6.ini";

    const AnsiString title = ExtractFileName(Application->ExeName());
    if (!Settings.Load(IniPath)) {
        Application->MessageBox(".ini can not open.\n(" + IniPath + ")", title, MB_OK);
        EndProcess();
    }
    if (!LoadLanguageDll(ExeDir.c_str(), Settings.GetLanguage().c_str())) {
        Application->MessageBox("Language DLL can not load.", title, MB_OK);
        EndProcess();
    }
    SetCaption(Settings.GetAppName() + ":" + LoadLangString(IDS_ONLINE_UPDATE));
    Application->SetTitle(Caption());
    LbMsg->SetCaption(LoadLangString(IDS_UPDATING));
    BtnCancel->SetCaption(LoadLangString(IDS_CANCEL));
}

void TFmDisp::Dispatch(TMessage& message) {
    // DM_GETDEFID of the dialog keys is WM_USER too; it carries no window handle.
    if (message.Msg == WM_USER && message.LParam == reinterpret_cast<LPARAM>(Handle()))
        WmStartUpdate();
    else
        TForm::Dispatch(message);
}

void TFmDisp::FormShow(TObject*) {
    Http->SetTimeOut(Settings.GetTimeOut());
    Http->SetUserId(Settings.GetUser());
    Http->SetPassword(Settings.GetPass());
    Http->SetProxy(Settings.GetProxy());
    Http->SetProxyPort(Settings.GetProxyPort());
    Http->SetOnStatus([this](TObject* sender) { HttpProgress(sender); });
    PostMessageA(Handle(), WM_USER, 0, reinterpret_cast<LPARAM>(Handle()));
}

void TFmDisp::HttpProgress(TObject*) {
    const AnsiString status = Http->GetStatus();
    const int received = Http->GetBytesRecvd();
    const int total = Http->GetBytesTotal();
    const AnsiString name = Http->GetTarget();

    LbProgress->SetCaption(
        FittedProgressLine(status, name, received, total, [this](const AnsiString& line) {
            return LbProgress->TextWidth(line) <= LbProgress->ClientWidth();
        }));
    CurrentProgress->SetPosition(Percent(received, total));
    CountTransfer(name, total, ProgressName, ProgressFileSize, DoneBytes);
    TotalProgress->SetPosition(Percent(static_cast<long long>(DoneBytes) + received, TotalBytes));
}

void TFmDisp::BtnCancelClick(TObject*) {
    Downloader.Cancel();
}

void TFmDisp::WmStartUpdate() {
    if (Started)
        return;
    Started = true;
    Downloader.SettleInstallRecord(StateFile());
    if (NormalRun)
        RunUpdate();
    else
        InstallAndClose();
}

void TFmDisp::RunUpdate() {
    // The next URL only after a request that raised; an HTTP error status ends the search.
    bool loaded = false;
    for (int i = 0; i < 3 && !loaded; ++i) {
        loaded = Downloader.LoadList(Settings.GetList(i));
        if (!loaded && Downloader.GetListResult() != 1)
            break;
    }
    if (!loaded)
        EndWithoutList();

    const int count = Downloader.Prepare(StateFile());
    if (count == 0) {
        LaunchApplication();
        return;
    }
    if (count < 0)
        EndWithoutList();

    const bool mandatory = Downloader.IsNeeded();
    AnsiString message = Downloader.GetMessageText();
    if (message.empty())
        message = LoadLangString(mandatory ? IDS_ASK_REQUIRED_UPDATE : IDS_ASK_UPDATE);

    const int pending = Downloader.GetPendingCount();
    if (pending > 0) {
        if (Application->MessageBox(message, Caption(), MB_YESNO) != IDYES) {
            if (mandatory) {
                ShowText(IDS_UNUSABLE_WITHOUT_UPDATE);
                Close();
            } else {
                LaunchApplication();
            }
            return;
        }
        TotalProgress->SetPosition(0);
        CurrentProgress->SetPosition(0);
        TotalProgress->SetVisible(true);
        CurrentProgress->SetVisible(true);
        TotalBytes = Downloader.GetPendingSize();
        ProgressName = "";
        ProgressFileSize = 0;
        DoneBytes = 0;
    }
    // With nothing to fetch as well: the state file is then written anew from this list, so
    // that an entry an earlier run recorded and the list has since dropped cannot stop the
    // install on every run.
    const bool ok = Downloader.DownloadAll(StateFile(), DownloadDir);

    if (!ok) {
        ShowText(IDS_DOWNLOAD_FAILED);
        FinishRun(mandatory);
    } else if (InstallUpdate()) {
        LaunchApplication();
    } else {
        FinishRun(mandatory);
    }
}

bool TFmDisp::InstallUpdate() {
    switch (Downloader.Install(StateFile())) {
    case irInstalled:
        ShowText(IDS_INSTALLED);
        return true;
    case irFilesInUse:
        ScheduleRunOnce();
        return false;
    case irInstallFailed:
        ShowText(IDS_INSTALL_FAILED);
        EndProcess();
    case irDownloadsChanged:
        break;
    }
    ShowText(IDS_DOWNLOADS_CHANGED);
    return false;
}

void TFmDisp::InstallAndClose() {
    InstallUpdate();
    Close();
}

void TFmDisp::ScheduleRunOnce() {
    const AnsiString path = Application->ExeName();
    const AnsiString data = "\"" + path + "\" " + kInstallOnlyMark;
    AnsiString name = path;
    for (auto p = AnsiPos("\\", name); p != AnsiString::npos; p = AnsiPos("\\", name))
        name[p] = '$';

    bool written = false;
    {
        TRegistry registry(KEY_ALL_ACCESS);
        registry.RootKey = HKEY_LOCAL_MACHINE;
        if (registry.OpenKey(kRunOnceKey, false)) {
            registry.WriteString(name, data);
            written = true;
        }
    }
    if (!written) {
        ShowText(IDS_CANNOT_SCHEDULE);
        EndProcess();
    }
    ShowText(IDS_FILES_IN_USE);
}

void TFmDisp::LaunchApplication() {
    CommandLine = StripFirstToken(CommandLine);
    const AnsiString file = ExeDir + "..\\" + Settings.GetExec();
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(Application->Handle(), "open", file.c_str(),
                                                CommandLine.c_str(), StartDir.c_str(), SW_SHOW));
    if (result <= 32) {
        ShowText(IDS_APP_NOT_STARTED);
        EndProcess();
    }
    Close();
}

void TFmDisp::EndWithoutList() {
    ShowText(IDS_NO_UPDATE_INFO);
    if (Settings.IsOffline())
        LaunchApplication();
    EndProcess();
}

void TFmDisp::FinishRun(bool mandatory) {
    if (mandatory)
        Close();
    else
        LaunchApplication();
}

void TFmDisp::ShowText(int number) {
    const AnsiString text = LoadLangString(number);
    Application->MessageBox(text, Caption(), MB_OK);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Never closed: the name must stay taken until the process ends, also when a fatal failure
    // ends it from deep inside the run; the system closes the handle then.
    HANDLE mutex = nullptr;
    try {
        Application->Initialize();
        const AnsiString name = MutexName(Application->ExeName());
        if (KernelHandle(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str())))
            return 0;
        // Two updaters started at the same moment can both pass the test above; the one whose
        // creation finds the name taken ends as well.
        SetLastError(ERROR_SUCCESS);
        mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            return 0;
        }
        Application->CreateForm(Http);
        Application->CreateForm(FmDisp);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(e);
    }
    if (mutex)
        ReleaseMutex(mutex);
    return 0;
}
