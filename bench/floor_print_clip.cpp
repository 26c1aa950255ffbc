// Floor for the print figure as the program must print: the least a program does to print the
// picture that another program holds on the clipboard, stretched over the default printer's
// printable area: open the clipboard, CF_DIB, one StretchDIBits, end the document.
// Usage: floor_print_clip. Prints "floor_print_clip fetch_ms=<first read> ms=<command to end of
// document> cpu_ms=<its CPU time> peak_mib=<peak resident memory>". The first read, untimed, stands
// for the preview that has shown the picture before a print can be asked for, as in bench_print.
#include "print_timing.h"

#include <windows.h>

#include <winspool.h>

#include <cstdio>

namespace {

int Fail(const char *what) {
    std::fprintf(stderr, "floor_print_clip: %s (error %lu)\n", what, GetLastError());
    return 1;
}

// Colours after the header: the masks of a 40-byte BI_BITFIELDS header, then the colour table.
const void *DibBits(const BITMAPINFOHEADER *h) {
    DWORD colours = h->biClrUsed;
    if (colours == 0 && h->biBitCount <= 8) colours = 1u << h->biBitCount;
    DWORD masks = 0;
    if (h->biSize == sizeof(BITMAPINFOHEADER) && h->biCompression == BI_BITFIELDS) masks = 12;
    return reinterpret_cast<const BYTE *>(h) + h->biSize + masks + colours * 4;
}

} // namespace

int wmain() {
    // The picture's owner may have taken the selection a moment ago.
    for (int i = 0; i < 600 && !IsClipboardFormatAvailable(CF_DIB); ++i)
        Sleep(50);
    const double fetchStart = bench::Now();
    if (!OpenClipboard(nullptr)) return Fail("cannot open the clipboard");
    const bool offered = GetClipboardData(CF_DIB) != nullptr;
    CloseClipboard();
    if (!offered) return Fail("no picture on the clipboard");
    const double fetched = bench::Now();

    const double start = bench::Now(), cpuStart = bench::CpuMs();
    if (!OpenClipboard(nullptr)) return Fail("cannot open the clipboard");
    HGLOBAL block = GetClipboardData(CF_DIB);
    const auto *head = block ? static_cast<const BITMAPINFOHEADER *>(GlobalLock(block)) : nullptr;
    if (!head) {
        CloseClipboard();
        return Fail("no picture on the clipboard");
    }
    wchar_t name[512];
    DWORD len = ARRAYSIZE(name);
    HDC dc =
        GetDefaultPrinterW(name, &len) ? CreateDCW(L"WINSPOOL", name, nullptr, nullptr) : nullptr;
    int lines = 0;
    bool ended = false;
    if (dc) {
        DOCINFOW doc{};
        doc.cbSize = sizeof(doc);
        doc.lpszDocName = L"floor_print_clip";
        if (StartDocW(dc, &doc) > 0) {
            if (StartPage(dc) > 0) {
                const LONG h = head->biHeight;
                lines = StretchDIBits(
                    dc, 0, 0, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), 0, 0,
                    head->biWidth, h < 0 ? -h : h, DibBits(head),
                    reinterpret_cast<const BITMAPINFO *>(head), DIB_RGB_COLORS, SRCCOPY);
                EndPage(dc);
            }
            ended = EndDoc(dc) > 0;
        }
        DeleteDC(dc);
    }
    GlobalUnlock(block);
    CloseClipboard();
    const double end = bench::Now(), cpuEnd = bench::CpuMs();
    if (!dc) return Fail("no default printer");
    if (lines <= 0 || !ended) return Fail("the printer refused the page");
    std::printf("floor_print_clip fetch_ms=%.1f ms=%.1f cpu_ms=%.0f peak_mib=%.0f\n",
                fetched - fetchStart, end - start, cpuEnd - cpuStart, bench::PeakMiB());
    return 0;
}
