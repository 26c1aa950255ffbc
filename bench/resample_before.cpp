// The resampler as it was before it shared the rows among threads, kept for bench_resample to
// time beside the current one in the same run.
#include "common/picture/picture.h"

#include "common/picture/bigalloc.h"
#include "common/picture/fetch.h"

#include <algorithm>
#include <vector>

namespace picture::before {
namespace {

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

} // namespace

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
    return fetchers::WithFetch(format, [&](const auto &fetch) {
        return Run(fetch, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                   rows, dst, dstStride, static_cast<std::uint32_t>(dstWidth),
                   static_cast<std::uint32_t>(dstHeight));
    });
}

} // namespace picture::before
