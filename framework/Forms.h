// The application object, forms and data modules: real windows on the Win32 API.
#pragma once

#include "Classes.h"
#include "Handles.h"

#include <functional>
#include <string>
#include <type_traits>

class TForm;

// A window message as the form's dispatch sees it.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

// Owns the hidden application window (owner of message boxes and shell calls), the forms and
// data modules created through it, and the thread's message loop.
class TApplication : public TComponent {
  public:
    TApplication();

    // Registers the window classes and creates the application window.
    void Initialize();

    // Creates a form or data module owned by the application; the first form becomes the
    // main form.
    template <typename T> void CreateForm(T*& reference) {
        reference = new T(this);
        if constexpr (std::is_base_of_v<TForm, T>)
            if (!MainForm)
                MainForm = reference;
    }

    // Shows the main form and runs the message loop until the main form closes. Returns at
    // once when there is no main form.
    void Run();
    // Dispatches every pending message of the thread, then returns.
    void ProcessMessages();
    // Waits for one message and dispatches it.
    void HandleMessage();
    // Ends the message loop once the current handler has returned.
    void Terminate();
    bool Terminated() const { return terminated_; }

    // A modal box owned by the application window; the forms are disabled while it shows.
    int MessageBox(const AnsiString& text, const AnsiString& caption, UINT flags);
    // The same through the wide API, for a caption that must read alike under every ANSI code
    // page; the text is taken from the ANSI code page.
    int MessageBox(const AnsiString& text, const std::wstring& caption, UINT flags);
    void ShowException(const std::exception& e);

    AnsiString ExeName() const { return ::ExeName(); }
    AnsiString Title() const { return title_; }
    void SetTitle(const AnsiString& title);
    HWND Handle() const { return handle_.get(); }

    TForm* MainForm = nullptr;

  private:
    bool ProcessMessage();
    int ShowModalBox(const std::function<int()>& show);

    WindowHandle handle_;
    AnsiString title_;
    bool terminated_ = false;
};

extern TApplication* Application;

// Hands one message of the thread to its window. A key for a form goes through the form's
// dialog keys first: Tab moves the focus among its controls, Enter and Space press the focused
// button, Esc presses its cancel button.
void DispatchThreadMessage(MSG& msg);

// A component with no window of its own that groups other components.
class TDataModule : public TComponent {
  public:
    explicit TDataModule(TComponent* owner) : TComponent(owner) {}
};

class TControl;

// A top-level window with a fixed dialog frame. Its controls are components it owns and draw
// in its font: the platform's default face, 12 pixels high.
class TForm : public TComponent {
  public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    // Every message of the form's window passes here; overrides route their own messages and
    // hand the rest to the inherited dispatch.
    virtual void Dispatch(TMessage& message);

    HWND Handle() const { return handle_.get(); }
    HFONT Font() const { return font_.get(); }
    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
    void SetClientSize(int width, int height);
    void CenterOnScreen();

    // Shows the window with the focus on its first control in tab order; the first showing
    // runs OnShow.
    void Show();
    // Closing the main form ends the application's message loop; the window stays until the
    // form is freed.
    void Close();

    TNotifyEvent OnShow;

  private:
    friend class TApplication;
    friend class TControl;
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // The control that holds the focus while the form is active: the first in tab order, or
    // the last one focused before the form lost its activation.
    void FocusControl();

    FontHandle font_;
    WindowHandle handle_;
    HWND focused_ = nullptr;
    int nextControlId_ = 100; // clear of IDOK, IDCANCEL and the other dialog answers
    bool shown_ = false;
};
