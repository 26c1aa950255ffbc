// The settings dialog driven as a user would: real controls, real message boxes (answered by the
// watcher), the settings file in a folder of the test's own.
#include "common/form.h"
#include "common/handles.h"
#include "common/ids.h"
#include "settings/ClipSetting.h"
#include "settings/basClipINI.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::wstring k42 = L"42\uFF72\uFF9D\uFF81"; // 42ｲﾝﾁ
const std::wstring k57 = L"57\uFF72\uFF9D\uFF81";
const std::wstring k65 = L"65\uFF72\uFF9D\uFF81";
const std::string k57Bytes = "\x35\x37\xB2\xDD\xC1";
const std::string k65Bytes = "\x36\x35\xB2\xDD\xC1";
const wchar_t kBadSize[] = L"ディスプレイサイズが不正です";
const wchar_t kBadCopies[] = L"印字部数が不正です";
const wchar_t kNotSaved[] = L"設定を保存できませんでした";
const wchar_t kTitle[] = L"Tessary Ver.1.0";

std::wstring g_iniPath;
std::wstring TestIniPath() {
    return g_iniPath;
}

std::string Bytes(const std::wstring &path) {
    const std::vector<unsigned char> data = testutil::ReadFileBytes(path);
    return std::string(data.begin(), data.end());
}

bool Exists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Text(HWND h) {
    wchar_t buf[256] = {};
    GetWindowTextW(h, buf, 256);
    return buf;
}

bool Checked(HWND h) {
    return SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Pumps through the program's own loop, so that forms see their keyboard messages first.
bool PumpUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        win::DoEvents();
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
void Pump(std::chrono::milliseconds d = 100ms) {
    PumpUntil([] { return false; }, d);
}

// A key as the keyboard sends it, to whatever has the focus.
void Key(WORD vk, bool shift = false) {
    std::vector<INPUT> in;
    auto add = [&in](WORD key, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = key;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (shift) add(VK_SHIFT, false);
    add(vk, false);
    add(vk, true);
    if (shift) add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    Pump(150ms);
}

class SettingDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        win::Form::SetOnLastUnload([] {});
        savedSource_ = ClipSettingForm::IniPathSource;
        ClipSettingForm::IniPathSource = TestIniPath;
        cnt_ = dir_.file(L"CNT");
        ASSERT_TRUE(CreateDirectoryW(cnt_.c_str(), nullptr));
        g_iniPath = JoinIniPath(dir_.path());
        ini_ = cnt_ + L"\\Tessary.ini";
        saved_ = {DispSize, PaperSize, PrintCopies, IniPath};
        DispSize = L"disp-before";
        PaperSize = L"paper-before";
        PrintCopies = L"copies-before";
    }
    void TearDown() override {
        ClipSetting.Unload();
        Pump(50ms);
        SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ClipSettingForm::IniPathSource = savedSource_;
        DispSize = saved_[0];
        PaperSize = saved_[1];
        PrintCopies = saved_[2];
        IniPath = saved_[3];
    }

    ClipSettingForm &Open() {
        ClipSetting->Show();
        EXPECT_TRUE(PumpUntil([] { return IsWindowVisible(ClipSetting->hWnd()) != FALSE; }));
        Pump(100ms);
        return *ClipSetting;
    }
    // Presses a button the way a mouse click does, through the button's own notification.
    void Click(HWND button) {
        SendMessageW(button, BM_CLICK, 0, 0);
        Pump(50ms);
    }
    void Type(HWND combo, const std::wstring &text) { SetWindowTextW(combo, text.c_str()); }
    void ExpectGlobalsUntouched() {
        EXPECT_EQ(DispSize, L"disp-before");
        EXPECT_EQ(PaperSize, L"paper-before");
        EXPECT_EQ(PrintCopies, L"copies-before");
    }

    testutil::ModalWatcher boxes_;
    testutil::TempDir dir_;
    std::wstring cnt_, ini_;
    std::vector<std::wstring> saved_;
    std::wstring (*savedSource_)() = nullptr;
};

