#include "common/picture/dib.h"
#include "common/picture/picture.h"
#include "common/picture/pngcheck.h"
#include "common/picture/resample.h"
#include "tests/png_encode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <array>
#include <cmath>
#include <functional>
#include <ostream>
#include <vector>

namespace dib {
void PrintTo(Error e, std::ostream *os) {
    static const char *const names[] = {"None",           "TooSmall",     "BadHeaderSize",
                                        "BadDimensions",  "BadPlanes",    "BadBitCount",
                                        "BadCompression", "BadPalette",   "Truncated",
                                        "TooLarge",       "BadFileHeader"};
    *os << names[static_cast<int>(e)];
}
} // namespace dib

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes &b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Bytes &b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A V5 header's colour space and where its profile lies.
void PutProfile(Bytes &b, std::uint32_t type, std::uint32_t at, std::uint32_t size) {
    Put32(b, 56, type);
    Put32(b, 112, at);
    Put32(b, 116, size);
}

std::uint32_t Get32(const Bytes &b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct Shape {
    std::uint32_t headerSize = 40;
    std::int32_t width = 4, height = 3;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = dib::kBiRgb;
    std::uint32_t clrUsed = 0;
    std::uint32_t masks[3] = {0, 0, 0};
};

// A well-formed packed DIB with distinct bytes everywhere, so misplaced offsets show.
Bytes Build(const Shape &s) {
    const bool fields = s.compression == dib::kBiBitfields;
    const std::uint32_t maskBytes = fields && s.headerSize == 40 ? 12 : 0;
    const std::uint32_t palette = s.bitCount <= 8 && s.clrUsed == 0 ? 1u << s.bitCount : s.clrUsed;
    const std::size_t stride = (static_cast<std::size_t>(s.width) * s.bitCount + 31) / 32 * 4;
    const std::size_t rows = static_cast<std::size_t>(s.height < 0 ? -s.height : s.height);
    Bytes b(s.headerSize + maskBytes + palette * 4 + stride * rows);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 1);
    std::memset(b.data(), 0, s.headerSize);
    Put32(b, 0, s.headerSize);
    Put32(b, 4, static_cast<std::uint32_t>(s.width));
    Put32(b, 8, static_cast<std::uint32_t>(s.height));
    Put16(b, 12, 1);
    Put16(b, 14, s.bitCount);
    Put32(b, 16, s.compression);
    Put32(b, 20, static_cast<std::uint32_t>(stride * rows));
    Put32(b, 32, s.clrUsed);
    if (fields)
        for (std::size_t i = 0; i < 3; ++i)
            Put32(b, 40 + 4 * i, s.masks[i]);
    return b;
}

dib::Error ValidateError(const Bytes &b) {
    return dib::Validate(b.data(), b.size()).error;
}

struct GoodCase {
    const char *name;
    Shape shape;
    std::uint32_t paletteEntries, maskBytes;
    std::size_t pixelOffset, stride, pixelBytes;
};

const GoodCase kGood[] = {
    {"1bpp", {40, 5, 3, 1}, 2, 0, 48, 4, 12},
    {"1bpp top-down 33 wide", {40, 33, -2, 1}, 2, 0, 48, 8, 16},
    {"4bpp top-down, 3 colours", {40, 9, -2, 4, 0, 3}, 3, 0, 52, 8, 16},
    {"8bpp", {40, 5, 4, 8}, 256, 0, 1064, 8, 32},
    {"8bpp V3 header, 16 colours", {56, 3, 1, 8, 0, 16}, 16, 0, 120, 4, 4},
    {"16bpp", {40, 3, 2, 16}, 0, 0, 40, 8, 16},
    {"16bpp 565 fields", {40, 3, 2, 16, 3, 0, {0xF800, 0x07E0, 0x001F}}, 0, 12, 52, 8, 16},
    {"16bpp 555 fields top-down",
     {40, 2, -3, 16, 3, 0, {0x7C00, 0x03E0, 0x001F}},
     0,
     12,
     52,
     4,
     12},
    {"24bpp top-down", {40, 7, -3, 24}, 0, 0, 40, 24, 72},
    {"24bpp with optional palette", {40, 1, 1, 24, 0, 16}, 16, 0, 104, 4, 4},
    {"32bpp", {40, 2, 2, 32}, 0, 0, 40, 8, 16},
    {"32bpp fields", {40, 2, 2, 32, 3, 0, {0xFF0000, 0xFF00, 0xFF}}, 0, 12, 52, 8, 16},
    {"32bpp V2 fields", {52, 2, 1, 32, 3, 0, {0xFF, 0xFF00, 0xFF0000}}, 0, 0, 52, 8, 8},
    {"32bpp V4", {108, 3, 2, 32}, 0, 0, 108, 12, 24},
    {"32bpp V5 fields top-down",
     {124, 3, -2, 32, 3, 0, {0xFF000000, 0xFF0000, 0xFF00}},
     0,
     0,
     124,
     12,
     24},
};

