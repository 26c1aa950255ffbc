// Reading the clipboard's picture: what reaches the platform is checked, whatever another program
// put on the clipboard.
#include "common/clipboard.h"
#include "common/picture/clippicture.h"
#include "common/picture/resample.h"
#include "common/skin.h"
#include "tests/picture_samples.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using Status = clip::ClipboardPicture::Status;

// The picture as the platform draws it, one COLORREF per pixel, top row first.
std::vector<COLORREF> Render(const clip::ClipboardPicture &pic) {
    const int w = pic.info().width, h = pic.info().height;
    win::MemoryImage image;
    if (!image.Create(w, h)) return {};
    StretchDIBits(image.dc(), 0, 0, w, h, 0, 0, w, h, pic.bits(), pic.bitmapInfo(), DIB_RGB_COLORS,
                  SRCCOPY);
    std::vector<COLORREF> out;
    for (int i = 0; i < w * h; ++i) {
        const unsigned char *p = image.bits() + static_cast<size_t>(i) * 4;
        out.push_back(RGB(p[2], p[1], p[0]));
    }
    return out;
}

class ClipPicture : public ::testing::Test {
protected:
    void TearDown() override { testutil::EmptyTheClipboard(); }
};

TEST_F(ClipPicture, ValidDibPointsIntoTheBlockWithTheCheckedLayout) {
    auto dib = samples::Quadrants(64, 48);
    samples::Header(dib).biSizeImage = 12345; // the producer's word is not taken
    samples::Header(dib).biClrImportant = 7;
    ASSERT_TRUE(testutil::SetClipboardDib(dib));

    const clip::ClipboardPicture pic;
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic.status(), Status::Ok);
    EXPECT_EQ(pic.info().width, 64);
    EXPECT_EQ(pic.info().height, 48);
    EXPECT_FALSE(pic.info().topDown);
    EXPECT_EQ(pic.bits(), pic.packed() + sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(std::memcmp(pic.packed() + sizeof(BITMAPINFOHEADER),
                          dib.data() + sizeof(BITMAPINFOHEADER), pic.info().pixelBytes),
              0);
    const BITMAPINFOHEADER &h = pic.bitmapInfo()->bmiHeader;
    EXPECT_EQ(h.biSizeImage, pic.info().pixelBytes);
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(h.biWidth, 64);
    EXPECT_EQ(h.biHeight, 48);

    const auto px = Render(pic);
    ASSERT_EQ(px.size(), 64u * 48u);
    EXPECT_EQ(px[0], RGB(255, 0, 0));                      // top left
    EXPECT_EQ(px[63], RGB(0, 255, 0));                     // top right
    EXPECT_EQ(px[size_t{47} * 64], RGB(0, 0, 255));        // bottom left
    EXPECT_EQ(px[size_t{47} * 64 + 63], RGB(255, 255, 0)); // bottom right
}

TEST_F(ClipPicture, PaletteComesWithThePicture) {
    ASSERT_TRUE(testutil::SetClipboardDib(samples::Quadrants8(16, 10)));
    const clip::ClipboardPicture pic;
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic.info().paletteEntries, 4u);
    EXPECT_EQ(pic.bitmapInfo()->bmiHeader.biClrUsed, 4u);
    const auto px = Render(pic);
    ASSERT_EQ(px.size(), 160u);
    EXPECT_EQ(px[0], RGB(255, 0, 0));
    EXPECT_EQ(px[15], RGB(0, 255, 0));
    EXPECT_EQ(px[size_t{9} * 16], RGB(0, 0, 255));
    EXPECT_EQ(px[size_t{9} * 16 + 15], RGB(255, 255, 0));
}

TEST_F(ClipPicture, TopDownPictureKeepsItsOrientation) {
    auto dib = samples::Quadrants(8, 6);
    // Turn the rows round and say so.
    const size_t stride = 24;
    std::vector<unsigned char> flipped(dib.begin(), dib.begin() + sizeof(BITMAPINFOHEADER));
    for (int row = 5; row >= 0; --row) {
        const auto *p = dib.data() + sizeof(BITMAPINFOHEADER) + row * stride;
        flipped.insert(flipped.end(), p, p + stride);
    }
    samples::Header(flipped).biHeight = -6;
    ASSERT_TRUE(testutil::SetClipboardDib(flipped));

    const clip::ClipboardPicture pic;
    ASSERT_TRUE(pic);
    EXPECT_TRUE(pic.info().topDown);
    EXPECT_EQ(pic.bitmapInfo()->bmiHeader.biHeight, -6);
    const auto px = Render(pic);
    ASSERT_EQ(px.size(), 48u);
    EXPECT_EQ(px[0], RGB(255, 0, 0));
    EXPECT_EQ(px[47], RGB(255, 255, 0));
}

