#include "common/artwork.h"

#include "common/form.h"
#include "common/picture/pngcheck.h"
#include "common/picture/pngdecoder.h"
#include "common/picture/resample.h"
#include "common/skin.h"

#include <cstddef>
#include <map>
#include <new>

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

// Halftone stretch, as the pictures were always fitted to their boxes.
void PrepareStretch(MemoryImage &out) {
    SetStretchBltMode(out.dc(), HALFTONE);
    SetBrushOrgEx(out.dc(), 0, 0, nullptr);
}

// The 100 % picture decoded into a memory image and stretched from there, exactly as the bitmaps
// it replaces were.
bool StretchPng(const Png &png, int width, int height, MemoryImage &out) {
    clip::PngDecoder decoder;
    MemoryImage decoded;
    if (!decoder.Open(png.data, png.size, png.info) ||
        !decoded.Create(png.info.width, png.info.height) || !out.Create(width, height))
        return false;
    GdiFlush();
    if (!decoder.CopyRows(0, png.info.height, decoded.bits(),
                          static_cast<std::size_t>(png.info.width) * 4))
        return false;
    PrepareStretch(out);
    return StretchBlt(out.dc(), 0, 0, width, height, decoded.dc(), 0, 0, png.info.width,
                      png.info.height, SRCCOPY) != FALSE;
}

std::shared_ptr<const ArtworkMaster> Decode(const Png &png) {
    auto m = std::make_shared<ArtworkMaster>();
    m->width = png.info.width;
    m->height = png.info.height;
    m->bgra.resize(std::size_t{4} * static_cast<std::uint32_t>(m->width) *
                   static_cast<std::uint32_t>(m->height));
    clip::PngDecoder decoder;
    if (!decoder.Open(png.data, png.size, png.info) ||
        !decoder.CopyRows(0, m->height, m->bgra.data(), std::size_t{4} * m->width))
        return nullptr;
    return m;
}

// The master of `id`, decoded once while any element holds it.
std::shared_ptr<const ArtworkMaster> Master(UINT id) {
    static std::map<UINT, std::weak_ptr<const ArtworkMaster>> held;
    std::weak_ptr<const ArtworkMaster> &slot = held[id];
    if (auto m = slot.lock()) return m;
    const Png png = FindPng(id, kTypeMaster);
    if (!png) return nullptr;
    try {
        auto m = Decode(png);
        slot = m;
        return m;
    } catch (const std::bad_alloc &) {
        return nullptr; // the 100 % picture serves instead
    }
}

class MasterRows final : public picture::RowSource {
public:
    explicit MasterRows(const ArtworkMaster &m) : m_(m) {}
    const std::uint8_t *Row(std::int32_t y) override {
        return &m_.bgra[std::size_t{4} * static_cast<std::uint32_t>(m_.width) *
                        static_cast<std::uint32_t>(y)];
    }

private:
    const ArtworkMaster &m_;
};

// Down to the box with the area-averaging filter (equal sizes give the master itself); up,
// stretched.
bool FromMaster(const ArtworkMaster &m, int width, int height, MemoryImage &out) {
    if (!out.Create(width, height)) return false;
    GdiFlush();
    if (width <= m.width && height <= m.height) {
        MasterRows rows(m);
        return picture::Resample(picture::Bgra32(false), m.width, m.height, rows, out.bits(),
                                 static_cast<std::size_t>(width) * 4, width, height);
    }
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = m.width;
    bi.bmiHeader.biHeight = -m.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    PrepareStretch(out);
    return StretchDIBits(out.dc(), 0, 0, width, height, 0, 0, m.width, m.height, m.bgra.data(), &bi,
                         DIB_RGB_COLORS, SRCCOPY) != 0;
}

} // namespace

SIZE ArtworkSize(UINT id) {
    const Png png = FindPng(id, kType100);
    return png ? SIZE{png.info.width, png.info.height} : SIZE{0, 0};
}

bool MakeArtwork(UINT id, int width, int height, MemoryImage &out,
                 std::shared_ptr<const ArtworkMaster> &master) {
    // The master is drawn at twice the 100 % box: half its size is the box at 100 %.
    const Png stored = FindPng(id, kTypeMaster);
    const bool at100 = width * 2 == stored.info.width && height * 2 == stored.info.height;
    master = stored && !at100 ? Master(id) : nullptr;
    if (master && FromMaster(*master, width, height, out)) return true;
    master = nullptr;
    // At 100 %, and where the master fails: the 100 % picture fitted to the box.
    const Png base = FindPng(id, kType100);
    if (base && StretchPng(base, width, height, out)) return true;
    out.Reset();
    return false;
}

} // namespace win
