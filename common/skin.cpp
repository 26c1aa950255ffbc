#include "common/skin.h"

#include "common/artwork.h"
#include "common/lazylib.h"
#include "common/picture/resample.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace win {

namespace {

int ScreenLogPixels(int index) {
    unique_window_dc screen(nullptr);
    int v = screen ? GetDeviceCaps(screen.get(), index) : 96;
    return v > 0 ? v : 96;
}

constexpr wchar_t kPictureBoxClass[] = L"TessaryPictureBox";

} // namespace

Dpi ScreenDpi() {
    return {ScreenLogPixels(LOGPIXELSX), ScreenLogPixels(LOGPIXELSY)};
}

Dpi WindowDpi(HWND hwnd) {
    // Windows 10 1607 and later; user32 is always loaded.
    static const auto dpiForWindow =
        LibraryFunction<UINT(WINAPI *)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    const UINT dpi = hwnd && dpiForWindow ? dpiForWindow(hwnd) : 0;
    if (dpi == 0) return ScreenDpi();
    return {static_cast<int>(dpi), static_cast<int>(dpi)};
}

int TwipsToPixels(double twips, int dpi) {
    return static_cast<int>(std::lround(twips / (1440.0 / (dpi > 0 ? dpi : 96))));
}

double TwipsPerPixelX() {
    return 1440.0 / ScreenLogPixels(LOGPIXELSX);
}
double TwipsPerPixelY() {
    return 1440.0 / ScreenLogPixels(LOGPIXELSY);
}
int TwipsToPixelsX(double twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixelX()));
}
int TwipsToPixelsY(double twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixelY()));
}
int DesignToScreenX(int pixels) {
    return TwipsToPixelsX(pixels * 15.0);
}
int DesignToScreenY(int pixels) {
    return TwipsToPixelsY(pixels * 15.0);
}
double ScreenWidthTwips() {
    return GetSystemMetrics(SM_CXSCREEN) * TwipsPerPixelX();
}
double ScreenHeightTwips() {
    return GetSystemMetrics(SM_CYSCREEN) * TwipsPerPixelY();
}

// --- MemoryImage ---------------------------------------------------------------------------

bool MemoryImage::Create(int width, int height) {
    Reset();
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    unique_hbitmap bmp(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    unique_memdc dc(CreateCompatibleDC(nullptr));
    if (!bmp || !dc) return false;
    oldBitmap_ = SelectObject(dc.get(), bmp.get());
    bitmap_ = std::move(bmp);
    dc_ = std::move(dc);
    bits_ = bits;
    width_ = width;
    height_ = height;
    return true;
}

void MemoryImage::Reset() {
    if (dc_ && oldBitmap_) SelectObject(dc_.get(), oldBitmap_);
    oldBitmap_ = nullptr;
    dc_.reset();
    bitmap_.reset();
    bits_ = nullptr;
    width_ = height_ = 0;
}

void MemoryImage::Swap(MemoryImage &other) noexcept {
    std::swap(bitmap_, other.bitmap_);
    std::swap(dc_, other.dc_);
    std::swap(oldBitmap_, other.oldBitmap_);
    std::swap(bits_, other.bits_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
}

namespace {

// The rows of a memory image, for the resampler.
class ImageRows final : public picture::RowSource {
public:
    explicit ImageRows(const MemoryImage &image) : image_(image) {}
    const std::uint8_t *Row(std::int32_t y) override {
        return image_.bits() + static_cast<std::size_t>(y) * image_.width() * 4;
    }

private:
    const MemoryImage &image_;
};

} // namespace

bool RescaleKeeping(MemoryImage &image, MemoryImage &original, int width, int height) {
    if (!original) image.Swap(original);
    if (!image.Create(width, height)) return false;
    if (!original) return true;
    GdiFlush();
    if (original.width() == width && original.height() == height) {
        std::memcpy(image.bits(), original.bits(), static_cast<std::size_t>(width) * height * 4);
        return true;
    }
    // Our own area average: the platform's smooth stretch is several times slower.
    ImageRows rows(original);
    return picture::Resample(picture::Bgra32(false), original.width(), original.height(), rows,
                             image.bits(), static_cast<std::size_t>(width) * 4, width, height);
}

// --- ImageElement --------------------------------------------------------------------------

bool ImageElement::SetPictureFromResource(UINT id) {
    // Made for the box each time, so that a box of a new size gets the picture drawn for it.
    const SIZE own = ArtworkSize(id);
    const int w = stretch ? box.right - box.left : DesignToScreenX(own.cx);
    const int h = stretch ? box.bottom - box.top : DesignToScreenY(own.cy);
    return MakeArtwork(id, w, h, picture, master);
}

// --- PictureBox ----------------------------------------------------------------------------

bool PictureBox::Create(HWND parent, int x, int y, int width, int height) {
    static bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = WndProcThunk<PictureBox>;
        wc.hInstance = AppInstance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kPictureBoxClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    Destroy();
    hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, kPictureBoxClass, L"",
                            WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP,
                            x, y, width, height, parent, nullptr, AppInstance(), this);
    if (!hwnd_) return false;
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    if (!image_.Create(rc.right, rc.bottom)) return false;
    PatBlt(image_.dc(), 0, 0, rc.right, rc.bottom, BLACKNESS);
    return true;
}

void PictureBox::Destroy() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
    pressed_ = nullptr;
    images_.clear();
    labels_.clear();
    image_.Reset();
    snapshot_.Reset();
}