TEST(DibValidate, AcceptsEveryDepthWithItsLayout) {
    for (const auto &c : kGood) {
        SCOPED_TRACE(c.name);
        const Bytes b = Build(c.shape);
        const auto r = dib::Validate(b.data(), b.size());
        ASSERT_EQ(r.error, dib::Error::None);
        EXPECT_EQ(r.info.width, c.shape.width);
        EXPECT_EQ(r.info.height, c.shape.height < 0 ? -c.shape.height : c.shape.height);
        EXPECT_EQ(r.info.topDown, c.shape.height < 0);
        EXPECT_EQ(r.info.bitCount, c.shape.bitCount);
        EXPECT_EQ(r.info.compression, c.shape.compression);
        EXPECT_EQ(r.info.headerSize, c.shape.headerSize);
        EXPECT_EQ(r.info.paletteEntries, c.paletteEntries);
        EXPECT_EQ(r.info.maskBytes, c.maskBytes);
        EXPECT_EQ(r.info.pixelOffset, c.pixelOffset);
        EXPECT_EQ(r.info.stride, c.stride);
        EXPECT_EQ(r.info.pixelBytes, c.pixelBytes);
        EXPECT_EQ(b.size(), c.pixelOffset + c.pixelBytes);

        // Clipboard blocks are often rounded up; the slack is not part of the picture.
        Bytes longer = b;
        longer.resize(b.size() + 13);
        const auto rl = dib::Validate(longer.data(), longer.size());
        ASSERT_EQ(rl.error, dib::Error::None);
        EXPECT_EQ(rl.info.pixelBytes, c.pixelBytes);
    }
}

TEST(DibValidate, StoredImageSizeIsIgnored) {
    Bytes b = Build({40, 5, 4, 8});
    Put32(b, 20, 0);
    EXPECT_EQ(ValidateError(b), dib::Error::None);
    Put32(b, 20, 0xFFFFFFFF);
    EXPECT_EQ(ValidateError(b), dib::Error::None);
    b.pop_back();
    Put32(b, 20, 1);
    EXPECT_EQ(ValidateError(b), dib::Error::Truncated);
}

TEST(DibValidate, LargePictureWithinLimits) {
    // 8000 x 8000 at 32 bits must pass.
    Bytes b(40 + std::size_t{8000} * 8000 * 4);
    Put32(b, 0, 40);
    Put32(b, 4, 8000);
    Put32(b, 8, static_cast<std::uint32_t>(-8000));
    Put16(b, 12, 1);
    Put16(b, 14, 32);
    const auto r = dib::Validate(b.data(), b.size());
    ASSERT_EQ(r.error, dib::Error::None);
    EXPECT_EQ(r.info.pixelBytes, std::size_t{8000} * 8000 * 4);
}

struct BadCase {
    const char *name;
    Shape shape;
    std::function<void(Bytes &)> mutate;
    dib::Error expected;
};

