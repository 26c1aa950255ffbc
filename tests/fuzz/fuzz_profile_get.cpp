// profile::GetString on arbitrary file bytes, names and buffer sizes, in every encoding a file
// can name by its mark (UTF-16 files get the names with each byte as one unit).
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
    const std::string_view file = f[2];
    const fuzz::ProfileText text(file);
    const std::string section = text.Field(f[0]), key = text.Field(f[1]);

    const std::string fullBytes = profile::GetString(file, section, key, file.size() + 2);
    const std::string cutBytes = profile::GetString(file, section, key, bufferSize);
    // Whole units of the file's encoding.
    if (text.utf16) FUZZ_CHECK(fullBytes.size() % 2 == 0 && cutBytes.size() % 2 == 0);
    const std::u16string units = text.Units(file), full = text.Units(fullBytes),
                         cut = text.Units(cutBytes);

    // The value is one piece of one line of the file, handed over as a C string.
    FUZZ_CHECK(units.find(full) != std::u16string::npos);
    FUZZ_CHECK(full.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string::npos);
    // A smaller buffer gives a prefix of the whole value: cut to fit, short of the limit by less
    // than one character (a character is dropped as a whole).
    if (bufferSize < 2) {
        FUZZ_CHECK(cut.empty());
    } else {
        const std::size_t limit = bufferSize - 1;
        FUZZ_CHECK(cut.size() <= limit);
        FUZZ_CHECK(full.compare(0, cut.size(), cut) == 0);
        if (full.size() <= limit)
            FUZZ_CHECK(cut == full);
        else
            FUZZ_CHECK(cut.size() + text.maxCharUnits - 1 >= limit);
    }

    // Names match regardless of ASCII letter case.
    if (IsAscii(f[0]) && IsAscii(f[1])) {
        FUZZ_CHECK(profile::GetString(file, text.Field(SwapCase(f[0])), text.Field(SwapCase(f[1])),
                                      bufferSize) == cutBytes);
    }
    return 0;
}
