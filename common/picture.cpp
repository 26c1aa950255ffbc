#include "picture.h"

#include "bigalloc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace picture {
namespace {

std::uint32_t Be32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

std::uint32_t Le32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsType(const std::uint8_t *type, const char (&name)[5]) {
    return std::memcmp(type, name, 4) == 0;
}

bool ValidDepth(std::uint8_t colourType, std::uint8_t depth) {
    switch (colourType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

// --- pixel fetchers: one source pixel as blue, green, red, times kScale ----------------------
// Transparent formats return c * a + 255 * (255 - a): the pixel over white, scaled by 255, so
// that compositing costs no division per pixel.

// Three colour bytes in every pixel of kBytes (24-bit, or 32-bit with the fourth ignored).
template <std::size_t kBytes> struct FetchBgr {
    static constexpr std::uint32_t kScale = 1;
    void operator()(const std::uint8_t *row, std::size_t i, std::uint32_t *c) const {
        const std::uint8_t *p = row + i * kBytes;
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

// Which source pixels one destination pixel covers. In units of 1/dst of a source pixel the
// destination pixel d spans [d * src, (d + 1) * src) and source pixel s spans [s * dst,
// (s + 1) * dst): every weight is an integer and the weights of one destination pixel add up to
// src.
struct Span {
    std::uint32_t first, last;
    std::uint64_t firstWeight, lastWeight; // the pixels between weigh dst each
};

std::vector<Span> Spans(std::uint32_t src, std::uint32_t dst) {
    std::vector<Span> spans(dst);
    for (std::uint32_t d = 0; d < dst; ++d) {
        const std::uint64_t a = std::uint64_t{d} * src, b = a + src;
        Span &s = spans[d];
        s.first = static_cast<std::uint32_t>(a / dst);
        s.last = static_cast<std::uint32_t>((b - 1) / dst);
        if (s.first == s.last) {
            s.firstWeight = src;
            s.lastWeight = 0;
        } else {
            s.firstWeight = (std::uint64_t{s.first} + 1) * dst - a;
            s.lastWeight = b - std::uint64_t{s.last} * dst;
        }
    }
    return spans;
}

template <class Fetch>
void RowSums(const Fetch &fetch, const std::uint8_t *row, const std::vector<Span> &spans,
             std::uint64_t dst, std::uint64_t *out) {
    std::uint32_t c[3];
    for (const Span &s : spans) {
        std::uint64_t sum[3];
        fetch(row, s.first, c);
        for (int k = 0; k < 3; ++k)
            sum[k] = c[k] * s.firstWeight;
        if (s.last != s.first) {
            std::uint64_t mid[3] = {0, 0, 0};
            for (std::uint32_t i = s.first + 1; i < s.last; ++i) {
                fetch(row, i, c);
                mid[0] += c[0];
                mid[1] += c[1];
                mid[2] += c[2];
            }
            fetch(row, s.last, c);
            for (int k = 0; k < 3; ++k)
                sum[k] += mid[k] * dst + c[k] * s.lastWeight;
        }
        out[0] = sum[0];
        out[1] = sum[1];
        out[2] = sum[2];
        out += 3;
    }
}

template <class Fetch>
bool Run(const Fetch &fetch, std::uint32_t width, std::uint32_t height, RowSource &rows,
         std::uint8_t *dst, std::size_t dstStride, std::uint32_t dstWidth,
         std::uint32_t dstHeight) {
    const std::vector<Span> columns = Spans(width, dstWidth);
    const std::vector<Span> lines = Spans(height, dstHeight);
    bigalloc::Check(std::size_t{dstWidth} * 3 * sizeof(std::uint64_t));
    std::vector<std::uint64_t> sums(std::size_t{dstWidth} * 3), acc(sums.size());
    std::int64_t summed = -1; // the source row whose sums are in `sums`
    const auto rowSums = [&](std::uint32_t y) {
        if (summed == y) return true;
        const std::uint8_t *row = rows.Row(static_cast<std::int32_t>(y));
        if (!row) return false;
        RowSums(fetch, row, columns, dstWidth, sums.data());
        summed = y;
        return true;
    };
    const auto add = [&](std::uint64_t weight) {
        for (std::size_t i = 0; i < acc.size(); ++i)
            acc[i] += sums[i] * weight;
    };
    // Sums reach 255 * 255 * width * height < 2^44: no overflow.
    const std::uint64_t total = std::uint64_t{width} * height * fetch.kScale;
    for (std::uint32_t y = 0; y < dstHeight; ++y) {
        const Span &s = lines[y];
        std::fill(acc.begin(), acc.end(), 0);
        if (!rowSums(s.first)) return false;
        add(s.firstWeight);
        if (s.last != s.first) {
            for (std::uint32_t j = s.first + 1; j < s.last; ++j) {
                if (!rowSums(j)) return false;
                add(dstHeight);
            }
            if (!rowSums(s.last)) return false;
            add(s.lastWeight);
        }
        std::uint8_t *out = dst + y * dstStride;
        for (std::uint32_t x = 0; x < dstWidth; ++x) {
            for (int k = 0; k < 3; ++k)
                out[x * 4 + k] = static_cast<std::uint8_t>((acc[x * 3 + k] + total / 2) / total);
            out[x * 4 + 3] = 0;
        }
    }
    return true;
}

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

} // namespace

// --- PNG -----------------------------------------------------------------------------------------

std::uint32_t Crc32(const std::uint8_t *data, std::size_t size, std::uint32_t crc) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

PngResult CheckPng(const std::uint8_t *data, std::size_t size) {
    PngResult result;
    if (!data || size < sizeof(kSignature) || std::memcmp(data, kSignature, 8) != 0) {
        result.error = PngError::NotPng;
        return result;
    }
    std::size_t pos = sizeof(kSignature);
    bool first = true, sawData = false;
    for (;;) {
        if (size - pos < 12) {
            result.error = PngError::Truncated;
            return result;
        }
        const std::uint32_t length = Be32(data + pos);
        const std::uint8_t *type = data + pos + 4;
        if (length > 0x7FFFFFFFu) {
            result.error = PngError::BadChunk;
            return result;
        }
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t ch = type[k];
            if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'))) {
                result.error = PngError::BadChunk;
                return result;
            }
        }
        if (size - pos - 12 < length) {
            result.error = PngError::Truncated;
            return result;
        }
        if (Crc32(type, std::size_t{length} + 4) != Be32(type + 4 + length)) {
            result.error = PngError::BadCrc;
            return result;
        }
        const std::uint8_t *body = type + 4;
        if (first != IsType(type, "IHDR")) {
            result.error = PngError::BadChunk;
            return result;
        }
        if (first) {
            if (length != 13) {
                result.error = PngError::BadChunk;
                return result;
            }
            const std::uint32_t w = Be32(body), h = Be32(body + 4);
            const std::uint8_t depth = body[8], colourType = body[9];
            if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu ||
                !ValidDepth(colourType, depth) || body[10] != 0 || body[11] != 0 || body[12] > 1) {
                result.error = PngError::BadHeader;
                return result;
            }
            if (std::uint64_t{w} * h > dib::kMaxPixels) {
                result.error = PngError::TooLarge;
                return result;
            }
            result.info.width = static_cast<std::int32_t>(w);
            result.info.height = static_cast<std::int32_t>(h);
            result.info.alpha = colourType == 4 || colourType == 6;
            first = false;
        } else if (IsType(type, "tRNS")) {
            result.info.alpha = true;
        } else if (IsType(type, "IDAT")) {
            sawData = true;
        } else if (IsType(type, "IEND")) {
            if (!sawData) result.error = PngError::Truncated;
            return result;
        }
        pos += std::size_t{length} + 12;
    }
}

// --- formats ---------------------------------------------------------------------------------

namespace {

// The fourth bytes of a 32-bit BI_RGB bitmap: any non-zero one makes them its alpha. One pass,
// which ends early once both questions are answered.
void ReadFourthBytes(const std::uint8_t *dib, const dib::Info &info, Format &f) {
    bool any = false, straight = false;
    const std::uint8_t *bits = dib + info.pixelOffset;
    const std::size_t width = static_cast<std::size_t>(info.width);
    for (std::int32_t y = 0; y < info.height && !(any && straight); ++y) {
        const std::uint8_t *p = bits + static_cast<std::size_t>(y) * info.stride;
        std::uint8_t alphas = 0;
        bool over = false;
        for (std::size_t x = 0; x < width; ++x, p += 4) {
            alphas |= p[3];
            over |= std::max({p[0], p[1], p[2]}) > p[3];
        }
        any = any || alphas != 0;
        straight = straight || over;
    }
    if (!any) return;
    f.layout = Layout::Bgra32;
    f.masks[3] = 0xFF000000u;
    f.alpha = true;
    f.premultiplied = !straight;
}

} // namespace

Format DibFormat(const std::uint8_t *dib, const dib::Info &info) {
    Format f;
    f.bitCount = info.bitCount;
    if (info.bitCount <= 8) {
        f.layout = Layout::Indexed;
        f.palette = dib + info.headerSize + info.maskBytes;
        f.paletteEntries = info.paletteEntries;
        return f;
    }
    if (info.bitCount == 24) return f;
    // Masks sit in the header from V2 on, after a 40-byte header with bit fields otherwise.
    constexpr std::size_t kMasks = 40;
    if (info.compression == dib::kBiBitfields) {
        for (std::size_t k = 0; k < 3; ++k)
            f.masks[k] = Le32(dib + kMasks + 4 * k);
    } else if (info.bitCount == 16) {
        f.masks[0] = 0x7C00;
        f.masks[1] = 0x03E0;
        f.masks[2] = 0x001F;
    } else {
        f.masks[0] = 0x00FF0000;
        f.masks[1] = 0x0000FF00;
        f.masks[2] = 0x000000FF;
    }
    if (info.headerSize >= 108) {
        const std::uint32_t a = Le32(dib + kMasks + 12);
        if (dib::MaskUsable(a, info.bitCount) &&
            (a & (f.masks[0] | f.masks[1] | f.masks[2])) == 0) {
            f.masks[3] = a;
            f.alpha = true;
        }
    }
    const bool standard = info.bitCount == 32 && f.masks[0] == 0x00FF0000 &&
                          f.masks[1] == 0x0000FF00 && f.masks[2] == 0x000000FF &&
                          (!f.alpha || f.masks[3] == 0xFF000000u);
    f.layout = standard ? (f.alpha ? Layout::Bgra32 : Layout::Bgrx32) : Layout::Masks;
    if (f.layout == Layout::Bgrx32 && info.compression == dib::kBiRgb)
        ReadFourthBytes(dib, info, f);
    return f;
}

Format Bgra32(bool alpha) {
    Format f;
    f.layout = alpha ? Layout::Bgra32 : Layout::Bgrx32;
    f.bitCount = 32;
    f.masks[0] = 0x00FF0000;
    f.masks[1] = 0x0000FF00;
    f.masks[2] = 0x000000FF;
    f.masks[3] = alpha ? 0xFF000000u : 0;
    f.alpha = alpha;
    return f;
}

const std::uint8_t *DibRows::Row(std::int32_t y) {
    if (y < 0 || y >= info_.height) return nullptr;
    const std::size_t row = info_.topDown ? static_cast<std::size_t>(y)
                                          : static_cast<std::size_t>(info_.height - 1 - y);
    return dib_ + info_.pixelOffset + row * info_.stride;
}

// --- resampling ------------------------------------------------------------------------------

bool Resample(const Format &format, std::int32_t width, std::int32_t height, RowSource &rows,
              std::uint8_t *dst, std::size_t dstStride, std::int32_t dstWidth,
              std::int32_t dstHeight) {
    if (!dst || width <= 0 || height <= 0 || dstWidth <= 0 || dstHeight <= 0) return false;
    if (std::uint64_t{static_cast<std::uint32_t>(width)} * static_cast<std::uint32_t>(height) >
            dib::kMaxPixels ||
        std::uint64_t{static_cast<std::uint32_t>(dstWidth)} *
                static_cast<std::uint32_t>(dstHeight) >
            dib::kMaxPixels ||
        dstStride < std::size_t{static_cast<std::uint32_t>(dstWidth)} * 4)
        return false;
    return WithFetch(format, [&](const auto &fetch) {
        return Run(fetch, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                   rows, dst, dstStride, static_cast<std::uint32_t>(dstWidth),
                   static_cast<std::uint32_t>(dstHeight));
    });
}

void RowToBgr24(const Format &format, const std::uint8_t *row, std::int32_t width,
                std::uint8_t *out) {
    WithFetch(format, [&](const auto &fetch) {
        std::uint32_t c[3];
        const std::uint32_t scale = fetch.kScale;
        for (std::int32_t x = 0; x < width; ++x) {
            fetch(row, static_cast<std::size_t>(x), c);
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<std::uint8_t>((c[k] + scale / 2) / scale);
            out += 3;
        }
        return true;
    });
}

} // namespace picture
