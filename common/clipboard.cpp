#include "common/clipboard.h"

namespace clip {

UINT RichTextFormat() {
    static const UINT format = RegisterClipboardFormatW(L"Rich Text Format");
    return format;
}

UINT PngFormat() {
    static const UINT format = RegisterClipboardFormatW(L"PNG");
    return format;
}

bool IsPicture(int mask) {
    if (mask == kBitmap || mask == kDib || mask == kBitmap + kDib) return true;
    return mask == 0 && IsClipboardFormatAvailable(PngFormat());
}

int ContentMask() {
    int mask = 0;
    if (IsClipboardFormatAvailable(CF_TEXT)) mask = kText;
    if (IsClipboardFormatAvailable(CF_BITMAP)) mask += kBitmap;
    if (IsClipboardFormatAvailable(CF_DIB)) mask += kDib;
    if (IsClipboardFormatAvailable(RichTextFormat())) mask += kRichText;
    return mask;
}

} // namespace clip
