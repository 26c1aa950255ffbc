#include "print/PrintJob.h"

#include "common/bigalloc.h"
#include "common/clippicture.h"
#include "common/dib.h"
#include "common/handles.h"
#include "common/lazylib.h"
#include "common/picture.h"
#include "common/pngdecoder.h"
#include "print/copies.h"
#include "print/tempfiles.h"

#include <winspool.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <new>
#include <optional>
#include <vector>

namespace print {

namespace {

const wchar_t kDocName[] = L"Tessary";

// The spooler's functions, loaded at the first print. winspool.drv brings the platform's print
// system into the process (under Wine: libcups with its TLS, Kerberos and D-Bus libraries,
// several megabytes) that a resident program should not carry while it only waits.
struct Spooler {
    decltype(&::GetDefaultPrinterW) getDefaultPrinter = nullptr;
    decltype(&::OpenPrinterW) openPrinter = nullptr;
    decltype(&::ClosePrinter) closePrinter = nullptr;
    decltype(&::DocumentPropertiesW) documentProperties = nullptr;
    bool loaded() const {
        return getDefaultPrinter && openPrinter && closePrinter && documentProperties;
    }
};

template <class Fn> void Resolve(HMODULE module, const char *name, Fn &fn) {
    fn = win::LibraryFunction<Fn>(module, name);
}

const Spooler &GetSpooler() {
    static const Spooler spooler = [] {
        Spooler s;
        // Stays loaded for the rest of the run, as the printer driver does.
        const HMODULE module = LoadLibraryW(L"winspool.drv");
        if (!module) return s;
        Resolve(module, "GetDefaultPrinterW", s.getDefaultPrinter);
        Resolve(module, "OpenPrinterW", s.openPrinter);
        Resolve(module, "ClosePrinter", s.closePrinter);
        Resolve(module, "DocumentPropertiesW", s.documentProperties);
        return s;
    }();
    return spooler;
}

struct hprinter_traits {
    using pointer = HANDLE;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { GetSpooler().closePrinter(h); }
};
using unique_hprinter = win::unique_handle<hprinter_traits>;

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

std::wstring DefaultPrinterName() {
    const Spooler &spooler = GetSpooler();
    if (!spooler.loaded()) return {};
    DWORD size = 0;
    spooler.getDefaultPrinter(nullptr, &size);
    if (size == 0) return {};
    std::wstring name(size, L'\0');
    if (!spooler.getDefaultPrinter(name.data(), &size)) return {};
    name.resize(std::wcslen(name.c_str()));
    return name;
}

// The fields we change all lie before dmDefaultSource; a device mode must reach that far.
constexpr std::size_t kNeededDevmodeBytes = offsetof(DEVMODEW, dmDefaultSource);

// The default printer's device mode, with its driver-private part, kept for the whole run so that
// a paper size, copies or orientation once set stays in force. Read afresh only when there is
// none yet or the default printer is another one.
class PrinterSettings {
public:
    // Opens the default printer, reading its device mode when needed.
    PrintResult Open(unique_hprinter &handle) {
        const Spooler &spooler = GetSpooler();
        if (!spooler.loaded()) return PrintResult::NoPrinter;
        const std::wstring name = DefaultPrinterName();
        if (name.empty()) return PrintResult::NoPrinter;
        HANDLE h = nullptr;
        std::wstring openName = name;
        if (!spooler.openPrinter(openName.data(), &h, nullptr) || !h) return PrintResult::NoPrinter;
        handle.reset(h);
        if (!devmode_.empty() && name == printer_) return PrintResult::Printed;
        Forget();
        std::vector<BYTE> mode;
        if (!Query(h, name, nullptr, mode)) return PrintResult::PrintFailed;
        printer_ = name;
        devmode_.swap(mode);
        return PrintResult::Printed;
    }

    // Each change is merged by the driver at once, which may adjust it; the result is kept only
    // when the driver accepts it.
    bool SetPaperSize(HANDLE h, short code) {
        return Change(h, [code](DEVMODEW &dm) {
            dm.dmPaperSize = code;
            dm.dmFields |= DM_PAPERSIZE;
            // A form name or explicit dimensions would take precedence over the code.
            dm.dmFields &= ~static_cast<DWORD>(DM_FORMNAME | DM_PAPERLENGTH | DM_PAPERWIDTH);
        });
    }
    bool SetCopies(HANDLE h, short copies) {
        return Change(h, [copies](DEVMODEW &dm) {
            dm.dmCopies = copies;
            dm.dmFields |= DM_COPIES;
        });
    }
    bool SetOrientation(HANDLE h, short orientation) {
        return Change(h, [orientation](DEVMODEW &dm) {
            dm.dmOrientation = orientation;
            dm.dmFields |= DM_ORIENTATION;
        });
    }

