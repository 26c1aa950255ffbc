// Pixels of untrusted pictures: the check of a PNG stream before anything decodes it, the pixel
// formats of validated bitmaps (with the alpha rule), and the area-averaging resampler that
// composites transparent pictures over white. Pure byte work: no Windows headers, so it also
// builds natively for fuzzing.
//
// Alpha: a bitmap is transparent when it says so, with a V4 or V5 header whose alpha mask is
// non-zero and usable (contiguous, inside the pixel, apart from the colour masks). A 32-bit BI_RGB
// bitmap without one is read as readers of such clipboards commonly read it: opaque when every
// fourth byte is 0 (most programs leave them so), else the fourth byte is its alpha,
// premultiplied when no colour byte of any pixel exceeds its alpha, straight otherwise.
#pragma once

#include "common/dib.h"

#include <cstddef>
#include <cstdint>

namespace picture {

// --- PNG -------------------------------------------------------------------------------------

enum class PngError {
    None,
    NotPng,    // no PNG signature
    BadChunk,  // a chunk length or type that no PNG has, or IHDR not first
    BadCrc,    // a chunk whose checksum does not match
    BadHeader, // IHDR fields out of range
    Truncated, // the stream ends before IEND, or without image data
    TooLarge,  // more pixels than dib::kMaxPixels
};

struct PngInfo {
    std::int32_t width = 0, height = 0;
    bool alpha = false; // an alpha channel or a transparency chunk
};

struct PngResult {
    PngError error = PngError::None;
    PngInfo info;
    explicit operator bool() const { return error == PngError::None; }
};

// Walks every chunk up to IEND, checking lengths and checksums, and reads the header. A stream
// this accepts is whole and of a size we handle; only its compressed data is left unchecked.
PngResult CheckPng(const std::uint8_t *data, std::size_t size);

std::uint32_t Crc32(const std::uint8_t *data, std::size_t size, std::uint32_t crc = 0);

// --- pixel formats ---------------------------------------------------------------------------

enum class Layout : std::uint8_t {
    Indexed, // 1, 4 or 8 bits through the colour table
    Bgr24,
    Bgrx32, // 32 bits, fourth byte ignored
    Bgra32, // 32 bits, straight alpha in the fourth byte
    Masks,  // 16 or 32 bits through bit-field masks, alpha mask optional
};

struct Format {
    Layout layout = Layout::Bgr24;
    std::uint16_t bitCount = 24;
    const std::uint8_t *palette = nullptr; // 4-byte BGRX entries
    std::uint32_t paletteEntries = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha (0: opaque)
    bool alpha = false;
    bool premultiplied = false; // Bgra32 only: colours already multiplied by their alpha
};

// The format of a packed DIB that dib::Validate accepted with `info`. A 32-bit BI_RGB one is read
// through once for its fourth bytes.
Format DibFormat(const std::uint8_t *dib, const dib::Info &info);
// Top-down 32-bit BGRA rows, as the PNG decoder delivers them.
Format Bgra32(bool alpha);

// Rows of a picture, top row first. Asked for in non-decreasing order, each as often as needed.
class RowSource {
public:
    virtual ~RowSource() = default;
    // Null when the row cannot be had; the resampler then gives up.
    virtual const std::uint8_t *Row(std::int32_t y) = 0;
};

// The rows of a packed DIB in memory.
class DibRows final : public RowSource {
public:
    DibRows(const std::uint8_t *dib, const dib::Info &info) : dib_(dib), info_(info) {}
    const std::uint8_t *Row(std::int32_t y) override;

private:
    const std::uint8_t *dib_;
    dib::Info info_;
};

// Resamples a width x height picture onto dstWidth x dstHeight 32-bit top-down BGRX pixels (fourth
// byte 0), each destination pixel the exact area-weighted average of the source pixels it covers,
// transparent pictures composited over white first. Reads every source row once. False for
// sizes out of range or a missing row.
bool Resample(const Format &format, std::int32_t width, std::int32_t height, RowSource &rows,
              std::uint8_t *dst, std::size_t dstStride, std::int32_t dstWidth,
              std::int32_t dstHeight);

// One row as 24-bit BGR, composited over white: what a print file holds of a transparent picture.
void RowToBgr24(const Format &format, const std::uint8_t *row, std::int32_t width,
                std::uint8_t *out);

} // namespace picture
