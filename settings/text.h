// Text conversions between the program's UTF-16 strings and the bytes of the settings file: code
// page 932, whatever the system's ANSI code page is, or UTF-8 where another editor saved it so.
#pragma once

#include <string>
#include <string_view>

// Characters that code page 932 lacks become '?'.
std::string ToCp932(std::wstring_view text);
// Byte sequences that are not valid code page 932 become the code page's default character.
std::wstring FromCp932(std::string_view bytes);
// Ill-formed sequences become U+FFFD.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view bytes);
// Without leading and trailing spaces (U+0020 only; tabs and full-width spaces stay).
std::wstring Trim(std::wstring_view text);
