// The pixel fetchers of each picture::Format, for the resampler and RowToBgr24: templates, so that
// the loops over millions of pixels are compiled for each format.
#pragma once

#include "common/picture/picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace picture::fetchers {

inline std::uint32_t Le32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// One source pixel as blue, green, red, times kScale.
// Transparent formats return c * a + 255 * (255 - a): the pixel over white, scaled by 255, so
// that compositing costs no division per pixel.

// Three colour bytes in every pixel of kBytes (24-bit, or 32-bit with the fourth ignored); with
// T wider than a byte, the same layout of sums of such bytes.
template <std::size_t kBytes, class T = std::uint8_t> struct FetchBgr {
    static constexpr std::uint32_t kScale = 1;
    void operator()(const T *row, std::size_t i, std::uint32_t *c) const {
        const T *p = row + i * kBytes;
        c[0] = p[0];
        c[1] = p[1];
        c[2] = p[2];
    }
};

struct FetchBgra32 {
    static constexpr std::uint32_t kScale = 255;
    void operator()(const std::uint8_t *row, std::size_t i, std::uint32_t *c) const {
        const std::uint8_t *p = row + i * 4;
        const std::uint32_t a = p[3], white = 255 * (255 - a);
        c[0] = p[0] * a + white;
        c[1] = p[1] * a + white;
        c[2] = p[2] * a + white;
    }
};

// Colours already multiplied by their alpha: over white each is c + (255 - a).
struct FetchPremultiplied {
    static constexpr std::uint32_t kScale = 255;
    void operator()(const std::uint8_t *row, std::size_t i, std::uint32_t *c) const {
        const std::uint8_t *p = row + i * 4;
        const std::uint32_t white = 255 * (255 - std::uint32_t{p[3]});
        c[0] = p[0] * 255u + white;
        c[1] = p[1] * 255u + white;
        c[2] = p[2] * 255u + white;
    }
};

struct FetchIndexed {
    static constexpr std::uint32_t kScale = 1;
    const std::uint8_t *palette;
    std::uint32_t entries;
    unsigned bits;
    void operator()(const std::uint8_t *row, std::size_t i, std::uint32_t *c) const {
        std::uint32_t index;
        if (bits == 8) {
            index = row[i];
        } else {
            const std::size_t bit = i * bits;
            const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
            index = (row[bit / 8] >> shift) & ((1u << bits) - 1);
        }
        if (index >= entries) {
            c[0] = c[1] = c[2] = 0;
            return;
        }
        const std::uint8_t *e = palette + std::size_t{index} * 4;
        c[0] = e[0];
        c[1] = e[1];
        c[2] = e[2];
    }
};

// One bit field scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    unsigned shift = 0, bits = 0;
    std::vector<std::uint8_t> table; // for fields of up to 12 bits

    explicit Channel(std::uint32_t m) : mask(m) {
        if (!mask) return;
        while (((mask >> shift) & 1u) == 0)
            ++shift;
        while (bits < 32 - shift && ((mask >> (shift + bits)) & 1u) != 0)
            ++bits;
        if (bits <= 12) {
            const std::uint32_t max = (1u << bits) - 1;
            table.resize(std::size_t{max} + 1);
            for (std::uint32_t v = 0; v <= max; ++v)
                table[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
        }
    }
    std::uint32_t operator()(std::uint32_t px) const {
        if (!mask) return 0;
        const std::uint32_t v = (px & mask) >> shift;
        return table.empty() ? v >> (bits - 8) : table[v];
    }
};

struct FetchMasks {
    std::uint32_t kScale;
    unsigned bytes;
    Channel r, g, b, a;
    explicit FetchMasks(const Format &f)
        : kScale(f.alpha ? 255 : 1), bytes(f.bitCount / 8u), r(f.masks[0]), g(f.masks[1]),
          b(f.masks[2]), a(f.alpha ? f.masks[3] : 0) {}
    void operator()(const std::uint8_t *row, std::size_t i, std::uint32_t *c) const {
        const std::uint8_t *p = row + i * bytes;
        const std::uint32_t px =
            bytes == 4 ? Le32(p) : static_cast<std::uint32_t>(p[0] | (p[1] << 8));
        c[0] = b(px);
        c[1] = g(px);
        c[2] = r(px);
        if (kScale == 255) {
            const std::uint32_t alpha = a(px), white = 255 * (255 - alpha);
            for (int k = 0; k < 3; ++k)
                c[k] = c[k] * alpha + white;
        }
    }
};

template <class Fn> auto WithFetch(const Format &f, Fn fn) {
    switch (f.layout) {
    case Layout::Indexed:
        return fn(FetchIndexed{f.palette, f.paletteEntries, f.bitCount});
    case Layout::Bgrx32:
        return fn(FetchBgr<4>{});
    case Layout::Bgra32:
        if (!f.alpha) return fn(FetchBgr<4>{});
        return f.premultiplied ? fn(FetchPremultiplied{}) : fn(FetchBgra32{});
    case Layout::Masks:
        return fn(FetchMasks(f));
    case Layout::Bgr24:
        break;
    }
    return fn(FetchBgr<3>{});
}

} // namespace picture::fetchers
