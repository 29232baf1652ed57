// What the program sends to the debugger output while an instance lives: OutputDebugStringA
// raises DBG_PRINTEXCEPTION_C, which a vectored handler sees first, debugger or not.
#pragma once

#include <windows.h>

#include <string>

class DebugOutput {
  public:
    DebugOutput() : handler_(AddVectoredExceptionHandler(1, &Record)) { current_ = &text_; }
    ~DebugOutput() {
        RemoveVectoredExceptionHandler(handler_);
        current_ = nullptr;
    }
    DebugOutput(const DebugOutput&) = delete;
    DebugOutput& operator=(const DebugOutput&) = delete;

    const std::string& Text() const { return text_; }

  private:
    static LONG CALLBACK Record(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2 &&
            current_)
            current_->append(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_SEARCH;
    }

    static inline std::string* current_ = nullptr;
    std::string text_;
    void* handler_;
};
