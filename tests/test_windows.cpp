// The remote control and the display previews in process, with ClipMenu loaded: size switching,
// geometry at 96 DPI, the preview's messages by content mask, malformed pictures, colours on the
// display's screen, the remote's load handler and mouse, and the artwork at each scale.
#include "common/picture/bigalloc.h"
#include "common/picture/pngdecoder.h"
#include "common/picture/resample.h"
#include "common/clipboard.h"
#include "common/form.h"
#include "common/basClipMain.h"
#include "common/ids.h"
#include "common/skin.h"
#include "preview/ClipMainV.h"
#include "remote/ClipRemort.h"
#include "settings/ClipSetting.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"
#include "tests/picture_samples.h"
#include "tests/soak/gui_counts.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

const wchar_t kNoPicture[] = L"クリップボードに画像データがありません";
const wchar_t kNoData[] = L"クリップボードにデータが存在しません";

// ClipMenu, which owns the menus, is loaded once for the whole program (loading and unloading it
// adds and removes the tray icon, which is slow under Wine); each test starts from its initial
// menu states with no other window open.
class ShellUp : public ::testing::Environment {
public:
    void SetUp() override {
        win::Form::SetOnLastUnload([] {});
        testutil::EmptyTheClipboard();
        ClipMenu->Load();
    }
    void TearDown() override {
        if (ClipMenu.IsLoaded()) ClipMenu->mEnd2_Click();
    }
};
const auto *const kEnv = ::testing::AddGlobalTestEnvironment(new ShellUp);

// A preview's layout in pixels at 96 DPI.
struct Layout {
    SIZE client;
    SIZE picture1; // outer size, border included; placed at (-2, -2)
    RECT image1, image2;
};
const Layout k42At96 = {{469, 265}, {503, 379}, {2, 0, 465, 286}, {56, 24, 411, 241}};
const Layout k57At96 = {{563, 280}, {609, 379}, {2, 0, 563, 280}, {52, 10, 513, 271}};
const Layout k65At96 = {{552, 358}, {579, 387}, {0, 0, 551, 358}, {10, 10, 543, 303}};

// One display size: its menu item, window and command, and its layout.
struct Size {
    const char *name;
    MenuItem ClipMenuForm::*item;
    win::FormRef<ClipMainVForm> *form;
    void (ClipMenuForm::*click)();
    const Layout *at96;
};

const Size kSizes[] = {
    {"42", &ClipMenuForm::m42, &ClipMain42V, &ClipMenuForm::m42_Click, &k42At96},
    {"57", &ClipMenuForm::m57, &ClipMain57V, &ClipMenuForm::m57_Click, &k57At96},
    {"65", &ClipMenuForm::m65, &ClipMain65V, &ClipMenuForm::m65_Click, &k65At96},
};

void Click(const Size &s) {
    (ClipMenu.get().*s.click)();
}

// Which sizes are checked, and which previews are loaded, as "42", "4257", "" ...
std::string Checked() {
    std::string out;
    for (const Size &s : kSizes)
        if ((ClipMenu.get().*s.item).Checked()) out += s.name;
    return out;
}
std::string Loaded() {
    std::string out;
    for (const Size &s : kSizes)
        if (s.form->IsLoaded()) out += s.name;
    return out;
}

bool Near(COLORREF a, COLORREF b, int tolerance = 8) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// What Picture1 draws: the snapshot with the images over it.
class Drawn {
public:
    explicit Drawn(win::SkinnedForm &form) {
        image_.Create(form.Picture1.ScaleWidth(), form.Picture1.ScaleHeight());
        SendMessageW(form.Picture1.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(image_.dc()),
                     PRF_CLIENT);
    }
    bool SameAs(const Drawn &o) const {
        return image_.width() == o.image_.width() && image_.height() == o.image_.height() &&
               std::equal(image_.bits(),
                          image_.bits() +
                              static_cast<std::size_t>(image_.width()) * image_.height() * 4,
                          o.image_.bits());
    }
    COLORREF At(int x, int y) const {
        const unsigned char *p = image_.bits() + (static_cast<size_t>(y) * image_.width() + x) * 4;
        return RGB(p[2], p[1], p[0]);
    }

private:
    win::MemoryImage image_;
};

COLORREF ScreenCentre(ClipMainVForm &form) {
    const RECT &b = form.Image2->box;
    return Drawn(form).At((b.left + b.right) / 2, (b.top + b.bottom) / 2);
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ClipMenu.IsLoaded());
        ASSERT_TRUE(testutil::EmptyTheClipboard());
        testutil::Pump(20ms);
        ClipMenu->mEnd_Click();
        for (MenuItem *m : {&ClipMenu->mOFF, &ClipMenu->mPrint})
            m->SetEnabled(true);
        DispSize = L"none"; // no preview opens by itself unless a test asks for one
    }
    void TearDown() override {
        ClipMenu->mEnd_Click();
        EXPECT_FALSE(ClipRemort.IsLoaded());
        EXPECT_EQ(Loaded(), "");
        EXPECT_EQ(Checked(), "");
    }
    // Puts a picture on the clipboard and lets the clipboard watch react (it shows the remote).
    void PutPicture(const std::vector<unsigned char> &dib) {
        ASSERT_TRUE(testutil::SetClipboardDib(dib));
        testutil::Pump(100ms);
    }
    void PutFormats(bool text, bool bitmap, bool dib, bool rtf) {
        ASSERT_TRUE(testutil::SetClipboardFormats(text, bitmap, dib, rtf));
        testutil::Pump(100ms);
    }
    static std::vector<unsigned char> Solid(COLORREF c) {
        return testutil::MakeDib(16, 16, [c](int, int) { return c; });
    }
    bool RemoteIsActive() {
        return ClipRemort.IsLoaded() && GetActiveWindow() == ClipRemort->hWnd();
    }
    // The 42-inch preview opened on what the clipboard holds says there is no picture, shows
    // none and leaves Print disabled.
    void ExpectNoPictureIn42() {
        ClipMenu->mPrint.SetEnabled(false);
        boxes_.Clear();
        ClipMenu->m42_Click();
        ASSERT_TRUE(ClipMain42V.IsLoaded());
        const auto seen = boxes_.Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, kNoPicture);
        EXPECT_FALSE(ClipMenu->mPrint.Enabled());
        EXPECT_FALSE(ClipMain42V->Image2->HasPicture());
    }

    testutil::ModalWatcher boxes_;
};

bool Is96Dpi() {
    return std::lround(win::TwipsPerPixelX()) == 15 && std::lround(win::TwipsPerPixelY()) == 15;
}

// --- size switching, row by row of the state table ---------------------------------------------

class SizeFromNone : public Windows, public ::testing::WithParamInterface<Size> {};

