// The program's own pictures (the remote control, the displays, the settings dialog), made for the
// box they are set into. Each is stored twice as PNG: as shown at 100 % and as a master drawn at
// twice the window's box. A box of exactly the 100 % size gets the picture it has always had, bit
// for bit; a box up to the master's size gets the master box-filtered down; a larger one gets the
// master stretched.
#pragma once

#include <windows.h>

namespace win {

class MemoryImage;

// The 100 % picture's own size in pixels; {0, 0} when the program carries no such picture.
SIZE ArtworkSize(UINT id);

// Makes picture `id` at width x height pixels in `out`. False, with `out` empty, when the picture
// is missing or cannot be decoded.
bool MakeArtwork(UINT id, int width, int height, MemoryImage &out);

} // namespace win
