// copies::Val and copies::ReadCopies on arbitrary text.
// Input: UTF-16LE code units, as the settings text reaches the program (an odd last byte is
// ignored).
#include "fuzz_check.h"
#include "print/copies.h"

#include <cmath>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::wstring text;
    text.reserve(size / 2 + 1);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));

    const double value = copies::Val(text);
    FUZZ_CHECK(std::isfinite(value));
    FUZZ_CHECK(value != 0 || !std::signbit(value));

    // Rounded to the nearest integer when it fits a 16-bit count; nothing otherwise.
    const auto count = copies::ReadCopies(text);
    if (count) {
        FUZZ_CHECK(std::fabs(*count - value) <= 0.5);
    } else {
        FUZZ_CHECK(value < -32768.5 || value >= 32767.5); // 32767.5 rounds to 32768
    }

    // A leading minus sign negates a decimal number and nothing else.
    if (!text.empty() && text[0] >= L'0' && text[0] <= L'9') {
        FUZZ_CHECK(copies::Val(L"-" + text) == -value);
        FUZZ_CHECK(copies::Val(L"+" + text) == value);
    }

    // Blanks, tabs and line feeds count for nothing wherever they stand, and reading stops at a
    // character that cannot continue a number.
    std::wstring packed;
    for (wchar_t c : text)
        if (c != L' ' && c != L'\t' && c != L'\n') packed.push_back(c);
    FUZZ_CHECK(copies::Val(packed) == value);
    FUZZ_CHECK(copies::Val(text + L"x9") == value);
    return 0;
}
