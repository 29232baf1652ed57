// A progress bar over the common control, range 0 to 100.
#pragma once

#include "Controls.h"

class TProgressBar : public TControl {
  public:
    TProgressBar(TForm* owner, int left, int top, int width, int height);
    int Position() const;
    // A position outside 0 to 100 shows as the nearest end of the bar.
    void SetPosition(int position);
};
