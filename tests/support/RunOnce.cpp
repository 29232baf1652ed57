#include "RunOnce.h"

#include "Handles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

} // namespace

RunOnceValue::RunOnceValue(const AnsiString& updater) : name_(updater) {
    for (char& c : name_)
        if (c == '\\')
            c = '$';
}

RunOnceValue::~RunOnceValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegKey owner(key);
        RegDeleteValueA(key, name_.c_str());
    }
}

AnsiString RunOnceValue::Data() const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    RegKey owner(key);
    char data[4096];
    DWORD size = sizeof data, type = 0;
    if (RegQueryValueExA(key, name_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS)
        return "(none)";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(size > 0 && data[size - 1] == '\0'); // written with its terminating zero
    return AnsiString(data, strnlen(data, size));
}

RunOnceKeyRemoved::RunOnceKeyRemoved() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegKey owner(key);
        for (DWORD i = 0;; ++i) {
            char name[16384];
            BYTE data[65536];
            DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
                ERROR_SUCCESS)
                break;
            saved_.push_back({AnsiString(name, nameSize), type,
                              std::string(reinterpret_cast<char*>(data), dataSize)});
        }
    }
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRunOnceKey), ERROR_SUCCESS);
}

RunOnceKeyRemoved::~RunOnceKeyRemoved() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegKey owner(key);
    for (const Value& v : saved_)
        RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                       static_cast<DWORD>(v.data.size()));
}
