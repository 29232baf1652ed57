// Answers the message boxes of a process from a thread of the test: records each box's
// caption and text, then presses a button. Boxes are dialog windows of class "#32770".
#pragma once

#include "SysUtils.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

struct SeenBox {
    AnsiString caption;
    AnsiString text;
};

class BoxWatcher {
  public:
    // Watches the windows of the given process (0: this process) and answers every box with
    // the given button id (IDOK, IDYES, IDNO, ...).
    explicit BoxWatcher(DWORD processId = 0, int answer = IDOK);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    void SetAnswer(int answer) { answer_ = answer; }
    std::vector<SeenBox> Boxes() const;

  private:
    void Watch();

    DWORD processId_;
    std::atomic<int> answer_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<SeenBox> boxes_;
    std::vector<HWND> answered_;
    std::thread thread_;
};
