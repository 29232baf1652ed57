#include "UpdateFile.h"

#include <algorithm>
#include <climits>

namespace {

// "?" lies below every trail-byte range of the double-byte code pages, so a byte search
// for it never lands inside a character.
constexpr char kSeparator = '?';

// Trims s and takes the text before its next "?" into field; false when there is no "?"
// or nothing stands before it. The field and the "?" leave s.
bool TakeField(AnsiString& s, AnsiString& field) {
    s = Trim(s);
    const auto q = s.find(kSeparator);
    if (q == AnsiString::npos || q == 0)
        return false;
    field = s.substr(0, q);
    s.erase(0, q + 1);
    return true;
}

// Year, month, day, hour, minute and second from a text in which any non-digit separates
// two numbers. Each number is checked as soon as it is read; a year below 100 counts from
// 1980 to 2079.
bool ReadDateTime(AnsiString text, TDateTime& time) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; }, kSeparator);
    struct Range {
        int low, high;
    };
    static const Range ranges[6] = {{1980, INT_MAX}, {1, 12}, {1, 31}, {0, 23}, {0, 59}, {0, 59}};
    int n[6];
    for (int k = 0; k < 6; ++k) {
        AnsiString digits;
        if (k < 5) {
            const auto q = text.find(kSeparator);
            if (q == AnsiString::npos || q == 0)
                return false;
            digits = text.substr(0, q);
            text.erase(0, q + 1);
        } else {
            if (text.find(kSeparator) != AnsiString::npos)
                return false;
            digits = text;
        }
        int value = StrToIntDef(digits, -1);
        if (k == 0 && value >= 0 && value < 100)
            value += value < 80 ? 2000 : 1900;
        if (value < ranges[k].low || value > ranges[k].high)
            return false;
        n[k] = value;
    }
    try {
        time = EncodeDate(n[0], n[1], n[2]) + EncodeTime(n[3], n[4], n[5], 0);
    } catch (const EConvertError&) {
        time = 0; // a day the month does not have, or a year past 9999
    }
    return time != 0;
}

} // namespace

TUpdateFile::TUpdateFile(const AnsiString& line) {
    Parse(line);
}

bool TUpdateFile::Parse(const AnsiString& line) {
    AnsiString s = line, path, url, date, time;
    if (TakeField(s, path) && TakeField(s, url) && TakeField(s, date) && TakeField(s, time)) {
        s = Trim(s);
        AnsiString local;
        const auto q = s.find(kSeparator);
        if (q != AnsiString::npos) {
            local = Trim(s.substr(q + 1));
            s.erase(q);
        }
        const int size = StrToIntDef(s, 0);
        TDateTime stamp = 0;
        if (size > 0 && ReadDateTime(date + kSeparator + time, stamp)) {
            std::replace(path.begin(), path.end(), '/', '\\');
            Path = path;
            LocalFile = local;
            Url = url;
            Time = stamp;
            Size = size;
            return true;
        }
    }
    Path.clear();
    LocalFile.clear();
    Url.clear();
    Time = 0;
    Size = -1;
    return false;
}

AnsiString TUpdateFile::GetLine() const {
    AnsiString line = Path + kSeparator + Url + kSeparator + FormatDateTime("yyyy/mm/dd", Time) +
                      kSeparator + FormatDateTime("hh:nn:ss", Time) + kSeparator + IntToStr(Size);
    if (!LocalFile.empty())
        line += kSeparator + LocalFile;
    return line;
}

std::unique_ptr<TUpdateFile> CreateUpdateFile(const AnsiString& line) {
    auto entry = std::make_unique<TUpdateFile>(line);
    if (entry->Path.empty())
        return nullptr;
    return entry;
}