TEST_F(ClipPicture, ColourProfileIsNotHandedOn) {
    // V5, 32 bits with bit fields, 2 x 2 pixels, an embedded profile of 16 bytes after them.
    BITMAPV5HEADER v5 = samples::V5Header(2, 2);
    v5.bV5CSType = 0x4D424544; // 'MBED'
    v5.bV5ProfileData = sizeof(BITMAPV5HEADER) + 16;
    v5.bV5ProfileSize = 16;
    std::vector<unsigned char> dib(sizeof(BITMAPV5HEADER) + 16 + 16, 0);
    std::memcpy(dib.data(), &v5, sizeof(v5));
    std::memset(dib.data() + sizeof(BITMAPV5HEADER), 0x80, 16);
    ASSERT_TRUE(testutil::SetClipboardDib(dib));

    const clip::ClipboardPicture pic;
    ASSERT_TRUE(pic);
    const auto *seen = reinterpret_cast<const BITMAPV5HEADER *>(pic.bitmapInfo());
    EXPECT_EQ(seen->bV5CSType, 0x73524742u); // 'sRGB'
    EXPECT_EQ(seen->bV5ProfileData, 0u);
    EXPECT_EQ(seen->bV5ProfileSize, 0u);
    EXPECT_EQ(seen->bV5RedMask, 0x00FF0000u);
    // The block itself is left as it was.
    EXPECT_EQ(reinterpret_cast<const BITMAPV5HEADER *>(pic.packed())->bV5CSType, 0x4D424544u);
}

TEST_F(ClipPicture, NoPictureOffered) {
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    EXPECT_EQ(clip::ClipboardPicture().status(), Status::NotOffered);
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, true));
    const clip::ClipboardPicture pic;
    EXPECT_FALSE(pic);
    EXPECT_EQ(pic.status(), Status::NotOffered);
}

TEST_F(ClipPicture, BitmapAloneIsReadToo) {
    // A device-dependent bitmap painted in two colours, as a screen-capture program leaves it.
    win::unique_window_dc screen(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen.get(), 6, 4);
    ASSERT_NE(bmp, nullptr);
    {
        win::unique_memdc dc(CreateCompatibleDC(screen.get()));
        win::unique_select_object sel(dc.get(), bmp);
        win::unique_hbrush left(CreateSolidBrush(RGB(255, 0, 0)));
        win::unique_hbrush right(CreateSolidBrush(RGB(0, 0, 255)));
        RECT l{0, 0, 3, 4}, r{3, 0, 6, 4};
        FillRect(dc.get(), &l, left.get());
        FillRect(dc.get(), &r, right.get());
    }
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (!SetClipboardData(CF_BITMAP, bmp)) DeleteObject(bmp);
    CloseClipboard();

    const clip::ClipboardPicture pic;
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic.info().width, 6);
    EXPECT_EQ(pic.info().height, 4);
    const auto px = Render(pic);
    ASSERT_EQ(px.size(), 24u);
    EXPECT_EQ(px[0], RGB(255, 0, 0));
    EXPECT_EQ(px[5], RGB(0, 0, 255));
    EXPECT_EQ(px[23], RGB(0, 0, 255));
}

TEST_F(ClipPicture, ClipboardHeldElsewhereGivesUpQuickly) {
    ASSERT_TRUE(testutil::SetClipboardDib(samples::Quadrants(4, 4)));
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        // Held through a window: the clipboard tells its users apart by their windows.
        const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                           nullptr, nullptr);
        if (OpenClipboard(owner)) {
            SetEvent(opened);
            WaitForSingleObject(release, 10000);
            CloseClipboard();
        } else {
            SetEvent(opened);
        }
        DestroyWindow(owner);
    });
    ASSERT_EQ(WaitForSingleObject(opened, 5000), WAIT_OBJECT_0);
    const auto start = std::chrono::steady_clock::now();
    {
        const clip::ClipboardPicture pic;
        EXPECT_FALSE(pic);
        EXPECT_EQ(pic.status(), Status::NotOpened);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    SetEvent(release);
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
    EXPECT_TRUE(clip::ClipboardPicture());
}

// The decoded rows of a picture as COLORREFs, top row first (BGRA from a PNG).
std::vector<COLORREF> DecodedRows(clip::ClipboardPicture &pic) {
    std::vector<COLORREF> out;
    picture::RowSource *rows = pic.Rows();
    if (!rows) return out;
    for (int y = 0; y < pic.height(); ++y) {
        const unsigned char *p = rows->Row(y);
        if (!p) return {};
        for (int x = 0; x < pic.width(); ++x, p += 4)
            out.push_back(RGB(p[2], p[1], p[0]));
    }
    return out;
}

TEST_F(ClipPicture, PngAloneIsAPictureAndDecodes) {
    ASSERT_TRUE(testutil::SetClipboardBlock(testutil::PngFormat(), samples::QuadrantsPng(64, 48)));
    EXPECT_EQ(clip::ContentMask(), 0);
    EXPECT_TRUE(clip::IsPicture(clip::ContentMask()));
    clip::ClipboardPicture pic;
    ASSERT_TRUE(pic);
    EXPECT_TRUE(pic.isPng());
    EXPECT_FALSE(pic.transparent());
    EXPECT_EQ(pic.width(), 64);
    EXPECT_EQ(pic.height(), 48);
    const auto px = DecodedRows(pic);
    ASSERT_EQ(px.size(), 64u * 48u);
    EXPECT_EQ(px[0], RGB(255, 0, 0));
    EXPECT_EQ(px[63], RGB(0, 255, 0));
    EXPECT_EQ(px[size_t{47} * 64], RGB(0, 0, 255));
    EXPECT_EQ(px[size_t{47} * 64 + 63], RGB(255, 255, 0));
}

