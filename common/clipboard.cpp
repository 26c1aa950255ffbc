#include "common/clipboard.h"

namespace clip {

UINT RichTextFormat() {
    static const UINT format = RegisterClipboardFormatW(L"Rich Text Format");
    return format;
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