void PictureBox::FitImageToWindow() {
    RECT rc{};
    if (!hwnd_ || !GetClientRect(hwnd_, &rc)) return;
    if (rc.right == image_.width() && rc.bottom == image_.height()) return;
    if (!RescaleKeeping(image_, snapshot_, rc.right, rc.bottom) && image_) {
        PatBlt(image_.dc(), 0, 0, rc.right, rc.bottom, BLACKNESS);
    }
}

ImageElement &PictureBox::AddImage(const RECT &box) {
    images_.emplace_back();
    images_.back().box = box;
    return images_.back();
}

LabelElement &PictureBox::AddLabel(const RECT &box, const std::wstring &text) {
    labels_.emplace_back();
    labels_.back().box = box;
    labels_.back().text = text;
    return labels_.back();
}

void PictureBox::Refresh() {
    if (!hwnd_) return;
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
}

void PictureBox::Paint(HDC dc) const {
    if (image_) BitBlt(dc, 0, 0, image_.width(), image_.height(), image_.dc(), 0, 0, SRCCOPY);
    for (const ImageElement &e : images_) {
        if (!e.picture) continue;
        BitBlt(dc, e.box.left, e.box.top, e.picture.width(), e.picture.height(), e.picture.dc(), 0,
               0, SRCCOPY);
    }
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    for (const LabelElement &l : labels_) {
        RECT r = l.box;
        HGDIOBJ oldFont = l.font ? SelectObject(dc, l.font) : nullptr;
        const COLORREF oldColor = SetTextColor(dc, l.color);
        DrawTextW(dc, l.text.c_str(), static_cast<int>(l.text.size()), &r, l.format);
        SetTextColor(dc, oldColor);
        if (oldFont) SelectObject(dc, oldFont);
    }
    SetBkMode(dc, oldMode);
}

ImageElement *PictureBox::HitTest(POINT pt) {
    for (auto it = images_.rbegin(); it != images_.rend(); ++it) {
        RECT r = it->box;
        if (!it->stretch && it->picture) {
            r.right = r.left + it->picture.width();
            r.bottom = r.top + it->picture.height();
        }
        if (PtInRect(&r, pt)) return &*it;
    }
    return nullptr;
}

LRESULT PictureBox::WindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) hwnd_ = hwnd;
    return OnMessage(msg, wp, lp);
}

