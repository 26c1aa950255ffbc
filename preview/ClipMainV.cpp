#include "preview/ClipMainV.h"

#include "common/clipboard.h"
#include "common/picture/clippicture.h"
#include "common/ids.h"
#include "common/picture/picture.h"
#include "common/picture/resample.h"
#include "remote/ClipRemort.h"
#include "shell/ClipMenu.h"

#include <new>

namespace {

const PreviewGeometry k42{
    L"ClipMain42V",        7035, 3975, {-30, -30, 7545, 5685}, {30, 0, 6945, 4290}, IDB_DISP42,
    {840, 360, 5325, 3255}};
const PreviewGeometry k57{
    L"ClipMain57V",        8445, 4200, {-30, -30, 9135, 5685}, {30, 0, 8415, 4200}, IDB_DISP57,
    {780, 150, 6915, 3915}};
const PreviewGeometry k65{
    L"ClipMain65V",        8280, 5370, {-30, -30, 8685, 5805}, {0, 0, 8265, 5370}, IDB_DISP65,
    {150, 150, 7995, 4395}};

std::unique_ptr<ClipMainVForm> Make42() {
    return std::make_unique<ClipMainVForm>(k42);
}
std::unique_ptr<ClipMainVForm> Make57() {
    return std::make_unique<ClipMainVForm>(k57);
}
std::unique_ptr<ClipMainVForm> Make65() {
    return std::make_unique<ClipMainVForm>(k65);
}

// The display's artwork as last scaled, kept for the next opening: its smooth stretch costs more
// than the rest of the window's drawing, and the box changes only with the screen's scale. One
// size is kept, so that switching sizes holds no more than one window's artwork.
void SetDisplayPicture(win::ImageElement &image, UINT id) {
    static UINT keptId = 0;
    static win::MemoryImage kept;
    const int w = image.box.right - image.box.left, h = image.box.bottom - image.box.top;
    if (keptId == id && kept && kept.width() == w && kept.height() == h &&
        image.picture.Create(w, h) &&
        BitBlt(image.picture.dc(), 0, 0, w, h, kept.dc(), 0, 0, SRCCOPY))
        return;
    keptId = 0;
    kept.Reset();
    if (!image.SetPictureFromResource(id) || image.picture.width() != w ||
        image.picture.height() != h || !kept.Create(w, h))
        return;
    if (BitBlt(kept.dc(), 0, 0, w, h, image.picture.dc(), 0, 0, SRCCOPY))
        keptId = id;
    else
        kept.Reset();
}

const wchar_t kNoPicture[] = L"クリップボードに画像データがありません";
const wchar_t kNoData[] = L"クリップボードにデータが存在しません";

} // namespace

win::FormRef<ClipMainVForm> ClipMain42V(&Make42);
win::FormRef<ClipMainVForm> ClipMain57V(&Make57);
win::FormRef<ClipMainVForm> ClipMain65V(&Make65);

ClipMainVForm::Frame ClipMainVForm::GetFrame() const {
    Frame f;
    f.style = WS_POPUP;
    f.exStyle = WS_EX_TOOLWINDOW; // like the remote control: no task bar button
    f.clientWidth = TwipsX(geometry_.clientWidth);
    f.clientHeight = TwipsY(geometry_.clientHeight);
    f.caption = geometry_.name;
    return f;
}

