// Profile (INI) reading and writing on the raw bytes of a file, in the encoding its byte-order mark
// names: code page 932 without one, UTF-8 or UTF-16 with one.
// Free of Windows headers on purpose: it parses untrusted bytes and is built natively for fuzzing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace profile {

enum class Encoding {
    Cp932,   // no byte-order mark
    Utf8,    // EF BB BF
    Utf16LE, // FF FE
    Utf16BE, // FE FF
};

// The encoding of a file by its first bytes. An empty file is code page 932.
Encoding EncodingOf(std::string_view file);

// UTF-16 code units from bytes in the given order (an odd last byte is a unit of its own), and
// back.
std::u16string Utf16Units(std::string_view bytes, bool bigEndian);
std::string Utf16Bytes(std::u16string_view units, bool bigEndian);

// Every text below (section, key, value and the result) is in the encoding of `file`: bytes of
// code page 932 or UTF-8, or UTF-16 code units of two bytes each in the file's byte order. Lengths
// count units (bytes, or UTF-16 code units). A UTF-16 text of odd length ends in a unit of its
// own last byte. The byte-order mark is never part of the first line.

// The value of `key` in `section` of `file`, as the platform's profile reader returns it into a
// buffer of bufferSize units:
//  - section and key names match regardless of ASCII letter case; a character of several units
//    is never case-folded, and a ']' that is the second byte of a code-page-932 character does
//    not close a section name;
//  - only the first section of that name is searched, and the first key of that name in it;
//  - the value is the text after the first '=', without surrounding spaces and tabs and without
//    one pair of enclosing '...' or "...", up to a NUL;
//  - a value longer than bufferSize - 1 units is cut to that length; when the cut would split a
//    character, that character is dropped as a whole;
//  - a missing section or key, an empty value or a bufferSize below 2 give an empty string.
// Lines end in CR LF, LF or a lone CR.
std::string GetString(std::string_view file, std::string_view section, std::string_view key,
                      std::size_t bufferSize = 500);

// `file` with `key` in `section` set to `value`:
//  - an existing key keeps its line up to and including the '=' (a line without '=' gets one);
//    the rest of the line up to its line end is replaced by the value;
//  - a missing key is added after the last key line of its section (comment and blank lines
//    after it stay below), or right after the section line when there is no key line;
//  - a missing section is appended at the end of the file together with the key.
// Added lines end in CR LF, in the file's encoding; a last line without a line end gets one before
// anything is added after it. Every other unit stays as it was. A value is cut at its first CR,
// LF or NUL, which a profile line cannot hold. Section and key are the program's own names,
// written as given.
std::string SetString(std::string_view file, std::string_view section, std::string_view key,
                      std::string_view value);

} // namespace profile
