#include "UpdateFile.h"

#include <algorithm>
#include <climits>

namespace {

// "?" lies below every trail-byte range of the double-byte code pages, so a byte search
// for it never lands inside a character.
constexpr char kSeparator = '?';

// The fields of a line in their order, as the reasons name them.
const char* const kFieldNames[] = {"path", "URL", "date", "time", "size"};

AnsiString Quoted(const AnsiString& text) {
    return '"' + text + '"';
}

// Trims s and takes the text before its next "?" into field number index; false when there is
// no "?" or nothing stands before it, with the reason. The field and the "?" leave s.
bool TakeField(AnsiString& s, int index, AnsiString& field, AnsiString& reason) {
    s = Trim(s);
    const auto q = s.find(kSeparator);
    if (q == AnsiString::npos || q == 0) {
        reason = q == 0 ? AnsiString("the ") + kFieldNames[index] + " is empty"
                        : AnsiString("too few fields: no ") + kFieldNames[index + 1] +
                              " follows the " + kFieldNames[index];
        return false;
    }
    field = s.substr(0, q);
    s.erase(0, q + 1);
    return true;
}

// Year, month, day, hour, minute and second from the date and time fields read as one text in
// which any non-digit separates two numbers. Each number is checked as soon as it is read; a
// year below 100 counts from 1980 to 2079. A reason names the field that a number stands in.
bool ReadDateTime(const AnsiString& date, const AnsiString& time, TDateTime& stamp,
                  AnsiString& reason) {
    AnsiString text = date + kSeparator + time;
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; }, kSeparator);
    struct Number {
        const char* name;
        int low, high;
        const char* range; // as the reasons give it
    };
    static const Number numbers[6] = {{"year", 1980, INT_MAX, "1980 to 9999"},
                                      {"month", 1, 12, "1 to 12"},
                                      {"day", 1, 31, "1 to 31"},
                                      {"hour", 0, 23, "0 to 23"},
                                      {"minute", 0, 59, "0 to 59"},
                                      {"second", 0, 59, "0 to 59"}};
    // The reasons are formed only for a line that fails. A position up to the "?" that joins
    // the two fields lies in the date.
    const auto inDate = [&](std::size_t at) { return at <= date.size(); };
    const auto fieldAt = [&](std::size_t at) {
        return inDate(at) ? "the date " + Quoted(date) : "the time " + Quoted(time);
    };
    const auto formFault = [&](bool ofDate) {
        reason = ofDate ? "the date " + Quoted(date) + " is not yyyy/mm/dd"
                        : "the time " + Quoted(time) + " is not hh:mm:ss";
    };
    std::size_t start[6], end[6];
    // Numbers read and those of them begun in the date field. The date holds the first three of
    // the six; when it holds others, a number read in the wrong place is no fault of its own.
    int read = 0, dateNumbers = 0;
    const auto numberFault = [&](int k, const AnsiString& fault) {
        if (dateNumbers != std::min(read, 3))
            formFault(true);
        else
            reason = AnsiString("the ") + numbers[k].name + " " +
                     Quoted(text.substr(start[k], end[k] - start[k])) + " in " + fieldAt(start[k]) +
                     " " + fault;
    };
    const auto rangeFault = [&](int k) {
        numberFault(k, AnsiString("is not from ") + numbers[k].range);
    };
    int n[6];
    std::size_t at = 0;
    for (int k = 0; k < 6; ++k) {
        const auto q = text.find(kSeparator, at);
        if (k < 5 ? q == AnsiString::npos : q != AnsiString::npos) {
            // Too few or too many numbers: the date is at fault unless it holds its three.
            formFault(dateNumbers != 3);
            return false;
        }
        start[k] = at;
        end[k] = k < 5 ? q : text.size();
        if (end[k] == at) { // two separators in a row, or one at an end of a field
            formFault(inDate(at));
            return false;
        }
        ++read;
        if (at < date.size())
            ++dateNumbers;
        int value = StrToIntDef(text.substr(at, end[k] - at), -1);
        if (k == 0 && value >= 0 && value < 100)
            value += value < 80 ? 2000 : 1900;
        if (value < numbers[k].low || value > numbers[k].high) {
            rangeFault(k);
            return false;
        }
        n[k] = value;
        at = end[k] + 1;
    }
    try {
        stamp = EncodeDate(n[0], n[1], n[2]) + EncodeTime(n[3], n[4], n[5], 0);
    } catch (const EConvertError&) {
        stamp = 0; // a day the month does not have, or a year past 9999
    }
    if (stamp == 0) {
        if (n[0] > 9999)
            rangeFault(0); // the calendar ends with the year 9999
        else
            numberFault(2, "is past the end of its month");
    }
    return stamp != 0;
}

} // namespace

TUpdateFile::TUpdateFile(const AnsiString& line, AnsiString* reason) {
    Parse(line, reason);
}

bool TUpdateFile::Parse(const AnsiString& line, AnsiString* reason) {
    AnsiString s = line, path, url, date, time, why;
    if (TakeField(s, 0, path, why) && TakeField(s, 1, url, why) && TakeField(s, 2, date, why) &&
        TakeField(s, 3, time, why)) {
        s = Trim(s);
        AnsiString local;
        const auto q = s.find(kSeparator);
        if (q != AnsiString::npos) {
            local = Trim(s.substr(q + 1));
            s.erase(q);
        }
        const int size = StrToIntDef(s, 0);
        TDateTime stamp = 0;
        if (size <= 0)
            why = "the size " + Quoted(s) + " is not a whole number of at least 1";
        else if (ReadDateTime(date, time, stamp, why)) {
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
    if (reason)
        *reason = why;
    return false;
}

AnsiString TUpdateFile::GetLine() const {
    AnsiString line = Path + kSeparator + Url + kSeparator + FormatDateTime("yyyy/mm/dd", Time) +
                      kSeparator + FormatDateTime("hh:nn:ss", Time) + kSeparator + IntToStr(Size);
    if (!LocalFile.empty())
        line += kSeparator + LocalFile;
    return line;
}

std::unique_ptr<TUpdateFile> CreateUpdateFile(const AnsiString& line, AnsiString* reason) {
    auto entry = std::make_unique<TUpdateFile>(line, reason);
    if (entry->Path.empty())
        return nullptr;
    return entry;
}