TEST_P(SizeFromNone, MarksLoadsAndEnablesOff) {
    const Size &s = GetParam();
    PutPicture(samples::Quadrants(40, 30));
    ClipMenu->mOFF.SetEnabled(false);
    Click(s);
    EXPECT_EQ(Checked(), s.name);
    EXPECT_EQ(Loaded(), s.name);
    EXPECT_TRUE(IsWindowVisible(s.form->get().hWnd()));
    EXPECT_TRUE(ClipMenu->mOFF.Enabled());
    EXPECT_TRUE(RemoteIsActive());
    EXPECT_TRUE(boxes_.Seen().empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeFromNone, ::testing::ValuesIn(kSizes),
                         [](const auto &info) { return std::string("S") + info.param.name; });

struct Pair {
    Size from, to;
};
std::vector<Pair> AllPairs() {
    std::vector<Pair> out;
    for (const Size &a : kSizes)
        for (const Size &b : kSizes)
            if (&a != &b) out.push_back({a, b});
    return out;
}

class SizeToAnother : public Windows, public ::testing::WithParamInterface<Pair> {};

TEST_P(SizeToAnother, ClosesTheOldAndOpensTheNewWithTheCurrentPicture) {
    const Pair &p = GetParam();
    PutPicture(Solid(RGB(255, 0, 0)));
    Click(p.from);
    ASSERT_EQ(Loaded(), p.from.name);
    EXPECT_TRUE(Near(ScreenCentre(p.from.form->get()), RGB(255, 0, 0)));

    PutPicture(Solid(RGB(0, 255, 0)));
    Click(p.to);
    EXPECT_EQ(Checked(), p.to.name);
    EXPECT_EQ(Loaded(), p.to.name);
    EXPECT_TRUE(ClipMenu->mOFF.Enabled());
    EXPECT_TRUE(RemoteIsActive());
    EXPECT_TRUE(Near(ScreenCentre(p.to.form->get()), RGB(0, 255, 0)));
}

INSTANTIATE_TEST_SUITE_P(Pairs, SizeToAnother, ::testing::ValuesIn(AllPairs()),
                         [](const auto &info) {
                             return std::string("From") + info.param.from.name + "To" +
                                    info.param.to.name;
                         });

class SizeAgain : public Windows, public ::testing::WithParamInterface<Size> {};

TEST_P(SizeAgain, KeepsThePreviewAndItsPictureButEnablesOff) {
    const Size &s = GetParam();
    PutPicture(Solid(RGB(255, 0, 0)));
    Click(s);
    const HWND first = s.form->get().hWnd();
    ClipMenu->mOFF.SetEnabled(false);
    PutPicture(Solid(RGB(0, 0, 255)));
    SetActiveWindow(first);

    Click(s);
    EXPECT_EQ(Checked(), s.name);
    EXPECT_EQ(s.form->get().hWnd(), first);
    EXPECT_TRUE(ClipMenu->mOFF.Enabled());
    EXPECT_TRUE(RemoteIsActive());
    EXPECT_TRUE(Near(ScreenCentre(s.form->get()), RGB(255, 0, 0))) << "the old picture stays";
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeAgain, ::testing::ValuesIn(kSizes),
                         [](const auto &info) { return std::string("S") + info.param.name; });

// Start state for the OFF and close rows: none (-1) or a size.
class FromAnyState : public Windows, public ::testing::WithParamInterface<int> {
protected:
    void Enter() {
        PutPicture(samples::Quadrants(40, 30));
        ClipRemort->Show();
        if (GetParam() >= 0) Click(kSizes[GetParam()]);
    }
};

TEST_P(FromAnyState, OffClearsMarksDisablesItselfAndClosesThePreviews) {
    Enter();
    const bool printBefore = ClipMenu->mPrint.Enabled();
    ClipMenu->mOFF_Click();
    EXPECT_EQ(Checked(), "");
    EXPECT_FALSE(ClipMenu->mOFF.Enabled());
    EXPECT_EQ(Loaded(), "");
    EXPECT_TRUE(ClipRemort.IsLoaded()) << "OFF leaves the remote control";
    EXPECT_EQ(ClipMenu->mPrint.Enabled(), printBefore);
}

TEST_P(FromAnyState, CloseClosesPreviewsAndRemoteAndClearsMarks) {
    Enter();
    ClipMenu->mEnd_Click();
    EXPECT_EQ(Checked(), "");
    EXPECT_EQ(Loaded(), "");
    EXPECT_FALSE(ClipRemort.IsLoaded());
    EXPECT_TRUE(ClipMenu.IsLoaded());
}

INSTANTIATE_TEST_SUITE_P(States, FromAnyState, ::testing::Values(-1, 0, 1, 2),
                         [](const auto &info) {
                             return info.param < 0 ? std::string("None")
                                                   : std::string("S") + kSizes[info.param].name;
                         });

TEST_F(Windows, AfterOffASizeOpensAfresh) {
    // Each load of a preview with an empty clipboard shows its message once.
    ClipMenu->m42_Click();
    ClipMenu->mOFF_Click();
    ClipMenu->m42_Click();
    EXPECT_EQ(Loaded(), "42");
    EXPECT_EQ(Checked(), "42");
    EXPECT_EQ(boxes_.Seen().size(), 2u);
}

// The display's artwork, kept scaled between openings, is what a fresh scaling of it gives: on
// the first opening, on the next, and after another size took the place.
TEST_F(Windows, DisplayArtworkIsTheSameOnEveryOpening) {
    PutPicture(samples::Quadrants(40, 30));
    const auto artwork = [] {
        const win::MemoryImage &p = ClipMain42V->Image1->picture;
        return std::vector<unsigned char>(p.bits(),
                                          p.bits() + std::size_t{4} * p.width() * p.height());
    };
    ClipMenu->m42_Click();
    win::ImageElement fresh;
    fresh.box = ClipMain42V->Image1->box;
    ASSERT_TRUE(fresh.SetPictureFromResource(IDB_DISP42));
    const std::vector<unsigned char> expected(
        fresh.picture.bits(),
        fresh.picture.bits() + std::size_t{4} * fresh.picture.width() * fresh.picture.height());
    EXPECT_EQ(artwork(), expected);
    for (auto other : {&ClipMenuForm::mOFF_Click, &ClipMenuForm::m57_Click}) {
        (ClipMenu.get().*other)();
        ClipMenu->m42_Click();
        ASSERT_TRUE(ClipMain42V.IsLoaded());
        EXPECT_EQ(artwork(), expected);
    }
}

TEST_F(Windows, EmptyClipboardStillOpensAndChecksTheSize) {
    ClipMenu->mPrint.SetEnabled(false);
    ClipMenu->m57_Click();
    EXPECT_EQ(Checked(), "57");
    EXPECT_EQ(Loaded(), "57");
    EXPECT_FALSE(ClipMenu->mPrint.Enabled());
    const auto seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, kNoData);
    EXPECT_FALSE(ClipMain57V->Image2->HasPicture());
}

TEST_F(Windows, SizeCommandsNeverTouchTheSetting) {
    PutPicture(samples::Quadrants(40, 30));
    DispSize = L"65ｲﾝﾁ";
    for (const Size &s : kSizes)
        Click(s);
    ClipMenu->mOFF_Click();
    EXPECT_EQ(DispSize, L"65ｲﾝﾁ");
}

// --- a close request from outside (Alt+F4) ----------------------------------------------------

class CloseRequest : public Windows, public ::testing::WithParamInterface<Size> {};

