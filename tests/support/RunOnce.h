// The updater's value under HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce,
// read and deleted when the test ends, and the key itself taken away for a while. Tests that
// use them change the machine's RunOnce key: their CTest tests carry RESOURCE_LOCK hklm_runonce,
// so that no two of them run at the same time.
//
//     RunOnceValue value(inst.Exe());
//     ... run the updater ...
//     EXPECT_EQ(value.Data(), "\"" + inst.Exe() + "\" $$UPDT$$");
#pragma once

#include "SysUtils.h"

#include <vector>

// The value that the updater of that full path writes: named by the path with "$" in place of
// each backslash.
class RunOnceValue {
  public:
    explicit RunOnceValue(const AnsiString& updater);
    // Deletes the value.
    ~RunOnceValue();
    RunOnceValue(const RunOnceValue&) = delete;
    RunOnceValue& operator=(const RunOnceValue&) = delete;

    // The data, or "(none)" when the key or the value is missing. A value that is there must be
    // a string written with its terminating zero.
    AnsiString Data() const;

  private:
    AnsiString name_;
};

// Takes the RunOnce key away for as long as the object lives, then puts it back, values and all.
class RunOnceKeyRemoved {
  public:
    RunOnceKeyRemoved();
    ~RunOnceKeyRemoved();
    RunOnceKeyRemoved(const RunOnceKeyRemoved&) = delete;
    RunOnceKeyRemoved& operator=(const RunOnceKeyRemoved&) = delete;

  private:
    struct Value {
        AnsiString name;
        DWORD type;
        std::string data;
    };
    std::vector<Value> saved_;
};
