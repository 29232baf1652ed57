#include "SysUtils.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Index of the last byte of s that is one of delims and not the second byte of a
// double-byte character; npos when none.
AnsiString::size_type LastDelimiter(const char* delims, const AnsiString& s) {
    AnsiString::size_type found = AnsiString::npos;
    for (AnsiString::size_type i = 0; i < s.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        for (const char* d = delims; *d; ++d)
            if (s[i] == *d)
                found = i;
    }
    return found;
}

bool EndsWithBackslash(const AnsiString& s) {
    return !s.empty() && LastDelimiter("\\", s) == s.size() - 1;
}

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1 January of year 1 to the given date (proleptic Gregorian calendar).
long DaysFromCivil(int year, int month, int day) {
    const int y = year - 1;
    long days = 365L * y + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    return days + day - 1;
}

// 30 December 1899 counted like DaysFromCivil.
const long kDelphiEpoch = DaysFromCivil(1899, 12, 30);

struct DateParts {
    int year, month, day, hour, minute, second;
};

DateParts Decode(TDateTime t) {
    double whole = std::floor(t);
    long long ms = std::llround((t - whole) * 86400000.0);
    if (ms >= 86400000LL) {
        whole += 1;
        ms -= 86400000LL;
    }
    long days = static_cast<long>(whole) + kDelphiEpoch; // days since 1 January of year 1
    // Civil date from a day count: 400-year cycles of 146097 days.
    int year = 1 + 400 * static_cast<int>(days / 146097);
    days %= 146097;
    while (days >= (IsLeapYear(year) ? 366 : 365)) {
        days -= IsLeapYear(year) ? 366 : 365;
        ++year;
    }
    int month = 1;
    while (days >= DaysInMonth(year, month)) {
        days -= DaysInMonth(year, month);
        ++month;
    }
    const int secs = static_cast<int>(ms / 1000);
    return {year, month, static_cast<int>(days) + 1, secs / 3600, secs / 60 % 60, secs % 60};
}

AnsiString LocaleSeparator(LCTYPE type, const char* fallback) {
    char buf[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf) > 1)
        return buf;
    return fallback;
}

AnsiString TwoDigits(int n) {
    char buf[16];
    wsprintfA(buf, "%02d", n);
    return buf;
}

} // namespace

// The years are tested here as well: Wine's FileTimeToDosDateTime wraps the years after 2107
// round to 1980.
bool LastWriteToDos(const FILETIME& lastWrite, int& dos) {
    FILETIME local;
    SYSTEMTIME st;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&lastWrite, &local) || !FileTimeToSystemTime(&local, &st) ||
        st.wYear < 1980 || st.wYear > 2107 || !FileTimeToDosDateTime(&local, &date, &time))
        return false;
    dos = static_cast<int>((static_cast<DWORD>(date) << 16) | time);
    return true;
}

AnsiString Trim(const AnsiString& s) {
    return TrimWhere(s, IsBlankOrControl);
}

