#include "StdCtrls.h"

TLabel::TLabel(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, "STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, left, top, width, height) {}

TButton::TButton(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, left, top, width, height) {}

void TButton::Notify(WORD code) {
    if (code == BN_CLICKED && OnClick)
        OnClick(this);
}
