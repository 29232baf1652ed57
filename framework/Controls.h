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
    void SetWindowText(const AnsiString& text);

private:
    friend class TForm;
    // A notification (WM_COMMAND code) from the control's window.
    virtual void Notify(WORD code) { (void)code; }

    WindowHandle handle_;
};
