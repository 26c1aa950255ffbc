// The check of a PNG stream before anything decodes it: every chunk whole and with its checksum,
// a header of a size we handle. Pure byte work: no Windows headers, so it also builds natively for
// fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace picture {

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

} // namespace picture
