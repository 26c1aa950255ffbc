// Text conversions between the program's UTF-16 strings and the code-page-932 bytes of the
// settings file. Always code page 932, whatever the system's ANSI code page is.
#pragma once

#include <string>
#include <string_view>

// Characters that code page 932 lacks become '?'.
std::string ToCp932(std::wstring_view text);
// Byte sequences that are not valid code page 932 become the code page's default character.
std::wstring FromCp932(std::string_view bytes);
// Without leading and trailing spaces (U+0020 only; tabs and full-width spaces stay).
std::wstring Trim(std::wstring_view text);
