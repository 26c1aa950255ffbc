#include "print/tempfiles.h"

namespace tempfiles {

namespace {

void AppendTwoDigits(std::wstring &out, int value) {
    value %= 100;
    if (value < 0) value += 100;
    out += static_cast<wchar_t>(L'0' + value / 10);
    out += static_cast<wchar_t>(L'0' + value % 10);
}

wchar_t Lower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

} // namespace

std::wstring StampName(const DateTime &when) {
    std::wstring name;
    name.reserve(16);
    for (int field : {when.year, when.month, when.day, when.hour, when.minute, when.second}) {
        AppendTwoDigits(name, field);
    }
    return name + L".BMP";
}

std::wstring TempFilePath(std::wstring_view folder, const DateTime &when) {
    std::wstring path(folder);
    path += L'\\';
    return path + StampName(when);
}

bool IsTempName(std::wstring_view name) {
    constexpr std::size_t kDigits = 12;
    constexpr std::wstring_view kExt = L".bmp";
    if (name.size() != kDigits + kExt.size()) return false;
    for (std::size_t i = 0; i < kDigits; ++i) {
        if (name[i] < L'0' || name[i] > L'9') return false;
    }
    for (std::size_t i = 0; i < kExt.size(); ++i) {
        if (Lower(name[kDigits + i]) != kExt[i]) return false;
    }
    // Twelve digits alone are also a user's own 202405061230.bmp: only a time the clock can give.
    struct Range {
        int low, high;
    };
    static constexpr Range kFields[] = {{0, 99}, {1, 12}, {1, 31}, {0, 23}, {0, 59}, {0, 59}};
    for (std::size_t f = 0; f < 6; ++f) {
        const int value = (name[2 * f] - L'0') * 10 + (name[2 * f + 1] - L'0');
        if (value < kFields[f].low || value > kFields[f].high) return false;
    }
    return true;
}

} // namespace tempfiles
