// The resident shell in process: menus, the clipboard examination and the viewer chain.
#include "common/basClipMain.h"
#include "common/clipboard.h"
#include "common/form.h"
#include "common/ids.h"
#include "preview/ClipMainV.h"
#include "remote/ClipRemort.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"
#include "shell/basClipLook.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using testutil::ClipViewer;
using testutil::PumpUntil;

namespace {

class NoQuit : public ::testing::Environment {
public:
    void SetUp() override { win::Form::SetOnLastUnload([] {}); }
};
const auto *const kEnv = ::testing::AddGlobalTestEnvironment(new NoQuit);

// Each test that exits starts the program afresh in the same process.
void LoadClipMenu() {
    win::Form::SetExiting(false);
    ClipMenu->Load();
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testutil::EmptyTheClipboard());
        LoadClipMenu();
        ASSERT_TRUE(ClipMenu.IsLoaded());
        // No preview opens by itself in these tests.
        DispSize = L"none";
    }
    void TearDown() override {
        if (ClipMenu.IsLoaded()) ClipMenu->mEnd2_Click();
        EXPECT_FALSE(ClipMenu.IsLoaded());
        EXPECT_EQ(PrevWndProc, nullptr);
    }
    testutil::ModalWatcher boxes_;
};

struct ItemSpec {
    const wchar_t *caption;
    int children;
};

std::wstring Caption(HMENU menu, int pos) {
    wchar_t buf[64] = {};
    GetMenuStringW(menu, pos, buf, 64, MF_BYPOSITION);
    return buf;
}

} // namespace

TEST_F(ShellTest, MenusHaveTheirCaptionsNestingAndInitialStates) {
    HMENU bar = ClipMenu->MenuBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    EXPECT_EQ(Caption(bar, 0), L"メニュー");
    EXPECT_EQ(Caption(bar, 1), L"メニュー２");
    HMENU m = GetSubMenu(bar, 0), m2 = GetSubMenu(bar, 1);
    EXPECT_EQ(m, ClipMenu->mMenu());
    EXPECT_EQ(m2, ClipMenu->mMenu2());

    const std::vector<std::wstring> top{L"スイッチ", L"印刷", L"閉じる"};
    ASSERT_EQ(GetMenuItemCount(m), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Caption(m, i), top[i]);
    HMENU tv = GetSubMenu(m, 0), print = GetSubMenu(m, 1);
    const std::vector<std::wstring> sizes{L"42ｲﾝﾁ", L"57ｲﾝﾁ", L"65ｲﾝﾁ", L"OFF"};
    ASSERT_EQ(GetMenuItemCount(tv), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Caption(tv, i), sizes[i]);
    ASSERT_EQ(GetMenuItemCount(print), 2);
    EXPECT_EQ(Caption(print, 0), L"縦印刷");
    EXPECT_EQ(Caption(print, 1), L"横印刷");
    EXPECT_EQ(GetSubMenu(m, 2), nullptr);
    const std::vector<std::wstring> tray{L"設定", L"リモコン", L"終了"};
    ASSERT_EQ(GetMenuItemCount(m2), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Caption(m2, i), tray[i]);
    // Half-width katakana, full-width two: exactly these code units.
    EXPECT_EQ(std::wstring(L"42ｲﾝﾁ"), std::wstring(L"42\xFF72\xFF9D\xFF81"));
    EXPECT_EQ(Caption(bar, 1).back(), L'\xFF12');

    // No separators, no shortcut marks.
    for (HMENU h : {m, m2, tv, print})
        for (int i = 0; i < GetMenuItemCount(h); ++i) {
            EXPECT_EQ(GetMenuState(h, i, MF_BYPOSITION) & MF_SEPARATOR, 0u);
            EXPECT_EQ(Caption(h, i).find(L'&'), std::wstring::npos);
        }

    auto &c = ClipMenu.get();
    for (MenuItem *item : {&c.m42, &c.m57, &c.m65, &c.mOFF, &c.mPrint, &c.mTPrint, &c.mYPrint,
                           &c.mEnd, &c.mSET, &c.mRem, &c.mEnd2}) {
        EXPECT_TRUE(item->Enabled());
        EXPECT_FALSE(item->Checked());
    }
    EXPECT_EQ(c.mPrint.Caption(), L"印刷");
}

