// Registry access with the key opened on demand and closed with the object.
#pragma once

#include "Handles.h"
#include "SysUtils.h"

class ERegistryException : public Exception {
  public:
    using Exception::Exception;
};

class TRegistry {
  public:
    explicit TRegistry(REGSAM access = KEY_ALL_ACCESS) : access_(access) {}

    HKEY RootKey = HKEY_CURRENT_USER;

    // Opens the key below RootKey with the object's access; creates it only when canCreate.
    // False when it does not exist or cannot be opened.
    bool OpenKey(const AnsiString& key, bool canCreate);
    void CloseKey() { key_.reset(); }
    // Raises ERegistryException when the value cannot be set.
    void WriteString(const AnsiString& name, const AnsiString& value);

  private:
    REGSAM access_;
    RegKey key_;
};
