#include "print/copies.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <optional>
#include <string>

namespace {

using copies::ReadCopies;
using copies::Val;

struct CopiesCase {
    const wchar_t *text;
    std::optional<int> expected; // nullopt: the step fails
};

TEST(ReadCopies, Table) {
    const CopiesCase cases[] = {
        {L"2", 2},
        {L"2.5", 2},
        {L"3.5", 4},
        {L"3 copies", 3},
        {L" 1 2", 12},
        {L"&H10", 16},
        {L"&O17", 15},
        {L"1E1", 10},
        {L"1D1", 10},
        {L"-0.5", 0},
        {L"", 0},
        {L"abc", 0},
        {L"32767", 32767},
        {L"32768", std::nullopt},
        {L"-32769", std::nullopt},
        {L"40000", std::nullopt},
        // Half to even, at the edges of the range too.
        {L"0.5", 0},
        {L"1.5", 2},
        {L"-1.5", -2},
        {L"-2.5", -2},
        {L"2.51", 3},
        {L"2.49", 2},
        {L"32766.5", 32766},
        {L"32767.5", std::nullopt},
        {L"32767.4", 32767},
        {L"-32768", -32768},
        {L"-32768.5", -32768},
        {L"-32769.5", std::nullopt},
        {L"-32768.6", std::nullopt},
        // Prefixes, and where the reading stops.
        {L"&H", 0},
        {L"&O", 0},
        {L"&HG", 0},
        {L"&hff", 255},
        {L"&o777", 511},
        {L"&O78", 7},
        {L"&HFFFF", std::nullopt},
        {L"&H7FFF", 32767},
        {L"& H 1 0", 16},
        {L"-&H10", 0},
        {L"&12", 0},
        {L"1\n2", 12},
        {L"\t5\t", 5},
        {L"1\r2", 1},
        {L"\r5", 0},
        {L"1,000", 1},
        {L"1.2.3", 1},
        {L"+7", 7},
        {L"+-7", 0},
        {L"- 7", -7},
        {L"1e", 1},
        {L"1E+", 1},
        {L"1 E 2", 100},
        {L"25E-1", 2},
        {L".5e1", 5},
        {L"5.", 5},
        {L"1e1.5", 10},
        {L"E5", 0},
        {L"\uFF13", 0},
        {L"1\uFF13", 1},
        {L"3\u30004", 3}, // an ideographic space ends the number
        {L"-", 0},
    };
    for (const auto &c : cases) {
        const auto got = ReadCopies(c.text);
        const std::wstring text = c.text;
        if (c.expected)
            EXPECT_EQ(got, std::optional<std::int16_t>(*c.expected)) << "text: " << text;
        else
            EXPECT_FALSE(got.has_value()) << "text: " << text << " gave " << *got;
    }
}

TEST(Val, ExtremesStayFinite) {
    EXPECT_EQ(Val(L"1E99999"), DBL_MAX);
    EXPECT_EQ(Val(L"-1D99999999999999999999999"), -DBL_MAX);
    EXPECT_EQ(Val(L"1E-99999"), 0.0);
    EXPECT_FALSE(std::signbit(Val(L"-0")));
    EXPECT_FALSE(std::signbit(Val(L"-1e-99999")));
    EXPECT_EQ(Val(L"1.7976931348623157E308"), DBL_MAX);
    EXPECT_EQ(Val(L"1.8E308"), DBL_MAX);
    EXPECT_EQ(Val(L"&H" + std::wstring(1000, L'F')), DBL_MAX);
    EXPECT_FALSE(ReadCopies(L"1E99999"));
    EXPECT_FALSE(ReadCopies(L"&H" + std::wstring(1000, L'F')));
}

TEST(Val, LongDigitStrings) {
    const std::wstring nines(100000, L'9');
    EXPECT_EQ(Val(nines), DBL_MAX);
    EXPECT_FALSE(ReadCopies(nines));
    // Many digits that still scale down to a small number.
    EXPECT_EQ(Val(L"0." + std::wstring(5000, L'0') + L"1E5001"), 1.0);
    EXPECT_EQ(Val(std::wstring(5000, L'0') + L"7"), 7.0);
    EXPECT_EQ(Val(L"3" + std::wstring(400, L'0') + L"E-400"), 3.0);
    EXPECT_EQ(ReadCopies(L"2." + std::wstring(3000, L'4')), 2);
}

TEST(Val, DecimalsAreCorrectlyRounded) {
    EXPECT_EQ(Val(L"0.1"), 0.1);
    EXPECT_EQ(Val(L"1.2.3"), 1.2);
    EXPECT_EQ(Val(L"123.456"), 123.456);
    EXPECT_EQ(Val(L"-2.5E-3"), -2.5e-3);
    EXPECT_EQ(Val(L"4.9406564584124654E-324"), 4.9406564584124654e-324);
}

} // namespace
