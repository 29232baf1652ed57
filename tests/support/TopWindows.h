// The top-level windows of a process and what a test reads of a window: what BoxWatcher and the
// UI driver look at.
#pragma once

#include "SysUtils.h"

#include <vector>

// The top-level windows of the process, in the system's order: the visible ones, or all of
// them (the hidden application window of a program included).
std::vector<HWND> TopWindows(DWORD processId, bool hiddenToo = false);

AnsiString WindowText(HWND window);
AnsiString ClassOf(HWND window);
