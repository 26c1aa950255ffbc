// Long runs of the program's windows in process: thousands of clipboard changes and hundreds of
// open/close cycles of every window, after which the process holds no more GDI and USER objects
// and hardly more memory than after the first round.
#include "common/form.h"
#include "preview/ClipMainV.h"
#include "remote/ClipRemort.h"
#include "settings/ClipSetting.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"
#include "tests/soak/gui_counts.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using namespace std::chrono_literals;

namespace {

constexpr int kClipboardChanges = 2000;
// Five skinned windows load per cycle, each with its background snapshot: 0.3 to 0.7 s a cycle
// under Wine on two busy CPUs, so 300 cycles take one and a half to four minutes.
constexpr int kWindowCycles = 300;
// After a warm-up round, a whole run may differ from its start by this much: caches of the
// window system (a font, a DC, a surface) come and go, a leak grows with the number of rounds.
constexpr long kObjectSlack = 16;
constexpr std::size_t kMemorySlack = 4u << 20;

const std::wstring k42 = L"42\uFF72\uFF9D\uFF81"; // 42ｲﾝﾁ

std::wstring g_iniPath;
std::wstring TestIniPath() {
    return g_iniPath;
}

class ShellUp : public ::testing::Environment {
public:
    void SetUp() override {
        win::Form::SetOnLastUnload([] {});
        // The settings dialog reads a file of the test's own, never the one beside the exe.
        dir_ = std::make_unique<testutil::TempDir>();
        CreateDirectoryW(dir_->file(L"CNT").c_str(), nullptr);
        g_iniPath = dir_->file(L"CNT\\Tessary.ini");
        ClipSettingForm::IniPathSource = TestIniPath;
        testutil::EmptyTheClipboard();
        ClipMenu->Load();
    }
    void TearDown() override {
        if (ClipMenu.IsLoaded()) ClipMenu->mEnd2_Click();
        dir_.reset();
    }

private:
    std::unique_ptr<testutil::TempDir> dir_;
};
const auto *const kEnv = ::testing::AddGlobalTestEnvironment(new ShellUp);

// Counts the clipboard notifications that reach ClipMenu, before its own procedure sees them.
long g_drawClipboard = 0;
HWND g_menuWindow = nullptr;
LRESULT CALLBACK SeeDrawClipboard(int code, WPARAM wp, LPARAM lp) {
    const auto *m = reinterpret_cast<const CWPSTRUCT *>(lp);
    if (code == HC_ACTION && m->message == WM_DRAWCLIPBOARD && m->hwnd == g_menuWindow)
        ++g_drawClipboard;
    return CallNextHookEx(nullptr, code, wp, lp);
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ClipMenu.IsLoaded());
        g_menuWindow = ClipMenu->hWnd();
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, SeeDrawClipboard, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook_, nullptr);
        DispSize = k42; // as shipped: the remote control opens the 42-inch preview by itself
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook_);
        ClipMenu->mEnd_Click();
        ClipSetting.Unload();
        testutil::Pump(20ms);
    }

    // Settles pending work (deferred paints, destroyed windows) and counts.
    static soak::GuiCounts Settle() {
        testutil::Pump(200ms);
        return soak::CountThisProcess();
    }

    static void ExpectBackToStart(const soak::GuiCounts &start, const soak::GuiCounts &end) {
        ASSERT_GE(start.gdi, 0) << "no way to count GDI objects here";
        ASSERT_GE(start.user, 0) << "no way to count USER objects here";
        EXPECT_LE(std::labs(end.gdi - start.gdi), kObjectSlack)
            << soak::Describe(start) << " -> " << soak::Describe(end);
        EXPECT_LE(std::labs(end.user - start.user), kObjectSlack)
            << soak::Describe(start) << " -> " << soak::Describe(end);
        EXPECT_LE(end.privateBytes, start.privateBytes + kMemorySlack)
            << soak::Describe(start) << " -> " << soak::Describe(end);
    }

    testutil::ModalWatcher boxes_;
    HHOOK hook_ = nullptr;
};

enum class Kind { Picture, Text, PictureWithText, Empty };

// One change of the given kind; pictures alternate between a DIB and a device bitmap.
bool Change(Kind kind, int n) {
    switch (kind) {
    case Kind::Picture:
        if (n % 2) return testutil::SetClipboardFormats(false, true, false, false);
        return testutil::SetClipboardDib(
            testutil::MakeDib(24, 16, [n](int x, int y) { return RGB(x * 10, y * 15, n & 0xFF); }));
    case Kind::Text:
        return testutil::SetClipboardFormats(true, false, false, false);
    case Kind::PictureWithText:
        return testutil::SetClipboardFormats(true, false, true, false);
    case Kind::Empty:
        return testutil::EmptyTheClipboard();
    }
    return false;
}