AnsiString TrimWhere(const AnsiString& s, bool (*drop)(char)) {
    AnsiString::size_type first = 0, last = s.size();
    while (first < last && drop(s[first]))
        ++first;
    while (last > first && drop(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

int StrToIntDef(const AnsiString& s, int def) {
    AnsiString::size_type i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == s.size())
        return def;
    std::uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const int digit = hex ? HexDigit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (digit < 0)
            return def;
        value = value * (hex ? 16 : 10) + digit;
        if (value > (hex ? 0xFFFFFFFFull : 0x80000000ull))
            return def;
    }
    if (hex) {
        const auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return negative ? static_cast<int>(0u - static_cast<std::uint32_t>(bits)) : bits;
    }
    if (!negative && value > 0x7FFFFFFFull)
        return def;
    return negative ? static_cast<int>(-static_cast<std::int64_t>(value)) : static_cast<int>(value);
}

AnsiString IntToStr(int value) {
    return std::to_string(value);
}

AnsiString AnsiUpperCase(const AnsiString& s) {
    AnsiString result = s;
    if (!result.empty())
        CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

AnsiString StripFirstToken(const AnsiString& commandLine) {
    bool quoted = false;
    for (AnsiString::size_type i = 0; i < commandLine.size(); ++i) {
        if (!quoted && commandLine[i] == ' ')
            return commandLine.substr(i + 1);
        if (commandLine[i] == '"')
            quoted = !quoted;
    }
    return AnsiString();
}

AnsiString::size_type AnsiPos(const AnsiString& sub, const AnsiString& s) {
    if (sub.empty() || sub.size() > s.size())
        return AnsiString::npos;
    for (AnsiString::size_type i = 0; i + sub.size() <= s.size(); ++i) {
        if (s.compare(i, sub.size(), sub) == 0)
            return i;
        if (IsDBCSLeadByte(static_cast<BYTE>(s[i])))
            ++i;
    }
    return AnsiString::npos;
}

int AnsiCompareText(const AnsiString& a, const AnsiString& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

TDateTime EncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        throw EConvertError("Invalid argument to date encode");
    return static_cast<TDateTime>(DaysFromCivil(year, month, day) - kDelphiEpoch);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999)
        throw EConvertError("Invalid argument to time encode");
    return (((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / 86400000.0;
}

AnsiString FormatDateTime(const AnsiString& format, TDateTime t) {
    static const AnsiString dateSeparator = LocaleSeparator(LOCALE_SDATE, "/");
    static const AnsiString timeSeparator = LocaleSeparator(LOCALE_STIME, ":");
    const DateParts p = Decode(t);
    AnsiString out;
    for (AnsiString::size_type i = 0; i < format.size();) {
        const AnsiString rest = format.substr(i, 4);
        if (rest == "yyyy") {
            char buf[16];
            wsprintfA(buf, "%04d", p.year);
            out += buf;
            i += 4;
            continue;
        }
        const AnsiString two = format.substr(i, 2);
        const int* field = two == "mm"   ? &p.month
                           : two == "dd" ? &p.day
                           : two == "hh" ? &p.hour
                           : two == "nn" ? &p.minute
                           : two == "ss" ? &p.second
                                         : nullptr;
        if (field) {
            out += TwoDigits(*field);
            i += 2;
        } else {
            out += format[i] == '/'   ? dateSeparator
                   : format[i] == ':' ? timeSeparator
                                      : AnsiString(1, format[i]);
            ++i;
        }
    }
    return out;
}

TDateTime FileDateToDateTime(int fileDate) {
    const auto d = static_cast<std::uint32_t>(fileDate);
    return EncodeDate(1980 + static_cast<int>(d >> 25), (d >> 21) & 0xF, (d >> 16) & 0x1F) +
           EncodeTime((d >> 11) & 0x1F, (d >> 5) & 0x3F, 2 * (d & 0x1F), 0);
}

int DateTimeToFileDate(TDateTime t) {
    const DateParts p = Decode(t);
    if (p.year < 1980 || p.year > 2107)
        return 0;
    const std::uint32_t date = ((p.year - 1980) << 9) | (p.month << 5) | p.day;
    const std::uint32_t time = (p.hour << 11) | (p.minute << 5) | (p.second >> 1);
    return static_cast<int>((date << 16) | time);
}

bool GetFileData(const AnsiString& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    // The file search would take these as wildcards and find another file.
    if (path.find_first_of("*?") != AnsiString::npos)
        return false;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const AnsiString& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    int dos = 0;
    return GetFileData(path, data) && LastWriteToDos(data.ftLastWriteTime, dos);
}

bool FileExistsAnyDate(const AnsiString& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const AnsiString& path) {
    const DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const AnsiString& dir) {
    if (dir.empty())
        throw EInOutError("Unable to create directory");
    const AnsiString path = ExcludeTrailingBackslash(dir);
    if (DirectoryExists(path))
        return true;
    // Each parent is strictly shorter than its child, so this ends at a root or a bare name.
    const AnsiString parent = ExcludeTrailingBackslash(ExtractFilePath(path));
    if (!parent.empty() && parent.size() < path.size())
        ForceDirectories(parent);
    return CreateDirectoryA(path.c_str(), nullptr) || DirectoryExists(path);
}

AnsiString ExtractFilePath(const AnsiString& path) {
    const auto i = LastDelimiter("\\:", path);
    return i == AnsiString::npos ? AnsiString() : path.substr(0, i + 1);
}

AnsiString ExtractFileName(const AnsiString& path) {
    const auto i = LastDelimiter("\\:", path);
    return i == AnsiString::npos ? path : path.substr(i + 1);
}

AnsiString ExtractFileDrive(const AnsiString& path) {
    if (path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // "\\server\share": up to the backslash after the share name.
        int separators = 0;
        AnsiString::size_type i = 2;
        for (; i < path.size(); ++i) {
            if (IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
                ++i;
                continue;
            }
            if (path[i] == '\\' && ++separators == 2)
                break;
        }
        return separators >= 1 ? path.substr(0, i) : AnsiString();
    }
    return AnsiString();
}

AnsiString IncludeTrailingBackslash(const AnsiString& path) {
    return EndsWithBackslash(path) ? path : path + "\\";
}

AnsiString ExcludeTrailingBackslash(const AnsiString& path) {
    return EndsWithBackslash(path) ? path.substr(0, path.size() - 1) : path;
}

AnsiString ExeName() {
    std::vector<char> buf(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size())
            return AnsiString(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

AnsiString GetCurrentDir() {
    const DWORD n = GetCurrentDirectoryA(0, nullptr);
    std::vector<char> buf(n + 1);
    const DWORD len = GetCurrentDirectoryA(static_cast<DWORD>(buf.size()), buf.data());
    return AnsiString(buf.data(), len);
}

bool SetCurrentDir(const AnsiString& dir) {
    return SetCurrentDirectoryA(dir.c_str()) != 0;
}

void Trace(const AnsiString& action, const AnsiString& reason) {
    const AnsiString line = ExtractFileName(ExeName()) + ": " + action + ": " + reason + "\n";
    OutputDebugStringA(line.c_str());
}

void TraceException(const AnsiString& action, const Exception& e) {
    Trace(action, e.Message);
}