TEST_F(ClipPicture, PngWithTextIsNoPicture) {
    ASSERT_TRUE(
        testutil::SetClipboardBlock(testutil::PngFormat(), samples::QuadrantsPng(8, 8), true));
    EXPECT_FALSE(clip::IsPicture(clip::ContentMask()));
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    EXPECT_FALSE(clip::IsPicture(clip::ContentMask()));
}

TEST_F(ClipPicture, BrokenPngIsNoPictureAndNothingIsAllocatedForIt) {
    for (const samples::BadPng &bad : samples::BadPngs()) {
        SCOPED_TRACE(bad.name);
        ASSERT_TRUE(testutil::SetClipboardBlock(testutil::PngFormat(), bad.bytes));
        EXPECT_TRUE(clip::IsPicture(clip::ContentMask())) << "a format test only";
        PROCESS_MEMORY_COUNTERS before{}, after{};
        K32GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
        clip::ClipboardPicture pic;
        EXPECT_FALSE(pic);
        EXPECT_EQ(pic.status(), Status::Invalid);
        EXPECT_EQ(pic.pngError(), bad.error);
        EXPECT_EQ(pic.Rows(), nullptr);
        K32GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
        EXPECT_LT(after.PeakPagefileUsage - before.PeakPagefileUsage, SIZE_T{16} << 20);
    }
}

// The preview copies the picture out and lets go of the clipboard before it decodes: another
// program can open the clipboard, and even empty it, while the rows are read.
TEST_F(ClipPicture, CopiedOutThePictureOutlivesTheClipboard) {
    const auto othersCanOpen = [] {
        bool opened = false;
        std::thread([&opened] {
            opened = OpenClipboard(nullptr) != FALSE;
            if (opened) CloseClipboard();
        }).join();
        return opened;
    };
    for (const bool png : {false, true}) {
        SCOPED_TRACE(png ? "PNG" : "DIB");
        ASSERT_TRUE(
            png ? testutil::SetClipboardBlock(testutil::PngFormat(), samples::QuadrantsPng(64, 48))
                : testutil::SetClipboardDib(samples::Quadrants(64, 48)));
        clip::ClipboardPicture pic;
        ASSERT_TRUE(pic);
        pic.CopyAndClose();
        EXPECT_TRUE(othersCanOpen());
        ASSERT_TRUE(testutil::EmptyTheClipboard());
        picture::RowSource *rows = pic.Rows();
        ASSERT_NE(rows, nullptr);
        ASSERT_EQ(pic.width(), 64);
        std::vector<std::uint8_t> px(size_t{16} * 12 * 4);
        ASSERT_TRUE(picture::Resample(pic.format(), 64, 48, *rows, px.data(), size_t{64}, 16, 12));
        EXPECT_EQ(RGB(px[2], px[1], px[0]), RGB(255, 0, 0));
        const std::size_t last = px.size() - 4;
        EXPECT_EQ(RGB(px[last + 2], px[last + 1], px[last]), RGB(255, 255, 0));
    }
}

TEST_F(ClipPicture, AlphaV5IsPreferredAndA32BitDibWithoutItIsOpaque) {
    ASSERT_TRUE(testutil::SetClipboardBlock(CF_DIBV5, samples::AlphaV5(4, 4, [](int x, int y) {
                                                return samples::HalfClear(x, y, 4, 4);
                                            })));
    {
        const clip::ClipboardPicture pic;
        ASSERT_TRUE(pic);
        EXPECT_TRUE(pic.transparent());
        EXPECT_EQ(pic.info().headerSize, sizeof(BITMAPV5HEADER));
    }
    ASSERT_TRUE(testutil::SetClipboardDib(samples::Bgrx32(4, 4, RGB(10, 20, 30))));
    clip::ClipboardPicture pic;
    ASSERT_TRUE(pic);
    EXPECT_FALSE(pic.transparent());
    EXPECT_EQ(pic.info().headerSize, sizeof(BITMAPINFOHEADER));
}

class MalformedPicture : public ::testing::TestWithParam<samples::Malformed> {
protected:
    void TearDown() override { testutil::EmptyTheClipboard(); }
};

TEST_P(MalformedPicture, IsRefusedWithItsReason) {
    ASSERT_TRUE(testutil::SetClipboardDib(GetParam().bytes));
    const clip::ClipboardPicture pic;
    EXPECT_FALSE(pic);
    EXPECT_EQ(pic.status(), Status::Invalid);
    EXPECT_EQ(pic.error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Blocks, MalformedPicture,
                         ::testing::ValuesIn(samples::MalformedPictures()),
                         [](const auto &info) { return info.param.name; });

} // namespace
