// Names of the temporary picture files that a print writes beside the program. Pure text
// handling: no Windows headers, so it also builds natively.
#pragma once

#include <string>
#include <string_view>

namespace tempfiles {

// A local date and time as the clock gives it (the fields of a SYSTEMTIME).
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "yymmddhhmmss.BMP": the last two digits of the year, then month, day, hour (24-hour clock),
// minutes and seconds, two digits each. A field outside 0..99 is taken modulo 100, so the name
// always has twelve digits.
std::wstring StampName(const DateTime &when);

// folder + "\" + StampName(when), with no test of separators: a drive root ("C:\") gives two in
// a row, which the file functions accept.
std::wstring TempFilePath(std::wstring_view folder, const DateTime &when);

// Whether a file name (no folder) is one of ours: twelve ASCII digits that form a yymmddhhmmss
// (month 01-12, day 01-31, hour 00-23, minutes and seconds 00-59) and ".bmp" in any letter case.
// A user's "photo.bmp" or "202405061230.bmp" is not.
bool IsTempName(std::wstring_view name);

} // namespace tempfiles