// Every change is seen, each picture brings up the remote control, nothing else does; the
// remote is closed now and then so that it also loads again and again.
::testing::AssertionResult ClipboardRound(int round) {
    const Kind kinds[] = {Kind::Picture, Kind::Text, Kind::PictureWithText, Kind::Empty};
    for (int i = 0; i < 4; ++i) {
        const Kind kind = kinds[i];
        const long before = g_drawClipboard;
        if (!Change(kind, round)) return ::testing::AssertionFailure() << "clipboard busy";
        if (!testutil::PumpUntil([before] { return g_drawClipboard > before; }, 3000ms))
            return ::testing::AssertionFailure()
                   << "change " << round * 4 + i << " (kind " << i << ") was not seen";
        if (kind == Kind::Picture) {
            if (!ClipRemort.IsLoaded() || !IsWindowVisible(ClipRemort->hWnd()))
                return ::testing::AssertionFailure() << "no remote control after picture " << round;
        }
    }
    if (round % 5 == 4) ClipMenu->mEnd_Click();
    return ::testing::AssertionSuccess();
}

TEST_F(Soak, ClipboardChangesLeaveNothingBehind) {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(ClipboardRound(0));
    ClipMenu->mEnd_Click();
    const soak::GuiCounts start = Settle();
    const long seenBefore = g_drawClipboard;
    for (int round = 1; round < kClipboardChanges / 4; ++round) {
        ASSERT_TRUE(ClipboardRound(round));
    }
    ClipMenu->mEnd_Click();
    const soak::GuiCounts end = Settle();
    EXPECT_GE(g_drawClipboard - seenBefore, kClipboardChanges - 4);
    EXPECT_TRUE(boxes_.Seen().empty()) << "a message box came up";
    std::printf("%d clipboard changes in %.1f s\nbefore: %s\nafter:  %s\n", kClipboardChanges,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                soak::Describe(start).c_str(), soak::Describe(end).c_str());
    ExpectBackToStart(start, end);
}

bool Loaded(win::FormRef<ClipMainVForm> &f) {
    return f.IsLoaded() && IsWindowVisible(f->hWnd());
}

// The remote control, each size, OFF, close, and the settings dialog opened and cancelled, all
// through the commands the menus run. (The remote opening a preview by itself is part of the
// clipboard run above.)
::testing::AssertionResult WindowRound(int round) {
    auto fail = [round](const char *what) {
        return ::testing::AssertionFailure() << "round " << round << ": " << what;
    };
    ClipMenu->mRem_Click();
    if (!ClipRemort.IsLoaded() || !IsWindowVisible(ClipRemort->hWnd())) return fail("no remote");
    ClipMenu->m42_Click();
    if (!Loaded(ClipMain42V)) return fail("no 42-inch preview");
    ClipMenu->m57_Click();
    if (!Loaded(ClipMain57V) || ClipMain42V.IsLoaded()) return fail("57 did not replace 42");
    ClipMenu->m65_Click();
    if (!Loaded(ClipMain65V) || ClipMain57V.IsLoaded()) return fail("65 did not replace 57");
    ClipMenu->mOFF_Click();
    if (ClipMain65V.IsLoaded()) return fail("OFF left the preview");
    ClipMenu->mEnd_Click();
    if (ClipRemort.IsLoaded()) return fail("close left the remote");
    ClipMenu->mSET_Click();
    if (!ClipSetting.IsLoaded() || !IsWindowVisible(ClipSetting->hWnd()))
        return fail("no settings dialog");
    ClipSetting->Command1_Click(1);
    if (ClipSetting.IsLoaded()) return fail("cancel left the settings dialog");
    testutil::Pump(0ms);
    return ::testing::AssertionSuccess();
}

TEST_F(Soak, WindowCyclesLeaveNothingBehind) {
    DispSize = L"none";
    ASSERT_TRUE(testutil::SetClipboardDib(
        testutil::MakeDib(64, 48, [](int x, int y) { return RGB(x * 4, y * 5, 128); })));
    testutil::Pump(50ms);
    ClipMenu->mEnd_Click();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(WindowRound(0));
    const soak::GuiCounts start = Settle();
    for (int round = 1; round < kWindowCycles; ++round) {
        ASSERT_TRUE(WindowRound(round));
    }
    const soak::GuiCounts end = Settle();
    EXPECT_TRUE(boxes_.Seen().empty()) << "a message box came up";
    std::printf("%d window cycles in %.1f s\nbefore: %s\nafter:  %s\n", kWindowCycles,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                soak::Describe(start).c_str(), soak::Describe(end).c_str());
    ExpectBackToStart(start, end);
}

// The counting itself: objects made here must show, or the checks above prove nothing.
TEST(GuiCounts, SeeObjectsComeAndGo) {
    const soak::GuiCounts before = soak::CountThisProcess();
    ASSERT_GE(before.gdi, 0);
    HBRUSH brushes[10];
    for (HBRUSH &b : brushes)
        b = CreateSolidBrush(RGB(10, 20, 30));
    HMENU menus[5];
    for (HMENU &m : menus)
        m = CreatePopupMenu();
    HICON icon = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
    const soak::GuiCounts made = soak::CountThisProcess();
    for (HBRUSH b : brushes)
        DeleteObject(b);
    for (HMENU m : menus)
        DestroyMenu(m);
    DestroyIcon(icon);
    const soak::GuiCounts after = soak::CountThisProcess();
    const std::string seen = soak::Describe(before) + " / " + soak::Describe(made);
    EXPECT_GE(made.gdi - before.gdi, 10) << seen; // the icon's bitmaps may count too
    EXPECT_EQ(made.user - before.user, 6) << seen;
    EXPECT_EQ(after.gdi, before.gdi) << soak::Describe(after);
    EXPECT_EQ(after.user, before.user) << soak::Describe(after);
}

} // namespace
