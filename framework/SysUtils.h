// Strings, numbers, dates and files: the runtime functions the programs are written against.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

using AnsiString = std::string;

// Base of every exception the framework and the HTTP component raise.
class Exception : public std::exception {
  public:
    explicit Exception(AnsiString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    AnsiString Message;
};

class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

class EInOutError : public Exception {
  public:
    using Exception::Exception;
};

// Sends "<program file name>: <action>: <reason>" to the debugger output (a debug viewer on
// Windows, WINEDEBUG=+debugstr under Wine), so that a failure the user learns of only in general
// terms keeps its cause there. Nothing is shown or stored.
void Trace(const AnsiString& action, const AnsiString& reason);
// Trace with the exception's message as the reason.
void TraceException(const AnsiString& action, const Exception& e);

// ---- text -----------------------------------------------------------------

// A copy without the characters of codes 0 to 32 at either end.
AnsiString Trim(const AnsiString& s);
// A copy without the characters that `drop` holds at either end.
AnsiString TrimWhere(const AnsiString& s, bool (*drop)(char));

// The int the text spells: decimal, or hexadecimal after "$", "x", "X", "0x", "0X"
// (up to 32 bits, taken as signed). Leading blanks and a sign are allowed and nothing may
// follow; any other text, and a decimal value outside the int range, gives the default.
int StrToIntDef(const AnsiString& s, int def);

AnsiString IntToStr(int value);

// Upper-casing in the system's ANSI code page.
AnsiString AnsiUpperCase(const AnsiString& s);

// Position (from 0) of the first occurrence of sub in s, or npos. Double-byte aware in the
// system's ANSI code page: a match never starts on the second byte of a character.
AnsiString::size_type AnsiPos(const AnsiString& sub, const AnsiString& s);

// Case-insensitive comparison by the user's locale; 0 when equal.
int AnsiCompareText(const AnsiString& a, const AnsiString& b);

// The part of a program's command line that follows its own path: the first token ends at the
// first blank (0x20) outside double quotes, and it is cut off together with that blank; the
// rest is returned unchanged, quotes and further blanks included. Tabs do not end the token.
// A command line without such a blank is the program's path alone and gives an empty text.
AnsiString StripFirstToken(const AnsiString& commandLine);

// ---- dates ----------------------------------------------------------------

// Days since 30 December 1899 plus the time of day as a fraction of a day.
using TDateTime = double;

// Raise EConvertError for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);

// "yyyy", "mm", "dd", "hh", "nn", "ss"; "/" and ":" give the user's date and time separators.
AnsiString FormatDateTime(const AnsiString& format, TDateTime t);

// The MS-DOS date and time form (local time, 2-second steps).
TDateTime FileDateToDateTime(int fileDate); // raises EConvertError for an impossible date
int DateTimeToFileDate(TDateTime t);        // 0 outside the years 1980 to 2107

// ---- files and paths ------------------------------------------------------

// One look-up of the file that the path names exactly: its attributes, times and size. False
// when nothing or a folder is there; a path holding "*" or "?" names no file.
bool GetFileData(const AnsiString& path, WIN32_FILE_ATTRIBUTE_DATA& data);
// The MS-DOS date and time of a last-write time taken to local time; false outside the years
// 1980 to 2107.
bool LastWriteToDos(const FILETIME& lastWrite, int& dos);
// A file, not a folder, that the path names exactly, last written (local time) in 1980 to 2107.
bool FileExists(const AnsiString& path);
// A file, not a folder, whatever its date: for a file to open, replace or delete, not compare.
bool FileExistsAnyDate(const AnsiString& path);
bool DirectoryExists(const AnsiString& path);
// Creates the folder with every missing parent; true when it exists afterwards.
// Raises EInOutError for an empty name.
bool ForceDirectories(const AnsiString& dir);

// Path parts, double-byte aware: a backslash that is the second byte of a character is no
// separator.
AnsiString ExtractFilePath(const AnsiString& path); // up to and including the last "\" or ":"
AnsiString ExtractFileName(const AnsiString& path);
AnsiString ExtractFileDrive(const AnsiString& path); // "C:" or "\\server\share"; empty when none
AnsiString IncludeTrailingBackslash(const AnsiString& path);
AnsiString ExcludeTrailingBackslash(const AnsiString& path);

// Full path of the running program's own file.
AnsiString ExeName();

AnsiString GetCurrentDir();
bool SetCurrentDir(const AnsiString& dir);
