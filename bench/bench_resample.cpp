// Times Tessary's own work on a large picture once it has it, beside the resampler as it was
// before, in one process: the copy out of the clipboard's block (CopyAndClose's), the resample
// into the 42-inch preview's screen area, and checks that both resamplers give the same pixels.
// Usage: bench_resample [width height [runs]] (default 8000 8000 3; a 24-bit picture of noise).
// Prints one line per run: "bench_resample copy_ms=... before_ms=... after_ms=... same=1", and
// the CPU time of each step.
#include "common/picture/dib.h"
#include "common/picture/picture.h"
#include "common/picture/resample.h"
#include "print_timing.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace picture::before {
bool Resample(const Format &format, std::int32_t width, std::int32_t height, RowSource &rows,
              std::uint8_t *dst, std::size_t dstStride, std::int32_t dstWidth,
              std::int32_t dstHeight);
} // namespace picture::before

namespace {
// CPU time of the process, user and kernel, in ms: on a loaded machine the wall clock says little.
double CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME &t) {
        return static_cast<double>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}
} // namespace

int wmain(int argc, wchar_t **argv) {
    const std::int32_t width =
        argc > 2 ? static_cast<std::int32_t>(std::wcstol(argv[1], nullptr, 10)) : 8000;
    const std::int32_t height =
        argc > 2 ? static_cast<std::int32_t>(std::wcstol(argv[2], nullptr, 10)) : 8000;
    const int runs = argc > 3 ? static_cast<int>(std::wcstol(argv[3], nullptr, 10)) : 3;
    // The 42-inch preview's screen area at 96 DPI.
    constexpr std::int32_t kDstWidth = 355, kDstHeight = 217;

    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> block(40 + stride * static_cast<std::size_t>(height));
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::memcpy(block.data(), &h, sizeof(h));
    std::uint32_t seed = 12345;
    for (std::size_t i = 40; i < block.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        block[i] = static_cast<std::uint8_t>(seed >> 24);
    }
    const dib::Result r = dib::Validate(block.data(), block.size());
    if (!r) {
        std::fprintf(stderr, "bench_resample: the picture does not validate\n");
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        const double c0 = CpuMs(), t0 = bench::Now();
        std::vector<std::uint8_t> copied(block.begin(), block.end());
        const double c1 = CpuMs(), t1 = bench::Now();
        const picture::Format format = picture::DibFormat(copied.data(), r.info);
        std::vector<std::uint8_t> before(std::size_t{kDstWidth} * kDstHeight * 4);
        std::vector<std::uint8_t> after(before.size());
        picture::DibRows rows1(copied.data(), r.info), rows2(copied.data(), r.info);
        const double c2 = CpuMs(), t2 = bench::Now();
        const bool ok1 = picture::before::Resample(format, width, height, rows1, before.data(),
                                                   kDstWidth * 4, kDstWidth, kDstHeight);
        const double c3 = CpuMs(), t3 = bench::Now();
        const bool ok2 = picture::Resample(format, width, height, rows2, after.data(),
                                           kDstWidth * 4, kDstWidth, kDstHeight);
        const double c4 = CpuMs(), t4 = bench::Now();
        std::printf("bench_resample copy_ms=%.1f before_ms=%.1f after_ms=%.1f same=%d (cpu: copy "
                    "%.1f before %.1f after %.1f)\n",
                    t1 - t0, t3 - t2, t4 - t3, ok1 && ok2 && before == after ? 1 : 0, c1 - c0,
                    c3 - c2, c4 - c3);
    }
    return 0;
}
