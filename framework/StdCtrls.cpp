#include "StdCtrls.h"

TLabel::TLabel(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, "STATIC", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, left, top, width,
               height) {}

int TLabel::TextWidth(const AnsiString& text) const {
    const HDC dc = GetDC(Handle());
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(Handle(), dc);
    return size.cx;
}

int TLabel::ClientWidth() const {
    RECT client;
    GetClientRect(Handle(), &client);
    return client.right - client.left;
}

TButton::TButton(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, left, top, width, height),
      ownId_(GetDlgCtrlID(Handle())) {}

void TButton::SetCancel(bool cancel) {
    // Esc makes the dialog keys send IDCANCEL from the control of that id.
    SetWindowLongPtrA(Handle(), GWLP_ID, cancel ? IDCANCEL : ownId_);
}

void TButton::Notify(WORD code) {
    if (code == BN_CLICKED && OnClick)
        OnClick(this);
}
