// Labels and push buttons.
#pragma once

#include "Controls.h"

class TLabel : public TControl {
public:
    TLabel(TForm* owner, int left, int top, int width, int height);
    AnsiString Caption() const { return WindowText(); }
    void SetCaption(const AnsiString& caption) { SetWindowText(caption); }
};

class TButton : public TControl {
public:
    TButton(TForm* owner, int left, int top, int width, int height);
    AnsiString Caption() const { return WindowText(); }
    void SetCaption(const AnsiString& caption) { SetWindowText(caption); }

    TNotifyEvent OnClick;

private:
    void Notify(WORD code) override;
};
