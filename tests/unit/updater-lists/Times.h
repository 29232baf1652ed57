// Local calendar times as entries and file stamps hold them.
#pragma once

#include "SysUtils.h"

inline TDateTime At(int year, int month, int day, int hour, int minute, int second) {
    return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
}
