// PNG pictures decoded by the platform's imaging component (windowscodecs), loaded with COM at the
// first PNG so that the resident process does not carry them. Only streams that
// picture::CheckPng accepted are handed to it.
#pragma once

#include "common/picture/picture.h"
#include "common/picture/pngcheck.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace clip {

class PngDecoder {
public:
    PngDecoder();
    ~PngDecoder();
    PngDecoder(const PngDecoder &) = delete;
    PngDecoder &operator=(const PngDecoder &) = delete;

    // Decodes `size` bytes at `data`, which must outlive the decoder. False when the imaging
    // component is missing or refuses the stream, or its size is not the checked one. Memory
    // running out, here or in CopyRows, throws std::bad_alloc as it does for a bitmap.
    bool Open(const std::uint8_t *data, std::size_t size, const picture::PngInfo &info);

    // Top-down 32-bit BGRA rows [first, first + count) into `out`, `stride` bytes apart.
    bool CopyRows(std::int32_t first, std::int32_t count, std::uint8_t *out,
                  std::size_t stride) const;

private:
    struct Objects;
    std::unique_ptr<Objects> objects_;
    picture::PngInfo info_;
};

// The decoder's rows for the resampler, a strip of a few megabytes at a time, allocated through
// bigalloc.
class PngRows final : public picture::RowSource {
public:
    explicit PngRows(const PngDecoder &decoder, std::int32_t width, std::int32_t height);
    const std::uint8_t *Row(std::int32_t y) override;

private:
    const PngDecoder &decoder_;
    std::int32_t width_, height_, stripRows_;
    std::int32_t first_ = -1, count_ = 0;
    std::vector<std::uint8_t> strip_;
};

// Rows per strip for a picture `width` pixels wide: about 8 MiB, at least one row.
std::int32_t StripRows(std::int32_t width);

} // namespace clip
