#include "print/page.h"

#include "common/picture/bigalloc.h"
#include "common/handles.h"
#include "print/printer.h"

#include <algorithm>

namespace print {

namespace {

const wchar_t kDocName[] = L"Tessary";

// StartDoc / EndDoc: a document that is not ended is aborted, so no half job stays in the
// spooler.
class doc_scope {
public:
    doc_scope(HDC dc, const DOCINFOW &info) : dc_(dc), started_(StartDocW(dc, &info) > 0) {}
    doc_scope(const doc_scope &) = delete;
    doc_scope &operator=(const doc_scope &) = delete;
    ~doc_scope() {
        if (started_ && !ended_) AbortDoc(dc_);
    }
    explicit operator bool() const { return started_; }
    bool End() {
        ended_ = EndDoc(dc_) > 0;
        return ended_;
    }

private:
    HDC dc_;
    bool started_;
    bool ended_ = false;
};

} // namespace

bool LoadedPicture::Load(HANDLE file) {
    file_ = file;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size) || size.QuadPart <= 0) return false;
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    std::vector<std::uint8_t> head(
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes, dib::kMaxFileHead)));
    if (!ReadAt(0, head.data(), head.size())) return false;
    const dib::FileResult r = dib::ValidateBmpFileHead(head.data(), head.size(), bytes);
    if (!r) return false;
    info_ = r.info;
    bitsOffset_ = r.bitsOffset;
    header_.assign(head.begin() + static_cast<std::ptrdiff_t>(r.dibOffset),
                   head.begin() + static_cast<std::ptrdiff_t>(r.dibOffset + info_.pixelOffset));
    // The platform gets the layout that was checked, not the file's word for it.
    dib::FixUpHeader(header_.data(), info_);
    return true;
}

bool LoadedPicture::Draw(HDC dc, int width, int height) {
    constexpr std::size_t kBandBytes = std::size_t{16} << 20;
    const std::int64_t rows = info_.height;
    const auto band = static_cast<std::int64_t>(
        std::max<std::size_t>(1, kBandBytes / std::max<std::size_t>(1, info_.stride)));
    const std::size_t bandBytes = static_cast<std::size_t>(std::min(band, rows)) * info_.stride;
    bigalloc::Check(bandBytes);
    std::vector<std::uint8_t> bits(bandBytes);
    std::vector<std::uint8_t> header = header_;
    dib::Info bandInfo = info_;
    for (std::int64_t top = 0; top < rows; top += band) {
        const std::int64_t count = std::min(band, rows - top);
        // Bottom-up files store the picture's last rows first.
        const std::int64_t stored = info_.topDown ? top : rows - top - count;
        const std::size_t bytes = static_cast<std::size_t>(count) * info_.stride;
        if (!ReadAt(bitsOffset_ + static_cast<std::uint64_t>(stored) * info_.stride, bits.data(),
                    bytes))
            return false;
        bandInfo.height = static_cast<std::int32_t>(count);
        bandInfo.pixelBytes = bytes;
        dib::FixUpHeader(header.data(), bandInfo);
        const int y0 = static_cast<int>(top * height / rows);
        const int y1 = static_cast<int>((top + count) * height / rows);
        if (y1 == y0) continue; // a band thinner than a device row: its neighbours cover it
        const int lines = StretchDIBits(
            dc, 0, y0, width, y1 - y0, 0, 0, info_.width, static_cast<int>(count), bits.data(),
            reinterpret_cast<const BITMAPINFO *>(header.data()), DIB_RGB_COLORS, SRCCOPY);
        if (lines <= 0) return false; // 0 or GDI_ERROR
    }
    return true;
}

bool LoadedPicture::ReadAt(std::uint64_t offset, std::uint8_t *out, std::size_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    constexpr std::size_t kChunk = std::size_t{1} << 24;
    for (std::size_t done = 0; done < size;) {
        const DWORD part = static_cast<DWORD>(std::min(kChunk, size - done));
        DWORD got = 0;
        if (!ReadFile(file_, out + done, part, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

bool PrintPage(const PrinterSettings &settings, LoadedPicture &picture) {
    win::unique_memdc dc(
        CreateDCW(L"WINSPOOL", settings.printer().c_str(), nullptr, settings.devmode()));
    if (!dc) return false;
    const int width = GetDeviceCaps(dc.get(), HORZRES);
    const int height = GetDeviceCaps(dc.get(), VERTRES);
    if (width <= 0 || height <= 0) return false;
    DOCINFOW info{};
    info.cbSize = sizeof(info);
    info.lpszDocName = kDocName;
    doc_scope doc(dc.get(), info);
    if (!doc) return false;
    if (StartPage(dc.get()) <= 0) return false;
    SetStretchBltMode(dc.get(), HALFTONE);
    SetBrushOrgEx(dc.get(), 0, 0, nullptr);
    if (!picture.Draw(dc.get(), width, height)) return false;
    if (EndPage(dc.get()) <= 0) return false;
    return doc.End();
}

} // namespace print