TEST(DibValidate, RejectsMalformed) {
    using E = dib::Error;
    const Shape rgb32{40, 4, 3, 32};
    const Shape pal8{40, 4, 3, 8};
    const Shape fields32{40, 2, 2, 32, 3, 0, {0xFF0000, 0xFF00, 0xFF}};
    const Shape fields16{40, 2, 2, 16, 3, 0, {0xF800, 0x07E0, 0x001F}};
    const Shape v5{124, 2, 2, 32};
    const auto set32 = [](std::size_t at, std::uint32_t v) {
        return [=](Bytes &b) { Put32(b, at, v); };
    };
    const auto set16 = [](std::size_t at, std::uint16_t v) {
        return [=](Bytes &b) { Put16(b, at, v); };
    };
    const auto cut = [](std::size_t n) { return [=](Bytes &b) { b.resize(n); }; };
    const auto size = [](std::uint32_t w, std::uint32_t h) {
        return [=](Bytes &b) {
            Put32(b, 4, w);
            Put32(b, 8, h);
        };
    };
    const auto profile = [](std::uint32_t type, std::uint32_t at, std::uint32_t n) {
        return [=](Bytes &b) { PutProfile(b, type, at, n); };
    };
    const auto shorter = [](Bytes &b) { b.pop_back(); };
    const BadCase cases[] = {
        {"empty", rgb32, cut(0), E::TooSmall},
        {"3 bytes", rgb32, cut(3), E::TooSmall},
        {"header cut", rgb32, cut(39), E::TooSmall},
        {"V5 header cut", v5, cut(100), E::TooSmall},
        {"core header", rgb32, set32(0, 12), E::BadHeaderSize},
        {"OS/2 2 header", rgb32, set32(0, 64), E::BadHeaderSize},
        {"header size 0", rgb32, set32(0, 0), E::BadHeaderSize},
        {"header size huge", rgb32, set32(0, 0xFFFFFFFF), E::BadHeaderSize},
        {"pixels short by one", rgb32, shorter, E::Truncated},
        {"top-down pixels short by one", {40, 5, -3, 24}, shorter, E::Truncated},
        {"8bpp pixels short by one", pal8, shorter, E::Truncated},
        {"masks missing", fields32, cut(48), E::Truncated},
        {"height 0", rgb32, set32(8, 0), E::BadDimensions},
        {"height INT32_MIN", rgb32, set32(8, 0x80000000), E::BadDimensions},
        {"width 0", rgb32, set32(4, 0), E::BadDimensions},
        {"width negative", rgb32, set32(4, 0xFFFFFFFF), E::BadDimensions},
        {"width*height overflow", rgb32, size(0x7FFFFFFF, 0x7FFFFFFF), E::TooLarge},
        {"width*height overflow top-down",
         {40, 4, 3, 1},
         size(0x7FFFFFFF, 0x80000001),
         E::TooLarge},
        {"one row past the pixel cap", rgb32, size(16384, 16385), E::TooLarge},
        // At the cap the size limits pass; only the missing pixels stop it.
        {"at the pixel cap", rgb32, size(16384, 16384), E::Truncated},
        {"very wide 1bpp", {40, 4, 3, 1}, set32(4, 0x7FFFFFFF), E::TooLarge},
        {"palette past the data", pal8, cut(40 + 100 * 4), E::BadPalette},
        {"optional palette past the data", {40, 1, 1, 24}, set32(32, 200), E::BadPalette},
        {"clrUsed 2^32-1 at 8bpp", pal8, set32(32, 0xFFFFFFFF), E::BadPalette},
        {"clrUsed 2^32-1 at 24bpp", {40, 4, 3, 24}, set32(32, 0xFFFFFFFF), E::BadPalette},
        {"clrUsed 2^32-1 at 32bpp", rgb32, set32(32, 0xFFFFFFFF), E::BadPalette},
        {"clrUsed 257 at 8bpp", pal8, set32(32, 257), E::BadPalette},
        {"clrUsed 257 at 24bpp", {40, 1, 1, 24, 0, 257}, [](Bytes &) {}, E::BadPalette},
        {"clrUsed 3 at 1bpp", {40, 4, 3, 1}, set32(32, 3), E::BadPalette},
        {"bit fields at 8bpp", pal8, set32(16, 3), E::BadCompression},
        {"bit fields at 24bpp", {40, 4, 3, 24}, set32(16, 3), E::BadCompression},
        {"RLE8", pal8, set32(16, 1), E::BadCompression},
        {"RLE4", {40, 4, 3, 4}, set32(16, 2), E::BadCompression},
        {"JPEG", rgb32, set32(16, 4), E::BadCompression},
        {"PNG", rgb32, set32(16, 5), E::BadCompression},
        {"alpha bit fields", rgb32, set32(16, 6), E::BadCompression},
        {"zero mask", fields32, set32(44, 0), E::BadCompression},
        {"split mask", fields32, set32(40, 0x0F0F0000), E::BadCompression},
        {"overlapping masks", fields32, set32(44, 0x01FF00), E::BadCompression},
        {"16bpp mask past 16 bits", fields16, set32(40, 0x1F800), E::BadCompression},
        {"bitCount 0", rgb32, set16(14, 0), E::BadBitCount},
        {"bitCount 2", rgb32, set16(14, 2), E::BadBitCount},
        {"bitCount 64", rgb32, set16(14, 64), E::BadBitCount},
        {"planes 2", rgb32, set16(12, 2), E::BadPlanes},
        {"planes 0", rgb32, set16(12, 0), E::BadPlanes},
        {"embedded profile past the end", v5, profile(0x4D424544, 124, 64), E::Truncated},
        {"linked profile offset huge", v5, profile(0x4C494E4B, 0xFFFFFFF0, 0x20), E::Truncated},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = Build(c.shape);
        c.mutate(b);
        // An exact-size copy, so a sanitizer sees any read past the block.
        const Bytes exact(b.begin(), b.end());
        EXPECT_EQ(ValidateError(exact), c.expected);
    }
    EXPECT_EQ(dib::Validate(nullptr, 100).error, E::TooSmall);
}

