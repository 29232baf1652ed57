#include "UpdateLists.h"

#include "TempDir.h"

AnsiString EntryLine(const AnsiString& path, const AnsiString& url, const AnsiString& when,
                     int size) {
    return path + "?" + url + "?" + when + "?" + IntToStr(size);
}

AnsiString UpdateList(const AnsiString& message, bool mandatory,
                      const std::vector<AnsiString>& entries) {
    AnsiString text = message.empty() ? "" : "[message]\r\n" + message + "\r\n";
    text += "[update]\r\n";
    if (mandatory)
        text += "$$needed$$\r\n";
    for (const AnsiString& entry : entries)
        text += entry + "\r\n";
    return text;
}

void WriteStamped(const AnsiString& path, const AnsiString& content) {
    WriteFile(path, content);
    SetLocalWriteTime(path, 2003, 6, 12, 8, 38, 20);
}