TEST_F(SettingDialog, OpensWithDefaultsWithoutSettingsFile) {
    ClipSettingForm &f = Open();
    EXPECT_EQ(Text(f.Combo1()), k42);
    EXPECT_EQ(Text(f.Combo2()), L"1");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Checked(f.Option1(i)), i == 1) << "option " << i;
    EXPECT_EQ(IniPath, g_iniPath);
    EXPECT_FALSE(Exists(ini_));
    EXPECT_EQ(GetFocus(), f.Picture1.hwnd());
    ExpectGlobalsUntouched();
}

TEST_F(SettingDialog, UnknownStoredValuesShownAsStoredAndDisplaySizeRefused) {
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, "[DISP]\r\nDSIZE=99\r\n[PRINTER]\r\nPSIZE=A5\r\n"
                                               "PAGE=2\r\n"));
    ClipSettingForm &f = Open();
    EXPECT_EQ(Text(f.Combo1()), L"99");
    EXPECT_EQ(Text(f.Combo2()), L"2");
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(Checked(f.Option1(i))) << "option " << i;
    Click(f.Command1(0));
    ASSERT_EQ(boxes_.Seen().size(), 1u);
    EXPECT_EQ(boxes_.Seen()[0].text, kBadSize);
    EXPECT_TRUE(f.IsLoaded());
}

TEST_F(SettingDialog, NoPaperChosenSavesEmptyPaperSizeWhichReadsBackAsA4) {
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, "[PRINTER]\r\nPSIZE=A5\r\n"));
    ClipSettingForm &f = Open();
    Click(f.Command1(0));
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_NE(Bytes(ini_).find("PSIZE=\r\n"), std::string::npos) << Bytes(ini_);
    EXPECT_EQ(PaperSize, L"A4");
    EXPECT_TRUE(boxes_.Seen().empty());
}

// What is typed into the two boxes before Save: refused with a message, the box at fault focused
// and nothing written, or saved without surrounding spaces.
struct Entry {
    const char *name;
    std::wstring dispSize, copies;
    const wchar_t *message; // null: saved
    bool focusOnCombo1 = false;
    std::string dispBytes = {}, copiesBytes = {};  // as saved in the file
    std::wstring dispSaved = {}, copiesSaved = {}; // and in the program
};

void PrintTo(const Entry &e, std::ostream *os) {
    *os << e.name;
}

class TypedEntry : public SettingDialog, public ::testing::WithParamInterface<Entry> {};

