// Properties shared by the bitmap fuzzers: the layout of an accepted DIB agrees with its header,
// and writing it as a BMP file and reading that back gives the same picture, byte for byte.
#pragma once

#include "common/picture/dib.h"
#include "fuzz_check.h"

#include <cstring>

namespace fuzz {

inline bool SameInfo(const dib::Info &a, const dib::Info &b) {
    return a.width == b.width && a.height == b.height && a.topDown == b.topDown &&
           a.bitCount == b.bitCount && a.compression == b.compression &&
           a.headerSize == b.headerSize && a.maskBytes == b.maskBytes &&
           a.paletteEntries == b.paletteEntries && a.pixelOffset == b.pixelOffset &&
           a.stride == b.stride && a.pixelBytes == b.pixelBytes;
}

// The layout Validate reports follows from the header alone and stays inside the limits.
inline void CheckLayout(const dib::Info &info) {
    const std::uint16_t bits = info.bitCount;
    FUZZ_CHECK(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
    FUZZ_CHECK(info.compression == dib::kBiRgb || info.compression == dib::kBiBitfields);
    FUZZ_CHECK(info.width > 0 && info.height > 0);
    const std::uint64_t pixels = std::uint64_t(info.width) * std::uint64_t(info.height);
    FUZZ_CHECK(pixels <= dib::kMaxPixels);
    FUZZ_CHECK(info.stride == (std::uint64_t(info.width) * bits + 31) / 32 * 4);
    FUZZ_CHECK(info.pixelBytes == std::uint64_t(info.stride) * std::uint64_t(info.height));
    FUZZ_CHECK(info.pixelBytes <= dib::kMaxPixelBytes);
    FUZZ_CHECK(info.paletteEntries <= 256);
    FUZZ_CHECK(info.pixelOffset ==
               std::uint64_t(info.headerSize) + info.maskBytes + info.paletteEntries * 4ull);
}

// Header fields that MakeBmpFile rewrites in its copy.
inline bool Rewritten(std::size_t offset, const dib::Info &info) {
    if (offset >= 20 && offset < 24) return true; // image size
    return info.headerSize >= 124 &&
           ((offset >= 56 && offset < 60) || (offset >= 112 && offset < 120)); // profile
}

inline void Put32(std::uint8_t *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// What the program does to a header before the platform sees it: image size, colour count and
// important colours from the checked layout, an sRGB colour space instead of a profile.
inline void PatchAsHandedOn(std::uint8_t *header, const dib::Info &info) {
    Put32(header + 20, static_cast<std::uint32_t>(info.pixelBytes));
    Put32(header + 32, info.paletteEntries);
    Put32(header + 36, 0);
    if (info.headerSize >= 124) {
        const std::uint32_t cs =
            header[56] | header[57] << 8 | header[58] << 16 | std::uint32_t(header[59]) << 24;
        if (cs == 0x4C494E4B || cs == 0x4D424544) { // 'LINK', 'MBED'
            Put32(header + 56, 0x73524742);         // 'sRGB'
            Put32(header + 112, 0);
            Put32(header + 116, 0);
        }
    }
}

// `packed` is a DIB that Validate accepted with `info`.
inline void CheckRoundTrip(const std::uint8_t *packed, const dib::Info &info) {
    const std::vector<std::uint8_t> file = dib::MakeBmpFile(packed, info);
    FUZZ_CHECK(file.size() == dib::kFileHeaderSize + info.pixelOffset + info.pixelBytes);

    const dib::FileResult read = dib::ValidateBmpFile(file.data(), file.size());
    FUZZ_CHECK(read.error == dib::Error::None);
    FUZZ_CHECK(SameInfo(read.info, info));
    FUZZ_CHECK(read.dibOffset == dib::kFileHeaderSize);
    FUZZ_CHECK(read.bitsOffset == dib::kFileHeaderSize + info.pixelOffset);

    const std::uint8_t *copy = file.data() + dib::kFileHeaderSize;
    for (std::size_t i = 0; i < info.pixelOffset + info.pixelBytes; ++i)
        FUZZ_CHECK(copy[i] == packed[i] || Rewritten(i, info));

    // The copy is a DIB in its own right, and writing it again changes nothing.
    const dib::Result again = dib::Validate(copy, file.size() - dib::kFileHeaderSize);
    FUZZ_CHECK(again.error == dib::Error::None && SameInfo(again.info, info));
    FUZZ_CHECK(dib::MakeBmpFile(copy, read.info) == file);
}

} // namespace fuzz
