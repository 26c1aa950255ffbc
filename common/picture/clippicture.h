// The clipboard's picture as a device-independent bitmap that has been checked before anyone reads
// it: a malformed block from another program is refused, never read past its end.
#pragma once

#include "common/picture/dib.h"
#include "common/handles.h"
#include "common/picture/picture.h"
#include "common/picture/pngcheck.h"
#include "common/picture/pngdecoder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace clip {

// Opens the clipboard and reads its picture: CF_DIB when offered (the platform derives it from a
// bitmap or a V5 DIB too), a CF_DIBV5 instead when it declares an alpha channel that CF_DIB lost,
// else a CF_BITMAP converted to a 32-bit DIB, else a "PNG" stream. The pointers stay valid
// for the object's lifetime, which also keeps the clipboard open until CopyAndClose: keep it
// short, and show no window or message box while holding it.
class ClipboardPicture {
public:
    explicit ClipboardPicture(HWND owner = nullptr);
    ClipboardPicture(const ClipboardPicture &) = delete;
    ClipboardPicture &operator=(const ClipboardPicture &) = delete;

    // True when a picture was read and validated; the accessors below are meaningful only then.
    explicit operator bool() const { return ok_; }
    // Why there is no picture; Invalid comes with the validation error, or with the PNG check's
    // for a PNG.
    enum class Status { Ok, NotOpened, NotOffered, Unreadable, Invalid };
    Status status() const { return status_; }
    dib::Error error() const { return error_; }
    picture::PngError pngError() const { return pngError_; }

    // Every picture: its size, its pixel format, and its rows top first (for a PNG, decoded at
    // the first call; null when decoding fails). Memory running out throws std::bad_alloc, for a
    // PNG also from the rows' Row().
    bool isPng() const { return png_ != nullptr; }
    std::int32_t width() const { return isPng() ? pngInfo_.width : info_.width; }
    std::int32_t height() const { return isPng() ? pngInfo_.height : info_.height; }
    const picture::Format &format() const { return format_; }
    bool transparent() const { return format_.alpha; }
    picture::RowSource *Rows();
    // Copies the picture's one block out of the clipboard and closes it, so that other programs
    // need not wait while it is decoded and resampled. Before Rows().
    void CopyAndClose();

    // A DIB only:

    const dib::Info &info() const { return info_; }
    // A copy of the header, masks and colour table with the fields the platform might trust set
    // from the validated layout (image size, colour count; no colour profile reference).
    const BITMAPINFO *bitmapInfo() const {
        return reinterpret_cast<const BITMAPINFO *>(header_.data());
    }
    const void *bits() const { return packed_ ? packed_ + info_.pixelOffset : nullptr; }
    // The packed DIB as validated (header, masks, colour table, pixels): info().pixelOffset +
    // info().pixelBytes bytes. dib::MakeBmpFile takes it as it is.
    const std::uint8_t *packed() const { return packed_; }

private:
    bool Accept(const std::uint8_t *data, std::size_t size);
    bool ReadBitmap(HBITMAP bitmap);
    bool ReadPng();
    void PreferAlphaDib();

    win::clipboard_scope scope_;
    win::global_lock lock_;
    std::optional<win::global_lock> otherLock_; // a CF_DIBV5 or "PNG" block
    const std::uint8_t *png_ = nullptr;
    std::size_t pngSize_ = 0;
    picture::PngInfo pngInfo_;
    picture::PngError pngError_ = picture::PngError::None;
    PngDecoder decoder_;
    std::unique_ptr<picture::RowSource> rows_;
    picture::Format format_;
    std::vector<std::uint8_t> converted_; // the packed DIB made from a CF_BITMAP
    std::vector<std::uint8_t> copied_;    // the block copied out by CopyAndClose
    std::vector<std::uint8_t> header_;    // heap storage: aligned enough for BITMAPINFO
    const std::uint8_t *packed_ = nullptr;
    dib::Info info_;
    dib::Error error_ = dib::Error::None;
    Status status_ = Status::NotOpened;
    bool ok_ = false;
};

} // namespace clip