    const DEVMODEW *devmode() const {
        return devmode_.empty() ? nullptr : reinterpret_cast<const DEVMODEW *>(devmode_.data());
    }
    const std::wstring &printer() const { return printer_; }

    void Forget() {
        printer_.clear();
        devmode_.clear();
    }

private:
    // DocumentProperties into a buffer of the size the driver asks for; with `in`, the driver
    // merges that device mode into its own.
    static bool Query(HANDLE h, const std::wstring &name, const DEVMODEW *in,
                      std::vector<BYTE> &out) {
        std::wstring device = name;
        const auto documentProperties = GetSpooler().documentProperties;
        const LONG need = documentProperties(nullptr, h, device.data(), nullptr, nullptr, 0);
        if (need <= 0) return false;
        out.assign(std::max<std::size_t>(static_cast<std::size_t>(need), sizeof(DEVMODEW)), 0);
        auto *dm = reinterpret_cast<DEVMODEW *>(out.data());
        const DWORD mode = in ? (DM_IN_BUFFER | DM_OUT_BUFFER) : DM_OUT_BUFFER;
        if (documentProperties(nullptr, h, device.data(), dm, const_cast<DEVMODEW *>(in), mode) !=
            IDOK) {
            return false;
        }
        return dm->dmSize >= kNeededDevmodeBytes &&
               std::size_t{dm->dmSize} + dm->dmDriverExtra <= out.size();
    }

    template <class Fn> bool Change(HANDLE h, Fn change) {
        if (devmode_.empty()) return false;
        std::vector<BYTE> in = devmode_;
        change(*reinterpret_cast<DEVMODEW *>(in.data()));
        std::vector<BYTE> out;
        if (!Query(h, printer_, reinterpret_cast<const DEVMODEW *>(in.data()), out)) return false;
        devmode_.swap(out);
        return true;
    }

    std::wstring printer_;
    std::vector<BYTE> devmode_;
};

PrinterSettings &Settings() {
    static PrinterSettings settings;
    return settings;
}

// This print's temporary file, open from its creation to the end of the read-back: another
// copy of the program printing from the same folder cannot delete it meanwhile, and finds its
// name taken. Removed when the print ends, if we created it.
class TempFile {
public:
    TempFile(std::wstring folder, const SYSTEMTIME &now, std::wstring *printFile)
        : folder_(std::move(folder)), now_(now), printFile_(printFile) {
        Name();
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    ~TempFile() { Remove(); }

    // A name held open by another copy: the next second's, for a few seconds. A same-name file
    // that nothing holds (left by an earlier run, or this copy's print a moment ago) is replaced.
    bool Create() {
        constexpr int kWaits = 3;
        for (int wait = 0;; ++wait) {
            if (TryCreate()) return true;
            if (GetLastError() != ERROR_SHARING_VIOLATION || wait == kWaits) return false;
            SYSTEMTIME clock{};
            GetLocalTime(&clock);
            Sleep(1000u - std::min<DWORD>(clock.wMilliseconds, 999));
            NextSecond();
        }
    }
    bool Append(const std::uint8_t *data, std::size_t size) {
        constexpr std::size_t kChunk = std::size_t{1} << 24;
        for (std::size_t done = 0; done < size;) {
            const DWORD part = static_cast<DWORD>(std::min(kChunk, size - done));
            DWORD written = 0;
            if (!WriteFile(file_.get(), data + done, part, &written, nullptr) || written != part)
                return false;
            done += part;
        }
        return true;
    }
    void Remove() {
        file_.reset();
        if (created_) DeleteFileW(path_.c_str());
        created_ = false;
    }

    // For reading back: the handle that wrote it.
    HANDLE handle() const { return file_.get(); }

private:
    // Without FILE_SHARE_DELETE, nobody else can delete or open it for writing while it is open.
    bool TryCreate() {
        for (int attempt = 0; attempt < 2; ++attempt) {
            file_.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_) {
                created_ = true;
                return true;
            }
            // A folder or a read-only file fails here with its own error, never as in use.
            if (GetLastError() != ERROR_FILE_EXISTS || !DeleteFileW(path_.c_str())) return false;
        }
        return false;
    }
    void NextSecond() {
        FILETIME t{};
        if (!SystemTimeToFileTime(&now_, &t)) return;
        ULARGE_INTEGER u{};
        u.LowPart = t.dwLowDateTime;
        u.HighPart = t.dwHighDateTime;
        u.QuadPart += 10000000; // 100-ns units
        t.dwLowDateTime = u.LowPart;
        t.dwHighDateTime = u.HighPart;
        FileTimeToSystemTime(&t, &now_);
        Name();
    }
    void Name() {
        const tempfiles::DateTime when{now_.wYear, now_.wMonth,  now_.wDay,
                                       now_.wHour, now_.wMinute, now_.wSecond};
        path_ = tempfiles::TempFilePath(folder_, when);
        if (printFile_) *printFile_ = path_;
    }

