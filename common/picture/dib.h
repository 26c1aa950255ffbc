// Validation of device-independent bitmaps from untrusted sources (the clipboard, BMP files), and
// BMP file writing. Pure byte parsing: no Windows headers, so it also builds natively for fuzzing.
//
// What is accepted, and why the rest is refused:
// - Header sizes 40, 52, 56, 108 and 124 (info, V2, V3, V4, V5). The 12-byte core header is
//   refused: nothing puts it on the clipboard any more and its 3-byte palette needs a code path
//   of its own.
// - One plane; 1, 4 and 8 bits per pixel with a palette (uncompressed); 16 and 32 uncompressed or
//   with bit fields; 24 uncompressed. Run-length, JPEG and PNG data are refused: the platform
//   decodes those streams without bounds we could check.
// - Bit-field masks must each be non-empty, contiguous, within the pixel's bits and disjoint
//   (reported as BadCompression), which is what the platform requires of them.
// - Width above 0; height non-zero, negative meaning top-down.
// - At most 2^28 pixels and 1 GiB of pixel data (TooLarge). That bounds any 32-bit working copy a
//   caller makes to 1 GiB and keeps width * 4 inside an int.
// - Palette: a colour count of 0 means 2^bits for 8 bits or fewer; a larger count than 2^bits is
//   refused rather than clamped, since the platform and we could then disagree on where the
//   colour table ends. Above 8 bits a non-zero count is an optional table of that many entries,
//   at most 256. A table that runs past the block is BadPalette.
// - The stored image size is not trusted: the pixel bytes are computed from the dimensions.
// - A V5 colour profile (embedded or linked) must lie inside the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dib {

enum class Error {
    None,
    TooSmall,       // the block does not hold the whole header
    BadHeaderSize,  // unsupported header size
    BadDimensions,  // width <= 0, height 0 or INT32_MIN
    BadPlanes,      // planes != 1
    BadBitCount,    // not 1, 4, 8, 16, 24 or 32
    BadCompression, // compression not supported for this bit count, or unusable bit-field masks
    BadPalette,     // colour count too large, or the colour table runs past the block
    Truncated,      // masks, pixels or colour profile run past the block
    TooLarge,       // more pixels or pixel bytes than we handle
    BadFileHeader,  // BMP file: no 'BM', or the pixel offset points inside the headers or past
                    // the end of the file
};

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{1} << 30;

struct Info {
    std::int32_t width = 0, height = 0; // both > 0; height made positive
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0; // kBiRgb or kBiBitfields
    std::uint32_t headerSize = 0;
    std::uint32_t maskBytes = 0;      // 12 for bit fields after a 40-byte header, else 0
    std::uint32_t paletteEntries = 0; // 4-byte entries following the header and masks
    std::size_t pixelOffset = 0;      // header + masks + palette: where packed pixels start
    std::size_t stride = 0;           // bytes per row, padded to 4
    std::size_t pixelBytes = 0;       // stride * height
};

struct Result {
    Error error = Error::None;
    Info info;
    explicit operator bool() const { return error == Error::None; }
};

// A packed DIB (what CF_DIB holds): header, masks, colour table, then the pixels. Only the first
// info.pixelOffset + info.pixelBytes bytes are part of the picture; the block may be longer.
Result Validate(const std::uint8_t *data, std::size_t size);

// Whether a bit-field mask is usable for pixels of `bitCount` bits: non-empty, one run of set
// bits, inside the pixel's bits.
bool MaskUsable(std::uint32_t mask, std::uint16_t bitCount);

enum class FixUp {
    File,     // what a BMP file copy corrects; the producer's colour count stays as it was
    Platform, // also the colour count and biClrImportant, for the platform's drawing calls
};

// Sets the fields of a header copy (the info.pixelOffset bytes that Validate accepted with `info`)
// that a reader might trust from the checked layout rather than the producer's word: the height
// and image size from `info` (an Info of a band's height and bytes describes that band), and a
// V5 colour profile reference replaced by sRGB, since the profile never travels with the copy.
// Platform also sets the colour count to info.paletteEntries and biClrImportant to 0.
void FixUpHeader(std::uint8_t *header, const Info &info, FixUp what = FixUp::Platform);

// A BMP file of a DIB that Validate accepted with `info`: the 14-byte file header followed by the
// header, masks, colour table and pixels that Validate counted, pixels right after the table.
// In the copy the image size field is set to info.pixelBytes and a V5 colour profile reference is
// replaced by sRGB (the profile is not copied). Returns an empty vector for a null `dib`.
std::vector<std::uint8_t> MakeBmpFile(const std::uint8_t *dib, const Info &info);

// The same file without its pixels: the file header and the corrected header, masks and colour
// table (14 + info.pixelOffset bytes). The file is this followed by the info.pixelBytes bytes at
// dib + info.pixelOffset, which a caller can write from where they lie instead of copying them.
std::vector<std::uint8_t> MakeBmpHead(const std::uint8_t *dib, const Info &info);

// The head of a BMP file of a 24-bit top-down picture, file header and 40-byte header: a picture
// made anew (composited over white) is written as this followed by its rows, each padded to 4.
// Empty for sizes that Validate would refuse.
std::vector<std::uint8_t> MakeBgr24Head(std::int32_t width, std::int32_t height);

struct FileResult {
    Error error = Error::None;
    Info info;                 // info.pixelOffset is the header block's size (header, masks, table)
    std::size_t dibOffset = 0; // where the header starts in the file (14)
    std::size_t bitsOffset = 0; // where the pixels start in the file: the file's own pixel offset,
                                // which may leave a gap after the colour table
    explicit operator bool() const { return error == Error::None; }
};

// A BMP file. On success the header block is data[dibOffset, dibOffset + info.pixelOffset) and the
// pixels are data[bitsOffset, bitsOffset + info.pixelBytes); hand them to the platform separately.
// The header block starts at an offset of 14, so it is only 2-byte aligned in the file's buffer.
// The file size field is not trusted (writers often leave it 0).
FileResult ValidateBmpFile(const std::uint8_t *data, std::size_t size);
// The same check from the first `size` bytes of a file of `fileSize` bytes (at least the headers
// and colour table; kMaxFileHead always suffices), for a caller that reads the pixels in parts.
FileResult ValidateBmpFileHead(const std::uint8_t *data, std::size_t size, std::uint64_t fileSize);
// File header, V5 header, masks and a full colour table.
constexpr std::size_t kMaxFileHead = kFileHeaderSize + 124 + 12 + std::size_t{256} * 4;

} // namespace dib
