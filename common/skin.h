// What the skinned windows share: twips and pixels, memory images, the picture box that holds the
// background snapshot and the windowless image and label elements drawn on it, and the snapshot
// itself.
#pragma once

#include "common/form.h"
#include "common/handles.h"

#include <functional>
#include <list>
#include <memory>
#include <string>

namespace win {

struct ArtworkMaster;

// Dots per inch, across and down.
struct Dpi {
    int x = 96, y = 96;
    bool operator==(const Dpi &o) const { return x == o.x && y == o.y; }
    bool operator!=(const Dpi &o) const { return !(*this == o); }
};
// The screen's (the primary monitor's as the program was told at start).
Dpi ScreenDpi();
// The DPI the window is told for its monitor (GetDpiForWindow where the system has it), else the
// screen's.
Dpi WindowDpi(HWND hwnd);
// Twips to pixels at a DPI, rounded to the nearest.
int TwipsToPixels(double twips, int dpi);

// Screen units. Geometry is given in twips (1/1440 inch), 15 to the pixel at 96 DPI.
double TwipsPerPixelX();
double TwipsPerPixelY();
// A picture's own size: its pixels are 96-DPI pixels, so on a screen where the program is told
// the true DPI (no system scaling) it keeps its size in twips, as the windows around it do.
int DesignToScreenX(int pixels);
int DesignToScreenY(int pixels);
int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);
double ScreenWidthTwips();
double ScreenHeightTwips();

// A 32-bit top-down memory image with its own DC: the persistent drawing of a window.
class MemoryImage {
public:
    bool Create(int width, int height);
    void Reset();
    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    explicit operator bool() const { return static_cast<bool>(dc_); }
    const unsigned char *bits() const { return static_cast<const unsigned char *>(bits_); }
    unsigned char *bits() { return static_cast<unsigned char *>(bits_); }
    void Swap(MemoryImage &other) noexcept;

private:
    unique_hbitmap bitmap_; // declared first: the DC goes before the bitmap selected into it
    unique_memdc dc_;
    HGDIOBJ oldBitmap_ = nullptr;
    void *bits_ = nullptr;
    int width_ = 0, height_ = 0;
};

// Redraws image at width x height from the drawing it had when this was first called for it,
// which original keeps: repeated changes of scale never resample a resample, and at the
// original's own size the copy is exact. False when the new image cannot be made.
bool RescaleKeeping(MemoryImage &image, MemoryImage &original, int width, int height);

// A windowless image element: its picture is stretched to its box once, when it is set, so that
// painting is a plain copy and never touches the source again.
struct ImageElement {
    RECT box{};
    bool stretch = true;
    std::function<void(int button)> onMouseDown; // 1 left, 2 right, 4 middle
    std::function<void()> onClick;

    bool SetPictureFromResource(UINT id);
    void Clear() {
        picture.Reset();
        master.reset();
    }
    bool HasPicture() const { return static_cast<bool>(picture); }

    MemoryImage picture;
    std::shared_ptr<const ArtworkMaster> master; // decoded, while the picture was made from it
};

// A windowless label, drawn over the images.
struct LabelElement {
    RECT box{};
    std::wstring text;
    HFONT font = nullptr;
    COLORREF color = RGB(0, 0, 0);
    UINT format = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX;
};

// The picture box Picture1 of a skinned window: a child window with a 3-D border whose inside holds
// the persistent image (the background snapshot), with the elements drawn over it in the order they
// were added. Child controls placed in it report to the form.
class PictureBox {
public:
    PictureBox() = default;
    // Its window goes with it: nothing may dispatch to a picture box that is no more.
    ~PictureBox() { Destroy(); }
    PictureBox(const PictureBox &) = delete;
    PictureBox &operator=(const PictureBox &) = delete;

    // Position and size in pixels on the parent's client area, border included.
    bool Create(HWND parent, int x, int y, int width, int height);
    void Destroy();
    // Takes the inside size the window has now (after a change of scale): the snapshot taken at
    // load is scaled to it, never taken again.
    void FitImageToWindow();
    // The image was drawn afresh (the snapshot, taken): later changes of scale start from it.
    void ImageRetaken() { snapshot_.Reset(); }
    HWND hwnd() const { return hwnd_; }
    int ScaleWidth() const { return image_.width(); }
    int ScaleHeight() const { return image_.height(); }
    MemoryImage &Image() { return image_; }

    ImageElement &AddImage(const RECT &box);
    LabelElement &AddLabel(const RECT &box, const std::wstring &text);
    void Refresh();
    // Draws the image and the elements, as WM_PAINT and WM_PRINTCLIENT both do.
    void Paint(HDC dc) const;
    // The topmost element under a point of the inside, if any.
    ImageElement *HitTest(POINT pt);

private:
    template <class T> friend LRESULT CALLBACK WndProcThunk(HWND, UINT, WPARAM, LPARAM);
    LRESULT WindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    MemoryImage image_;
    MemoryImage snapshot_;           // as taken, kept from the first change of scale on
    std::list<ImageElement> images_; // stable addresses: handlers keep references
    std::list<LabelElement> labels_;
    ImageElement *pressed_ = nullptr;
};

// A borderless window covered by its Picture1.
class SkinnedForm : public Form {
public:
    // Destroyed while loaded (end of the process): what Picture1's controls send on their way out
    // must not reach a form that is half gone.
    ~SkinnedForm() override {
        if (Handle()) SetWindowLongPtrW(Handle(), GWLP_USERDATA, 0);
    }
    PictureBox Picture1;
    // The DPI the window is laid out for: its monitor's at load, then each change's.
    Dpi LayoutDpi() const { return dpi_.x > 0 ? dpi_ : WindowDpi(Handle()); }

protected:
    int TwipsX(double twips) const { return TwipsToPixels(twips, LayoutDpi().x); }
    int TwipsY(double twips) const { return TwipsToPixels(twips, LayoutDpi().y); }
    // A box in twips (left, top, width, height) in pixels; each edge length converted on its own.
    RECT TwipsBox(double left, double top, double width, double height) const;
    // After a change of DPI has moved the window and scaled Picture1 and its snapshot: the
    // window lays out its elements and controls again at LayoutDpi() and redraws them.
    virtual void Form_DpiChanged() {}

    // Creates Picture1 with the given outer size in twips, at (x, y) in twips as designed but
    // moved so that its inside starts exactly at the client origin, whatever the DPI. Takes the
    // window's DPI first and sizes the window for it: the first layout is made at that DPI, as
    // no change is reported for a window being created.
    void CreatePicture1(double leftTw, double topTw, double widthTw, double heightTw);
    // Moves the window to (left, top) in twips on the screen.
    void MoveTwips(double leftTw, double topTw);
    // Places the window centred on the whole screen, top first then left.
    void CentreOnScreen();
    // Hide, let pending messages run, copy the screen under the client area into Picture1,
    // repaint Picture1, show. Reading the hidden window's own surface gives nothing on composited
    // desktops and under Wine, so the block comes from the screen at the client area's place.
    // False when the messages closed the window (or closed it and loaded it afresh): the load
    // that called it is over then.
    bool CaptureBackground(int x, int y);

    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void PlacePicture1();
    // The DPI from wParam (a test can send the message), the window at the rectangle suggested.
    void OnDpiChanged(Dpi dpi, const RECT &suggested);
    Dpi dpi_{0, 0};
    double picture1Twips_[4] = {};
};

} // namespace win
