#include "common/artwork.h"

#include "common/form.h"
#include "common/picture/pngcheck.h"
#include "common/picture/pngdecoder.h"
#include "common/picture/resample.h"
#include "common/skin.h"

#include <cstddef>
#include <cstdint>

namespace win {

namespace {

// Resource types: the picture as shown at 100 %, and its master for larger scales.
constexpr wchar_t kType100[] = L"PNG";
constexpr wchar_t kTypeMaster[] = L"PNG200";

struct Png {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
    picture::PngInfo info;
    explicit operator bool() const { return data != nullptr; }
};

// A stored PNG, checked. The resource stays mapped for the run: nothing is copied.
Png FindPng(UINT id, const wchar_t *type) {
    const HMODULE module = AppInstance();
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = res ? LoadResource(module, res) : nullptr;
    const void *data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    const std::size_t size = SizeofResource(module, res);
    const picture::PngResult r = picture::CheckPng(bytes, size);
    if (!r) return {};
    return {bytes, size, r.info};
}

// Decoded whole into a memory image, as a source for StretchBlt.
bool Decode(const Png &png, MemoryImage &into) {
    clip::PngDecoder decoder;
    if (!decoder.Open(png.data, png.size, png.info) ||
        !into.Create(png.info.width, png.info.height))
        return false;
    GdiFlush();
    return decoder.CopyRows(0, png.info.height, into.bits(),
                            static_cast<std::size_t>(png.info.width) * 4);
}

// Halftone stretch, as the pictures were always fitted to their boxes.
bool Stretch(const MemoryImage &src, int width, int height, MemoryImage &out) {
    if (!out.Create(width, height)) return false;
    SetStretchBltMode(out.dc(), HALFTONE);
    SetBrushOrgEx(out.dc(), 0, 0, nullptr);
    return StretchBlt(out.dc(), 0, 0, width, height, src.dc(), 0, 0, src.width(), src.height(),
                      SRCCOPY) != FALSE;
}

bool StretchPng(const Png &png, int width, int height, MemoryImage &out) {
    MemoryImage decoded;
    return Decode(png, decoded) && Stretch(decoded, width, height, out);
}

// The master box-filtered down to the box, straight from the decoder's rows: the whole master is
// never held, and equal sizes give the master itself.
bool ReducePng(const Png &png, int width, int height, MemoryImage &out) {
    clip::PngDecoder decoder;
    if (!decoder.Open(png.data, png.size, png.info) || !out.Create(width, height)) return false;
    GdiFlush();
    clip::PngRows rows(decoder, png.info.width, png.info.height);
    return picture::Resample(picture::Bgra32(png.info.alpha), png.info.width, png.info.height, rows,
                             out.bits(), static_cast<std::size_t>(width) * 4, width, height);
}

} // namespace

SIZE ArtworkSize(UINT id) {
    const Png png = FindPng(id, kType100);
    return png ? SIZE{png.info.width, png.info.height} : SIZE{0, 0};
}

bool MakeArtwork(UINT id, int width, int height, MemoryImage &out) {
    const Png master = FindPng(id, kTypeMaster);
    // The master is drawn at twice the 100 % box: half its size is the box at 100 %.
    const bool at100 = width * 2 == master.info.width && height * 2 == master.info.height;
    if (master && !at100) {
        const bool ok = width <= master.info.width && height <= master.info.height
                            ? ReducePng(master, width, height, out)
                            : StretchPng(master, width, height, out);
        if (ok) return true;
    }
    // At 100 %, and the fallback for a master that fails: the 100 % picture fitted to the box.
    const Png base = FindPng(id, kType100);
    if (base && StretchPng(base, width, height, out)) return true;
    out.Reset();
    return false;
}

} // namespace win
