#include "ExtCtrls.h"

TBevel::TBevel(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, "STATIC", WS_VISIBLE | SS_ETCHEDFRAME, left, top, width, height) {}
