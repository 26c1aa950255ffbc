// Profile (INI) reading and writing on the raw bytes of a file in code page 932.
// Free of Windows headers on purpose: it parses untrusted bytes and is built natively for fuzzing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace profile {

// The value of `key` in `section` of `file`, as the platform's profile reader returns it into a
// buffer of bufferSize bytes:
//  - section and key names match regardless of ASCII letter case; the second byte of a double-byte
//    character is never case-folded, and a ']' that is such a byte does not close a section name;
//  - only the first section of that name is searched, and the first key of that name in it;
//  - the value is the text after the first '=', without surrounding spaces and tabs and without
//    one pair of enclosing '...' or "...";
//  - a value longer than bufferSize - 1 bytes is cut to that length; when the cut would split a
//    double-byte character, that character is dropped as a whole (one byte fewer);
//  - a missing section or key, an empty value or a bufferSize below 2 give an empty string.
// Lines end in LF or CR LF; a UTF-8 byte-order mark before the first line is skipped.
std::string GetString(std::string_view file, std::string_view section, std::string_view key,
                      std::size_t bufferSize = 500);

// `file` with `key` in `section` set to `value`:
//  - an existing key keeps its line up to and including the '=' (a line without '=' gets one);
//    the rest of the line up to its line end is replaced by the value;
//  - a missing key is added after the last key line of its section (comment and blank lines
//    after it stay below), or right after the section line when there is no key line;
//  - a missing section is appended at the end of the file together with the key.
// Added lines end in CR LF; a last line without a line end gets one before anything is added
// after it. Every other byte stays as it was. A value is cut at its first CR, LF or NUL, which
// a profile line cannot hold. Section and key are the program's own names, written as given.
std::string SetString(std::string_view file, std::string_view section, std::string_view key,
                      std::string_view value);

} // namespace profile
