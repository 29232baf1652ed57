// Local calendar times as entries and file stamps hold them.
#pragma once

#include "SysUtils.h"

// The sum is taken through memory: an x87 register keeps more precision than a stored
// TDateTime, and entries and stamps are compared with exact equality.
inline TDateTime At(int year, int month, int day, int hour, int minute, int second) {
    volatile TDateTime stored = EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
    return stored;
}
