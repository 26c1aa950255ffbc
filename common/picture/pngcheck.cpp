#include "common/picture/pngcheck.h"

#include "common/picture/dib.h"

#include <array>
#include <cstring>

namespace picture {
namespace {

std::uint32_t Be32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
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

} // namespace

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

} // namespace picture