TEST_F(ShellTest, OffAndCloseClearTheMarks) {
    auto &c = ClipMenu.get();
    c.m42.SetChecked(true);
    c.m57.SetChecked(true);
    c.m65.SetChecked(true);
    c.mOFF_Click();
    EXPECT_FALSE(c.m42.Checked() || c.m57.Checked() || c.m65.Checked());
    EXPECT_FALSE(c.mOFF.Enabled());
    EXPECT_TRUE(c.mPrint.Enabled()); // OFF leaves printing alone

    // A second OFF with nothing open changes nothing more.
    c.mOFF_Click();
    EXPECT_FALSE(c.mOFF.Enabled());

    c.m57.SetChecked(true);
    c.mPrint.SetEnabled(false);
    c.mEnd_Click();
    EXPECT_FALSE(c.m42.Checked() || c.m57.Checked() || c.m65.Checked());
    // Close leaves the enabled states as they are.
    EXPECT_FALSE(c.mOFF.Enabled());
    EXPECT_FALSE(c.mPrint.Enabled());
    EXPECT_TRUE(ClipMenu.IsLoaded());
    EXPECT_FALSE(ClipRemort.IsLoaded());
}

TEST_F(ShellTest, ContentMaskForEveryCombination) {
    for (int want = 0; want < 16; ++want) {
        const bool text = want & 1, bitmap = want & 2, dib = want & 4, rtf = want & 8;
        ASSERT_TRUE(testutil::SetClipboardFormats(text, bitmap, dib, rtf));
        int mask = clip::ContentMask();
        // The system offers each bitmap form for the other (synthesised formats).
        if (bitmap || dib) mask |= clip::kBitmap | clip::kDib;
        const int expected = want | ((bitmap || dib) ? (clip::kBitmap | clip::kDib) : 0);
        EXPECT_EQ(mask, expected) << "formats " << want;
        EXPECT_EQ(clip::IsPicture(clip::ContentMask()), (bitmap || dib) && !text && !rtf)
            << "formats " << want;
    }
}

