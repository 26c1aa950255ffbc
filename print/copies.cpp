#include "copies.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

namespace copies {
namespace {

constexpr int kEnd = -1;

// Walks the text, skipping blanks, tabs and line feeds wherever they stand.
class Reader {
public:
    explicit Reader(std::wstring_view text) : text_(text) {}

    int Peek() {
        while (pos_ < text_.size() &&
               (text_[pos_] == L' ' || text_[pos_] == L'\t' || text_[pos_] == L'\n'))
            ++pos_;
        return pos_ < text_.size() ? static_cast<int>(text_[pos_]) : kEnd;
    }
    void Advance() { ++pos_; }

private:
    std::wstring_view text_;
    std::size_t pos_ = 0;
};

int DigitValue(int c, int base) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

double ReadRadix(Reader &in, int base) {
    double value = 0;
    for (int d; (d = DigitValue(in.Peek(), base)) >= 0; in.Advance()) {
        if (value > (DBL_MAX - base) / base)
            value = DBL_MAX; // saturate, but still consume the digits
        else
            value = value * base + d;
    }
    return value;
}

// Unsigned decimal: digits, one period, exponent. The digits go to strtod without a decimal point
// (the exponent absorbs it), so the locale's radix character never matters and rounding is exact.
double ReadDecimal(Reader &in) {
    std::string digits;
    std::int64_t scale = 0; // power of ten applied to the digit string
    bool anyDigit = false, seenPoint = false;
    for (int c; (c = in.Peek()) != kEnd; in.Advance()) {
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (seenPoint) --scale;
            if (c != '0' || !digits.empty()) digits.push_back(static_cast<char>(c));
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return 0;

    const int marker = in.Peek();
    if (marker == 'E' || marker == 'e' || marker == 'D' || marker == 'd') {
        in.Advance();
        bool negative = false;
        const int sign = in.Peek();
        if (sign == '+' || sign == '-') {
            negative = sign == '-';
            in.Advance();
        }
        constexpr std::int64_t kCap = 1000000000; // far past any double, far from overflow
        std::int64_t exponent = 0;
        for (int c; (c = in.Peek()) >= '0' && c <= '9'; in.Advance()) {
            if (exponent < kCap) exponent = exponent * 10 + (c - '0');
        }
        scale += negative ? -exponent : exponent;
    }

    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++scale;
    }
    if (digits.empty()) return 0;
    // The value lies in [10^(n-1+scale), 10^(n+scale)).
    const std::int64_t magnitude = static_cast<std::int64_t>(digits.size()) + scale;
    if (magnitude > DBL_MAX_10_EXP + 1) return DBL_MAX;
    if (magnitude < DBL_MIN_10_EXP - DBL_DIG - 10) return 0;
    digits += 'e';
    digits += std::to_string(scale);
    const double value = std::strtod(digits.c_str(), nullptr);
    return std::isfinite(value) ? value : DBL_MAX;
}

} // namespace

double Val(std::wstring_view text) {
    Reader in(text);
    const int first = in.Peek();
    if (first == '&') {
        in.Advance();
        const int radix = in.Peek();
        if (radix == 'H' || radix == 'h') {
            in.Advance();
            return ReadRadix(in, 16);
        }
        if (radix == 'O' || radix == 'o') {
            in.Advance();
            return ReadRadix(in, 8);
        }
        return 0;
    }
    bool negative = false;
    if (first == '+' || first == '-') {
        negative = first == '-';
        in.Advance();
    }
    const double value = ReadDecimal(in);
    if (value == 0) return 0; // no negative zero
    return negative ? -value : value;
}

std::optional<std::int16_t> ReadCopies(std::wstring_view text) {
    const double value = Val(text);
    const double floor = std::floor(value);
    const double fraction = value - floor; // exact
    double rounded = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0)) rounded = floor + 1;
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

} // namespace copies