TEST(DibValidate, ProfileInsideTheBlockIsAccepted) {
    Bytes b = Build({124, 2, 2, 32});
    const std::size_t profileAt = b.size();
    b.resize(b.size() + 32);
    PutProfile(b, 0x4D424544, static_cast<std::uint32_t>(profileAt), 32);
    EXPECT_EQ(ValidateError(b), dib::Error::None);
}

Bytes PixelsOf(const Bytes &dibBytes, const dib::Info &info) {
    return Bytes(dibBytes.begin() + static_cast<std::ptrdiff_t>(info.pixelOffset),
                 dibBytes.begin() +
                     static_cast<std::ptrdiff_t>(info.pixelOffset + info.pixelBytes));
}

TEST(BmpFile, RoundTripEveryDepth) {
    for (const auto &c : kGood) {
        SCOPED_TRACE(c.name);
        Bytes src = Build(c.shape);
        const auto v = dib::Validate(src.data(), src.size());
        ASSERT_TRUE(v);
        src.resize(src.size() + 9); // slack that must not reach the file

        const Bytes file = dib::MakeBmpFile(src.data(), v.info);
        ASSERT_EQ(file.size(), 14 + c.pixelOffset + c.pixelBytes);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(Get32(file, 2), file.size());
        EXPECT_EQ(Get32(file, 10), 14 + c.pixelOffset);

        const auto r = dib::ValidateBmpFile(file.data(), file.size());
        ASSERT_EQ(r.error, dib::Error::None);
        EXPECT_EQ(r.dibOffset, 14u);
        EXPECT_EQ(r.bitsOffset, 14 + c.pixelOffset);
        EXPECT_EQ(r.info.pixelOffset, v.info.pixelOffset);
        EXPECT_EQ(r.info.pixelBytes, v.info.pixelBytes);
        EXPECT_EQ(r.info.topDown, v.info.topDown);
        EXPECT_EQ(Bytes(file.begin() + 14,
                        file.begin() + 14 + static_cast<std::ptrdiff_t>(c.pixelOffset)),
                  Bytes(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(c.pixelOffset)));
        EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(r.bitsOffset), file.end()),
                  PixelsOf(src, v.info));
    }
}

// The print writes the head and then the pixels from where they lie: together they must be the
// file MakeBmpFile makes, corrections included.
TEST(BmpFile, HeadThenPixelsIsTheWholeFile) {
    Bytes v5 = Build({124, 2, 2, 32});
    const std::size_t profileAt = v5.size();
    v5.resize(v5.size() + 16, 0xAB);
    PutProfile(v5, 0x4C494E4B, static_cast<std::uint32_t>(profileAt), 16); // dropped in the copy
    std::vector<Bytes> sources{v5};
    for (const auto &c : kGood)
        sources.push_back(Build(c.shape));
    for (const Bytes &src : sources) {
        const auto v = dib::Validate(src.data(), src.size());
        ASSERT_TRUE(v);
        Bytes joined = dib::MakeBmpHead(src.data(), v.info);
        ASSERT_EQ(joined.size(), 14 + v.info.pixelOffset);
        const Bytes pixels = PixelsOf(src, v.info);
        joined.insert(joined.end(), pixels.begin(), pixels.end());
        EXPECT_EQ(joined, dib::MakeBmpFile(src.data(), v.info));
    }
    EXPECT_TRUE(dib::MakeBmpHead(nullptr, dib::Info{}).empty());
}

TEST(BmpFile, FixesImageSizeAndDropsProfileReference) {
    Bytes src = Build({124, 2, 2, 32});
    const std::size_t profileAt = src.size();
    src.resize(src.size() + 16, 0xAB);
    Put32(src, 20, 0);
    PutProfile(src, 0x4D424544, static_cast<std::uint32_t>(profileAt), 16);
    const auto v = dib::Validate(src.data(), src.size());
    ASSERT_TRUE(v);

    const Bytes file = dib::MakeBmpFile(src.data(), v.info);
    ASSERT_EQ(file.size(), 14 + 124 + 16u);
    EXPECT_EQ(Get32(file, 14 + 20), 16u);
    EXPECT_EQ(Get32(file, 14 + 56), 0x73524742u); // sRGB
    EXPECT_EQ(Get32(file, 14 + 112), 0u);
    EXPECT_EQ(Get32(file, 14 + 116), 0u);
    EXPECT_TRUE(dib::ValidateBmpFile(file.data(), file.size()));
    EXPECT_TRUE(dib::MakeBmpFile(nullptr, v.info).empty());
}