TEST_F(ShellTest, OnlyAPictureAloneBringsUpTheRemote) {
    struct Case {
        bool text, bitmap, dib, rtf, remote;
    };
    const Case cases[] = {
        {false, false, true, false, true},  {false, true, false, false, true},
        {true, false, true, false, false},  {false, false, true, true, false},
        {true, false, false, false, false}, {false, false, false, true, false},
        {false, false, false, false, false}};
    for (const Case &c : cases) {
        ASSERT_TRUE(testutil::SetClipboardFormats(c.text, c.bitmap, c.dib, c.rtf));
        // The change reaches ClipMenu through the viewer chain and its hook.
        const bool shown = PumpUntil([] { return ClipRemort.IsLoaded(); }, c.remote ? 3000ms : 400ms);
        EXPECT_EQ(shown, c.remote) << c.text << c.bitmap << c.dib << c.rtf;
        ClipMenu->mEnd_Click();
    }
    // The examination shows; it never closes.
    ASSERT_TRUE(testutil::SetClipboardFormats(false, false, true, false));
    ASSERT_TRUE(PumpUntil([] { return ClipRemort.IsLoaded(); }));
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    testutil::Pump(300ms);
    EXPECT_TRUE(ClipRemort.IsLoaded());
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST_F(ShellTest, AnExaminationDuringOneIsPassedOnNotRepeated) {
    // A WM_DRAWCLIPBOARD that arrives while the hook examines is handed on without a second look;
    // afterwards changes are examined again.
    ASSERT_TRUE(testutil::SetClipboardFormats(false, false, true, false));
    ASSERT_TRUE(PumpUntil([] { return ClipRemort.IsLoaded(); }));
    ClipMenu->mEnd_Click();
    ASSERT_FALSE(ClipRemort.IsLoaded());
    ASSERT_TRUE(testutil::SetClipboardFormats(false, true, false, false));
    EXPECT_TRUE(PumpUntil([] { return ClipRemort.IsLoaded(); }));
}

TEST(ShellChain, AViewerThatJoinedFirstKeepsHearingEveryChange) {
    win::Form::SetOnLastUnload([] {});
    ClipViewer first;
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    ASSERT_TRUE(PumpUntil([&] { return first.changes >= 1; }));

    LoadClipMenu();
    DispSize = L"none";
    const int before = first.changes;
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    EXPECT_TRUE(PumpUntil([&] { return first.changes == before + 1; }));
    ASSERT_TRUE(testutil::SetClipboardFormats(false, false, false, true));
    EXPECT_TRUE(PumpUntil([&] { return first.changes == before + 2; }));

    // A viewer that joins after Tessary and leaves again: the chain is repaired around it.
    {
        ClipViewer later;
        ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
        EXPECT_TRUE(PumpUntil([&] { return later.changes >= 1 && first.changes == before + 3; }));
    }
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    EXPECT_TRUE(PumpUntil([&] { return first.changes == before + 4; }));

    ClipMenu->mEnd2_Click();
    ASSERT_FALSE(ClipMenu.IsLoaded());
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    EXPECT_TRUE(PumpUntil([&] { return first.changes == before + 5; }));
}

TEST(ShellHook, UnhookWithoutHookDoesNothing) {
    HWND h = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    const LONG_PTR before = GetWindowLongPtrW(h, GWLP_WNDPROC);
    ASSERT_EQ(PrevWndProc, nullptr);
    UnhookWindow(h);
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), before);
    HookWindow(h);
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&WindowProc));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(PrevWndProc), before);
    UnhookWindow(h);
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), before);
    EXPECT_EQ(PrevWndProc, nullptr);
    DestroyWindow(h);
}

TEST(ShellTray, TheIconRecordIsFilledAsAdded) {
    win::Form::SetOnLastUnload([] {});
    LoadClipMenu();
    EXPECT_EQ(TrayIcon.hWnd, ClipMenu->hWnd());
    EXPECT_EQ(TrayIcon.uID, 1u);
    EXPECT_EQ(TrayIcon.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(TrayIcon.uCallbackMessage, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_NE(TrayIcon.hIcon, nullptr);
    EXPECT_EQ(std::wstring(TrayIcon.szTip), L"Tessary Ver.1.0");
    EXPECT_EQ(TrayIcon.szTip[63], L' ');
    // The settings were read before anything else: the shipped defaults or the file's values.
    EXPECT_FALSE(PaperSize.empty());
    EXPECT_FALSE(PrintCopies.empty());
    ClipMenu->mEnd2_Click();
}

TEST(ShellTray, TheIconComesBackWhenTheNotificationAreaIsMadeAgain) {
    win::Form::SetOnLastUnload([] {});
    LoadClipMenu();
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &TrayIcon)) << "no icon to begin with";
    // A notification area made anew knows no icons and tells every top-level window so.
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &TrayIcon));
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(PumpUntil([] { return Shell_NotifyIconW(NIM_MODIFY, &TrayIcon) != FALSE; }));
    ClipMenu->mEnd2_Click();
}

// --- the viewer chain: passing a change on ----------------------------------------------------

TEST(ShellChain, AChangeIsPassedOnBeforeItIsExamined) {
    win::Form::SetOnLastUnload([] {});
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    ClipViewer behind; // joins first: Tessary's next viewer
    LoadClipMenu();
    DispSize = L"none";
    ASSERT_FALSE(ClipRemort.IsLoaded());
    int seen = 0, examinedFirst = 0;
    behind.onChange = [&] {
        ++seen;
        if (ClipRemort.IsLoaded()) ++examinedFirst;
    };
    ASSERT_TRUE(testutil::SetClipboardFormats(false, false, true, false));
    ASSERT_TRUE(PumpUntil([] { return ClipRemort.IsLoaded(); }));
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(examinedFirst, 0) << "the viewer behind waited for the examination";
    behind.onChange = nullptr;
    ClipMenu->mEnd2_Click();
}

