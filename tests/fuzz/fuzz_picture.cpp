// The picture code on arbitrary bytes. First byte even: the rest is a PNG stream for CheckPng.
// Odd: the next two bytes are a destination size (1 to 64 each) and the rest a packed DIB, which,
// once accepted, is resampled and turned into print rows; small pictures are compared with a
// plain floating-point box filter over the composited pixels.
#include "common/picture/picture.h"
#include "common/picture/pngcheck.h"
#include "common/picture/resample.h"
#include "fuzz_check.h"
#include "tests/png_encode.h"

#include <cmath>
#include <vector>

namespace {

void CheckPngStream(const std::uint8_t *data, std::size_t size) {
    const picture::PngResult r = picture::CheckPng(data, size);
    if (!r) return;
    FUZZ_CHECK(r.info.width > 0 && r.info.height > 0);
    FUZZ_CHECK(std::uint64_t(r.info.width) * std::uint64_t(r.info.height) <= dib::kMaxPixels);
    // The signature, IHDR and IEND at the least.
    FUZZ_CHECK(size >= 8 + 25 + 12);
}

void CheckDib(const std::uint8_t *data, std::size_t size, int dw, int dh) {
    const dib::Result r = dib::Validate(data, size);
    if (!r) return;
    const dib::Info &info = r.info;
    const picture::Format format = picture::DibFormat(data, info);
    picture::DibRows rows(data, info);
    std::vector<std::uint8_t> out(std::size_t(dw) * dh * 4, 0xAA);
    FUZZ_CHECK(picture::Resample(format, info.width, info.height, rows, out.data(),
                                 std::size_t(dw) * 4, dw, dh));
    for (std::size_t i = 3; i < out.size(); i += 4)
        FUZZ_CHECK(out[i] == 0);

    const std::uint64_t pixels = std::uint64_t(info.width) * std::uint64_t(info.height);
    if (pixels > 4096) return;
    const int w = info.width, h = info.height;
    std::vector<std::uint8_t> bgr(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        picture::RowToBgr24(format, rows.Row(y), w, bgr.data() + std::size_t(y) * w * 3);
    for (int Y = 0; Y < dh; ++Y)
        for (int X = 0; X < dw; ++X)
            for (int k = 0; k < 3; ++k) {
                const double ref = samples::BoxMean(w, h, dw, dh, X, Y, [&](int x, int y) {
                    return bgr[(std::size_t(y) * w + x) * 3 + k];
                });
                const double got = out[(std::size_t(Y) * dw + X) * 4 + k];
                // The print rows round each composited pixel; the resampler rounds once.
                FUZZ_CHECK(std::fabs(got - ref) <= 1.01);
            }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    if ((data[0] & 1) == 0) {
        CheckPngStream(data + 1, size - 1);
        return 0;
    }
    if (size < 3) return 0;
    CheckDib(data + 3, size - 3, 1 + data[1] % 64, 1 + data[2] % 64);
    return 0;
}
