// Pixels of untrusted pictures: the pixel formats of validated bitmaps (with the alpha rule), their
// rows, and one row as the print file holds it. Pure byte work: no Windows headers, so it also
// builds natively for fuzzing.
//
// Alpha: a bitmap is transparent when it says so, with a V4 or V5 header whose alpha mask is
// non-zero and usable (contiguous, inside the pixel, apart from the colour masks). A 32-bit BI_RGB
// bitmap without one is read as readers of such clipboards commonly read it: opaque when every
// fourth byte is 0 (most programs leave them so), else the fourth byte is its alpha,
// premultiplied when no colour byte of any pixel exceeds its alpha, straight otherwise.
#pragma once

#include "common/picture/dib.h"

#include <cstddef>
#include <cstdint>

namespace picture {

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

// One row as 24-bit BGR, composited over white: what a print file holds of a transparent picture.
void RowToBgr24(const Format &format, const std::uint8_t *row, std::int32_t width,
                std::uint8_t *out);

} // namespace picture
