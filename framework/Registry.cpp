#include "Registry.h"

bool TRegistry::OpenKey(const AnsiString& key, bool canCreate) {
    HKEY opened = nullptr;
    const LONG status = canCreate ? RegCreateKeyExA(RootKey, key.c_str(), 0, nullptr, 0, access_,
                                                    nullptr, &opened, nullptr)
                                  : RegOpenKeyExA(RootKey, key.c_str(), 0, access_, &opened);
    if (status != ERROR_SUCCESS)
        return false;
    key_.reset(opened);
    return true;
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
    if (!key_ || RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}
