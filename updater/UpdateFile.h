// One entry of an update list: a target file, where it comes from, the stamp it must have,
// and the downloaded copy waiting to be installed.
#pragma once

#include "Classes.h"

#include <memory>

// The path of an entry that delivers a new updater. Where it resolves depends on the question:
// the stamp weighs the updater in place, the install writes beside it (Misc.cpp, Download.cpp).
constexpr char kUpdaterEntryPath[] = "$$update$$";

class TUpdateFile : public TObject {
  public:
    // An entry read from the line; when the line does not parse, Path stays empty (and reason,
    // when given, says why).
    explicit TUpdateFile(const AnsiString& line, AnsiString* reason = nullptr);

    // Reads the line "path?url?date?time?size[?localfile]" into the fields and returns true.
    // Returns false when the line does not parse, and leaves Path, LocalFile and Url empty,
    // Time 0 and Size -1; reason, when given, then receives why, in words for the one who wrote
    // the line (such as: the time "12:00" is not hh:mm:ss). Never raises.
    bool Parse(const AnsiString& line, AnsiString* reason = nullptr);
    // The entry as a line that Parse reads back to the same fields: the date written as
    // "yyyy/mm/dd" and the time as "hh:nn:ss" with the user's separators, and the sixth field
    // only when LocalFile is not empty.
    AnsiString GetLine() const;

    AnsiString Path;      // relative to the application folder, or absolute; "\" separates
    AnsiString LocalFile; // the downloaded copy; empty when there is none
    AnsiString Url;
    TDateTime Time = 0; // local time, whole seconds
    int Size = 0;
};

// The entry the line forms, or null when the line does not parse (reason, when given, then says
// why, as Parse does).
std::unique_ptr<TUpdateFile> CreateUpdateFile(const AnsiString& line, AnsiString* reason = nullptr);
