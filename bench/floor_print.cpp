// Floor for the print figure: the least a program does to print a BMP file stretched over the
// default printer's printable area, with one StretchDIBits and the printer's own settings.
// Usage: floor_print <file.bmp>. Prints "floor_print ms=<command to end of document>
// peak_mib=<peak resident memory>".
#include "print_timing.h"

#include <windows.h>

#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Fail(const char *what) {
    std::fprintf(stderr, "floor_print: %s (error %lu)\n", what, GetLastError());
    return 1;
}

// Two bytes ahead of the file put a gap-less file's header and pixels on 4-byte boundaries.
constexpr std::size_t kPad = 2;

bool ReadWholeFile(const wchar_t *path, std::vector<std::uint8_t> &out) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 31);
    if (ok) {
        out.assign(kPad + static_cast<std::size_t>(size.QuadPart), 0);
        std::size_t done = 0;
        while (ok && done < static_cast<std::size_t>(size.QuadPart)) {
            DWORD got = 0;
            const DWORD part = static_cast<DWORD>(
                std::min<std::size_t>(std::size_t{1} << 24, out.size() - kPad - done));
            ok = ReadFile(file, out.data() + kPad + done, part, &got, nullptr) && got > 0;
            done += got;
        }
    }
    CloseHandle(file);
    return ok;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: floor_print <file.bmp>\n");
        return 2;
    }
    const double start = bench::Now();
    std::vector<std::uint8_t> file;
    if (!ReadWholeFile(argv[1], file)) return Fail("cannot read the file");
    const std::uint8_t *base = file.data() + kPad;
    const std::size_t size = file.size() - kPad;
    BITMAPFILEHEADER fh;
    if (size < sizeof(fh) + sizeof(BITMAPINFOHEADER)) return Fail("not a BMP file");
    std::memcpy(&fh, base, sizeof(fh));
    if (fh.bfType != 0x4D42 || fh.bfOffBits >= size) return Fail("not a BMP file");
    const auto *info = reinterpret_cast<const BITMAPINFO *>(base + sizeof(fh));
    const LONG w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;

    wchar_t name[512];
    DWORD len = ARRAYSIZE(name);
    if (!GetDefaultPrinterW(name, &len)) return Fail("no default printer");
    HDC dc = CreateDCW(L"WINSPOOL", name, nullptr, nullptr);
    if (!dc) return Fail("CreateDC failed");
    DOCINFOW doc{};
    doc.cbSize = sizeof(doc);
    doc.lpszDocName = L"floor_print";
    int lines = 0;
    bool ended = false;
    if (StartDocW(dc, &doc) > 0) {
        if (StartPage(dc) > 0) {
            lines = StretchDIBits(dc, 0, 0, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES),
                                  0, 0, w, h < 0 ? -h : h, base + fh.bfOffBits, info,
                                  DIB_RGB_COLORS, SRCCOPY);
            EndPage(dc);
        }
        ended = EndDoc(dc) > 0;
    }
    DeleteDC(dc);
    const double end = bench::Now();
    if (lines <= 0 || !ended) return Fail("the printer refused the page");
    std::printf("floor_print ms=%.1f peak_mib=%.0f\n", end - start, bench::PeakMiB());
    return 0;
}
