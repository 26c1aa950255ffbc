// Helpers shared by the fuzzers: a property check that libFuzzer reports as a crash, and the
// splitting of one input into the fields the fuzzers feed to the parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

} // namespace fuzz