TEST(ShellChain, AChangeSentBackWhilePassingItOnIsNotPassedOnAgain) {
    win::Form::SetOnLastUnload([] {});
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    ClipViewer broken; // sends every change back to the head of the chain
    LoadClipMenu();
    DispSize = L"none";
    int depth = 0, deepest = 0;
    broken.onChange = [&] {
        // Bounded here, so that the test ends also when the program loops.
        if (depth >= 20) return;
        ++depth;
        deepest = depth > deepest ? depth : deepest;
        SendMessageW(ClipMenu->hWnd(), WM_DRAWCLIPBOARD, 0, 0);
        --depth;
    };
    const int before = broken.changes;
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    ASSERT_TRUE(PumpUntil([&] { return broken.changes > before; }));
    testutil::Pump(100ms);
    EXPECT_EQ(broken.changes - before, 1);
    EXPECT_EQ(deepest, 1);
    // The change that came back was still examined: the busy flag guards only the examination.
    broken.onChange = nullptr;
    ASSERT_TRUE(testutil::SetClipboardFormats(false, false, true, false));
    EXPECT_TRUE(PumpUntil([] { return ClipRemort.IsLoaded(); }));
    ClipMenu->mEnd2_Click();
}

TEST(ShellChain, AHungViewerBehindCostsAtMostTheTimeOutPerChange) {
    win::Form::SetOnLastUnload([] {});
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    // Tessary's next viewer, on a thread of its own, stops answering once told to.
    std::atomic<bool> joined{false}, hang{false}, stop{false}, left{false};
    std::thread behind([&] {
        {
            ClipViewer viewer;
            // Each change held for 6 s at most, so that the test ends also when Tessary waits.
            viewer.onChange = [&] {
                for (int i = 0; i < 600 && hang && !stop; ++i)
                    Sleep(10);
            };
            joined = true;
            while (!stop)
                testutil::Pump(10ms);
        }
        left = true;
    });
    // No early return from here on: the thread must be joined.
    EXPECT_TRUE(PumpUntil([&] { return joined.load(); }));
    LoadClipMenu();
    DispSize = L"none";
    hang = true;
    for (int change = 0; change < 2; ++change) {
        ClipMenu->mEnd_Click();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(testutil::SetClipboardFormats(false, false, true, false));
        EXPECT_TRUE(PumpUntil([] { return ClipRemort.IsLoaded(); }, 8000ms)) << change;
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 3500ms) << "change " << change;
        if (change == 0) {
            EXPECT_GE(took, 1500ms) << "the viewer behind did not hang";
        }
    }
    stop = true;
    // Leaving the chain, the viewer sends to Tessary's window: answered here.
    EXPECT_TRUE(PumpUntil([&] { return left.load(); }));
    behind.join();
    ClipMenu->mEnd2_Click();
}

// --- leaving -------------------------------------------------------------------------------

TEST_F(ShellTest, APrivateMessageCannotUnloadTheProgram) {
    SendMessageW(ClipMenu->hWnd(), WM_APP + 1, 0, 0);
    EXPECT_TRUE(ClipMenu.IsLoaded());
}

TEST(ShellExit, AQuitFromOutsideTakesTheExitRoad) {
    win::Form::SetOnLastUnload([] {});
    win::Form::SetExiting(false);
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    ClipViewer first;
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 3, 0);
    EXPECT_EQ(RunTessary(), 3);
    EXPECT_FALSE(ClipMenu.IsLoaded());
    EXPECT_EQ(PrevWndProc, nullptr);
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &TrayIcon)) << "the icon stayed";
    const int before = first.changes;
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    EXPECT_TRUE(PumpUntil([&] { return first.changes == before + 1; })) << "the chain was not left";
    if (ClipMenu.IsLoaded()) ClipMenu->mEnd2_Click();
}