// The platform's copy takes the counted colours; a band's header describes only its rows.
TEST(BmpFile, PlatformHeaderTakesTheCheckedLayout) {
    Bytes src = Build({40, 4, -3, 8});
    Put32(src, 36, 9); // biClrImportant
    const auto v = dib::Validate(src.data(), src.size());
    ASSERT_TRUE(v);
    Bytes header(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(v.info.pixelOffset));
    dib::Info band = v.info;
    band.height = 2;
    band.pixelBytes = 2 * v.info.stride;
    dib::FixUpHeader(header.data(), band);
    EXPECT_EQ(static_cast<std::int32_t>(Get32(header, 8)), -2);
    EXPECT_EQ(Get32(header, 20), 8u);
    EXPECT_EQ(Get32(header, 32), 256u);
    EXPECT_EQ(Get32(header, 36), 0u);
}

TEST(BmpFile, PixelOffsetGapIsHonoured) {
    const Bytes src = Build({40, 3, 2, 8, 0, 4});
    const auto v = dib::Validate(src.data(), src.size());
    ASSERT_TRUE(v);
    Bytes file = dib::MakeBmpFile(src.data(), v.info);
    const std::size_t oldBits = Get32(file, 10);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(oldBits), 6, 0xEE);
    Put32(file, 10, static_cast<std::uint32_t>(oldBits + 6));
    Put32(file, 2, 0); // writers often leave the file size empty

    const auto r = dib::ValidateBmpFile(file.data(), file.size());
    ASSERT_EQ(r.error, dib::Error::None);
    EXPECT_EQ(r.bitsOffset, oldBits + 6);
    EXPECT_EQ(r.info.pixelOffset, v.info.pixelOffset);
    EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(r.bitsOffset), file.end()),
              PixelsOf(src, v.info));
}

TEST(BmpFile, RejectsMalformed) {
    using E = dib::Error;
    const Bytes src = Build({40, 3, 2, 8, 0, 4}); // header block of 56 bytes
    const auto v = dib::Validate(src.data(), src.size());
    ASSERT_TRUE(v);
    const Bytes good = dib::MakeBmpFile(src.data(), v.info);
    struct Case {
        const char *name;
        std::function<void(Bytes &)> mutate;
        E expected;
    };
    const Case cases[] = {
        {"not BM", [](Bytes &f) { f[1] = 'A'; }, E::BadFileHeader},
        {"file header only", [](Bytes &f) { f.resize(14); }, E::TooSmall},
        {"shorter than a file header", [](Bytes &f) { f.resize(10); }, E::TooSmall},
        {"pixel offset past the end",
         [](Bytes &f) { Put32(f, 10, static_cast<std::uint32_t>(f.size() + 1)); },
         E::BadFileHeader},
        {"pixel offset huge", [](Bytes &f) { Put32(f, 10, 0xFFFFFFFF); }, E::BadFileHeader},
        {"pixel offset inside the palette", [](Bytes &f) { Put32(f, 10, 14 + 52); },
         E::BadFileHeader},
        {"pixel offset 0", [](Bytes &f) { Put32(f, 10, 0); }, E::BadFileHeader},
        {"pixels short by one", [](Bytes &f) { f.pop_back(); }, E::Truncated},
        {"gap leaves pixels short", [](Bytes &f) { Put32(f, 10, 14 + 56 + 1); }, E::Truncated},
        {"bad planes inside", [](Bytes &f) { Put16(f, 14 + 12, 2); }, E::BadPlanes},
        {"RLE8 inside", [](Bytes &f) { Put32(f, 14 + 16, 1); }, E::BadCompression},
        {"palette past the file", [](Bytes &f) { f.resize(14 + 40 + 8); }, E::BadPalette},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f = good;
        c.mutate(f);
        const Bytes exact(f.begin(), f.end());
        EXPECT_EQ(dib::ValidateBmpFile(exact.data(), exact.size()).error, c.expected);
    }
    EXPECT_EQ(dib::ValidateBmpFile(nullptr, 0).error, E::TooSmall);
}

// --- pictures: PNG check, alpha, resampling -------------------------------------------------