LRESULT PictureBox::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        paint_scope ps(hwnd_);
        Paint(ps.dc());
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wp));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
        POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        ImageElement *e = HitTest(pt);
        if (!e) return 0;
        const int button = (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK)   ? 1
                           : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK) ? 2
                                                                                : 4;
        if (button == 1 && e->onClick) {
            pressed_ = e;
            SetCapture(hwnd_);
        }
        // The handler may open a menu, start a window move or even unload the window.
        if (e->onMouseDown) {
            auto handler = e->onMouseDown;
            handler(button);
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        ImageElement *e = pressed_;
        pressed_ = nullptr;
        if (GetCapture() == hwnd_) ReleaseCapture();
        POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        if (e && HitTest(pt) == e && e->onClick) {
            auto handler = e->onClick;
            handler();
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        pressed_ = nullptr;
        return 0;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        // Controls inside the picture box belong to the form.
        return SendMessageW(GetParent(hwnd_), msg, wp, lp);
    case WM_NCDESTROY: {
        HWND h = hwnd_;
        hwnd_ = nullptr;
        pressed_ = nullptr;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        return DefWindowProcW(h, msg, wp, lp);
    }
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

// --- SkinnedForm ---------------------------------------------------------------------------

RECT SkinnedForm::TwipsBox(double left, double top, double width, double height) const {
    const int x = TwipsX(left), y = TwipsY(top);
    return {x, y, x + TwipsX(width), y + TwipsY(height)};
}

void SkinnedForm::CreatePicture1(double leftTw, double topTw, double widthTw, double heightTw) {
    dpi_ = WindowDpi(Handle());
    const Frame f = GetFrame(); // now at the window's DPI
    RECT frame{0, 0, f.clientWidth, f.clientHeight};
    AdjustWindowRectEx(&frame, f.style, FALSE, f.exStyle);
    SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    picture1Twips_[0] = leftTw;
    picture1Twips_[1] = topTw;
    picture1Twips_[2] = widthTw;
    picture1Twips_[3] = heightTw;
    if (!Picture1.Create(Handle(), TwipsX(leftTw), TwipsY(topTw), TwipsX(widthTw),
                         TwipsY(heightTw))) {
        return;
    }
    PlacePicture1();
}

void SkinnedForm::PlacePicture1() {
    const double *p = picture1Twips_;
    SetWindowPos(Picture1.hwnd(), nullptr, TwipsX(p[0]), TwipsY(p[1]), TwipsX(p[2]), TwipsY(p[3]),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The 30 twips are the border at 96 DPI only: the border stays 2 pixels at any DPI. The
    // snapshot and the artwork are laid out from the client origin, so the inside starts there.
    POINT inside{0, 0};
    MapWindowPoints(Picture1.hwnd(), Handle(), &inside, 1);
    if (inside.x == 0 && inside.y == 0) return;
    RECT outer{};
    GetWindowRect(Picture1.hwnd(), &outer);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT *>(&outer), 2);
    SetWindowPos(Picture1.hwnd(), nullptr, outer.left - inside.x, outer.top - inside.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SkinnedForm::MoveTwips(double leftTw, double topTw) {
    SetWindowPos(Handle(), nullptr, TwipsToPixelsX(leftTw), TwipsToPixelsY(topTw), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SkinnedForm::CentreOnScreen() {
    RECT r{};
    GetWindowRect(Handle(), &r);
    const double heightTw = (r.bottom - r.top) * TwipsPerPixelY();
    const double widthTw = (r.right - r.left) * TwipsPerPixelX();
    const double top = (ScreenHeightTwips() - heightTw) / 2;
    const double left = (ScreenWidthTwips() - widthTw) / 2;
    MoveTwips(left, top);
}

bool SkinnedForm::CaptureBackground(int x, int y) {
    const unsigned load = LoadId();
    Hide();
    DoEvents();
    // A window loaded afresh meanwhile is visible by now: going on would copy it into itself.
    if (LoadId() != load || !Picture1.hwnd()) return false;
    POINT origin{x, y};
    ClientToScreen(Handle(), &origin);
    {
        unique_window_dc screen(nullptr);
        BitBlt(Picture1.Image().dc(), 0, 0, Picture1.ScaleWidth(), Picture1.ScaleHeight(),
               screen.get(), origin.x, origin.y, SRCCOPY);
    }
    Picture1.ImageRetaken(); // a change of scale during the load scaled an empty image
    Picture1.Refresh();
    ShowWindow(Handle(), SW_SHOW);
    return true;
}

void SkinnedForm::OnDpiChanged(Dpi dpi, const RECT &suggested) {
    if (dpi.x <= 0 || dpi.y <= 0) return;
    dpi_ = dpi;
    SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (Picture1.hwnd()) {
        PlacePicture1();
        Picture1.FitImageToWindow();
    }
    Form_DpiChanged();
    RedrawWindow(Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

LRESULT SkinnedForm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // Picture1 covers the client area
    case WM_PAINT: {
        paint_scope ps(Handle());
        return 0;
    }
    case WM_NCHITTEST:
        return HTCLIENT; // no caption, no frame: the user cannot move or size it from its edges
    case WM_DPICHANGED:
        if (lp) OnDpiChanged({LOWORD(wp), HIWORD(wp)}, *reinterpret_cast<const RECT *>(lp));
        return 0;
    case WM_DESTROY:
        Picture1.Destroy(); // the snapshot and the pictures go with the window
        dpi_ = {0, 0};      // the next load takes its monitor's afresh
        break;
    }
    return Form::OnMessage(msg, wp, lp);
}

} // namespace win
