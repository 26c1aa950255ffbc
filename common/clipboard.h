// What the clipboard offers, as the content mask every window builds the same way:
// 1 text, 2 bitmap, 4 device-independent bitmap, 8 rich text.
#pragma once

#include <windows.h>

namespace clip {

enum : int { kText = 1, kBitmap = 2, kDib = 4, kRichText = 8 };

UINT RichTextFormat();
// Asks only whether each format is offered; reads no data.
int ContentMask();
// 2, 4 and 6: a picture with neither text nor rich text beside it.
inline bool IsPicture(int mask) { return mask == 2 || mask == 4 || mask == 6; }

} // namespace clip
