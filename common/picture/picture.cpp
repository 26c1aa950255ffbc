#include "common/picture/picture.h"

#include "common/picture/fetch.h"

#include <algorithm>

namespace picture {

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
            f.masks[k] = fetchers::Le32(dib + kMasks + 4 * k);
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
        const std::uint32_t a = fetchers::Le32(dib + kMasks + 12);
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

void RowToBgr24(const Format &format, const std::uint8_t *row, std::int32_t width,
                std::uint8_t *out) {
    fetchers::WithFetch(format, [&](const auto &fetch) {
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
