// A sunken frame drawn around other controls.
#pragma once

#include "Controls.h"

class TBevel : public TControl {
  public:
    TBevel(TForm* owner, int left, int top, int width, int height);
};