TEST_P(TypedEntry, IsRefusedOrSavedWithoutSurroundingSpaces) {
    const Entry &e = GetParam();
    ClipSettingForm &f = Open();
    Type(f.Combo1(), e.dispSize);
    Type(f.Combo2(), e.copies);
    Click(f.Command1(0));

    const std::vector<testutil::BoxSeen> seen = boxes_.Seen();
    if (!e.message) {
        EXPECT_TRUE(seen.empty());
        EXPECT_FALSE(f.IsLoaded());
        EXPECT_EQ(Bytes(ini_), "[DISP]\r\nDSIZE=" + e.dispBytes +
                                   "\r\n[PRINTER]\r\nPSIZE=A4\r\nPAGE=" + e.copiesBytes + "\r\n");
        EXPECT_EQ(DispSize, e.dispSaved);
        EXPECT_EQ(PaperSize, L"A4");
        EXPECT_EQ(PrintCopies, e.copiesSaved);
        return;
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, e.message);
    EXPECT_EQ(seen[0].title, kTitle);
    EXPECT_EQ(seen[0].icon, static_cast<UINT>(MB_ICONSTOP));
    ASSERT_TRUE(f.IsLoaded());
    const HWND box = e.focusOnCombo1 ? f.Combo1() : f.Combo2();
    const HWND focus = GetFocus();
    EXPECT_TRUE(focus == box || IsChild(box, focus));
    EXPECT_EQ(Text(f.Combo1()), e.dispSize);
    EXPECT_EQ(Text(f.Combo2()), e.copies);
    EXPECT_FALSE(Exists(ini_));
    ExpectGlobalsUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, TypedEntry,
    ::testing::Values(Entry{"FullWidthDigits", L"\uFF14\uFF12\uFF72\uFF9D\uFF81", L"1", kBadSize,
                            true},
                      Entry{"FullWidthKatakana", L"42インチ", L"1", kBadSize, true},
                      Entry{"DigitsAlone", L"42", L"1", kBadSize, true},
                      Entry{"Empty", L"", L"1", kBadSize, true},
                      Entry{"OnlySpacesAsCopies", k42, L"   ", kBadCopies, false},
                      Entry{"EmptyCopies", k65, L"", kBadCopies, false},
                      Entry{"BothWrongShowsOnlyDisplaySize", L"42", L" ", kBadSize, true},
                      Entry{"Letters", k57, L"abc", nullptr, false, k57Bytes, "abc", k57, L"abc"},
                      Entry{"Zero", k57, L"0", nullptr, false, k57Bytes, "0", k57, L"0"},
                      Entry{"TwentyFive", k57, L"25", nullptr, false, k57Bytes, "25", k57, L"25"},
                      Entry{"SpacesAroundSize", L" " + k57 + L" ", L" 4 ", nullptr, false, k57Bytes,
                            "4", k57, L"4"},
                      Entry{"FullWidthCopies", k65, L"\uFF13", nullptr, false, k65Bytes, "\x82\x52",
                            k65, L"\uFF13"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SettingDialog, SaveWritesCp932FileAndRefreshesGlobals) {
    ClipSettingForm &f = Open();
    SendMessageW(f.Combo1(), CB_SETCURSEL, 2, 0); // 65ｲﾝﾁ from the list
    Click(f.Option1(3));
    Type(f.Combo2(), L"3");
    Click(f.Command1(0));

    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_EQ(f.Combo1(), nullptr);
    EXPECT_EQ(Bytes(ini_),
              "[DISP]\r\nDSIZE=" + k65Bytes + "\r\n[PRINTER]\r\nPSIZE=B5\r\nPAGE=3\r\n");
    EXPECT_EQ(DispSize, k65);
    EXPECT_EQ(PaperSize, L"B5");
    EXPECT_EQ(PrintCopies, L"3");

    // Opened again, it reads the file afresh.
    ClipSettingForm &g = Open();
    EXPECT_EQ(Text(g.Combo1()), k65);
    EXPECT_TRUE(Checked(g.Option1(3)));
    EXPECT_EQ(Text(g.Combo2()), L"3");
}

TEST_F(SettingDialog, CancelAfterEditsChangesNeitherFileNorGlobals) {
    const std::string before = "[DISP]\r\nDSIZE=" + k57Bytes + "\r\n[PRINTER]\r\nPSIZE=B4\r\n";
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, before));
    ClipSettingForm &f = Open();
    EXPECT_EQ(Text(f.Combo1()), k57);
    EXPECT_TRUE(Checked(f.Option1(2)));
    Type(f.Combo1(), k65);
    Click(f.Option1(0));
    Type(f.Combo2(), L"9");
    Click(f.Command1(1));

    EXPECT_FALSE(f.IsLoaded());
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_EQ(Bytes(ini_), before);
    ExpectGlobalsUntouched();
}

TEST_F(SettingDialog, MissingCntFolderIsCreatedAndSaveLands) {
    ASSERT_TRUE(RemoveDirectoryW(cnt_.c_str()));
    ClipSettingForm &f = Open();
    EXPECT_FALSE(Exists(cnt_)); // opening creates nothing
    Type(f.Combo2(), L"2");
    Click(f.Command1(0));

    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_NE(Bytes(ini_).find("PAGE=2\r\n"), std::string::npos);
    EXPECT_EQ(PrintCopies, L"2");
    EXPECT_EQ(DispSize, k42);
}

