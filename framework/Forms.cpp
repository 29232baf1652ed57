#include "Forms.h"

#include "Controls.h"

#include <commctrl.h>

namespace {

const char kApplicationClass[] = "TApplication";
const char kFormClass[] = "TForm";

TApplication theApplication;

// Exceptions never cross a window procedure: the application object shows them and the
// message loop goes on.
template <typename F> void Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        Application->ShowException(e);
    }
}

// The platform's default face (that of the default GUI font) at 12 pixels, default character
// set.
HFONT CreateFormFont() {
    LOGFONTA font{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfHeight = -12;
    font.lfWidth = 0;
    font.lfCharSet = DEFAULT_CHARSET;
    return CreateFontIndirectA(&font);
}

bool IsFormWindow(HWND hwnd) {
    char name[sizeof kFormClass + 1] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return lstrcmpA(name, kFormClass) == 0;
}

AnsiString TextOf(HWND hwnd) {
    AnsiString text(static_cast<size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

TApplication* Application = &theApplication;

TApplication::TApplication() : TComponent(nullptr) {}

void TApplication::Initialize() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA app{};
    app.lpfnWndProc = DefWindowProcA;
    app.hInstance = instance;
    app.lpszClassName = kApplicationClass;
    RegisterClassA(&app);

    WNDCLASSA form{};
    form.lpfnWndProc = TForm::WindowProc;
    form.hInstance = instance;
    form.hCursor = LoadCursor(nullptr, IDC_ARROW);
    form.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    RegisterClassA(&form);

    handle_.reset(CreateWindowExA(0, kApplicationClass, title_.c_str(), WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr));
}

void TApplication::Run() {
    if (!MainForm)
        return;
    MainForm->Show();
    while (!terminated_)
        HandleMessage();
}

bool TApplication::ProcessMessage() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    DispatchThreadMessage(msg);
    return true;
}

void DispatchThreadMessage(MSG& msg) {
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && msg.hwnd) {
        const HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        if (IsFormWindow(root) && IsDialogMessageA(root, &msg))
            return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void TApplication::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void TApplication::HandleMessage() {
    if (!ProcessMessage())
        WaitMessage();
}

void TApplication::Terminate() {
    terminated_ = true;
    // Wake a loop that waits for a message.
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

int TApplication::MessageBox(const AnsiString& text, const AnsiString& caption, UINT flags) {
    return ShowModalBox(
        [&] { return ::MessageBoxA(Handle(), text.c_str(), caption.c_str(), flags); });
}

int TApplication::MessageBox(const AnsiString& text, const std::wstring& caption, UINT flags) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    return ShowModalBox(
        [&] { return ::MessageBoxW(Handle(), wide.c_str(), caption.c_str(), flags); });
}

int TApplication::ShowModalBox(const std::function<int()>& show) {
    const HWND active = GetActiveWindow();
    const HWND mainWindow = MainForm ? MainForm->Handle() : nullptr;
    const bool disabled = mainWindow && !EnableWindow(mainWindow, FALSE);
    const int result = show();
    if (disabled)
        EnableWindow(mainWindow, TRUE);
    if (active)
        SetActiveWindow(active);
    return result;
}

void TApplication::ShowException(const std::exception& e) {
    MessageBox(e.what(), title_, MB_OK | MB_ICONSTOP);
}

void TApplication::SetTitle(const AnsiString& title) {
    title_ = title;
    if (handle_)
        SetWindowTextA(handle_.get(), title_.c_str());
}

TForm::TForm(TComponent* owner) : TComponent(owner), font_(CreateFormFont()) {
    // The window procedure takes the handle at WM_NCCREATE, so that dispatch works from the
    // first message on.
    if (!CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kFormClass, "",
                         WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 320, 200,
                         nullptr, nullptr, GetModuleHandleA(nullptr), this)) {
        handle_.release(); // a failed creation has destroyed the window already
        throw Exception("Cannot create the window");
    }
}

TForm::~TForm() {
    // The controls' windows are children of the form's: free them while it still exists.
    DestroyComponents();
    SetWindowLongPtrA(handle_.get(), GWLP_USERDATA, 0);
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* created = static_cast<TForm*>(create->lpCreateParams);
        created->handle_.reset(hwnd);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    TMessage message{msg, wParam, lParam, 0};
    Guarded([&] { form->Dispatch(message); });
    return message.Result;
}

void TForm::Dispatch(TMessage& message) {
    switch (message.Msg) {
    case WM_COMMAND:
        if (message.LParam) {
            auto* control = reinterpret_cast<TControl*>(
                GetWindowLongPtrA(reinterpret_cast<HWND>(message.LParam), GWLP_USERDATA));
            if (control)
                control->Notify(HIWORD(message.WParam));
        }
        return;
    case WM_CLOSE:
        Close();
        return;
    case DM_GETDEFID: {
        // As in a dialog, Enter presses the push button that holds the focus.
        const HWND focus = GetFocus();
        if (focus && GetParent(focus) == handle_.get() &&
            (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON))
            message.Result = MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
        return;
    }
    case WM_ACTIVATE:
        if (LOWORD(message.WParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(handle_.get(), focus))
                focused_ = focus;
        }
        message.Result = DefWindowProcA(handle_.get(), message.Msg, message.WParam, message.LParam);
        return;
    case WM_SETFOCUS:
        FocusControl();
        return;
    default:
        message.Result = DefWindowProcA(handle_.get(), message.Msg, message.WParam, message.LParam);
    }
}

AnsiString TForm::Caption() const {
    return TextOf(handle_.get());
}

void TForm::SetCaption(const AnsiString& caption) {
    SetWindowTextA(handle_.get(), caption.c_str());
}

void TForm::SetClientSize(int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(handle_.get(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(handle_.get(), GWL_EXSTYLE)));
    SetWindowPos(handle_.get(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::CenterOnScreen() {
    RECT r;
    GetWindowRect(handle_.get(), &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    SetWindowPos(handle_.get(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
    ShowWindow(handle_.get(), SW_SHOW);
    FocusControl();
    UpdateWindow(handle_.get());
    if (!shown_) {
        shown_ = true;
        if (OnShow)
            OnShow(this);
    }
}

void TForm::FocusControl() {
    HWND control = focused_ && IsWindow(focused_) && IsWindowVisible(focused_) ? focused_ : nullptr;
    if (!control)
        control = GetNextDlgTabItem(handle_.get(), nullptr, FALSE);
    if (control && IsChild(handle_.get(), control))
        SetFocus(control);
}

void TForm::Close() {
    if (Application->MainForm == this)
        Application->Terminate();
    else
        ShowWindow(handle_.get(), SW_HIDE);
}

TControl::TControl(TForm* owner, const char* windowClass, DWORD style, int left, int top, int width,
                   int height)
    : TComponent(owner) {
    // Each control has its own id, so that the dialog keys can name a button.
    const auto id = static_cast<INT_PTR>(owner->nextControlId_++);
    handle_.reset(CreateWindowExA(0, windowClass, "", WS_CHILD | style, left, top, width, height,
                                  owner->Handle(), reinterpret_cast<HMENU>(id),
                                  GetModuleHandleA(nullptr), nullptr));
    if (!handle_)
        throw Exception(AnsiString("Cannot create a control of class ") + windowClass);
    SetWindowLongPtrA(handle_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SendMessageA(handle_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(owner->Font()), FALSE);
}

TControl::~TControl() {
    if (repaintDue_)
        KillTimer(handle_.get(), kRepaintTimer);
    SetWindowLongPtrA(handle_.get(), GWLP_USERDATA, 0);
}

bool TControl::Visible() const {
    return IsWindowVisible(handle_.get()) != FALSE;
}

void TControl::SetVisible(bool visible) {
    ShowWindow(handle_.get(), visible ? SW_SHOW : SW_HIDE);
}

AnsiString TControl::WindowText() const {
    return TextOf(handle_.get());
}

void TControl::SetWindowText(const AnsiString& text) {
    // The control's own handling of the text would repaint it at once: the text is stored
    // alone.
    DefWindowProcA(handle_.get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ScheduleRepaint();
}

void TControl::ChangeQuietly(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A hidden control paints nothing; turning redrawing back on would also show it.
    if (!(GetWindowLongA(handle_.get(), GWL_STYLE) & WS_VISIBLE)) {
        SendMessageA(handle_.get(), msg, wParam, lParam);
        return;
    }
    // Without redrawing the control takes the change without painting it.
    SendMessageA(handle_.get(), WM_SETREDRAW, FALSE, 0);
    SendMessageA(handle_.get(), msg, wParam, lParam);
    SendMessageA(handle_.get(), WM_SETREDRAW, TRUE, 0);
    ScheduleRepaint();
}

void TControl::ScheduleRepaint() {
    if (repaintDue_)
        return;
    const DWORD since = GetTickCount() - lastRepaint_;
    if (since >= kFrameMs) {
        Repaint();
        return;
    }
    // Without a timer the last change before a pause would never show.
    repaintDue_ = SetTimer(handle_.get(), kRepaintTimer, kFrameMs - since, RepaintTimer) != 0;
    if (!repaintDue_)
        Repaint();
}

void TControl::Repaint() {
    lastRepaint_ = GetTickCount();
    InvalidateRect(handle_.get(), nullptr, TRUE);
}

void CALLBACK TControl::RepaintTimer(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    KillTimer(hwnd, id);
    if (auto* control = reinterpret_cast<TControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA))) {
        control->repaintDue_ = false;
        control->Repaint();
    }
}
