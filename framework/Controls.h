// A child window of a form: the common base of labels, buttons, bevels and progress bars.
#pragma once

#include "Forms.h"

class TControl : public TComponent {
  public:
    ~TControl() override;

    HWND Handle() const { return handle_.get(); }
    bool Visible() const;
    void SetVisible(bool visible);

  protected:
    // Creates the child window at its place in the form's client area, in the form's font.
    TControl(TForm* owner, const char* windowClass, DWORD style, int left, int top, int width,
             int height);

    AnsiString WindowText() const;
    // The control takes a change at once and shows it with its next repaint, which comes at
    // most once a frame: a stream of changes costs no repaint each.
    void SetWindowText(const AnsiString& text);
    // Sends the message that changes the control, with the control's own repaint held back.
    void ChangeQuietly(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    friend class TForm;
    // A notification (WM_COMMAND code) from the control's window.
    virtual void Notify(WORD code) { (void)code; }

    static constexpr UINT_PTR kRepaintTimer = 1;
    static constexpr DWORD kFrameMs = 100;
    void ScheduleRepaint();
    void Repaint();
    static void CALLBACK RepaintTimer(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);

    WindowHandle handle_;
    DWORD lastRepaint_ = 0;
    bool repaintDue_ = false;
};