// Windows creates no folder whose plain path is longer than MAX_PATH - 12 characters; Wine has
// no such limit, so the test puts it in.
bool CreateFolderAsWindowsDoes(const std::wstring &path) {
    if (path.compare(0, 4, L"\\\\?\\") != 0 && path.size() > MAX_PATH - 12) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

TEST_F(SettingDialog, MissingCntFolderOfDeepProgramFolderIsCreatedAndSaveLands) {
    const struct Restore {
        bool (*saved)(const std::wstring &) = CreateFolder;
        ~Restore() { CreateFolder = saved; }
    } restore;
    CreateFolder = CreateFolderAsWindowsDoes;
    std::wstring deep = L"\\\\?\\" + dir_.path();
    std::vector<std::wstring> made;
    while (deep.size() < 4 + 250) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
        made.push_back(deep);
    }
    g_iniPath = JoinIniPath(deep.substr(4));
    ClipSettingForm &f = Open();
    Type(f.Combo2(), L"2");
    Click(f.Command1(0));

    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_NE(Bytes(deep + L"\\CNT\\Tessary.ini").find("PAGE=2\r\n"), std::string::npos);
    EXPECT_EQ(PrintCopies, L"2");
    DeleteFileW((deep + L"\\CNT\\Tessary.ini").c_str());
    RemoveDirectoryW((deep + L"\\CNT").c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        RemoveDirectoryW(it->c_str());
}

TEST_F(SettingDialog, ReadOnlyFileKeepsDialogOpenWithEntries) {
    const std::string before = "[PRINTER]\r\nPAGE=2\r\n";
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, before));
    ASSERT_TRUE(SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_READONLY));
    ClipSettingForm &f = Open();
    Type(f.Combo1(), k57);
    Click(f.Option1(2));
    Type(f.Combo2(), L"5");
    Click(f.Command1(0));

    const std::vector<testutil::BoxSeen> seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, kNotSaved);
    EXPECT_EQ(seen[0].title, kTitle);
    EXPECT_EQ(seen[0].icon, static_cast<UINT>(MB_ICONSTOP));
    ASSERT_TRUE(f.IsLoaded());
    EXPECT_EQ(Text(f.Combo1()), k57);
    EXPECT_TRUE(Checked(f.Option1(2)));
    EXPECT_EQ(Text(f.Combo2()), L"5");
    EXPECT_EQ(Bytes(ini_), before);
    ExpectGlobalsUntouched();

    // Once the file can be written, the same entries save.
    ASSERT_TRUE(SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_NORMAL));
    Click(f.Command1(0));
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_EQ(PrintCopies, L"5");
    EXPECT_EQ(PaperSize, L"B4");
}

TEST_F(SettingDialog, MissingProgramFolderGivesMessageAndCreatesNothing) {
    g_iniPath = JoinIniPath(dir_.file(L"gone"));
    ClipSettingForm &f = Open();
    Click(f.Command1(0));
    ASSERT_EQ(boxes_.Seen().size(), 1u);
    EXPECT_EQ(boxes_.Seen()[0].text, kNotSaved);
    EXPECT_TRUE(f.IsLoaded());
    EXPECT_FALSE(Exists(dir_.file(L"gone")));
    ExpectGlobalsUntouched();
}

TEST_F(SettingDialog, OpeningAgainKeepsTheSameWindowAndEdits) {
    ClipSettingForm &f = Open();
    const HWND first = f.hWnd();
    Type(f.Combo2(), L"7");
    Click(f.Option1(2));
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, "[PRINTER]\r\nPAGE=4\r\n"));
    ClipSettingForm &g = Open();
    EXPECT_EQ(&g, &f);
    EXPECT_EQ(g.hWnd(), first);
    EXPECT_EQ(Text(g.Combo2()), L"7");
    EXPECT_TRUE(Checked(g.Option1(2)));
    EXPECT_EQ(win::Form::LoadedCount(), 1);
}