TEST(PngCheck, ReadsTheHeaderOfAWholeStream) {
    const Bytes png = samples::QuadrantsPng(32, 24);
    const picture::PngResult r = picture::CheckPng(png.data(), png.size());
    ASSERT_TRUE(r);
    EXPECT_EQ(r.info.width, 32);
    EXPECT_EQ(r.info.height, 24);
    EXPECT_FALSE(r.info.alpha);
    const Bytes rgba = samples::EncodePng(
        2, 2, [](int, int) { return samples::Rgba{}; }, true);
    EXPECT_TRUE(picture::CheckPng(rgba.data(), rgba.size()).info.alpha);
}

TEST(PngCheck, RefusesBrokenStreams) {
    for (const samples::BadPng &bad : samples::BadPngs()) {
        SCOPED_TRACE(bad.name);
        EXPECT_EQ(picture::CheckPng(bad.bytes.data(), bad.bytes.size()).error, bad.error);
    }
    const Bytes png = samples::QuadrantsPng(4, 4);
    // Without IEND, or ending inside the last chunk's checksum.
    EXPECT_EQ(picture::CheckPng(png.data(), png.size() - 12).error, picture::PngError::Truncated);
    EXPECT_EQ(picture::CheckPng(png.data(), png.size() - 1).error, picture::PngError::Truncated);
    EXPECT_EQ(picture::CheckPng(nullptr, 0).error, picture::PngError::NotPng);
}

// A V5 DIB, 32 bits with bit fields and an alpha mask, top-down, filled by fn(x, y).
Bytes AlphaDib(int w, int h, const std::function<samples::Rgba(int, int)> &fn,
               std::uint32_t alphaMask = 0xFF000000u, std::uint32_t headerSize = 124) {
    Shape s;
    s.headerSize = headerSize;
    s.width = w;
    s.height = -h;
    s.bitCount = 32;
    s.compression = dib::kBiBitfields;
    s.masks[0] = 0x00FF0000;
    s.masks[1] = 0x0000FF00;
    s.masks[2] = 0x000000FF;
    Bytes b = Build(s);
    Put32(b, 52, alphaMask);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const samples::Rgba c = fn(x, y);
            const std::size_t at = headerSize + (static_cast<std::size_t>(y) * w + x) * 4;
            b[at] = c.b;
            b[at + 1] = c.g;
            b[at + 2] = c.r;
            b[at + 3] = c.a;
        }
    return b;
}

// Resamples a DIB; the result as RGB triples, top row first.
std::vector<samples::Rgba> Reduce(const Bytes &dib, int dw, int dh) {
    const dib::Result r = dib::Validate(dib.data(), dib.size());
    EXPECT_TRUE(r);
    picture::DibRows rows(dib.data(), r.info);
    Bytes out(static_cast<std::size_t>(dw) * dh * 4);
    EXPECT_TRUE(picture::Resample(picture::DibFormat(dib.data(), r.info), r.info.width,
                                  r.info.height, rows, out.data(), static_cast<std::size_t>(dw) * 4,
                                  dw, dh));
    std::vector<samples::Rgba> px;
    for (std::size_t i = 0; i < out.size(); i += 4)
        px.push_back({out[i + 2], out[i + 1], out[i], 255});
    return px;
}

bool Same(samples::Rgba a, samples::Rgba b, int tolerance = 0) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

TEST(PictureAlpha, TransparentAreasComeOutWhite) {
    // Left half fully transparent (black underneath), right half opaque blue; a bottom row of
    // red at half opacity.
    const auto fn = [](int x, int y) {
        if (y == 3) return samples::Rgba{255, 0, 0, 128};
        return x < 2 ? samples::Rgba{0, 0, 0, 0} : samples::Rgba{0, 0, 255, 255};
    };
    const auto px = Reduce(AlphaDib(4, 4, fn), 4, 4);
    EXPECT_TRUE(Same(px[0], {255, 255, 255, 255}));
    EXPECT_TRUE(Same(px[3], {0, 0, 255, 255}));
    EXPECT_TRUE(Same(px[12], {255, 127, 127, 255}, 1)) << int(px[12].g); // pink
    // The same through the print's rows.
    const Bytes dib = AlphaDib(4, 4, fn);
    const dib::Result r = dib::Validate(dib.data(), dib.size());
    std::uint8_t bgr[12];
    picture::RowToBgr24(picture::DibFormat(dib.data(), r.info), dib.data() + 124, 4, bgr);
    EXPECT_EQ(bgr[0], 255);
    EXPECT_EQ(bgr[2], 255);
    EXPECT_EQ(bgr[9], 255); // blue
    EXPECT_EQ(bgr[11], 0);
}

