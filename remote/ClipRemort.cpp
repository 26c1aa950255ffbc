#include "remote/ClipRemort.h"

#include "common/clipboard.h"
#include "common/ids.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"

#include <utility>

win::FormRef<ClipRemortForm> ClipRemort;

namespace {
// Twips.
constexpr double kLeft = 3162, kTop = 6920, kHeight = 2115;
constexpr double kPicture1[] = {-30, -30, 3735, 3075};
constexpr double kImage2Width = 630, kImage2Height = 2100;

BOOL CALLBACK MeetsWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto *probe = reinterpret_cast<std::pair<RECT, bool> *>(data);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    RECT common{};
    if (GetMonitorInfoW(monitor, &info) && IntersectRect(&common, &probe->first, &info.rcWork)) {
        probe->second = true;
        return FALSE;
    }
    return TRUE;
}

bool OnSomeWorkArea(const RECT &r) {
    std::pair<RECT, bool> probe{r, false};
    EnumDisplayMonitors(nullptr, nullptr, MeetsWorkArea, reinterpret_cast<LPARAM>(&probe));
    return probe.second;
}
} // namespace

ClipRemortForm::Frame ClipRemortForm::GetFrame() const {
    Frame f;
    f.style = WS_POPUP;
    // A floating palette of a tray program: no task bar button of its own, reached from the
    // icon's "リモコン" instead.
    f.exStyle = WS_EX_TOOLWINDOW;
    f.clientWidth = TwipsX(kImage2Width);
    f.clientHeight = TwipsY(kHeight);
    f.caption = L"ClipRemort"; // never shown (no caption bar); lets tools find the window
    return f;
}

void ClipRemortForm::Form_Load() {
    CreatePicture1(kPicture1[0], kPicture1[1], kPicture1[2], kPicture1[3]);
    // Filled from its box, which is the picture's own size in twips, at any DPI.
    win::ImageElement &image = Picture1.AddImage(TwipsBox(0, 0, kImage2Width, kImage2Height));
    image.SetPictureFromResource(IDB_REMOTE);
    image.onMouseDown = [this](int button) { Image2_MouseDown(button); };
    Image2 = &image;

    Hide();
    MoveTwips(kLeft, kTop);
    // As wide as the picture; the height keeps one row of the snapshot below it.
    SetWindowPos(Handle(), nullptr, 0, 0, TwipsX(kImage2Width), TwipsY(kHeight),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Picture1 works in pixels and keeps its drawing by construction; so does the window.
    // Closed by a message handled during the snapshot, or the program is leaving.
    if (!CaptureBackground(0, 0) || !ClipMenu.IsLoaded()) return;
    ShowWindow(Handle(), SW_SHOW);

    ClipMenu->mPrint.SetEnabled(false);
    ClipMenu->mOFF.SetEnabled(false);
    if (!ClipboardIsPicture()) return;
    if (DispSize == L"42ｲﾝﾁ") {
        ClipMenu->m42_Click();
    } else if (DispSize == L"57ｲﾝﾁ") {
        ClipMenu->m57_Click();
    } else if (DispSize == L"65ｲﾝﾁ") {
        ClipMenu->m65_Click();
    }
}

void ClipRemortForm::Form_DpiChanged() {
    if (!Image2) return;
    Image2->box = TwipsBox(0, 0, kImage2Width, kImage2Height);
    Image2->SetPictureFromResource(IDB_REMOTE);
}

void ClipRemortForm::Show() {
    const bool wasLoaded = IsLoaded();
    SkinnedForm::Show();
    // A fresh load stands at its fixed place; only a window left behind by a change of screens
    // moves.
    if (wasLoaded) BringBackIfLost();
}

// After a resolution change or an unplugged monitor the window may lie where nothing shows it,
// and it is the only way to print: back to the fixed place, or to the primary work area's corner
// when that is off every monitor too. A window any monitor shows stays where it was dragged.
void ClipRemortForm::BringBackIfLost() {
    if (!IsLoaded()) return;
    RECT r{};
    if (!GetWindowRect(Handle(), &r) || OnSomeWorkArea(r)) return;
    const int width = r.right - r.left, height = r.bottom - r.top;
    POINT to{win::TwipsToPixelsX(kLeft), win::TwipsToPixelsY(kTop)};
    const RECT home{to.x, to.y, to.x + width, to.y + height};
    if (!OnSomeWorkArea(home)) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        to = {work.left, work.top};
    }
    SetWindowPos(Handle(), nullptr, to.x, to.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT ClipRemortForm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DISPLAYCHANGE) BringBackIfLost();
    if (msg == WM_CLOSE) {
        // Alt+F4 and the like: the remote closes only through "閉じる", with its previews.
        ClipMenu->mEnd_Click();
        return 0;
    }
    if (msg == WM_DESTROY) Image2 = nullptr; // goes with Picture1
    return SkinnedForm::OnMessage(msg, wp, lp);
}

bool ClipRemortForm::ClipboardIsPicture() {
    return clip::IsPicture(clip::ContentMask());
}

void ClipRemortForm::Image2_MouseDown(int button) {
    if (button == 2) {
        if (!ClipMenu.IsLoaded()) return;
        // Both steps let messages run: this window or the program may be gone after either.
        const unsigned load = LoadId();
        const auto stillHere = [this, load] { return LoadId() == load && ClipMenu.IsLoaded(); };
        SetForegroundWindow(ClipMenu->hWnd());
        win::DoEvents();
        if (!stillHere()) return;
        const UINT cmd = ClipMenu->PopupMenu(ClipMenu->mMenu());
        if (cmd && stillHere()) ClipMenu->RunCommand(cmd);
        return;
    }
    ReleaseCapture();
    SendMessageW(Handle(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}
