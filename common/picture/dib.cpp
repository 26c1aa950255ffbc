#include "common/picture/dib.h"

#include <cstring>

namespace dib {
namespace {

// Header field offsets (little-endian, no alignment guaranteed).
constexpr std::size_t kWidth = 4, kHeight = 8, kPlanes = 12, kBitCount = 14, kCompression = 16,
                      kSizeImage = 20, kClrUsed = 32, kClrImportant = 36, kMasks = 40, kCsType = 56,
                      kProfileData = 112, kProfileSize = 116;
constexpr std::uint32_t kV5Size = 124;

constexpr std::uint32_t kProfileLinked = 0x4C494E4B;   // 'LINK'
constexpr std::uint32_t kProfileEmbedded = 0x4D424544; // 'MBED'
constexpr std::uint32_t kCsSrgb = 0x73524742;          // 'sRGB'

std::uint16_t U16(const std::uint8_t *p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int64_t I32(const std::uint8_t *p) {
    const std::uint32_t u = U32(p);
    return u < 0x80000000u ? static_cast<std::int64_t>(u)
                           : static_cast<std::int64_t>(u) - (std::int64_t{1} << 32);
}

void Put16(std::uint8_t *p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool IsSupportedHeaderSize(std::uint32_t n) {
    return n == 40 || n == 52 || n == 56 || n == 108 || n == kV5Size;
}

// Header, masks and colour table within `size` bytes; fills the layout. Pixels are not checked.
Error ReadHeader(const std::uint8_t *data, std::size_t size, Info &info) {
    if (data == nullptr || size < 4) return Error::TooSmall;
    const std::uint32_t headerSize = U32(data);
    if (!IsSupportedHeaderSize(headerSize)) return Error::BadHeaderSize;
    if (size < headerSize) return Error::TooSmall;

    const std::int64_t width = I32(data + kWidth);
    std::int64_t height = I32(data + kHeight);
    if (width <= 0 || height == 0 || height == INT32_MIN) return Error::BadDimensions;
    const bool topDown = height < 0;
    if (topDown) height = -height;

    if (U16(data + kPlanes) != 1) return Error::BadPlanes;
    const std::uint16_t bitCount = U16(data + kBitCount);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return Error::BadBitCount;

    const std::uint32_t compression = U32(data + kCompression);
    std::uint32_t maskBytes = 0;
    if (compression == kBiBitfields) {
        if (bitCount != 16 && bitCount != 32) return Error::BadCompression;
        if (headerSize == 40) {
            maskBytes = 12;
            if (size < headerSize + maskBytes) return Error::Truncated;
        }
        const std::uint32_t r = U32(data + kMasks), g = U32(data + kMasks + 4),
                            b = U32(data + kMasks + 8);
        if (!MaskUsable(r, bitCount) || !MaskUsable(g, bitCount) || !MaskUsable(b, bitCount) ||
            (r & g) != 0 || (r & b) != 0 || (g & b) != 0)
            return Error::BadCompression;
    } else if (compression != kBiRgb) {
        return Error::BadCompression;
    }

    const std::uint32_t clrUsed = U32(data + kClrUsed);
    std::uint32_t paletteEntries = clrUsed;
    if (bitCount <= 8) {
        const std::uint32_t full = 1u << bitCount;
        if (clrUsed > full) return Error::BadPalette;
        if (clrUsed == 0) paletteEntries = full;
    } else if (clrUsed > 256) {
        return Error::BadPalette;
    }
    const std::uint64_t pixelOffset =
        std::uint64_t{headerSize} + maskBytes + std::uint64_t{paletteEntries} * 4;
    if (pixelOffset > size) return Error::BadPalette;

    if (headerSize >= kV5Size) {
        const std::uint32_t cs = U32(data + kCsType);
        if (cs == kProfileLinked || cs == kProfileEmbedded) {
            const std::uint64_t end =
                std::uint64_t{U32(data + kProfileData)} + U32(data + kProfileSize);
            if (end > size) return Error::Truncated;
        }
    }

    const std::uint64_t pixels =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (pixels > kMaxPixels) return Error::TooLarge;
    // width <= 2^28 here, so neither product below can overflow.
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
    const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(height);
    if (pixelBytes > kMaxPixelBytes) return Error::TooLarge;

    info.width = static_cast<std::int32_t>(width);
    info.height = static_cast<std::int32_t>(height);
    info.topDown = topDown;
    info.bitCount = bitCount;
    info.compression = compression;
    info.headerSize = headerSize;
    info.maskBytes = maskBytes;
    info.paletteEntries = paletteEntries;
    info.pixelOffset = static_cast<std::size_t>(pixelOffset);
    info.stride = static_cast<std::size_t>(stride);
    info.pixelBytes = static_cast<std::size_t>(pixelBytes);
    return Error::None;
}

} // namespace

bool MaskUsable(std::uint32_t mask, std::uint16_t bitCount) {
    const std::uint32_t limit = bitCount >= 32 ? 0xFFFFFFFFu : (1u << bitCount) - 1;
    if (mask == 0 || (mask & ~limit) != 0) return false;
    const std::uint32_t lowest = mask & (~mask + 1);
    return ((mask + lowest) & mask) == 0; // wraps to 0 for a run reaching bit 31
}

void FixUpHeader(std::uint8_t *header, const Info &info, FixUp what) {
    Put32(header + kHeight, static_cast<std::uint32_t>(info.topDown ? -std::int64_t{info.height}
                                                                    : std::int64_t{info.height}));
    Put32(header + kSizeImage, static_cast<std::uint32_t>(info.pixelBytes));
    if (what == FixUp::Platform) {
        Put32(header + kClrUsed, info.paletteEntries);
        Put32(header + kClrImportant, 0);
    }
    if (info.headerSize >= kV5Size) {
        const std::uint32_t cs = U32(header + kCsType);
        if (cs == kProfileLinked || cs == kProfileEmbedded) {
            Put32(header + kCsType, kCsSrgb);
            Put32(header + kProfileData, 0);
            Put32(header + kProfileSize, 0);
        }
    }
}

Result Validate(const std::uint8_t *data, std::size_t size) {
    Result result;
    Info info;
    result.error = ReadHeader(data, size, info);
    if (result.error != Error::None) return result;
    if (size - info.pixelOffset < info.pixelBytes) {
        result.error = Error::Truncated;
        return result;
    }
    result.info = info;
    return result;
}

std::vector<std::uint8_t> MakeBmpFile(const std::uint8_t *dib, const Info &info) {
    std::vector<std::uint8_t> file = MakeBmpHead(dib, info);
    if (file.empty()) return file;
    file.insert(file.end(), dib + info.pixelOffset, dib + info.pixelOffset + info.pixelBytes);
    return file;
}

std::vector<std::uint8_t> MakeBmpHead(const std::uint8_t *dib, const Info &info) {
    std::vector<std::uint8_t> file;
    if (dib == nullptr) return file;
    file.resize(kFileHeaderSize + info.pixelOffset);
    std::uint8_t *out = file.data();
    out[0] = 'B';
    out[1] = 'M';
    Put32(out + 2,
          static_cast<std::uint32_t>(kFileHeaderSize + info.pixelOffset + info.pixelBytes));
    Put16(out + 6, 0);
    Put16(out + 8, 0);
    Put32(out + 10, static_cast<std::uint32_t>(kFileHeaderSize + info.pixelOffset));
    std::memcpy(out + kFileHeaderSize, dib, info.pixelOffset);
    FixUpHeader(out + kFileHeaderSize, info, FixUp::File);
    return file;
}

std::vector<std::uint8_t> MakeBgr24Head(std::int32_t width, std::int32_t height) {
    std::vector<std::uint8_t> file;
    if (width <= 0 || height <= 0) return file;
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 24 + 31) / 32 * 4;
    const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(height);
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels ||
        pixelBytes > kMaxPixelBytes)
        return file;
    constexpr std::uint32_t kInfoSize = 40;
    file.assign(kFileHeaderSize + kInfoSize, 0);
    std::uint8_t *out = file.data();
    out[0] = 'B';
    out[1] = 'M';
    Put32(out + 2, static_cast<std::uint32_t>(kFileHeaderSize + kInfoSize + pixelBytes));
    Put32(out + 10, static_cast<std::uint32_t>(kFileHeaderSize + kInfoSize));
    std::uint8_t *header = out + kFileHeaderSize;
    Put32(header, kInfoSize);
    Put32(header + kWidth, static_cast<std::uint32_t>(width));
    Put32(header + kHeight, static_cast<std::uint32_t>(-static_cast<std::int64_t>(height)));
    Put16(header + kPlanes, 1);
    Put16(header + kBitCount, 24);
    Put32(header + kSizeImage, static_cast<std::uint32_t>(pixelBytes));
    return file;
}

FileResult ValidateBmpFile(const std::uint8_t *data, std::size_t size) {
    return ValidateBmpFileHead(data, size, size);
}

FileResult ValidateBmpFileHead(const std::uint8_t *data, std::size_t size, std::uint64_t fileSize) {
    FileResult result;
    if (size > fileSize) size = static_cast<std::size_t>(fileSize);
    if (data == nullptr || size < kFileHeaderSize) {
        result.error = Error::TooSmall;
        return result;
    }
    if (data[0] != 'B' || data[1] != 'M') {
        result.error = Error::BadFileHeader;
        return result;
    }
    Info info;
    result.error = ReadHeader(data + kFileHeaderSize, size - kFileHeaderSize, info);
    if (result.error != Error::None) return result;

    // The pixels may follow a gap, but never overlap the header block.
    const std::uint32_t offBits = U32(data + 10);
    if (offBits < kFileHeaderSize + info.pixelOffset || offBits > fileSize) {
        result.error = Error::BadFileHeader;
        return result;
    }
    if (fileSize - offBits < info.pixelBytes) {
        result.error = Error::Truncated;
        return result;
    }
    result.info = info;
    result.dibOffset = kFileHeaderSize;
    result.bitsOffset = offBits;
    return result;
}

} // namespace dib
