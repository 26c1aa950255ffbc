// tempfiles::IsTempName on arbitrary names, and StampName on arbitrary clock fields.
// Input: UTF-16LE code units of a name; the first 24 bytes also give six clock fields.
#include "fuzz_check.h"
#include "print/tempfiles.h"

#include <cstring>
#include <string>

namespace {

// Twelve ASCII digits of a valid yymmddhhmmss and ".bmp" in any letter case, written out
// separately from the matcher.
bool Expected(const std::wstring &name) {
    if (name.size() != 16) return false;
    for (std::size_t i = 0; i < 12; ++i)
        if (name[i] < L'0' || name[i] > L'9') return false;
    const wchar_t *upper = L".BMP", *lower = L".bmp";
    for (std::size_t i = 0; i < 4; ++i)
        if (name[12 + i] != upper[i] && name[12 + i] != lower[i]) return false;
    const auto field = [&name](std::size_t i) { return std::stoi(name.substr(2 * i, 2)); };
    return field(1) >= 1 && field(1) <= 12 && field(2) >= 1 && field(2) <= 31 && field(3) <= 23 &&
           field(4) <= 59 && field(5) <= 59;
}

bool ClockCouldGive(const tempfiles::DateTime &t) {
    return t.year >= 0 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::wstring name;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        name.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    FUZZ_CHECK(tempfiles::IsTempName(name) == Expected(name));

    if (size >= 24) {
        std::int32_t f[6];
        std::memcpy(f, data, sizeof f);
        const tempfiles::DateTime when{f[0], f[1], f[2], f[3], f[4], f[5]};
        const std::wstring stamp = tempfiles::StampName(when);
        if (ClockCouldGive(when)) FUZZ_CHECK(tempfiles::IsTempName(stamp));
        FUZZ_CHECK(tempfiles::TempFilePath(L"C:\\x", when) == L"C:\\x\\" + stamp);
    }
    return 0;
}
