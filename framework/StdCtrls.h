// Labels and push buttons.
#pragma once

#include "Controls.h"

// One line of text that never wraps.
class TLabel : public TControl {
  public:
    TLabel(TForm* owner, int left, int top, int width, int height);
    AnsiString Caption() const { return WindowText(); }
    void SetCaption(const AnsiString& caption) { SetWindowText(caption); }
    // Width in pixels of the text drawn in the label's font.
    int TextWidth(const AnsiString& text) const;
    int ClientWidth() const;
};

class TButton : public TControl {
  public:
    TButton(TForm* owner, int left, int top, int width, int height);
    AnsiString Caption() const { return WindowText(); }
    void SetCaption(const AnsiString& caption) { SetWindowText(caption); }
    // A cancel button is pressed by Esc.
    void SetCancel(bool cancel);

    TNotifyEvent OnClick;

  private:
    void Notify(WORD code) override;

    const int ownId_;
};