TEST(PictureAlpha, OnlyAHeaderWithAnAlphaMaskDeclaresIt) {
    const auto clear = [](int, int) { return samples::Rgba{10, 20, 30, 0}; };
    // 32 bits with fourth bytes 0 and no alpha mask: opaque, exactly its colours.
    for (std::uint32_t header : {40u, 56u, 108u, 124u}) {
        SCOPED_TRACE(header);
        Shape s;
        s.headerSize = header;
        s.width = 2;
        s.height = 2;
        s.bitCount = 32;
        Bytes b = Build(s);
        for (std::size_t i = header; i < b.size(); i += 4) {
            b[i] = 30;
            b[i + 1] = 20;
            b[i + 2] = 10;
            b[i + 3] = 0;
        }
        const dib::Result r = dib::Validate(b.data(), b.size());
        EXPECT_FALSE(picture::DibFormat(b.data(), r.info).alpha);
        EXPECT_TRUE(Same(Reduce(b, 2, 2)[0], {10, 20, 30, 255}));
    }
    EXPECT_TRUE(Same(Reduce(AlphaDib(2, 2, clear, 0), 1, 1)[0], {10, 20, 30, 255}));
    // A V3 header's alpha mask is not taken, an alpha mask over a colour mask neither.
    EXPECT_TRUE(Same(Reduce(AlphaDib(2, 2, clear, 0xFF000000u, 56), 1, 1)[0], {10, 20, 30, 255}));
    EXPECT_TRUE(Same(Reduce(AlphaDib(2, 2, clear, 0x00FF0000u), 1, 1)[0], {10, 20, 30, 255}));
    EXPECT_TRUE(Same(Reduce(AlphaDib(2, 2, clear), 1, 1)[0], {255, 255, 255, 255}));
}

// A 32-bit BI_RGB bitmap with fourth bytes, as a Linux desktop and browsers hand one over.
TEST(PictureAlpha, FourthBytesOfAPlainBitmapAreItsAlpha) {
    const auto plain = [](std::initializer_list<std::uint32_t> px) {
        Shape s;
        s.headerSize = 40;
        s.width = static_cast<std::int32_t>(px.size());
        s.height = 1;
        s.bitCount = 32;
        Bytes b = Build(s);
        std::size_t i = 40;
        for (std::uint32_t v : px)
            for (int k = 0; k < 4; ++k)
                b[i++] = static_cast<std::uint8_t>(v >> (8 * k));
        return b;
    };
    // Transparent 00000000 beside opaque blue: white and blue, on screen and on paper.
    const Bytes measured = plain({0x00000000u, 0xFF0000FFu});
    auto px = Reduce(measured, 2, 1);
    EXPECT_TRUE(Same(px[0], {255, 255, 255, 255}));
    EXPECT_TRUE(Same(px[1], {0, 0, 255, 255}));
    const dib::Result r = dib::Validate(measured.data(), measured.size());
    std::uint8_t bgr[6] = {};
    picture::RowToBgr24(picture::DibFormat(measured.data(), r.info), measured.data() + 40, 2, bgr);
    EXPECT_EQ(Bytes(bgr, bgr + 6), (Bytes{255, 255, 255, 255, 0, 0}));
    // No colour byte above its alpha: premultiplied, 64 at half alpha is 64 + 127 over white.
    px = Reduce(plain({0x80404040u, 0x00000000u}), 2, 1);
    EXPECT_TRUE(Same(px[0], {191, 191, 191, 255}));
    // One colour byte above its alpha makes the whole bitmap straight.
    px = Reduce(plain({0x80404040u, 0x10FF0000u}), 2, 1);
    EXPECT_TRUE(Same(px[0], {159, 159, 159, 255}, 1));
    // All fourth bytes 0: opaque, as before.
    EXPECT_TRUE(Same(Reduce(plain({0x00102030u, 0x00102030u}), 1, 1)[0], {16, 32, 48, 255}));
}

