// What the clipboard offers, as the content mask every window builds the same way:
// 1 text, 2 bitmap, 4 device-independent bitmap, 8 rich text.
#pragma once

#include <windows.h>

namespace clip {

enum : int { kText = 1, kBitmap = 2, kDib = 4, kRichText = 8 };

UINT RichTextFormat();
// The registered format "PNG", in which many programs offer a copied picture alone.
UINT PngFormat();
// Asks only whether each format is offered; reads no data.
int ContentMask();
// 2, 4 and 6: a picture with neither text nor rich text beside it. A mask of 0 is a picture too
// when the clipboard offers a PNG (a format test again: nothing is read).
bool IsPicture(int mask);

} // namespace clip
