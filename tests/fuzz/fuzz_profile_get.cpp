// profile::GetString on arbitrary file bytes, names and buffer sizes.
// Input: one byte for the buffer size (0xFF: the default 500), section NUL key NUL file bytes.
#include "fuzz_check.h"
#include "settings/profile.h"

#include <string>

namespace {

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Letters swapped between upper and lower case; other bytes kept.
std::string SwapCase(std::string_view s) {
    std::string out(s);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t bufferSize = data[0] == 0xFF ? 500 : data[0];
    const auto f = fuzz::SplitFields(data + 1, size - 1, 2);
    const std::string_view section = f[0], key = f[1], file = f[2];

    const std::string full = profile::GetString(file, section, key, file.size() + 2);
    const std::string cut = profile::GetString(file, section, key, bufferSize);

    // The value is one piece of one line of the file, handed over as a C string.
    FUZZ_CHECK(file.find(full) != std::string_view::npos);
    FUZZ_CHECK(full.find_first_of(std::string_view("\n\0", 2)) == std::string::npos);

    // A smaller buffer gives a prefix of the whole value: cut to fit, at most one byte shorter
    // (a double-byte character is dropped as a whole).
    if (bufferSize < 2) {
        FUZZ_CHECK(cut.empty());
    } else {
        const std::size_t limit = bufferSize - 1;
        FUZZ_CHECK(cut.size() <= limit);
        FUZZ_CHECK(full.compare(0, cut.size(), cut) == 0);
        if (full.size() <= limit)
            FUZZ_CHECK(cut == full);
        else
            FUZZ_CHECK(cut.size() + 1 >= limit);
    }

    // Names match regardless of ASCII letter case.
    if (IsAscii(section) && IsAscii(key))
        FUZZ_CHECK(profile::GetString(file, SwapCase(section), SwapCase(key), bufferSize) == cut);
    return 0;
}
