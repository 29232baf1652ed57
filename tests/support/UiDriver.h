// Drives the windows of another process from a test: finds its top-level windows, reads
// captions, label texts and progress bars, and presses buttons. Message boxes are answered by
// BoxWatcher; a test that wants to look at the window while a box shows waits for the box here
// and starts its BoxWatcher afterwards.
//
//     HWND form = WaitForWindow(updater.Id(), "TForm");
//     HWND box = WaitForWindow(updater.Id(), "#32770");     // the question is showing
//     EXPECT_EQ(WindowText(ChildAt(form, 16, 24)), text117);
//     Press(ChildAt(form, 384, 120));
#pragma once

#include "Process.h"
#include "TopWindows.h"

#include <functional>
#include <vector>

// The first visible top-level window of the process of that window class ("TForm" for a form,
// "#32770" for a message box), waiting for it. At the deadline the test fails and the result
// is null.
HWND WaitForWindow(DWORD processId, const char* windowClass, DWORD timeoutMs = kDeadlineMs);
// Polls the condition until it holds. At the deadline the test fails and the result is false.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kDeadlineMs);

SIZE ClientSize(HWND window);
// The child window whose top-left corner is at (left, top) of the parent's client area, or
// null.
HWND ChildAt(HWND parent, int left, int top);
// A progress bar's position; -1 when it does not answer.
int ProgressPosition(HWND bar);
bool IsShown(HWND window);
// Posts a click to the button: it lands when the button's thread next takes its messages.
void Press(HWND button);
