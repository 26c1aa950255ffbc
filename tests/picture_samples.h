// Pictures for the clipboard tests: packed DIBs of known colours, and malformed blocks of the
// kinds another program might leave on the clipboard.
#pragma once

#include "common/picture/dib.h"
#include "tests/png_encode.h"
#include "tests/testutil.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace samples {

// Red, green / blue, yellow.
inline COLORREF QuadrantColour(int x, int y, int w, int h) {
    const bool top = y < h / 2, left = x < w / 2;
    if (top) return left ? RGB(255, 0, 0) : RGB(0, 255, 0);
    return left ? RGB(0, 0, 255) : RGB(255, 255, 0);
}

inline std::vector<unsigned char> Quadrants(int w, int h) {
    return testutil::MakeDib(w, h, [w, h](int x, int y) { return QuadrantColour(x, y, w, h); });
}

// The same quadrants as an 8-bit palette picture: a large one stays affordable.
inline std::vector<unsigned char> Quadrants8(int w, int h) {
    const size_t stride = (static_cast<size_t>(w) + 3) & ~size_t{3};
    std::vector<unsigned char> dib(sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * 4 + stride * h);
    BITMAPINFOHEADER bih = testutil::InfoHeader(w, h, 8);
    bih.biClrUsed = 4;
    std::memcpy(dib.data(), &bih, sizeof(bih));
    const RGBQUAD palette[4] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {0, 255, 255, 0}};
    std::memcpy(dib.data() + sizeof(bih), palette, sizeof(palette));
    unsigned char *px = dib.data() + sizeof(bih) + sizeof(palette);
    for (int y = 0; y < h; ++y) {
        unsigned char *row = px + static_cast<size_t>(h - 1 - y) * stride; // bottom-up
        const unsigned char base = y < h / 2 ? 0 : 2;
        std::memset(row, base, static_cast<size_t>(w / 2));
        std::memset(row + w / 2, base + 1, static_cast<size_t>(w - w / 2));
    }
    return dib;
}

// A V5 header, 32 bits with colour bit fields, sRGB.
inline BITMAPV5HEADER V5Header(int w, int h) {
    BITMAPV5HEADER v5{};
    v5.bV5Size = sizeof(v5);
    v5.bV5Width = w;
    v5.bV5Height = h;
    v5.bV5Planes = 1;
    v5.bV5BitCount = 32;
    v5.bV5Compression = BI_BITFIELDS;
    v5.bV5RedMask = 0x00FF0000;
    v5.bV5GreenMask = 0x0000FF00;
    v5.bV5BlueMask = 0x000000FF;
    v5.bV5CSType = 0x73524742; // 'sRGB'
    return v5;
}

// A V5 picture, 32 bits with an alpha mask, top-down, filled by fn(x, y).
inline std::vector<unsigned char> AlphaV5(int w, int h, const std::function<Rgba(int, int)> &fn) {
    std::vector<unsigned char> dib(sizeof(BITMAPV5HEADER) + static_cast<size_t>(w) * h * 4);
    BITMAPV5HEADER v5 = V5Header(w, -h);
    v5.bV5AlphaMask = 0xFF000000;
    std::memcpy(dib.data(), &v5, sizeof(v5));
    unsigned char *px = dib.data() + sizeof(v5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, px += 4) {
            const Rgba c = fn(x, y);
            px[0] = c.b;
            px[1] = c.g;
            px[2] = c.r;
            px[3] = c.a;
        }
    return dib;
}

// Left half fully transparent (black underneath), right half opaque blue, the bottom quarter red
// at half opacity: white, blue and pink once over paper.
inline Rgba HalfClear(int x, int y, int w, int h) {
    if (y >= h * 3 / 4) return {255, 0, 0, 128};
    return x < w / 2 ? Rgba{0, 0, 0, 0} : Rgba{0, 0, 255, 255};
}

// A 32-bit picture without an alpha channel whose fourth bytes are all 0: drawn as it is.
inline std::vector<unsigned char> Bgrx32(int w, int h, COLORREF c) {
    std::vector<unsigned char> dib(sizeof(BITMAPINFOHEADER) + static_cast<size_t>(w) * h * 4);
    const BITMAPINFOHEADER bih = testutil::InfoHeader(w, h, 32);
    std::memcpy(dib.data(), &bih, sizeof(bih));
    for (size_t i = sizeof(bih); i < dib.size(); i += 4) {
        dib[i] = GetBValue(c);
        dib[i + 1] = GetGValue(c);
        dib[i + 2] = GetRValue(c);
        dib[i + 3] = 0;
    }
    return dib;
}

inline BITMAPINFOHEADER &Header(std::vector<unsigned char> &dib) {
    return *reinterpret_cast<BITMAPINFOHEADER *>(dib.data());
}

struct Malformed {
    std::string name;
    std::vector<unsigned char> bytes;
    dib::Error error; // what validation says about it
};

// One block for each way a whole block falls short of what its header claims; the limits of each
// field are checked on bare bytes in test_dib.cpp.
inline std::vector<Malformed> MalformedPictures() {
    std::vector<Malformed> out;
    const auto good = Quadrants(64, 48);

    auto shortByOne = good;
    shortByOne.pop_back();
    out.push_back({"PixelsShortByOneByte", shortByOne, dib::Error::Truncated});

    out.push_back({"HeaderCutShort", std::vector<unsigned char>(good.begin(), good.begin() + 20),
                   dib::Error::TooSmall});

    // 8 bits: a full colour table of 256 entries (1 KiB) in a block with room for 10.
    std::vector<unsigned char> palette(sizeof(BITMAPINFOHEADER) + 40, 0);
    std::memcpy(palette.data(), good.data(), sizeof(BITMAPINFOHEADER));
    Header(palette).biBitCount = 8;
    Header(palette).biClrUsed = 0;
    out.push_back({"PalettePastTheBlock", palette, dib::Error::BadPalette});

    // A header that lies about far more pixels than the block holds.
    auto maxed = good;
    Header(maxed).biWidth = 0x7FFFFFFF;
    Header(maxed).biHeight = -0x7FFFFFFF;
    out.push_back({"MaximalDimensions", maxed, dib::Error::TooLarge});

    return out;
}

} // namespace samples