    std::wstring folder_;
    SYSTEMTIME now_;
    std::wstring *printFile_;
    std::wstring path_;
    win::unique_hfile file_;
    bool created_ = false;
};

// The picture read back from the temporary file and checked like any other untrusted bitmap. The
// pixels stay in the file and are drawn a band of rows at a time: a large picture is then never
// held a second time beside the clipboard's copy, nor handed whole to the printer driver, which
// makes copies of what it is given.
class LoadedPicture {
public:
    bool Load(HANDLE file) {
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

    // Stretches the picture over (0, 0, width, height): each band of rows onto its share of the
    // height, the shares meeting exactly.
    bool Draw(HDC dc, int width, int height) {
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
            if (!ReadAt(bitsOffset_ + static_cast<std::uint64_t>(stored) * info_.stride,
                        bits.data(), bytes))
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

private:
    bool ReadAt(std::uint64_t offset, std::uint8_t *out, std::size_t size) {
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

    HANDLE file_ = nullptr; // the temporary file's, which outlives this
    std::vector<std::uint8_t> header_;
    std::uint64_t bitsOffset_ = 0;
    dib::Info info_;
};

// A transparent picture or a PNG: 24-bit rows over white, made and written a strip at a time so
// that no second full-size copy of the picture exists.
PrintResult WriteComposited(clip::ClipboardPicture &picture, TempFile &temp) {
    const std::int32_t width = picture.width(), height = picture.height();
    const std::vector<std::uint8_t> head = dib::MakeBgr24Head(width, height);
    picture::RowSource *rows = picture.Rows();
    if (head.empty() || !rows) return PrintResult::BadPicture;
    if (!temp.Create() || !temp.Append(head.data(), head.size()))
        return PrintResult::FileNotWritten;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::int32_t strip = clip::StripRows(width);
    std::vector<std::uint8_t> out(stride * static_cast<std::size_t>(strip), 0);
    for (std::int32_t y = 0; y < height; y += strip) {
        const std::int32_t count = std::min(strip, height - y);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint8_t *row = rows->Row(y + i);
            if (!row) return PrintResult::BadPicture;
            picture::RowToBgr24(picture.format(), row, width,
                                out.data() + static_cast<std::size_t>(i) * stride);
        }
        if (!temp.Append(out.data(), stride * static_cast<std::size_t>(count)))
            return PrintResult::FileNotWritten;
    }
    return PrintResult::Printed;
}

PrintResult SaveClipboardPicture(TempFile &temp) {
    // Holds the clipboard open while the file is written: the pixels go to the file from the
    // clipboard's memory, since copying a large picture first costs as long as writing it.
    clip::ClipboardPicture picture;
    if (!picture) {
        return picture.status() == clip::ClipboardPicture::Status::NotOffered
                   ? PrintResult::NoPicture
                   : PrintResult::BadPicture;
    }
    PrintResult result = PrintResult::Printed;
    if (picture.isPng() || picture.transparent()) {
        result = WriteComposited(picture, temp);
    } else {
        const dib::Info &info = picture.info();
        const std::vector<std::uint8_t> head = dib::MakeBmpHead(picture.packed(), info);
        if (head.empty()) return PrintResult::BadPicture;
        if (!temp.Create() || !temp.Append(head.data(), head.size()) ||
            !temp.Append(picture.packed() + info.pixelOffset, info.pixelBytes))
            result = PrintResult::FileNotWritten;
    }
    return result;
}

// Paper, copies and orientation, on the kept device mode.
PrintResult ApplySettings(PrinterSettings &settings, HANDLE printer, short orientation,
                          const std::wstring &paperSize, const std::wstring &copiesText) {
    const short paper = PaperCode(paperSize);
    if (paper != 0 && !settings.SetPaperSize(printer, paper)) return PrintResult::PrintFailed;
    const std::optional<std::int16_t> copies = copies::ReadCopies(copiesText);
    if (!copies) return PrintResult::BadCopies;
    // What a driver does with 0 or fewer copies is its own affair; we never ask it.
    if (!settings.SetCopies(printer, std::max<short>(1, *copies))) return PrintResult::PrintFailed;
    if (!settings.SetOrientation(printer, orientation)) return PrintResult::PrintFailed;
    return PrintResult::Printed;
}

// One page: the picture stretched over the printable area, its aspect ratio not kept.
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

} // namespace

short PaperCode(std::wstring_view paperSize) {
    if (paperSize == L"A3") return DMPAPER_A3;
    if (paperSize == L"A4") return DMPAPER_A4;
    if (paperSize == L"B4") return DMPAPER_B4;
    if (paperSize == L"B5") return DMPAPER_B5;
    return 0;
}

namespace {

PrintResult PrintClipboardOnce(short orientation, const std::wstring &folder,
                               const std::wstring &paperSize, const std::wstring &copies,
                               const SYSTEMTIME &now, std::wstring *printFile) {
    TempFile temp(folder, now, printFile);

    PrintResult result = SaveClipboardPicture(temp);
    if (result != PrintResult::Printed) return result;
    if (InsideJob) InsideJob();

    PrinterSettings &settings = Settings();
    {
        unique_hprinter printer;
        result = settings.Open(printer);
        if (result != PrintResult::Printed) return result;
        result = ApplySettings(settings, printer.get(), orientation, paperSize, copies);
        if (result != PrintResult::Printed) return result;
    }

    if (BeforeReadBack) BeforeReadBack();
    LoadedPicture picture;
    if (!picture.Load(temp.handle())) return PrintResult::FileNotRead;
    if (!PrintPage(settings, picture)) return PrintResult::PrintFailed;

    temp.Remove();
    // A .bmp file that cannot be deleted does not undo a print that reached the spooler.
    DeleteTempFiles(folder);
    return PrintResult::Printed;
}

} // namespace

PrintResult PrintClipboard(short orientation, const std::wstring &folder,
                           const std::wstring &paperSize, const std::wstring &copies,
                           const SYSTEMTIME &now, std::wstring *printFile) {
    // By the time this catches, the clipboard is closed, the job aborted and the file removed.
    try {
        return PrintClipboardOnce(orientation, folder, paperSize, copies, now, printFile);
    } catch (const std::bad_alloc &) {
        return PrintResult::TooLarge;
    }
}

const wchar_t *FailureText(PrintResult result) {
    switch (result) {
    case PrintResult::Printed:
        return nullptr;
    case PrintResult::NoPicture:
        return L"クリップボードに画像データがありません";
    case PrintResult::BadPicture:
        return L"クリップボードの画像を読み取れませんでした";
    case PrintResult::FileNotWritten:
        return L"一時ファイルを作成できませんでした";
    case PrintResult::FileNotRead:
        return L"一時ファイルを読み込めませんでした";
    case PrintResult::NoPrinter:
        return L"通常使うプリンタが見つかりません";
    case PrintResult::BadCopies:
        return L"印字部数が不正です";
    case PrintResult::PrintFailed:
        return L"印刷できませんでした";
    case PrintResult::TooLarge:
        return L"画像が大きすぎて印刷できません";
    }
    return L"印刷できませんでした";
}

bool DeleteTempFiles(const std::wstring &folder) {
    // "*.bmp" also finds names whose short 8.3 alias ends in .BMP ("a.bmpx"); the name test
    // below sees the long name.
    std::vector<std::wstring> ours;
    {
        WIN32_FIND_DATAW found{};
        win::unique_hfind find(FindFirstFileW((folder + L"\\*.bmp").c_str(), &found));
        if (!find) return true;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                tempfiles::IsTempName(found.cFileName)) {
                ours.push_back(folder + L"\\" + found.cFileName);
            }
        } while (FindNextFileW(find.get(), &found));
    }
    bool all = true;
    for (const std::wstring &path : ours) {
        if (!DeleteFileW(path.c_str())) all = false;
    }
    return all;
}

HeldSettings CurrentSettings() {
    HeldSettings held;
    const PrinterSettings &settings = Settings();
    const DEVMODEW *dm = settings.devmode();
    if (!dm) return held;
    held.held = true;
    held.printer = settings.printer();
    held.paperSize = dm->dmPaperSize;
    held.copies = dm->dmCopies;
    held.orientation = dm->dmOrientation;
    return held;
}

void ForgetSettings() {
    Settings().Forget();
}

} // namespace print