TEST_P(CloseRequest, OnAPreviewRunsOffAndTheSizeOpensAgain) {
    const Size &s = GetParam();
    PutPicture(samples::Quadrants(40, 30));
    Click(s);
    ASSERT_EQ(Loaded(), s.name);
    // Alt+F4 asks through the system command, which asks with WM_CLOSE.
    SendMessageW(s.form->get().hWnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(Loaded(), "");
    EXPECT_EQ(Checked(), "");
    EXPECT_FALSE(ClipMenu->mOFF.Enabled());
    EXPECT_TRUE(ClipRemort.IsLoaded());
    Click(s);
    EXPECT_EQ(Loaded(), s.name);
    EXPECT_EQ(Checked(), s.name);
}

TEST_P(CloseRequest, OnTheRemoteRunsCloseAndTheSizeOpensAgain) {
    const Size &s = GetParam();
    PutPicture(samples::Quadrants(40, 30));
    Click(s);
    SendMessageW(ClipRemort->hWnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(ClipRemort.IsLoaded());
    EXPECT_EQ(Loaded(), "");
    EXPECT_EQ(Checked(), "");
    Click(s);
    EXPECT_EQ(Loaded(), s.name);
    EXPECT_EQ(Checked(), s.name);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CloseRequest, ::testing::ValuesIn(kSizes),
                         [](const auto &info) { return std::string("S") + info.param.name; });

// --- re-entry: a size command that runs while a preview loads ----------------------------------

int g_created42 = 0;
LRESULT CALLBACK CountCreations(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
        const auto *cs = reinterpret_cast<CBT_CREATEWNDW *>(lp)->lpcs;
        if (cs->lpszName && HIWORD(reinterpret_cast<ULONG_PTR>(cs->lpszName)) != 0 &&
            std::wstring(cs->lpszName) == L"ClipMain42V")
            ++g_created42;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

// Which queued size commands ran, and whether the 42-inch preview was loading at the time.
std::vector<std::pair<WPARAM, bool>> g_commands;
LRESULT CALLBACK WatchCommands(int code, WPARAM wp, LPARAM lp) {
    const MSG *m = reinterpret_cast<MSG *>(lp);
    if (code == HC_ACTION && wp == PM_REMOVE && m->message == WM_COMMAND &&
        (m->wParam == ID_M42 || m->wParam == ID_M57))
        g_commands.push_back({m->wParam, ClipMain42V.IsLoaded()});
    return CallNextHookEx(nullptr, code, wp, lp);
}

class Reentry : public Windows {
protected:
    void SetUp() override {
        Windows::SetUp();
        g_created42 = 0;
        g_commands.clear();
        cbt_ = SetWindowsHookExW(WH_CBT, CountCreations, nullptr, GetCurrentThreadId());
        msg_ = SetWindowsHookExW(WH_GETMESSAGE, WatchCommands, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        UnhookWindowsHookEx(cbt_);
        UnhookWindowsHookEx(msg_);
        Windows::TearDown();
    }
    HHOOK cbt_ = nullptr, msg_ = nullptr;
};

TEST_F(Reentry, SameSizeDuringItsLoadDoesNotLoadItTwice) {
    ClipMenu->mRem_Click(); // as in use: the size commands come from the remote control
    PostMessageW(ClipMenu->hWnd(), WM_COMMAND, ID_M42, 0);
    ClipMenu->m42_Click();
    testutil::Pump(50ms);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_TRUE(g_commands[0].second) << "the queued command ran during the load";
    EXPECT_EQ(g_created42, 1);
    EXPECT_EQ(boxes_.Seen().size(), 1u); // one load, one message
    EXPECT_EQ(Checked(), "42");
    EXPECT_EQ(Loaded(), "42");
    EXPECT_TRUE(ClipMenu->mOFF.Enabled());
}

TEST_F(Reentry, OtherSizeDuringALoadLeavesMarksAndWindowsInStep) {
    PutPicture(samples::Quadrants(40, 30));
    PostMessageW(ClipMenu->hWnd(), WM_COMMAND, ID_M57, 0);
    ClipMenu->m42_Click();
    testutil::Pump(50ms);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_TRUE(g_commands[0].second);
    EXPECT_EQ(Checked(), "57");
    EXPECT_EQ(Loaded(), "57");
    EXPECT_TRUE(ClipMenu->mPrint.Enabled());
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST_F(Reentry, TwoSizesQueuedDuringASnapshotOpenOnePreviewOverTheDesktop) {
    // 57 closes the loading 42 and opens, 42 then closes the loading 57 and opens afresh: the
    // first load of 42 must not go on over the second.
    const auto queueBoth = [] {
        g_commands.clear();
        PostMessageW(ClipMenu->hWnd(), WM_COMMAND, ID_M57, 0);
        PostMessageW(ClipMenu->hWnd(), WM_COMMAND, ID_M42, 0);
        ClipMenu->m42_Click();
        testutil::Pump(50ms);
        EXPECT_EQ(g_commands.size(), 2u);
        EXPECT_EQ(Loaded(), "42");
    };
    const COLORREF magenta = RGB(255, 0, 255);
    PutPicture(Solid(magenta));
    queueBoth();
    EXPECT_EQ(Checked(), "42");
    ClipMainVForm &f = ClipMain42V.get();
    // The snapshot alone, without the images over it: the desktop, not the window's own picture.
    win::MemoryImage &snapshot = f.Picture1.Image();
    const RECT &b = f.Image2->box;
    const int x = (b.left + b.right) / 2, y = (b.top + b.bottom) / 2;
    const unsigned char *p = snapshot.bits() + (static_cast<size_t>(y) * snapshot.width() + x) * 4;
    EXPECT_FALSE(Near(RGB(p[2], p[1], p[0]), magenta)) << "the preview took itself as background";
    EXPECT_TRUE(Near(ScreenCentre(f), magenta));
    EXPECT_TRUE(boxes_.Seen().empty());

    // On an empty clipboard every load that goes on to its end says so: one box.
    ClipMenu->mOFF_Click();
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    testutil::Pump(50ms);
    queueBoth();
    EXPECT_LE(boxes_.Seen().size(), 1u);
}

// --- geometry at 96 DPI -----------------------------------------------------------------------

RECT RectOnClient(HWND child, HWND parent) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

TEST_F(Windows, RemoteStandsAtItsPlaceWithThePictureAndOneSnapshotRow) {
    if (!Is96Dpi()) GTEST_SKIP() << "geometry is given for 96 DPI";
    ClipMenu->mRem_Click();
    ClipRemortForm &r = ClipRemort.get();
    const HWND h = r.hWnd();
    RECT wr{}, cr{};
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    EXPECT_EQ(wr.left, 211);
    EXPECT_EQ(wr.top, 461);
    EXPECT_EQ(wr.right - wr.left, 42);
    EXPECT_EQ(wr.bottom - wr.top, 141);
    EXPECT_EQ(cr.right, 42);
    EXPECT_EQ(cr.bottom, 141);
    EXPECT_TRUE(IsWindowVisible(h));

    const LONG style = GetWindowLongW(h, GWL_STYLE), ex = GetWindowLongW(h, GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0);
    EXPECT_EQ(ex & WS_EX_TOPMOST, 0) << "not kept above other windows";
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(h, rgn), ERROR) << "no window region";
    DeleteObject(rgn);

    // Picture1 at -2, -2 with its border outside; its inside starts at the client origin.
    const RECT p = RectOnClient(r.Picture1.hwnd(), h);
    EXPECT_EQ(p.left, -2);
    EXPECT_EQ(p.top, -2);
    EXPECT_EQ(p.right - p.left, 249);
    EXPECT_EQ(p.bottom - p.top, 205);
    POINT origin{0, 0};
    MapWindowPoints(r.Picture1.hwnd(), h, &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);

    ASSERT_NE(r.Image2, nullptr);
    EXPECT_TRUE(r.Image2->stretch) << "filled from its box, the picture's size in twips";
    EXPECT_EQ(r.Image2->picture.width(), 42);
    EXPECT_EQ(r.Image2->picture.height(), 140);
    // Only the picture answers the mouse; the row below it does not.
    EXPECT_EQ(r.Picture1.HitTest({20, 139}), r.Image2);
    EXPECT_EQ(r.Picture1.HitTest({41, 0}), r.Image2);
    EXPECT_EQ(r.Picture1.HitTest({20, 140}), nullptr);
}

class PreviewGeometryTest : public Windows, public ::testing::WithParamInterface<Size> {};

TEST_P(PreviewGeometryTest, CentredWithItsLayout) {
    if (!Is96Dpi()) GTEST_SKIP() << "geometry is given for 96 DPI";
    const Size &s = GetParam();
    const Layout &l = *s.at96;
    PutPicture(samples::Quadrants(40, 30));
    Click(s);
    ClipMainVForm &f = s.form->get();
    const HWND h = f.hWnd();
    RECT wr{}, cr{};
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    EXPECT_EQ(cr.right, l.client.cx);
    EXPECT_EQ(cr.bottom, l.client.cy);
    EXPECT_EQ(wr.right - wr.left, l.client.cx) << "no frame";
    const double sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LE(std::abs(wr.left - (sw - l.client.cx) / 2), 0.5);
    EXPECT_LE(std::abs(wr.top - (sh - l.client.cy) / 2), 0.5);

    const RECT p = RectOnClient(f.Picture1.hwnd(), h);
    EXPECT_EQ(p.left, -2);
    EXPECT_EQ(p.top, -2);
    EXPECT_EQ(p.right - p.left, l.picture1.cx);
    EXPECT_EQ(p.bottom - p.top, l.picture1.cy);

    ASSERT_NE(f.Image1, nullptr);
    ASSERT_NE(f.Image2, nullptr);
    EXPECT_TRUE(EqualRect(&f.Image1->box, &l.image1));
    EXPECT_TRUE(EqualRect(&f.Image2->box, &l.image2));
    EXPECT_TRUE(f.Image1->stretch);
    EXPECT_TRUE(f.Image2->stretch);
    EXPECT_EQ(f.Image1->picture.width(), l.image1.right - l.image1.left);
    EXPECT_EQ(f.Image2->picture.height(), l.image2.bottom - l.image2.top);
    // The clipboard picture lies over the display picture.
    EXPECT_EQ(f.Picture1.HitTest({l.image2.left + 5, l.image2.top + 5}), f.Image2);
    EXPECT_EQ(f.Picture1.HitTest({l.image2.left - 3, l.image2.top + 5}), f.Image1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PreviewGeometryTest, ::testing::ValuesIn(kSizes),
                         [](const auto &info) { return std::string("S") + info.param.name; });

// --- the preview's messages by content mask -----------------------------------------------------

struct MaskRow {
    int mask;
    const wchar_t *message; // null: the picture is shown
};

class Messages : public Windows, public ::testing::WithParamInterface<MaskRow> {};

TEST_P(Messages, ByContentMask) {
    const MaskRow &row = GetParam();
    PutFormats(row.mask & 1, row.mask & 2, row.mask & 4, row.mask & 8);
    const int mask = clip::ContentMask(); // the platform may add a picture format it derives
    ClipMenu->mPrint.SetEnabled(false);
    boxes_.Clear();
    ClipMenu->m42_Click();
    const auto seen = boxes_.Seen();
    ASSERT_TRUE(ClipMain42V.IsLoaded()) << "the window stays open either way";
    if (!row.message) {
        EXPECT_TRUE(seen.empty()) << "mask " << mask;
        EXPECT_TRUE(ClipMenu->mPrint.Enabled()) << "mask " << mask;
        EXPECT_TRUE(ClipMain42V->Image2->HasPicture());
        return;
    }
    ASSERT_EQ(seen.size(), 1u) << "mask " << mask;
    EXPECT_EQ(seen[0].title, L"Tessary");
    EXPECT_EQ(seen[0].text, row.message) << "mask " << mask;
    EXPECT_EQ(seen[0].icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_FALSE(ClipMenu->mPrint.Enabled());
    EXPECT_FALSE(ClipMain42V->Image2->HasPicture());
}

const MaskRow kMaskRows[] = {
    {0, kNoData},     {1, kNoPicture},  {2, nullptr},     {3, kNoPicture},
    {4, nullptr},     {5, kNoPicture},  {6, nullptr},     {7, kNoPicture},
    {8, kNoPicture},  {9, kNoPicture},  {10, kNoPicture}, {11, kNoPicture},
    {12, kNoPicture}, {13, kNoPicture}, {14, kNoPicture}, {15, kNoPicture},
};

INSTANTIATE_TEST_SUITE_P(Masks, Messages, ::testing::ValuesIn(kMaskRows),
                         [](const auto &info) { return "Mask" + std::to_string(info.param.mask); });

class MalformedOnClipboard : public Windows,
                             public ::testing::WithParamInterface<samples::Malformed> {};

TEST_P(MalformedOnClipboard, CountsAsNoPicture) {
    PutPicture(GetParam().bytes);
    ExpectNoPictureIn42();
}

// Memory running out while a picture is placed: the preview says so, as for a picture it cannot
// read, and a clipboard change that meets it leaves the program running.
TEST_F(Windows, PictureTooLargeForMemoryIsAsGoodAsNone) {
    PutPicture(samples::Quadrants(40, 30));
    bigalloc::FailNextOver(0);
    ExpectNoPictureIn42();

    ClipMenu->mEnd_Click();
    boxes_.Clear();
    const std::wstring size = DispSize;
    DispSize = L"42ｲﾝﾁ";
    bigalloc::FailNextOver(0);
    SendMessageW(ClipMenu->hWnd(), WM_DRAWCLIPBOARD, 0, 0);
    bigalloc::FailNextOver(std::numeric_limits<std::size_t>::max());
    DispSize = size;
    EXPECT_TRUE(ClipMenu.IsLoaded());
    EXPECT_TRUE(ClipRemort.IsLoaded());
    const auto seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, kNoPicture);

    // A PNG runs out in the decoder's strip: 4 bytes a pixel, more than the PNG's 3.
    ClipMenu->mEnd_Click();
    const auto png = samples::QuadrantsPng(320, 200);
    ASSERT_TRUE(testutil::SetClipboardBlock(testutil::PngFormat(), png));
    bigalloc::FailNextOver(png.size());
    ExpectNoPictureIn42();
    bigalloc::FailNextOver(std::numeric_limits<std::size_t>::max());
}

INSTANTIATE_TEST_SUITE_P(Blocks, MalformedOnClipboard,
                         ::testing::ValuesIn(samples::MalformedPictures()),
                         [](const auto &info) { return info.param.name; });

// --- the picture on the display's screen ------------------------------------------------------

void ExpectQuadrantsInScreenArea(ClipMainVForm &f) {
    ASSERT_NE(f.Image2, nullptr);
    const RECT &b = f.Image2->box;
    const Drawn d(f);
    const int w = b.right - b.left, h = b.bottom - b.top;
    const int x1 = b.left + w / 4, x3 = b.left + 3 * w / 4;
    const int y1 = b.top + h / 4, y3 = b.top + 3 * h / 4;
    EXPECT_TRUE(Near(d.At(x1, y1), RGB(255, 0, 0)));
    EXPECT_TRUE(Near(d.At(x3, y1), RGB(0, 255, 0)));
    EXPECT_TRUE(Near(d.At(x1, y3), RGB(0, 0, 255)));
    EXPECT_TRUE(Near(d.At(x3, y3), RGB(255, 255, 0)));
    // Filled to the edges of the box and not beyond: the corners are the picture's, the pixels
    // just outside are the display's.
    EXPECT_TRUE(Near(d.At(b.left, b.top), RGB(255, 0, 0), 40));
    EXPECT_TRUE(Near(d.At(b.right - 1, b.bottom - 1), RGB(255, 255, 0), 40));
    EXPECT_FALSE(Near(d.At(b.left - 1, y1), RGB(255, 0, 0), 60));
    EXPECT_FALSE(Near(d.At(b.right, y3), RGB(255, 255, 0), 60));
}

class Colours : public Windows, public ::testing::WithParamInterface<Size> {};

TEST_P(Colours, QuadrantsLandInTheirCornersOfTheScreenArea) {
    const Size &s = GetParam();
    PutPicture(samples::Quadrants(320, 200));
    Click(s);
    ExpectQuadrantsInScreenArea(s.form->get());
}

INSTANTIATE_TEST_SUITE_P(Sizes, Colours, ::testing::ValuesIn(kSizes),
                         [](const auto &info) { return std::string("S") + info.param.name; });

TEST_F(Windows, HugePictureIsStretchedIntoTheScreenArea) {
    PutPicture(samples::Quadrants8(8000, 8000));
    ClipMenu->mPrint.SetEnabled(false);
    const auto start = std::chrono::steady_clock::now();
    ClipMenu->m42_Click();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_TRUE(ClipMenu->mPrint.Enabled());
    ExpectQuadrantsInScreenArea(ClipMain42V.get());
    EXPECT_LT(took, 30s);
    // Held as the stretched copy only: repainting does not go back to the clipboard.
    EXPECT_EQ(ClipMain42V->Image2->picture.width(), 355);
    EXPECT_EQ(ClipMain42V->Image2->picture.height(), 217);
}

TEST_F(Windows, PngAloneBringsUpTheRemoteAndThePreviewShowsIt) {
    DispSize = L"42ｲﾝﾁ";
    ClipMenu->mPrint.SetEnabled(false);
    boxes_.Clear();
    ASSERT_TRUE(
        testutil::SetClipboardBlock(testutil::PngFormat(), samples::QuadrantsPng(320, 200)));
    ASSERT_TRUE(testutil::PumpUntil([] { return ClipMain42V.IsLoaded(); }));
    EXPECT_TRUE(ClipRemort.IsLoaded());
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_TRUE(ClipMenu->mPrint.Enabled());
    ExpectQuadrantsInScreenArea(ClipMain42V.get());
}

// Every refused stream takes the one way of a refused picture; the clipboard tests feed them all.
TEST_F(Windows, PngBesideTextOrBrokenIsNoPicture) {
    const auto huge = samples::BadPngs()[2];
    ASSERT_EQ(huge.error, picture::PngError::TooLarge);
    for (const bool broken : {false, true}) {
        SCOPED_TRACE(broken ? huge.name : "beside text");
        ClipMenu->mEnd_Click();
        ASSERT_TRUE(testutil::SetClipboardBlock(
            testutil::PngFormat(), broken ? huge.bytes : samples::QuadrantsPng(16, 16), !broken));
        testutil::Pump(100ms);
        ExpectNoPictureIn42();
    }
}

TEST_F(Windows, TransparencyIsShownOverWhite) {
    const auto v5 =
        samples::AlphaV5(320, 200, [](int x, int y) { return samples::HalfClear(x, y, 320, 200); });
    // As CF_DIBV5, and as the same V5 block offered as CF_DIB.
    for (UINT format : {UINT{CF_DIBV5}, UINT{CF_DIB}}) {
        SCOPED_TRACE(format);
        ClipMenu->mEnd_Click();
        ASSERT_TRUE(testutil::SetClipboardBlock(format, v5));
        testutil::Pump(100ms);
        ClipMenu->m42_Click();
        const RECT &b = ClipMain42V->Image2->box;
        const Drawn d(ClipMain42V.get());
        const int w = b.right - b.left, h = b.bottom - b.top;
        EXPECT_TRUE(Near(d.At(b.left + w / 4, b.top + h / 3), RGB(255, 255, 255), 2));
        EXPECT_TRUE(Near(d.At(b.left + 3 * w / 4, b.top + h / 3), RGB(0, 0, 255), 2));
        EXPECT_TRUE(Near(d.At(b.left + w / 2, b.top + 7 * h / 8), RGB(255, 127, 127), 2));
    }
    ClipMenu->mEnd_Click();
    PutPicture(samples::Bgrx32(64, 64, RGB(10, 20, 30)));
    ClipMenu->m42_Click();
    EXPECT_EQ(ScreenCentre(ClipMain42V.get()), RGB(10, 20, 30));
}

TEST_F(Windows, OpenPreviewKeepsItsPictureWhenTheClipboardChanges) {
    PutPicture(samples::Quadrants(40, 30));
    ClipMenu->m65_Click();
    PutFormats(true, false, false, false);
    InvalidateRect(ClipMain65V->Picture1.hwnd(), nullptr, FALSE);
    testutil::Pump(50ms);
    ExpectQuadrantsInScreenArea(ClipMain65V.get());
}

// --- the remote control's load handler ---------------------------------------------------------

struct NoPreviewRow {
    const char *name;
    bool text, bitmap, dib, rtf;
};

class RemoteWithoutPicture : public Windows, public ::testing::WithParamInterface<NoPreviewRow> {};

TEST_P(RemoteWithoutPicture, DisablesPrintAndOffAndOpensNoPreview) {
    const NoPreviewRow &row = GetParam();
    PutFormats(row.text, row.bitmap, row.dib, row.rtf);
    DispSize = L"42ｲﾝﾁ";
    ClipMenu->mPrint.SetEnabled(true);
    ClipMenu->mOFF.SetEnabled(true);
    ClipMenu->mRem_Click();
    ASSERT_TRUE(ClipRemort.IsLoaded());
    EXPECT_TRUE(IsWindowVisible(ClipRemort->hWnd()));
    EXPECT_FALSE(ClipMenu->mPrint.Enabled());
    EXPECT_FALSE(ClipMenu->mOFF.Enabled());
    EXPECT_EQ(Loaded(), "");
    EXPECT_EQ(Checked(), "");
    EXPECT_TRUE(boxes_.Seen().empty());
}

INSTANTIATE_TEST_SUITE_P(Clipboards, RemoteWithoutPicture,
                         ::testing::Values(NoPreviewRow{"Empty", false, false, false, false},
                                           NoPreviewRow{"TextAndBitmap", true, true, false, false},
                                           NoPreviewRow{"RichTextAndDib", false, false, true,
                                                        true}),
                         [](const auto &info) { return std::string(info.param.name); });

struct DispSizeRow {
    const char *name;
    const wchar_t *dispSize;
    const char *opens;
};

class RemoteOpensDispSize : public Windows, public ::testing::WithParamInterface<DispSizeRow> {};

TEST_P(RemoteOpensDispSize, OnlyForAnExactMatch) {
    const DispSizeRow &row = GetParam();
    PutPicture(samples::Quadrants(40, 30)); // the watch brings up the remote, nothing else
    ClipMenu->mEnd_Click();
    ASSERT_FALSE(ClipRemort.IsLoaded());

    DispSize = row.dispSize;
    ClipMenu->mRem_Click();
    ASSERT_TRUE(ClipRemort.IsLoaded());
    EXPECT_EQ(Loaded(), row.opens);
    EXPECT_EQ(Checked(), row.opens);
    // The preview that opened showed the picture; without one, print stays disabled.
    EXPECT_EQ(ClipMenu->mPrint.Enabled(), *row.opens != '\0');
    EXPECT_EQ(ClipMenu->mOFF.Enabled(), *row.opens != '\0');
    if (*row.opens) {
        EXPECT_TRUE(RemoteIsActive());
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, RemoteOpensDispSize,
                         ::testing::Values(DispSizeRow{"Is42", L"42ｲﾝﾁ", "42"},
                                           DispSizeRow{"Is57", L"57ｲﾝﾁ", "57"},
                                           DispSizeRow{"Is65", L"65ｲﾝﾁ", "65"},
                                           DispSizeRow{"TrailingSpace", L"57ｲﾝﾁ ", ""},
                                           DispSizeRow{"LeadingSpace", L" 57ｲﾝﾁ", ""},
                                           DispSizeRow{"FullWidthDigits", L"５７ｲﾝﾁ", ""},
                                           DispSizeRow{"FullWidthKatakana", L"57インチ", ""},
                                           DispSizeRow{"NumberOnly", L"57", ""},
                                           DispSizeRow{"Empty", L"", ""}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Windows, RemoteShownAgainIsOnlyShown) {
    ClipMenu->mRem_Click();
    const HWND h = ClipRemort->hWnd();
    SetWindowPos(h, nullptr, 300, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    DispSize = L"42ｲﾝﾁ";
    PutPicture(samples::Quadrants(40, 30)); // the watch shows the remote again
    ClipMenu->mRem_Click();
    EXPECT_EQ(ClipRemort->hWnd(), h);
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, 250);
    EXPECT_EQ(Loaded(), "") << "no preview opens by itself";
    EXPECT_FALSE(ClipMenu->mPrint.Enabled());
}

TEST_F(Windows, RemoteReloadedAfterCloseIsBackAtItsPlace) {
    if (!Is96Dpi()) GTEST_SKIP() << "geometry is given for 96 DPI";
    ClipMenu->mRem_Click();
    SetWindowPos(ClipRemort->hWnd(), nullptr, 40, 30, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ClipMenu->mEnd_Click();
    ClipMenu->mRem_Click();
    RECT r{};
    GetWindowRect(ClipRemort->hWnd(), &r);
    EXPECT_EQ(r.left, 211);
    EXPECT_EQ(r.top, 461);
}

TEST_F(Windows, RemoteOffEveryMonitorComesBackAndAShownOneStays) {
    if (!Is96Dpi()) GTEST_SKIP() << "geometry is given for 96 DPI";
    ClipMenu->mRem_Click();
    const HWND h = ClipRemort->hWnd();
    const auto moveTo = [h](int x, int y) {
        SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    const auto at = [h] {
        RECT r{};
        GetWindowRect(h, &r);
        return std::make_pair(r.left, r.top);
    };
    const std::pair<LONG, LONG> home{211, 461};
    moveTo(-5000, -5000);
    SendMessageW(h, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
    EXPECT_EQ(at(), home) << "after a change of screens";
    moveTo(-5000, -5000);
    ClipMenu->mRem_Click();
    EXPECT_EQ(at(), home) << "on リモコン";
    EXPECT_EQ(ClipRemort->hWnd(), h);
    moveTo(-30, -100); // a corner still shows
    SendMessageW(h, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
    ClipMenu->mRem_Click();
    EXPECT_EQ(at(), std::make_pair(LONG{-30}, LONG{-100}));
}

// --- the mouse on the remote control and on the previews --------------------------------------

struct MenuSeen {
    bool open = false, print = true, off = true;
    int ticks = 0;
};
MenuSeen g_menu;

bool VisibleMenuWindow() {
    struct Ctx {
        DWORD pid;
        bool found;
    } ctx{GetCurrentProcessId(), false};
    EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto *c = reinterpret_cast<Ctx *>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (pid == c->pid && std::wstring(cls) == L"#32768" && IsWindowVisible(w))
                c->found = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

// Runs inside the menu's own loop: looks, then closes the menu.
void CALLBACK LookAtMenu(HWND, UINT, UINT_PTR id, DWORD) {
    if (VisibleMenuWindow()) {
        g_menu.open = true;
        g_menu.print = ClipMenu->mPrint.Enabled();
        g_menu.off = ClipMenu->mOFF.Enabled();
    }
    if (g_menu.open || ++g_menu.ticks > 50) {
        KillTimer(nullptr, id);
        EndMenu();
    }
}

LPARAM At(int x, int y) {
    return MAKELPARAM(x, y);
}

TEST_F(Windows, RightPressOnThePictureOpensTheMenuWithPrintAndOffDisabled) {
    ClipMenu->mRem_Click();
    g_menu = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, LookAtMenu);
    SendMessageW(ClipRemort->Picture1.hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, At(20, 60));
    KillTimer(nullptr, timer);
    EXPECT_TRUE(g_menu.open);
    EXPECT_FALSE(g_menu.print);
    EXPECT_FALSE(g_menu.off);
    EXPECT_TRUE(ClipRemort.IsLoaded());
}

TEST_F(Windows, PressBelowThePictureDoesNothing) {
    ClipMenu->mRem_Click();
    const HWND h = ClipRemort->hWnd();
    RECT before{};
    GetWindowRect(h, &before);
    // A menu here would block: the send returns at once because nothing answers the press.
    SendMessageW(ClipRemort->Picture1.hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, At(20, 140));
    SendMessageW(ClipRemort->Picture1.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 140));
    SendMessageW(ClipRemort->Picture1.hwnd(), WM_LBUTTONUP, 0, At(20, 140));
    EXPECT_FALSE(VisibleMenuWindow());
    RECT after{};
    GetWindowRect(h, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
}

class PreviewClick : public Windows, public ::testing::WithParamInterface<bool> {};

TEST_P(PreviewClick, ActivatesTheRemoteLoadingItIfNeeded) {
    const bool onPicture = GetParam();
    PutPicture(samples::Quadrants(40, 30));
    ClipMenu->mEnd_Click(); // the watch brought up the remote; start without it
    ClipMain42V->Show();
    ASSERT_FALSE(ClipRemort.IsLoaded());
    ClipMainVForm &f = ClipMain42V.get();
    RECT before{};
    GetWindowRect(f.hWnd(), &before);

    const RECT &b = onPicture ? f.Image2->box : f.Image1->box;
    const int x = b.left + 3, y = onPicture ? b.top + 3 : b.bottom - 30;
    ASSERT_EQ(f.Picture1.HitTest({x, y}), onPicture ? f.Image2 : f.Image1);
    SendMessageW(f.Picture1.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    SendMessageW(f.Picture1.hwnd(), WM_LBUTTONUP, 0, At(x, y));
    EXPECT_TRUE(ClipRemort.IsLoaded());
    EXPECT_TRUE(RemoteIsActive());

    // Once loaded, a click only activates it again.
    SetActiveWindow(f.hWnd());
    SendMessageW(f.Picture1.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    SendMessageW(f.Picture1.hwnd(), WM_LBUTTONUP, 0, At(x, y));
    EXPECT_TRUE(RemoteIsActive());
    ASSERT_TRUE(ClipMain42V.IsLoaded());
    RECT after{};
    GetWindowRect(f.hWnd(), &after);
    EXPECT_TRUE(EqualRect(&before, &after));
}

INSTANTIATE_TEST_SUITE_P(Images, PreviewClick, ::testing::Values(false, true),
                         [](const auto &info) {
                             return std::string(info.param ? "Image2" : "Image1");
                         });

// --- the artwork at each scale ----------------------------------------------------------------

// An artwork picture made for a box of w x h pixels, as the windows make it.
struct Art {
    Art(UINT id, int w, int h) {
        e.box = {0, 0, w, h};
        made = e.SetPictureFromResource(id);
        GdiFlush();
    }
    // Blue, green, red at (x, y).
    std::vector<unsigned char> At(int x, int y) const {
        const unsigned char *p =
            e.picture.bits() + static_cast<std::size_t>(y * e.picture.width() + x) * 4;
        return {p[0], p[1], p[2]};
    }
    bool made = false;
    win::ImageElement e;
};

// Blue, green, red of each pixel of 4-byte pixels: the fourth byte is no part of the picture.
std::vector<unsigned char> BgrOf(const std::vector<unsigned char> &bgrx) {
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < bgrx.size(); i += 4)
        out.insert(out.end(), &bgrx[i], &bgrx[i] + 3);
    return out;
}
std::vector<unsigned char> BgrOf(const Art &a) {
    const auto *p = a.e.picture.bits();
    return BgrOf({p, p + std::size_t{4} * a.e.picture.width() * a.e.picture.height()});
}
// The stored master box-filtered to w x h by the resampler itself, for comparison.
std::vector<unsigned char> MasterAt(UINT id, int w, int h) {
    HRSRC res = FindResourceW(win::AppInstance(), MAKEINTRESOURCEW(id), L"PNG200");
    const auto *png =
        static_cast<const std::uint8_t *>(LockResource(LoadResource(win::AppInstance(), res)));
    const std::size_t size = SizeofResource(win::AppInstance(), res);
    const picture::PngResult r = picture::CheckPng(png, size);
    clip::PngDecoder decoder;
    if (!r || !decoder.Open(png, size, r.info)) return {};
    clip::PngRows rows(decoder, r.info.width, r.info.height);
    std::vector<unsigned char> out(std::size_t{4} * w * h);
    if (!picture::Resample(picture::Bgra32(false), r.info.width, r.info.height, rows, out.data(),
                           std::size_t{4} * w, w, h))
        return {};
    return BgrOf(out);
}

TEST(Artwork, AtItsOwnSizeEachPictureIsTheOneItAlwaysWas) {
    // FNV-1a of the colours of the pictures made from the 24-bit BMPs the program carried before,
    // halftone-stretched to their boxes at 96 DPI.
    const struct {
        UINT id;
        int w, h;
        std::uint64_t fnv;
    } kPictures[] = {{IDB_REMOTE, 42, 140, 0xe84451e25d039f02ull},
                     {IDB_DISP42, 463, 286, 0x8422c972bbe4d3c7ull},
                     {IDB_DISP57, 561, 280, 0x57cf2ac02bfc8cf2ull},
                     {IDB_DISP65, 551, 358, 0x0d4063315e553a51ull},
                     {IDB_SETTING, 335, 208, 0xcd5bb131f0aeb8caull}};
    for (const auto &p : kPictures) {
        const Art a(p.id, p.w, p.h);
        ASSERT_TRUE(a.made) << p.id;
        std::uint64_t fnv = 1469598103934665603ull;
        for (unsigned char c : BgrOf(a))
            fnv = (fnv ^ c) * 1099511628211ull;
        EXPECT_EQ(fnv, p.fnv) << "picture " << p.id;
        EXPECT_EQ(a.e.master, nullptr) << "no master is held at 100 %";
    }
    const Art none(999, 42, 140);
    EXPECT_FALSE(none.made);
    EXPECT_FALSE(none.e.HasPicture());
}

TEST(Artwork, AtTwiceTheSizeTheBoxGetsTheMasterDrawnForIt) {
    const Art remote(IDB_REMOTE, 84, 280), disp(IDB_DISP42, 926, 572);
    ASSERT_TRUE(remote.made && disp.made);
    EXPECT_EQ(BgrOf(remote), MasterAt(IDB_REMOTE, 84, 280));
    EXPECT_EQ(BgrOf(disp), MasterAt(IDB_DISP42, 926, 572));
    // Drawn, not enlarged: the rim around the screen is one pixel wide, between the black edge and
    // the glass.
    const std::vector<unsigned char> rim{98, 90, 88}, edge{12, 10, 10};
    EXPECT_EQ(disp.At(105, 300), edge);
    EXPECT_EQ(disp.At(106, 300), rim);
    EXPECT_NE(disp.At(107, 300), rim);
}

TEST(Artwork, BetweenTheTwoTheMasterIsBoxFilteredToTheBox) {
    // The 42-inch display at 150 % (144 DPI), and the settings dialog at 125 %.
    const Art disp(IDB_DISP42, 695, 429), setting(IDB_SETTING, 419, 260);
    ASSERT_TRUE(disp.made && setting.made);
    EXPECT_EQ(BgrOf(disp), MasterAt(IDB_DISP42, 695, 429));
    EXPECT_EQ(BgrOf(setting), MasterAt(IDB_SETTING, 419, 260));
    // Decoded once: a picture made again for another scale uses the master already held.
    ASSERT_NE(disp.e.master, nullptr);
    const Art again(IDB_DISP42, 800, 500);
    EXPECT_EQ(again.e.master, disp.e.master);
}

// --- a change of DPI: each window lays itself out again -----------------------------------------

// WM_DPICHANGED as Windows sends it, with the rectangle it would suggest (the twips at the new
// DPI where the window stands); milliseconds until the window has repainted, which the handler
// does before it returns.
double ChangeDpi(HWND h, int dpi, double widthTw, double heightTw, RECT *suggested = nullptr) {
    RECT r{};
    GetWindowRect(h, &r);
    RECT to{r.left, r.top, r.left + win::TwipsToPixels(widthTw, dpi),
            r.top + win::TwipsToPixels(heightTw, dpi)};
    if (suggested) *suggested = to;
    LARGE_INTEGER f{}, t0{}, t1{};
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    SendMessageW(h, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&to));
    QueryPerformanceCounter(&t1);
    return 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
           static_cast<double>(f.QuadPart);
}

// The window at the suggested rectangle, Picture1 at its twips with its inside at the client
// origin and its snapshot as large as that inside.
void ExpectPicture1At(win::SkinnedForm &f, const RECT &suggested, double widthTw, double heightTw,
                      int dpi) {
    RECT wr{};
    GetWindowRect(f.hWnd(), &wr);
    EXPECT_TRUE(EqualRect(&wr, &suggested)) << dpi;
    EXPECT_EQ(f.LayoutDpi().x, dpi);
    const RECT p = RectOnClient(f.Picture1.hwnd(), f.hWnd());
    EXPECT_EQ(p.right - p.left, win::TwipsToPixels(widthTw, dpi)) << dpi;
    EXPECT_EQ(p.bottom - p.top, win::TwipsToPixels(heightTw, dpi)) << dpi;
    POINT origin{0, 0};
    MapWindowPoints(f.Picture1.hwnd(), f.hWnd(), &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    RECT inside{};
    GetClientRect(f.Picture1.hwnd(), &inside);
    EXPECT_EQ(f.Picture1.ScaleWidth(), inside.right);
    EXPECT_EQ(f.Picture1.ScaleHeight(), inside.bottom);
}

RECT TwipsRect(double l, double t, double w, double h, int dpi) {
    const int x = win::TwipsToPixels(l, dpi), y = win::TwipsToPixels(t, dpi);
    return {x, y, x + win::TwipsToPixels(w, dpi), y + win::TwipsToPixels(h, dpi)};
}

const int kDpiSteps[] = {144, 192, 96};

TEST_F(Windows, RemoteFollowsEachDpiAndComesBackExactly) {
    ClipMenu->mRem_Click();
    ClipRemortForm &r = ClipRemort.get();
    const int start = r.LayoutDpi().x;
    const Drawn before(r);
    for (int dpi : kDpiSteps) {
        RECT to{};
        ChangeDpi(r.hWnd(), dpi, 630, 2115, &to);
        ExpectPicture1At(r, to, 3735, 3075, dpi);
        ASSERT_NE(r.Image2, nullptr);
        const RECT box = TwipsRect(0, 0, 630, 2100, dpi);
        EXPECT_TRUE(EqualRect(&r.Image2->box, &box)) << dpi;
        EXPECT_EQ(r.Image2->picture.width(), box.right);
        EXPECT_EQ(r.Image2->picture.height(), box.bottom);
        // The picture's grey margin, then its body, at the new scale.
        const Drawn d(r);
        EXPECT_TRUE(Near(d.At(box.right / 2, 0), RGB(128, 128, 128), 40)) << dpi;
        EXPECT_EQ(r.Picture1.HitTest({box.right - 1, box.bottom - 1}), r.Image2);
        EXPECT_EQ(r.Picture1.HitTest({box.right / 2, box.bottom}), nullptr);
    }
    if (start == 96) {
        EXPECT_TRUE(Drawn(r).SameAs(before)) << "back at 96 DPI it is as it was at load";
    }
}

TEST_F(Windows, PreviewFollowsEachDpiWithItsPicture) {
    PutPicture(samples::Quadrants(320, 200));
    ClipMenu->m42_Click();
    ClipMainVForm &f = ClipMain42V.get();
    const int start = f.LayoutDpi().x;
    const Drawn before(f);
    const auto check = [&f](int dpi) {
        RECT to{};
        ChangeDpi(f.hWnd(), dpi, 7035, 3975, &to);
        ExpectPicture1At(f, to, 7545, 5685, dpi);
        const RECT image1 = TwipsRect(30, 0, 6945, 4290, dpi);
        const RECT image2 = TwipsRect(840, 360, 5325, 3255, dpi);
        EXPECT_TRUE(EqualRect(&f.Image1->box, &image1)) << dpi;
        EXPECT_TRUE(EqualRect(&f.Image2->box, &image2)) << dpi;
        EXPECT_EQ(f.Image1->picture.width(), image1.right - image1.left);
        EXPECT_EQ(f.Image2->picture.width(), image2.right - image2.left);
        EXPECT_EQ(f.Image2->picture.height(), image2.bottom - image2.top);
        ExpectQuadrantsInScreenArea(f);
    };
    for (int dpi : kDpiSteps)
        check(dpi);
    if (start == 96) {
        EXPECT_TRUE(Drawn(f).SameAs(before)) << "from the clipboard again at full quality";
    }
    // Another picture on the clipboard: the preview keeps the one it opened with, resampled.
    PutPicture(Solid(RGB(0, 255, 255)));
    for (int dpi : kDpiSteps)
        check(dpi);
}

// The settings dialog reads a settings file of the test's own while it lives.
class DialogIni {
public:
    DialogIni() : saved_(ClipSettingForm::IniPathSource) {
        path() = dir_.file(L"Tessary.ini");
        ClipSettingForm::IniPathSource = [] { return path(); };
    }
    ~DialogIni() { ClipSettingForm::IniPathSource = saved_; }
    DialogIni(const DialogIni &) = delete;
    DialogIni &operator=(const DialogIni &) = delete;

private:
    static std::wstring &path() {
        static std::wstring p;
        return p;
    }
    testutil::TempDir dir_;
    decltype(ClipSettingForm::IniPathSource) saved_;
};

TEST_F(Windows, SettingsDialogFollowsEachDpiKeepingWhatWasTyped) {
    const DialogIni ini;
    ClipMenu->mSET_Click();
    ClipSettingForm &s = ClipSetting.get();
    ASSERT_TRUE(ClipSetting.IsLoaded());
    SetWindowTextW(s.Combo1(), L"57ｲﾝﾁ");
    SetWindowTextW(s.Combo2(), L"7");
    SendMessageW(s.Option1(0), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(s.Option1(2), BM_SETCHECK, BST_CHECKED, 0);
    for (int dpi : kDpiSteps) {
        RECT to{};
        ChangeDpi(s.hWnd(), dpi, 5010, 3120, &to);
        ExpectPicture1At(s, to, 8685, 5805, dpi);
        const RECT combo1 = TwipsRect(2580, 360, 1335, 315, dpi);
        const RECT got = RectOnClient(s.Combo1(), s.Picture1.hwnd());
        EXPECT_EQ(got.left, combo1.left) << dpi;
        EXPECT_EQ(got.top, combo1.top) << dpi;
        EXPECT_EQ(got.right, combo1.right) << dpi;
        RECT closed{};
        GetWindowRect(s.Combo1(), &closed);
        EXPECT_NEAR(closed.bottom - closed.top, combo1.bottom - combo1.top, 1) << dpi;
        const RECT ok = TwipsRect(3720, 2100, 945, 315, dpi);
        const RECT okGot = RectOnClient(s.Command1(0), s.Picture1.hwnd());
        EXPECT_TRUE(EqualRect(&okGot, &ok)) << dpi;
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(s.Option1(0), WM_GETFONT, 0, 0)),
                   sizeof(lf), &lf);
        EXPECT_EQ(lf.lfHeight, -MulDiv(975, dpi, 7200)) << "9.75 pt at " << dpi;
        EXPECT_EQ(lf.lfWeight, FW_BOLD);
        wchar_t text[32] = {};
        GetWindowTextW(s.Combo1(), text, 32);
        EXPECT_STREQ(text, L"57ｲﾝﾁ");
        GetWindowTextW(s.Combo2(), text, 32);
        EXPECT_STREQ(text, L"7");
        EXPECT_EQ(SendMessageW(s.Option1(2), BM_GETCHECK, 0, 0), BST_CHECKED);
    }
    ClipSetting.Unload();
}

TEST_F(Windows, AHundredDpiChangesLeaveNoGdiObjectBehind) {
    const DialogIni ini;
    PutPicture(samples::Quadrants(320, 200));
    ClipMenu->m42_Click();
    ClipMenu->mSET_Click();
    ASSERT_TRUE(ClipRemort.IsLoaded() && ClipMain42V.IsLoaded() && ClipSetting.IsLoaded());
    const auto cycle = [] {
        for (int dpi : {120, 144, 192, 96}) {
            ChangeDpi(ClipRemort->hWnd(), dpi, 630, 2115);
            ChangeDpi(ClipMain42V->hWnd(), dpi, 7035, 3975);
            ChangeDpi(ClipSetting->hWnd(), dpi, 5010, 3120);
            SendMessageW(ClipMenu->hWnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0);
        }
    };
    cycle(); // what is made once and kept (the resampled picture's copy) is there now
    const soak::GuiCounts before = soak::CountThisProcess();
    if (before.gdi < 0) GTEST_SKIP() << "GDI objects cannot be counted here";
    for (int i = 0; i < 25; ++i)
        cycle();
    const soak::GuiCounts after = soak::CountThisProcess();
    EXPECT_EQ(after.gdi, before.gdi) << soak::Describe(before) << " / " << soak::Describe(after);
    EXPECT_EQ(after.user, before.user) << "the tray icons";
    ClipSetting.Unload();
}

// The fastest of five changes to each DPI: the machine's other work only ever adds.
void PrintDpiChangeTimes(const char *what, HWND h, double widthTw, double heightTw) {
    double best[3] = {1e9, 1e9, 1e9};
    for (int round = 0; round < 5; ++round)
        for (int i = 0; i < 3; ++i)
            best[i] = std::min(best[i], ChangeDpi(h, kDpiSteps[i], widthTw, heightTw));
    for (int i = 0; i < 3; ++i)
        std::printf("bench_dpi %s dpi=%d ms=%.1f\n", what, kDpiSteps[i], best[i]);
}

// Not a test: figures for scripts/bench.sh, which runs it with --gtest_also_run_disabled_tests.
TEST_F(Windows, DISABLED_BenchDpiChangeRepaintTimes) {
    ClipMenu->mRem_Click();
    PrintDpiChangeTimes("remote", ClipRemort->hWnd(), 630, 2115);
    // Without a picture (the artwork and the snapshot alone), then with a large one.
    ClipMenu->m65_Click();
    ASSERT_TRUE(ClipMain65V.IsLoaded());
    PrintDpiChangeTimes("preview65", ClipMain65V->hWnd(), 8280, 5370);
    ClipMenu->mOFF_Click();
    PutPicture(samples::Quadrants(1920, 1080));
    ClipMenu->m65_Click();
    PrintDpiChangeTimes("preview65_picture", ClipMain65V->hWnd(), 8280, 5370);
}

// The icon's size in pixels.
SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return {0, 0};
    BITMAP bm{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
    const SIZE s{bm.bmWidth, info.hbmColor ? bm.bmHeight : bm.bmHeight / 2};
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return s;
}

TEST_F(Windows, TrayIconAtTheSmallIconSizeOfEachDpi) {
    const HWND menu = ClipMenu->hWnd();
    for (const auto &[dpi, size] : {std::pair{120, 20}, {144, 24}, {192, 32}, {96, 16}}) {
        SendMessageW(menu, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0);
        const SIZE s = IconSize(TrayIcon.hIcon);
        EXPECT_EQ(s.cx, size) << dpi;
        EXPECT_EQ(s.cy, size) << dpi;
    }
    // A restarted shell gets it at the size of the window's DPI, and it is one that still exists.
    SendMessageW(menu, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    const int want = GetSystemMetrics(SM_CXSMICON) * win::WindowDpi(menu).x / win::ScreenDpi().x;
    EXPECT_EQ(IconSize(TrayIcon.hIcon).cx, want);
}

TEST_F(Windows, ManifestMakesTheWindowsPerMonitorAware) {
    using Context = HANDLE;
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto contextOf = reinterpret_cast<Context(WINAPI *)(HWND)>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
    const auto equal = reinterpret_cast<BOOL(WINAPI *)(Context, Context)>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "AreDpiAwarenessContextsEqual")));
    if (!contextOf || !equal) GTEST_SKIP() << "no DPI awareness contexts on this system";
    ClipMenu->mRem_Click();
    const Context c = contextOf(ClipRemort->hWnd());
    const auto v1 = reinterpret_cast<Context>(static_cast<INT_PTR>(-3)); // per monitor
    const auto v2 = reinterpret_cast<Context>(static_cast<INT_PTR>(-4)); // per monitor v2
    EXPECT_TRUE(equal(c, v1) || equal(c, v2));
    // Wine makes a process per-monitor aware whatever it declares: that the loader took the
    // declaration into the process's activation context is what shows here.
    const auto setting =
        reinterpret_cast<BOOL(WINAPI *)(DWORD, HANDLE, PCWSTR, PCWSTR, PWSTR, SIZE_T, SIZE_T *)>(
            reinterpret_cast<void (*)()>(
                GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryActCtxSettingsW")));
    if (!setting) return;
    wchar_t value[64] = {};
    SIZE_T n = 0;
    EXPECT_TRUE(setting(0, nullptr, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                        L"dpiAwareness", value, 64, &n));
    EXPECT_STREQ(value, L"PerMonitorV2, PerMonitor");
}

TEST_F(Windows, ThePreviewsBoxStandsOverThePreview) {
    ClipMenu->m42_Click();
    const auto seen = boxes_.Take();
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_TRUE(ClipMain42V.IsLoaded());
    const HWND preview = ClipMain42V->hWnd();
    EXPECT_EQ(seen[0].owner, preview);
    RECT pr{}, common{};
    GetWindowRect(preview, &pr);
    EXPECT_TRUE(IntersectRect(&common, &pr, &seen[0].rect)) << "over the preview, not elsewhere";
}

} // namespace