TEST_F(SettingDialog, OptionButtonsFormOneGroup) {
    ClipSettingForm &f = Open();
    for (int chosen : {0, 3, 2, 1}) {
        Click(f.Option1(chosen));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Checked(f.Option1(i)), i == chosen);
    }
    // Arrow keys move within the group, wrapping, and choose as they go.
    SetFocus(f.Option1(1));
    const struct {
        WORD key;
        int expect;
    } steps[] = {{VK_RIGHT, 2}, {VK_DOWN, 3}, {VK_RIGHT, 0}, {VK_LEFT, 3}, {VK_UP, 2}};
    for (const auto &s : steps) {
        Key(s.key);
        EXPECT_EQ(GetFocus(), f.Option1(s.expect));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Checked(f.Option1(i)), i == s.expect);
    }
}

TEST_F(SettingDialog, TabVisitsControlsInOrder) {
    ClipSettingForm &f = Open();
    Click(f.Option1(2));
    SetFocus(f.Picture1.hwnd());
    auto at = [](HWND expected) {
        const HWND focus = GetFocus();
        return focus == expected || IsChild(expected, focus);
    };
    const std::vector<HWND> order = {f.Command1(0), f.Command1(1), f.Combo1(),
                                     f.Option1(2),  f.Combo2(),    f.Picture1.hwnd()};
    for (HWND expected : order) {
        Key(VK_TAB);
        EXPECT_TRUE(at(expected)) << "forward to control " << GetDlgCtrlID(expected);
    }
    for (auto it = order.rbegin() + 1; it != order.rend(); ++it) {
        Key(VK_TAB, true);
        EXPECT_TRUE(at(*it)) << "back to control " << GetDlgCtrlID(*it);
    }
    Key(VK_TAB, true);
    EXPECT_TRUE(at(f.Picture1.hwnd()));
}

TEST_F(SettingDialog, EnterAndEscapeDoNothingAnywhere) {
    ClipSettingForm &f = Open();
    Type(f.Combo2(), L"6");
    for (HWND target :
         {f.Picture1.hwnd(), f.Command1(0), f.Command1(1), f.Combo1(), f.Option1(1), f.Combo2()}) {
        SetFocus(target);
        Pump(50ms);
        Key(VK_RETURN);
        Key(VK_ESCAPE);
        ASSERT_TRUE(f.IsLoaded()) << "control " << GetDlgCtrlID(target);
    }
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_FALSE(Exists(ini_));
    EXPECT_EQ(Text(f.Combo2()), L"6");
    // The space bar still presses the focused button.
    SetFocus(f.Command1(1));
    Key(VK_SPACE);
    EXPECT_FALSE(f.IsLoaded());
}

