#include "ComCtrls.h"

#include <commctrl.h>

TProgressBar::TProgressBar(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, PROGRESS_CLASSA, 0, left, top, width, height) {
    SendMessageA(Handle(), PBM_SETRANGE32, 0, 100);
}

int TProgressBar::Position() const {
    return static_cast<int>(SendMessageA(Handle(), PBM_GETPOS, 0, 0));
}

void TProgressBar::SetPosition(int position) {
    position = position < 0 ? 0 : position > 100 ? 100 : position;
    if (position != Position())
        ChangeQuietly(PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
