#include "print/PrintJob.h"

#include "common/picture/clippicture.h"
#include "common/picture/dib.h"
#include "print/copies.h"
#include "print/page.h"
#include "print/printer.h"
#include "print/tempfile_win32.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace print {

short PaperCode(std::wstring_view paperSize) {
    if (paperSize == L"A3") return DMPAPER_A3;
    if (paperSize == L"A4") return DMPAPER_A4;
    if (paperSize == L"B4") return DMPAPER_B4;
    if (paperSize == L"B5") return DMPAPER_B5;
    return 0;
}

// The job's steps: the picture to the file, the printer's settings, the file to the page.
namespace {

// A transparent picture or a PNG: 24-bit rows over white, made and written a strip at a time so
// that no second full-size copy of the picture exists.
PrintResult WriteComposited(clip::ClipboardPicture &picture, PrintBitmapFile &temp) {
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

PrintResult SaveClipboardPicture(PrintBitmapFile &temp) {
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

PrintResult PrintClipboardOnce(short orientation, const std::wstring &folder,
                               const std::wstring &paperSize, const std::wstring &copies,
                               const SYSTEMTIME &now, std::wstring *printFile) {
    PrintBitmapFile temp(folder, now, printFile);

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
    struct Text {
        PrintResult result;
        const wchar_t *text;
    };
    static const Text kTexts[] = {
        {PrintResult::NoPicture, L"クリップボードに画像データがありません"},
        {PrintResult::BadPicture, L"クリップボードの画像を読み取れませんでした"},
        {PrintResult::FileNotWritten, L"一時ファイルを作成できませんでした"},
        {PrintResult::FileNotRead, L"一時ファイルを読み込めませんでした"},
        {PrintResult::NoPrinter, L"通常使うプリンタが見つかりません"},
        {PrintResult::BadCopies, L"印字部数が不正です"},
        {PrintResult::PrintFailed, L"印刷できませんでした"},
        {PrintResult::TooLarge, L"画像が大きすぎて印刷できません"},
    };
    if (result == PrintResult::Printed) return nullptr;
    for (const Text &t : kTexts) {
        if (t.result == result) return t.text;
    }
    return L"印刷できませんでした";
}

} // namespace print