TEST_F(SettingDialog, BorderlessCentredAndLaidOutInTwips) {
    ClipSettingForm &f = Open();
    const HWND h = f.hWnd();
    RECT client{}, window{};
    GetClientRect(h, &client);
    GetWindowRect(h, &window);
    // 5010 x 3120 twips: 334 x 208 pixels at 96 DPI.
    const int width = win::TwipsToPixelsX(5010), height = win::TwipsToPixelsY(3120);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);
    EXPECT_EQ(window.right - window.left, width);
    EXPECT_EQ(window.bottom - window.top, height);
    EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);
    EXPECT_NEAR(window.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2.0, 1.0);
    EXPECT_NEAR(window.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2.0, 1.0);
    // Picture1's inside starts at the client origin, its border just outside.
    POINT inside{0, 0};
    MapWindowPoints(f.Picture1.hwnd(), h, &inside, 1);
    EXPECT_EQ(inside.x, 0);
    EXPECT_EQ(inside.y, 0);
    // Nothing of it lets the user drag it about.
    const POINT mid{window.left + 150, window.top + 190};
    EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(mid.x, mid.y)), HTCLIENT);

    if (win::TwipsPerPixelX() != 15.0 || win::TwipsPerPixelY() != 15.0) {
        GTEST_SKIP() << "control positions checked at 96 DPI only";
    }
    auto inClient = [h](HWND c) {
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, h, reinterpret_cast<POINT *>(&r), 2);
        return r;
    };
    const struct {
        HWND control;
        RECT expected; // pixels: twips / 15
    } layout[] = {
        {f.Picture1.hwnd(), {-2, -2, 577, 385}}, {f.Option1(0), {50, 78, 99, 95}},
        {f.Option1(1), {100, 78, 149, 95}},      {f.Option1(2), {150, 78, 199, 95}},
        {f.Option1(3), {200, 78, 249, 95}},      {f.Command1(1), {180, 140, 243, 161}},
        {f.Command1(0), {248, 140, 311, 161}},
    };
    for (const auto &c : layout) {
        const RECT r = inClient(c.control);
        EXPECT_EQ(r.left, c.expected.left) << GetDlgCtrlID(c.control);
        EXPECT_EQ(r.top, c.expected.top) << GetDlgCtrlID(c.control);
        EXPECT_EQ(r.right, c.expected.right) << GetDlgCtrlID(c.control);
        EXPECT_EQ(r.bottom, c.expected.bottom) << GetDlgCtrlID(c.control);
    }
    // Combo boxes: position and width as designed, the closed box 21 pixels high.
    const struct {
        HWND combo;
        RECT expected;
    } combos[] = {{f.Combo1(), {172, 24, 261, 45}}, {f.Combo2(), {136, 106, 205, 127}}};
    for (const auto &c : combos) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(GetComboBoxInfo(c.combo, &info));
        const RECT r = inClient(c.combo);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
        EXPECT_TRUE(GetWindowLongW(info.hwndItem, GWL_STYLE) & WS_VISIBLE); // editable
        const RECT item = inClient(info.hwndItem);
        EXPECT_GE(item.top, c.expected.top);
        EXPECT_LE(item.bottom, c.expected.bottom);
    }
}

TEST_F(SettingDialog, JapaneseFontBoldExceptCombos) {
    ClipSettingForm &f = Open();
    win::unique_window_dc screen(nullptr);
    const int expectedHeight = -MulDiv(975, GetDeviceCaps(screen.get(), LOGPIXELSY), 7200);
    const struct {
        HWND control;
        LONG weight;
    } cases[] = {{f.Combo1(), FW_NORMAL}, {f.Combo2(), FW_NORMAL}, {f.Option1(0), FW_BOLD}};
    for (const auto &c : cases) {
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(c.control, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW lf{};
        ASSERT_TRUE(GetObjectW(font, sizeof(lf), &lf));
        EXPECT_EQ(lf.lfHeight, expectedHeight);
        EXPECT_EQ(lf.lfWeight, c.weight);
        EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
        // Whatever face stands in, it must draw Japanese.
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        EXPECT_EQ(GetTextCharset(dc), SHIFTJIS_CHARSET);
        WORD glyph = 0xFFFF;
        EXPECT_EQ(GetGlyphIndicesW(dc, L"設", 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS), 1u);
        EXPECT_NE(glyph, 0xFFFF);
        SelectObject(dc, old);
        DeleteDC(dc);
    }
}

TEST_F(SettingDialog, OptionButtonsWhiteOnMidGrey) {
    ClipSettingForm &f = Open();
    HDC dc = CreateCompatibleDC(nullptr);
    for (int i = 0; i < 4; ++i) {
        SetTextColor(dc, RGB(0, 0, 0));
        const HBRUSH brush = reinterpret_cast<HBRUSH>(
            SendMessageW(f.Picture1.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(f.Option1(i))));
        ASSERT_NE(brush, nullptr);
        LOGBRUSH lb{};
        ASSERT_TRUE(GetObjectW(brush, sizeof(lb), &lb));
        EXPECT_EQ(lb.lbColor, RGB(128, 128, 128));
        EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
    }
    DeleteDC(dc);
}

TEST_F(SettingDialog, CommandIndexOutsideTheButtonsDoesNothing) {
    ClipSettingForm &f = Open();
    f.Command1_Click(2);
    f.Command1_Click(-1);
    EXPECT_TRUE(f.IsLoaded());
    f.Command1_Click(1);
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_TRUE(boxes_.Seen().empty());
}

} // namespace