void ClipMainVForm::Form_Load() {
    const double *p = geometry_.picture1;
    CreatePicture1(p[0], p[1], p[2], p[3]);
    // Added in drawing order: the clipboard picture lies over the display picture.
    Image1 = &Picture1.AddImage(Box(geometry_.image1));
    SetDisplayPicture(*Image1, geometry_.image1Resource);
    Image1->onClick = [this] { Image1_Click(); };
    Image2 = &Picture1.AddImage(Box(geometry_.image2));
    Image2->onClick = [this] { Image2_Click(); };

    CentreOnScreen();
    // Picture1 and the window work in pixels and keep their drawing by construction.
    // Closed by a message handled during the snapshot, or the program is leaving.
    if (!CaptureBackground(0, 0) || !ClipMenu.IsLoaded()) return;
    // The display and the snapshot stand on the screen while a producer that renders late
    // keeps the read below waiting: all of it drawn now, for no paint message runs in that wait
    // (only what was invalid by now would be, and the rest of the window would stay black).
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const unsigned load = LoadId();
    // Under Wine that drawing reaches the screen only when the thread next looks at its queue,
    // which the wait does not do. A look that matches nothing takes nothing out; sent messages
    // run, as they do in the wait itself.
    MSG none{};
    PeekMessageW(&none, Handle(), WM_NULL, WM_NULL, PM_NOREMOVE);
    if (LoadId() != load || win::Form::Exiting()) return;

    const wchar_t *message = nullptr;
    const int mask = clip::ContentMask();
    if (clip::IsPicture(mask)) {
        bool placed = false;
        try {
            placed = PlaceClipboardPicture();
        } catch (const std::bad_alloc &) {
            if (LoadId() == load) Image2->picture.Reset(); // too large for memory: as unreadable
        }
        // The exit or a close that came while the producer rendered: this load is over, quietly.
        if (LoadId() != load || win::Form::Exiting()) return;
        if (placed) {
            ClipMenu->mPrint.SetEnabled(true);
        } else {
            message = kNoPicture; // unreadable or malformed: as good as none
        }
    } else if (mask == 0) {
        message = kNoData;
    } else {
        // Text or rich text, with or without a picture beside it.
        message = kNoPicture;
    }
    if (message)
        win::ProgramModalMessageBox(Handle(), message, L"Tessary", MB_OK | MB_ICONINFORMATION);
}

RECT ClipMainVForm::Box(const double (&tw)[4]) const {
    return TwipsBox(tw[0], tw[1], tw[2], tw[3]);
}

bool ClipMainVForm::PlaceClipboardPicture() {
    const unsigned load = LoadId();
    // Read before the clipboard is: a change after this point is one the preview has not seen.
    clipboardSequence_ = GetClipboardSequenceNumber();
    {
        // Sent messages run while the owner renders a delayed picture.
        clip::ClipboardPicture picture(Handle());
        if (LoadId() != load || win::Form::Exiting()) return false;
        picture.CopyAndClose();
        picture::RowSource *rows = picture.Rows();
        if (!rows) return false;
        // Reduced once, here, by our own area average: fast on large pictures, where the
        // platform's smooth stretch is slow, and transparent pictures come out over white.
        win::MemoryImage &image = Image2->picture;
        const RECT &box = Image2->box;
        if (!image.Create(box.right - box.left, box.bottom - box.top)) return false;
        GdiFlush();
        if (!picture::Resample(picture.format(), picture.width(), picture.height(), *rows,
                               image.bits(), static_cast<std::size_t>(image.width()) * 4,
                               image.width(), image.height())) {
            image.Reset();
            return false;
        }
    }
    Picture1.Refresh();
    return true;
}

void ClipMainVForm::Form_DpiChanged() {
    if (!Image1 || !Image2) return;
    Image1->box = Box(geometry_.image1);
    Image1->SetPictureFromResource(geometry_.image1Resource);
    Image2->box = Box(geometry_.image2);
    if (!Image2->HasPicture() && !shown_) return; // opened without a picture: stays so
    // The picture it opened with, at full quality while the clipboard still holds it; otherwise
    // what is shown, resampled from the best drawing of it there was.
    if (!shown_) Image2->picture.Swap(shown_);
    bool placed = false;
    if (GetClipboardSequenceNumber() == clipboardSequence_) {
        try {
            placed = PlaceClipboardPicture();
        } catch (const std::bad_alloc &) {
        }
    }
    const RECT &b = Image2->box;
    if (placed) {
        shown_.Reset();
    } else if (!win::RescaleKeeping(Image2->picture, shown_, b.right - b.left, b.bottom - b.top)) {
        Image2->picture.Reset();
    }
}

void ClipMainVForm::Image1_Click() {
    SetActiveWindow(ClipRemort->hWnd());
}

void ClipMainVForm::Image2_Click() {
    SetActiveWindow(ClipRemort->hWnd());
}

LRESULT ClipMainVForm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        // Alt+F4 and the like: a preview closes only through "OFF", which keeps the marks true.
        ClipMenu->mOFF_Click();
        return 0;
    }
    if (msg == WM_DESTROY) Image1 = Image2 = nullptr; // they go with Picture1
    return SkinnedForm::OnMessage(msg, wp, lp);
}
