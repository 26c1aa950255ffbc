// The printed page: the picture read back from the temporary file and drawn over the printable
// area of a printer device context, a band of rows at a time.
#pragma once

#include "common/picture/dib.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace print {

class PrinterSettings;

// The picture read back from the temporary file and checked like any other untrusted bitmap. The
// pixels stay in the file and are drawn a band of rows at a time: a large picture is then never
// held a second time beside the clipboard's copy, nor handed whole to the printer driver, which
// makes copies of what it is given.
class LoadedPicture {
public:
    // `file` is the temporary file's handle, which outlives this.
    bool Load(HANDLE file);
    // Stretches the picture over (0, 0, width, height): each band of rows onto its share of the
    // height, the shares meeting exactly.
    bool Draw(HDC dc, int width, int height);

private:
    bool ReadAt(std::uint64_t offset, std::uint8_t *out, std::size_t size);

    HANDLE file_ = nullptr;
    std::vector<std::uint8_t> header_;
    std::uint64_t bitsOffset_ = 0;
    dib::Info info_;
};

// One document of one page on the settings' printer: the picture stretched over the printable
// area, its aspect ratio not kept.
bool PrintPage(const PrinterSettings &settings, LoadedPicture &picture);

} // namespace print
