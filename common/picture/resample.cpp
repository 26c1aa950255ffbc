#include "common/picture/resample.h"

#include "common/picture/bigalloc.h"
#include "common/picture/fetch.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace picture {
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

// The column sums of one source row into `out`, three per destination pixel. `Mid` holds the sum
// of the pixels that a destination pixel covers whole: 32 bits when they cannot overflow it, which
// the compiler keeps in registers more cheaply than 64.
template <class Mid, class Fetch, class Px>
void RowSums(const Fetch &fetch, const Px *row, const std::vector<Span> &spans, std::uint64_t dst,
             std::uint64_t *out) {
    std::uint32_t c[3];
    for (const Span &s : spans) {
        std::uint64_t sum[3];
        fetch(row, s.first, c);
        for (int k = 0; k < 3; ++k)
            sum[k] = c[k] * s.firstWeight; // 64 bits: the weight's width
        if (s.last != s.first) {
            Mid mid[3] = {0, 0, 0};
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

// Pictures whose colours are plain bytes (24-bit, and 32-bit with the fourth ignored) add up the
// rows that a destination row covers whole byte by byte first, and resample that sum once: the
// same integers in another order, at a fraction of the work per source pixel. 16 bits a byte hold
// the sum of 257 rows.
template <class Fetch> struct PlainBytes { static constexpr std::size_t value = 0; };
template <std::size_t kBytes> struct PlainBytes<fetchers::FetchBgr<kBytes>> {
    static constexpr std::size_t value = kBytes;
};
constexpr std::uint32_t kColumnRows = 257;

// In blocks of a fixed length, which compilers turn into vector instructions.
void AddBytes(const std::uint8_t *row, std::size_t n, std::uint16_t *sums) {
    constexpr std::size_t kBlock = 16;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        std::uint16_t t[kBlock];
        for (std::size_t k = 0; k < kBlock; ++k)
            t[k] = static_cast<std::uint16_t>(sums[i + k] + row[i + k]);
        for (std::size_t k = 0; k < kBlock; ++k)
            sums[i + k] = t[k];
    }
    for (; i < n; ++i)
        sums[i] = static_cast<std::uint16_t>(sums[i] + row[i]);
}

// A pixel of the byte sums above.
template <std::size_t kBytes> using FetchColumnSums = fetchers::FetchBgr<kBytes, std::uint16_t>;

// The working rows of one run over a band of destination rows.
struct Buffers {
    std::vector<std::uint64_t> sums, midSums, acc;
    std::vector<std::uint16_t> columnSums; // plain bytes only
};

// Destination rows [y0, y1). Pure computation on buffers allocated beforehand, so that it may run
// on a thread of its own when the source rows can be had in any order.
template <class Mid, class Fetch>
bool Band(const Fetch &fetch, std::uint32_t width, std::uint32_t height, RowSource &rows,
          const std::vector<Span> &columns, const std::vector<Span> &lines, Buffers &b,
          std::uint8_t *dst, std::size_t dstStride, std::uint32_t dstHeight, std::uint32_t y0,
          std::uint32_t y1) {
    constexpr std::size_t kPlain = PlainBytes<Fetch>::value;
    const auto dstWidth = static_cast<std::uint32_t>(columns.size());
    std::int64_t summed = -1; // the source row whose sums are in `sums`
    const auto rowSums = [&](std::uint32_t y) {
        if (summed == y) return true;
        const std::uint8_t *row = rows.Row(static_cast<std::int32_t>(y));
        if (!row) return false;
        RowSums<Mid>(fetch, row, columns, dstWidth, b.sums.data());
        summed = y;
        return true;
    };
    const auto add = [&](const std::vector<std::uint64_t> &sums, std::uint64_t weight) {
        for (std::size_t i = 0; i < b.acc.size(); ++i)
            b.acc[i] += sums[i] * weight;
    };
    // The rows between a destination row's first and last, each of weight dstHeight.
    const auto middle = [&](std::uint32_t first, std::uint32_t last) {
        if constexpr (kPlain == 0) {
            for (std::uint32_t j = first; j < last; ++j) {
                if (!rowSums(j)) return false;
                add(b.sums, dstHeight);
            }
        } else {
            for (std::uint32_t j = first; j < last;) {
                const std::uint32_t end = std::min(last, j + kColumnRows);
                std::fill(b.columnSums.begin(), b.columnSums.end(), 0);
                for (; j < end; ++j) {
                    const std::uint8_t *row = rows.Row(static_cast<std::int32_t>(j));
                    if (!row) return false;
                    AddBytes(row, b.columnSums.size(), b.columnSums.data());
                }
                RowSums<std::uint64_t>(FetchColumnSums<kPlain>{}, b.columnSums.data(), columns,
                                       dstWidth, b.midSums.data());
                add(b.midSums, dstHeight);
            }
        }
        return true;
    };
    // Sums reach 255 * 255 * width * height < 2^44: no overflow.
    const std::uint64_t total = std::uint64_t{width} * height * fetch.kScale;
    for (std::uint32_t y = y0; y < y1; ++y) {
        const Span &s = lines[y];
        std::fill(b.acc.begin(), b.acc.end(), 0);
        if (!rowSums(s.first)) return false;
        add(b.sums, s.firstWeight);
        if (s.last != s.first) {
            if (!middle(s.first + 1, s.last) || !rowSums(s.last)) return false;
            add(b.sums, s.lastWeight);
        }
        std::uint8_t *out = dst + y * dstStride;
        for (std::uint32_t x = 0; x < dstWidth; ++x) {
            for (int k = 0; k < 3; ++k)
                out[x * 4 + k] = static_cast<std::uint8_t>((b.acc[x * 3 + k] + total / 2) / total);
            out[x * 4 + 3] = 0;
        }
    }
    return true;
}

// How many threads share the rows: all cores, up to four, when the rows can be read in any order
// and the picture is large enough to be worth a thread.
unsigned Workers(const RowSource &rows, std::uint64_t pixels, std::uint32_t dstHeight) {
    if (!dynamic_cast<const DibRows *>(&rows) || pixels < (std::uint64_t{1} << 20)) return 1;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::min({cores, 4u, dstHeight});
}

template <class Mid, class Fetch>
bool Run(const Fetch &fetch, std::uint32_t width, std::uint32_t height, RowSource &rows,
         std::uint8_t *dst, std::size_t dstStride, std::uint32_t dstWidth,
         std::uint32_t dstHeight) {
    const std::vector<Span> columns = Spans(width, dstWidth);
    const std::vector<Span> lines = Spans(height, dstHeight);
    const unsigned workers = Workers(rows, std::uint64_t{width} * height, dstHeight);
    const std::size_t plainBytes = std::size_t{width} * PlainBytes<Fetch>::value;
    bigalloc::Check((std::size_t{dstWidth} * 3 * sizeof(std::uint64_t) * 3 +
                     plainBytes * sizeof(std::uint16_t)) *
                    workers);
    std::vector<Buffers> buffers(workers);
    for (Buffers &b : buffers) {
        b.sums.resize(std::size_t{dstWidth} * 3);
        b.midSums.resize(b.sums.size());
        b.acc.resize(b.sums.size());
        b.columnSums.resize(plainBytes);
    }
    const auto band = [&](unsigned i) {
        return Band<Mid>(fetch, width, height, rows, columns, lines, buffers[i], dst, dstStride,
                         dstHeight,
                         static_cast<std::uint32_t>(std::uint64_t{dstHeight} * i / workers),
                         static_cast<std::uint32_t>(std::uint64_t{dstHeight} * (i + 1) / workers));
    };
    // The caller's thread takes the first band and waits for the others: no message of its runs
    // meanwhile. A thread that cannot be started leaves its band to the caller.
    std::vector<std::thread> threads;
    threads.reserve(workers);
    std::vector<char> done(workers, 0);
    for (unsigned i = 1; i < workers; ++i) {
        try {
            threads.emplace_back([&band, &done, i] { done[i] = band(i) ? 1 : 0; });
        } catch (const std::exception &) {
            done[i] = band(i) ? 1 : 0;
        }
    }
    bool ok = band(0);
    for (std::thread &t : threads)
        t.join();
    for (unsigned i = 1; i < workers; ++i)
        ok = ok && done[i] != 0;
    return ok;
}

template <class Fetch>
bool RunFor(const Fetch &fetch, std::uint32_t width, std::uint32_t height, RowSource &rows,
            std::uint8_t *dst, std::size_t dstStride, std::uint32_t dstWidth,
            std::uint32_t dstHeight) {
    // The pixels one destination pixel covers whole in a row: at most width / dstWidth + 1.
    const std::uint64_t most = (std::uint64_t{width} / dstWidth + 1) * 255 * fetch.kScale;
    if (most <= 0xFFFFFFFFu)
        return Run<std::uint32_t>(fetch, width, height, rows, dst, dstStride, dstWidth, dstHeight);
    return Run<std::uint64_t>(fetch, width, height, rows, dst, dstStride, dstWidth, dstHeight);
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
        return RunFor(fetch, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                      rows, dst, dstStride, static_cast<std::uint32_t>(dstWidth),
                      static_cast<std::uint32_t>(dstHeight));
    });
}

} // namespace picture
