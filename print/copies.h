// The number of copies from its settings text. Pure text handling: no Windows headers, so it also
// builds natively for fuzzing.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace copies {

// The number at the start of `text`, read the way Basic's Val reads it:
// - blanks, tabs and line feeds are skipped wherever they stand, even inside digits ("1\n2" is
//   12); a carriage return is not skipped and ends the number;
// - an optional sign, decimal digits with at most one period, then an optional exponent E or D
//   (either case) with an optional sign and digits ("1D1" is 10; "1E" is 1);
// - or, at the very start and without a sign, &H and hexadecimal digits or &O and octal digits,
//   read as an unsigned value: "&HFFFF" is 65535, not -1 ("-&H10" is 0);
// - reading stops at the first character that cannot continue the number (full-width digits
//   included); no number gives 0.
// Never NaN or infinite: values beyond the double range saturate at the largest finite double.
double Val(std::wstring_view text);

// Val rounded to the nearest integer, halves to the even neighbour, when it lies in
// -32768..32767; nullopt otherwise.
std::optional<std::int16_t> ReadCopies(std::wstring_view text);

} // namespace copies
