#include "common/picture/clippicture.h"

#include "common/picture/bigalloc.h"
#include "common/clipboard.h"

#include <cstring>

namespace clip {

namespace {

HGLOBAL OfferedDib(const win::clipboard_scope &scope) {
    if (!scope || !IsClipboardFormatAvailable(CF_DIB)) return nullptr;
    return GetClipboardData(CF_DIB);
}

} // namespace

ClipboardPicture::ClipboardPicture(HWND owner) : scope_(owner), lock_(OfferedDib(scope_)) {
    if (!scope_) return;
    if (lock_) {
        if (Accept(lock_.data(), lock_.size())) PreferAlphaDib();
        return;
    }
    if (IsClipboardFormatAvailable(CF_DIB)) {
        status_ = Status::Unreadable;
        return;
    }
    if (!IsClipboardFormatAvailable(CF_BITMAP)) {
        if (!ReadPng() && status_ == Status::NotOpened) status_ = Status::NotOffered;
        return;
    }
    if (!ReadBitmap(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP))) &&
        status_ != Status::Invalid)
        status_ = Status::Unreadable;
}

bool ClipboardPicture::Accept(const std::uint8_t *data, std::size_t size) {
    const dib::Result r = dib::Validate(data, size);
    if (!r) {
        status_ = Status::Invalid;
        error_ = r.error;
        return false;
    }
    info_ = r.info;
    packed_ = data;
    format_ = picture::DibFormat(data, info_);
    header_.assign(data, data + info_.pixelOffset);

    // The platform gets the layout that was checked, not the producer's word for it.
    dib::FixUpHeader(header_.data(), info_);
    status_ = Status::Ok;
    ok_ = true;
    return true;
}

// CF_DIB as the platform derives it from a CF_DIBV5 keeps the masks but not the alpha mask. Only a
// 32-bit CF_DIB with bit fields in a short header can have lost one (a BI_RGB one keeps its alpha
// in its fourth bytes), so only then is the V5 block fetched, which may cost the platform a
// conversion; a V5 that it derived from CF_DIB in turn declares no alpha.
void ClipboardPicture::PreferAlphaDib() {
    if (format_.alpha || info_.bitCount != 32 || info_.compression != dib::kBiBitfields ||
        info_.headerSize >= sizeof(BITMAPV4HEADER) || !IsClipboardFormatAvailable(CF_DIBV5))
        return;
    auto &v5 = otherLock_.emplace(GetClipboardData(CF_DIBV5));
    if (!v5) return;
    const dib::Result r = dib::Validate(v5.data(), v5.size());
    if (!r || !picture::DibFormat(v5.data(), r.info).alpha) return;
    Accept(v5.data(), v5.size());
}

bool ClipboardPicture::ReadPng() {
    if (!IsClipboardFormatAvailable(PngFormat())) return false;
    auto &block = otherLock_.emplace(GetClipboardData(PngFormat()));
    if (!block) {
        status_ = Status::Unreadable;
        return false;
    }
    const picture::PngResult r = picture::CheckPng(block.data(), block.size());
    if (!r) {
        status_ = Status::Invalid;
        pngError_ = r.error;
        return false;
    }
    png_ = block.data();
    pngSize_ = block.size();
    pngInfo_ = r.info;
    format_ = picture::Bgra32(r.info.alpha);
    status_ = Status::Ok;
    ok_ = true;
    return true;
}

void ClipboardPicture::CopyAndClose() {
    if (ok_ && !rows_) {
        if (isPng()) {
            bigalloc::Check(pngSize_);
            copied_.assign(png_, png_ + pngSize_);
            png_ = copied_.data();
        } else if (packed_ != converted_.data()) {
            const std::size_t size = info_.pixelOffset + info_.pixelBytes;
            bigalloc::Check(size);
            copied_.assign(packed_, packed_ + size);
            if (format_.palette) format_.palette = copied_.data() + (format_.palette - packed_);
            packed_ = copied_.data();
        }
    }
    otherLock_.reset();
    lock_.Release();
    scope_.Close();
}

picture::RowSource *ClipboardPicture::Rows() {
    if (!ok_) return nullptr;
    if (rows_) return rows_.get();
    if (isPng()) {
        if (!decoder_.Open(png_, pngSize_, pngInfo_)) return nullptr;
        rows_ = std::make_unique<PngRows>(decoder_, pngInfo_.width, pngInfo_.height);
    } else {
        rows_ = std::make_unique<picture::DibRows>(packed_, info_);
    }
    return rows_.get();
}

bool ClipboardPicture::ReadBitmap(HBITMAP bitmap) {
    BITMAP bm{};
    if (!bitmap || GetObjectW(bitmap, sizeof(bm), &bm) != sizeof(bm)) return false;
    if (bm.bmWidth <= 0 || bm.bmHeight <= 0) return false;
    const std::uint64_t pixels = static_cast<std::uint64_t>(bm.bmWidth) * bm.bmHeight;
    if (pixels > dib::kMaxPixels) {
        status_ = Status::Invalid;
        error_ = dib::Error::TooLarge;
        return false;
    }
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof(bih);
    bih.biWidth = bm.bmWidth;
    bih.biHeight = -bm.bmHeight;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    bih.biCompression = BI_RGB;
    bigalloc::Check(sizeof(bih) + static_cast<std::size_t>(pixels) * 4);
    converted_.assign(sizeof(bih) + static_cast<std::size_t>(pixels) * 4, 0);
    std::memcpy(converted_.data(), &bih, sizeof(bih));
    win::unique_window_dc screen(nullptr);
    const int rows = GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight),
                               converted_.data() + sizeof(bih),
                               reinterpret_cast<BITMAPINFO *>(converted_.data()), DIB_RGB_COLORS);
    if (rows != bm.bmHeight) {
        converted_.clear();
        return false;
    }
    return Accept(converted_.data(), converted_.size());
}

} // namespace clip
