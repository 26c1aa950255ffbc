// Helpers shared by the fuzzers: a property check that libFuzzer reports as a crash, and the
// splitting of one input into the fields the fuzzers feed to the parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);       \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// The first `count` NUL-terminated fields of the input, then the rest of it (which may hold NULs)
// as the last field. Missing fields are empty. Seeds are written in the same layout.
inline std::vector<std::string_view> SplitFields(const std::uint8_t *data, std::size_t size,
                                                 std::size_t count) {
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    std::vector<std::string_view> fields;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t nul = rest.find('\0');
        if (nul == std::string_view::npos) {
            fields.push_back(rest);
            rest = {};
        } else {
            fields.push_back(rest.substr(0, nul));
            rest.remove_prefix(nul + 1);
        }
    }
    fields.push_back(rest);
    return fields;
}

// Sums bytes so that every one of them is read: ASan then reports any that lies outside the
// input, and the compiler cannot drop the reads.
inline unsigned Touch(const std::uint8_t *p, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += p[i];
    volatile unsigned sink = sum;
    return sink;
}

// A settings file's text in the units its parser works on: bytes of code page 932 or UTF-8, or
// UTF-16 code units. Told by the byte-order mark, written out apart from the parser's own test.
struct ProfileText {
    bool utf16 = false, bigEndian = false;
    std::size_t markUnits = 0;    // the mark before the first line
    std::size_t maxCharUnits = 2; // of one character: 2 in code page 932 and UTF-16, 4 in UTF-8

    explicit ProfileText(std::string_view file) {
        if (file.substr(0, 3) == "\xEF\xBB\xBF") {
            markUnits = 3;
            maxCharUnits = 4;
        } else if (file.substr(0, 2) == "\xFF\xFE" || file.substr(0, 2) == "\xFE\xFF") {
            utf16 = true;
            bigEndian = file[0] == '\xFE';
            markUnits = 1;
        }
    }
    // Bytes as units; in UTF-16 an odd last byte is a unit of its own.
    std::u16string Units(std::string_view bytes) const {
        std::u16string units;
        const std::size_t step = utf16 ? 2 : 1;
        for (std::size_t i = 0; i < bytes.size(); i += step) {
            const unsigned first = static_cast<unsigned char>(bytes[i]);
            const unsigned second =
                i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            units += static_cast<char16_t>(!utf16      ? first
                                           : bigEndian ? (first << 8 | second)
                                                       : (second << 8 | first));
        }
        return units;
    }
    std::string Bytes(std::u16string_view units) const {
        std::string bytes;
        for (const char16_t u : units) {
            const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
            if (!utf16) {
                bytes += low;
            } else {
                bytes += bigEndian ? high : low;
                bytes += bigEndian ? low : high;
            }
        }
        return bytes;
    }
    // A field of the input as a text of this encoding: in UTF-16 each byte becomes one unit.
    std::string Field(std::string_view field) const {
        if (!utf16) return std::string(field);
        std::u16string units;
        for (const char c : field)
            units += static_cast<char16_t>(static_cast<unsigned char>(c));
        return Bytes(units);
    }
};

} // namespace fuzz
