// The program's own pictures (the remote control, the displays, the settings dialog), made for the
// box they are set into. Each is stored twice as PNG: as shown at 100 % and as a master drawn at
// twice the window's box. A box of exactly the 100 % size gets the picture it has always had, bit
// for bit; a box up to the master's size gets the master box-filtered down; a larger one gets the
// master stretched.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace win {

class MemoryImage;

// A master decoded, shared by the elements made from it and gone with the last of them, so that
// a window made again for a new scale does not decode it again.
struct ArtworkMaster {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> bgra; // top-down, 4 bytes a pixel
};

// The 100 % picture's own size in pixels; {0, 0} when the program carries no such picture.
SIZE ArtworkSize(UINT id);

// Makes picture `id` at width x height pixels in `out`; `master` holds the decoded master where
// it was used, and nothing at 100 %. False, with `out` empty, when the picture is missing or
// cannot be decoded.
bool MakeArtwork(UINT id, int width, int height, MemoryImage &out,
                 std::shared_ptr<const ArtworkMaster> &master);

} // namespace win
