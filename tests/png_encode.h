// A PNG writer for the tests (stored deflate blocks, no compression), so that every byte of a
// stream is known: right ones, cut ones, ones with a wrong checksum or a header that lies. Also
// the plain box filter that resampled pictures are held against.
#pragma once

#include "common/picture/pngcheck.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace samples {

struct Rgba {
    std::uint8_t r, g, b, a;
};

inline void PutBe32(std::vector<std::uint8_t> &out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> s));
}

inline void PngChunk(std::vector<std::uint8_t> &out, const char *type,
                     const std::vector<std::uint8_t> &body) {
    PutBe32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    PutBe32(out, picture::Crc32(out.data() + start, out.size() - start));
}

// 8 bits per channel; colour type 6 (RGBA) with `alpha`, else 2 (RGB).
inline std::vector<std::uint8_t>
EncodePng(int width, int height, const std::function<Rgba(int, int)> &pixel, bool alpha = false) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // no filter
        for (int x = 0; x < width; ++x) {
            const Rgba p = pixel(x, y);
            raw.insert(raw.end(), {p.r, p.g, p.b});
            if (alpha) raw.push_back(p.a);
        }
    }
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t pos = 0;;) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.insert(z.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        if (last) break;
    }
    PutBe32(z, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> ihdr;
    PutBe32(ihdr, static_cast<std::uint32_t>(width));
    PutBe32(ihdr, static_cast<std::uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, static_cast<std::uint8_t>(alpha ? 6 : 2), 0, 0, 0});
    PngChunk(png, "IHDR", ihdr);
    PngChunk(png, "IDAT", z);
    PngChunk(png, "IEND", {});
    return png;
}

// Red, green / blue, yellow, as samples::QuadrantColour.
inline Rgba PngQuadrant(int x, int y, int w, int h) {
    const bool top = y < h / 2, left = x < w / 2;
    if (top) return left ? Rgba{255, 0, 0, 255} : Rgba{0, 255, 0, 255};
    return left ? Rgba{0, 0, 255, 255} : Rgba{255, 255, 0, 255};
}

inline std::vector<std::uint8_t> QuadrantsPng(int w, int h) {
    return EncodePng(w, h, [w, h](int x, int y) { return PngQuadrant(x, y, w, h); });
}

// The area-weighted mean of sample(x, y) over what destination pixel (X, Y) of a dw x dh picture
// covers of a w x h one, in floating point.
template <class Sample>
double BoxMean(int w, int h, int dw, int dh, int X, int Y, const Sample &sample) {
    const double x0 = double(X) * w / dw, x1 = double(X + 1) * w / dw;
    const double y0 = double(Y) * h / dh, y1 = double(Y + 1) * h / dh;
    double sum = 0, area = 0;
    for (int y = int(y0); y < h && y < y1; ++y)
        for (int x = int(x0); x < w && x < x1; ++x) {
            const double a = (std::fmin(x1, x + 1.0) - std::fmax(x0, double(x))) *
                             (std::fmin(y1, y + 1.0) - std::fmax(y0, double(y)));
            sum += a * sample(x, y);
            area += a;
        }
    return sum / area;
}

struct BadPng {
    std::string name;
    std::vector<std::uint8_t> bytes;
    picture::PngError error;
};

// Streams that must never reach the decoder.
inline std::vector<BadPng> BadPngs() {
    const std::vector<std::uint8_t> good = QuadrantsPng(32, 24);
    std::vector<BadPng> out;
    out.push_back({"Truncated",
                   std::vector<std::uint8_t>(
                       good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)),
                   picture::PngError::Truncated});
    auto crc = good;
    crc[60] ^= 0x40; // a byte of the image data
    out.push_back({"BadChecksum", crc, picture::PngError::BadCrc});
    // A header claiming 100000 x 100000, with its checksum made right.
    std::vector<std::uint8_t> huge(good.begin(), good.begin() + 8);
    std::vector<std::uint8_t> ihdr;
    PutBe32(ihdr, 100000);
    PutBe32(ihdr, 100000);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    PngChunk(huge, "IHDR", ihdr);
    huge.insert(huge.end(), good.begin() + 33, good.end());
    out.push_back({"Claims100000Squared", huge, picture::PngError::TooLarge});
    auto notPng = good;
    notPng[1] = 'Q';
    out.push_back({"NoSignature", notPng, picture::PngError::NotPng});
    return out;
}

} // namespace samples