TEST(PictureResample, MatchesABoxFilterReference) {
    // Width, height, destination width and height, bits: a picture of a million pixels and more
    // is shared among threads; one whose destination rows cover more than 257 rows each sums
    // them in parts; 32 bits with fourth bytes 0 take the byte sums as 24 bits do.
    for (const auto &sz : {std::array<int, 5>{97, 61, 40, 23, 24},
                           {355, 217, 355, 217, 24},
                           {640, 480, 355, 217, 24},
                           {7, 5, 30, 19, 24},
                           {1201, 999, 355, 217, 24},
                           {1100, 1000, 97, 3, 32},
                           {5, 1400, 2, 2, 24}}) {
        SCOPED_TRACE(sz[0]);
        const int w = sz[0], h = sz[1], bytes = sz[4] / 8;
        Shape s;
        s.width = w;
        s.height = -h;
        s.bitCount = static_cast<std::uint16_t>(sz[4]);
        Bytes b = Build(s);
        const std::size_t stride = (static_cast<std::size_t>(w) * bytes + 3) & ~std::size_t{3};
        std::vector<std::uint8_t> grey(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const auto v = static_cast<std::uint8_t>((x * 37 + y * 91 + x * y) % 256);
                grey[static_cast<std::size_t>(y) * w + x] = v;
                for (int k = 0; k < bytes; ++k)
                    b[40 + static_cast<std::size_t>(y) * stride +
                      static_cast<std::size_t>(x) * bytes + k] = k < 3 ? v : 0;
            }
        const int dw = sz[2], dh = sz[3];
        const auto px = Reduce(b, dw, dh);
        for (int i = 0; i < dw * dh; ++i) {
            const double ref = samples::BoxMean(w, h, dw, dh, i % dw, i / dw, [&](int x, int y) {
                return grey[static_cast<std::size_t>(y) * w + x];
            });
            ASSERT_LE(std::abs(px[static_cast<std::size_t>(i)].r - ref), 0.51) << i;
        }
    }
}

TEST(PictureResample, QuadrantsAndThinLinesOfALargePictureLandInPlace) {
    // 4000 x 3000, 8 bits: quadrants, a one-pixel black column at x = 2000 + 400 and row at
    // y = 750.
    const int w = 4000, h = 3000, dw = 355, dh = 217;
    Shape s;
    s.width = w;
    s.height = h;
    s.bitCount = 8;
    s.clrUsed = 5;
    Bytes b = Build(s);
    const std::uint8_t palette[] = {0, 0, 255, 0,   0,   255, 0, 0, 255, 0,
                                    0, 0, 0,   255, 255, 0,   0, 0, 0,   0};
    std::memcpy(b.data() + 40, palette, sizeof(palette));
    const std::size_t stride = (w + 3) & ~3;
    for (int y = 0; y < h; ++y) {
        std::uint8_t *row = b.data() + 60 + static_cast<std::size_t>(h - 1 - y) * stride;
        for (int x = 0; x < w; ++x)
            row[x] = (x == 2400 || y == 750)
                         ? 4
                         : static_cast<std::uint8_t>((y >= h / 2) * 2 + (x >= w / 2));
    }
    const auto px = Reduce(b, dw, dh);
    const auto at = [&](int x, int y) { return px[static_cast<std::size_t>(y) * dw + x]; };
    EXPECT_TRUE(Same(at(40, 20), {255, 0, 0, 255}));
    EXPECT_TRUE(Same(at(300, 20), {0, 255, 0, 255}));
    EXPECT_TRUE(Same(at(40, 200), {0, 0, 255, 255}));
    EXPECT_TRUE(Same(at(300, 200), {255, 255, 0, 255}));
    // Quadrant edges at 177.5 and 108.5: the boundary pixels blend, their neighbours do not.
    EXPECT_TRUE(Same(at(176, 20), {255, 0, 0, 255}));
    EXPECT_TRUE(Same(at(178, 20), {0, 255, 0, 255}));
    // The column lands at 2400 * 355 / 4000 = 213.0 and darkens that column alone.
    const int lx = 2400 * dw / w, ly = 750 * dh / h;
    EXPECT_LT(at(lx, 200).r, 250); // one source column of eleven
    EXPECT_TRUE(Same(at(lx - 1, 200), {255, 255, 0, 255}));
    EXPECT_TRUE(Same(at(lx + 1, 200), {255, 255, 0, 255}));
    EXPECT_LT(at(40, ly).r, 250);
    EXPECT_TRUE(Same(at(40, ly - 1), {255, 0, 0, 255}));
    EXPECT_TRUE(Same(at(40, ly + 1), {255, 0, 0, 255}));
}

TEST(PictureResample, RefusesSizesOutOfRange) {
    const Bytes b = AlphaDib(2, 2, [](int, int) { return samples::Rgba{}; });
    const dib::Result r = dib::Validate(b.data(), b.size());
    picture::DibRows rows(b.data(), r.info);
    const picture::Format f = picture::DibFormat(b.data(), r.info);
    Bytes out(16);
    EXPECT_FALSE(picture::Resample(f, 2, 2, rows, out.data(), 8, 0, 2));
    EXPECT_FALSE(picture::Resample(f, 2, 2, rows, out.data(), 4, 2, 2)); // stride too small
    EXPECT_FALSE(picture::Resample(f, 2, 3, rows, out.data(), 8, 2, 2)); // a row missing
}

} // namespace