// --- commands that come in while a preview's message box stands -----------------------------

std::function<void()> g_underBox;
bool g_ranUnderBox = false;
// A thread timer: it fires inside the box's own message loop.
void CALLBACK RunUnderBox(HWND, UINT, UINT_PTR id, DWORD) {
    if (!testutil::BoxShowing()) return;
    KillTimer(nullptr, id);
    g_ranUnderBox = true;
    auto fn = std::move(g_underBox);
    g_underBox = nullptr;
    if (fn) fn();
}

class UnderTheBox : public ShellTest {
protected:
    // Opens the remote, then the 42-inch preview on an empty clipboard, whose box stands while
    // fn runs; the box is answered afterwards if it is still there.
    void OpenPreviewAndRunUnderItsBox(const std::function<void()> &fn) {
        ClipMenu->mRem_Click();
        ASSERT_TRUE(ClipRemort.IsLoaded());
        boxes_.SetAnswering(false);
        g_ranUnderBox = false;
        g_underBox = [this, fn] {
            remoteEnabledUnderBox_ = IsWindowEnabled(ClipRemort->hWnd()) != FALSE;
            fn();
            boxes_.SetAnswering(true);
        };
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, RunUnderBox);
        ClipMenu->m42_Click();
        KillTimer(nullptr, timer);
        boxes_.SetAnswering(true);
        EXPECT_TRUE(g_ranUnderBox);
        testutil::Pump(100ms);
    }
    bool remoteEnabledUnderBox_ = true;
};

TEST_F(UnderTheBox, TheBoxIsModalToTheWholeProgram) {
    OpenPreviewAndRunUnderItsBox([] {});
    EXPECT_FALSE(remoteEnabledUnderBox_) << "the remote took input under the box";
    ASSERT_TRUE(ClipRemort.IsLoaded());
    EXPECT_TRUE(IsWindowEnabled(ClipRemort->hWnd()));
    EXPECT_TRUE(ClipMain42V.IsLoaded());
    EXPECT_TRUE(IsWindowEnabled(ClipMain42V->hWnd()));
    EXPECT_EQ(boxes_.Seen().size(), 1u);
}

TEST_F(UnderTheBox, CloseLeavesNoWindowOfTheProgram) {
    OpenPreviewAndRunUnderItsBox([] { ClipMenu->RunCommand(ID_MEND); });
    EXPECT_FALSE(ClipRemort.IsLoaded());
    EXPECT_FALSE(ClipMain42V.IsLoaded());
    EXPECT_FALSE(ClipMenu->m42.Checked());
    EXPECT_EQ(win::Form::LoadedCount(), 1) << "only ClipMenu";
}

TEST_F(UnderTheBox, ExitLoadsNoWindowAgain) {
    OpenPreviewAndRunUnderItsBox([] { ClipMenu->RunCommand(ID_MEND2); });
    EXPECT_FALSE(ClipMenu.IsLoaded());
    EXPECT_FALSE(ClipRemort.IsLoaded());
    EXPECT_EQ(win::Form::LoadedCount(), 0);
}

TEST_F(UnderTheBox, CommandsThatOpenABoxWaitForItAndRunOnce) {
    OpenPreviewAndRunUnderItsBox([] {
        ClipMenu->RunCommand(ID_MTPRINT);
        ClipMenu->RunCommand(ID_MTPRINT);
        ClipMenu->RunCommand(ID_M57);
    });
    EXPECT_TRUE(PumpUntil([&] { return boxes_.Seen().size() >= 3 && !testutil::BoxShowing(); }));
    testutil::Pump(300ms);
    EXPECT_EQ(boxes_.MostAtOnce(), 1u);
    const auto seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].text, L"クリップボードに画像データがありません"); // the print's, once
    EXPECT_TRUE(ClipMain57V.IsLoaded());
}
