#include "settings/ClipSetting.h"

#include "common/ids.h"
#include "common/lazylib.h"
#include "settings/text.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"

#include <commctrl.h>

#include <array>
#include <cwchar>
#include <initializer_list>
#include <utility>
#include <vector>

win::FormRef<ClipSettingForm> ClipSetting;

std::wstring (*ClipSettingForm::IniPathSource)() = BuildIniPath;

namespace {

const wchar_t kTitle[] = L"Tessary Ver.1.0";
const std::array<std::wstring, 3> kDisplaySizes = {L"42ｲﾝﾁ", L"57ｲﾝﾁ", L"65ｲﾝﾁ"};
const std::array<std::wstring, 4> kPaperSizes = {L"A3", L"A4", L"B4", L"B5"};
const COLORREF kOptionBack = RGB(128, 128, 128);

// Geometry in twips, as the dialog was designed; inside Picture1 unless noted.
struct TwipsBox {
    double left, top, width, height;
};
constexpr double kClientWidth = 5010, kClientHeight = 3120;
constexpr TwipsBox kPicture1{-30, -30, 8685, 5805}; // on the window; its border stays outside
constexpr TwipsBox kImage1{0, 0, 5025, 3120};
constexpr TwipsBox kLabel2[3] = {
    {420, 420, 2175, 225}, {420, 870, 1755, 225}, {420, 1680, 1605, 225}};
constexpr TwipsBox kCombo1{2580, 360, 1335, 315};
constexpr TwipsBox kOption1[4] = {
    {750, 1170, 735, 255}, {1500, 1170, 735, 255}, {2250, 1170, 735, 255}, {3000, 1170, 735, 255}};
constexpr TwipsBox kCombo2{2040, 1590, 1035, 315};
constexpr TwipsBox kCommand1[2] = {{3720, 2100, 945, 315}, {2700, 2100, 945, 315}}; // OK, CANCEL
constexpr TwipsBox kLabel1{1590, 2820, 2325, 525};
constexpr int kComboListItems = 8;

RECT ToPixels(const TwipsBox &b, win::Dpi dpi) {
    const int left = win::TwipsToPixels(b.left, dpi.x), top = win::TwipsToPixels(b.top, dpi.y);
    return RECT{left, top, left + win::TwipsToPixels(b.width, dpi.x),
                top + win::TwipsToPixels(b.height, dpi.y)};
}

// --- The dialog's font ---------------------------------------------------------------------

int CALLBACK NoteFound(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM found) {
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

bool FaceInstalled(HDC dc, const wchar_t *face) {
    LOGFONTW lf{};
    lf.lfCharSet = SHIFTJIS_CHARSET;
    wcsncpy_s(lf.lfFaceName, face, _TRUNCATE);
    bool found = false;
    EnumFontFamiliesExW(dc, &lf, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

int CALLBACK NoteProportional(const LOGFONTW *lf, const TEXTMETRICW *tm, DWORD type, LPARAM out) {
    auto *face = reinterpret_cast<std::wstring *>(out);
    // TMPF_FIXED_PITCH set means variable pitch; '@' faces are the vertical-writing twins.
    if ((type & TRUETYPE_FONTTYPE) && (tm->tmPitchAndFamily & TMPF_FIXED_PITCH) &&
        lf->lfFaceName[0] != L'@') {
        *face = lf->lfFaceName;
        return 0;
    }
    return 1;
}

// "ＭＳ Ｐゴシック" where it is installed (or mapped to a stand-in), else the system's Japanese
// proportional gothic, else any proportional Japanese face.
std::wstring DialogFace() {
    static const wchar_t *const kFaces[] = {L"ＭＳ Ｐゴシック", L"MS PGothic",   L"MS UI Gothic",
                                            L"Meiryo UI",       L"Yu Gothic UI", L"IPAPGothic"};
    win::unique_window_dc screen(nullptr);
    for (const wchar_t *face : kFaces) {
        if (FaceInstalled(screen.get(), face)) return face;
    }
    std::wstring any;
    LOGFONTW lf{};
    lf.lfCharSet = SHIFTJIS_CHARSET;
    EnumFontFamiliesExW(screen.get(), &lf, NoteProportional, reinterpret_cast<LPARAM>(&any), 0);
    return any.empty() ? std::wstring(kFaces[0]) : any;
}

// 9.75 pt, Japanese character set.
HFONT MakeDialogFont(const std::wstring &face, bool bold, int dpiY) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(975, dpiY, 7200);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    wcsncpy_s(lf.lfFaceName, face.c_str(), _TRUNCATE);
    return CreateFontIndirectW(&lf);
}

// --- Controls ------------------------------------------------------------------------------

HWND MakeControl(HWND parent, const wchar_t *cls, const wchar_t *text, DWORD style, const RECT &box,
                 int id, HFONT font) {
    HWND h = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, box.left, box.top,
                             box.right - box.left, box.bottom - box.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), win::AppInstance(),
                             nullptr);
    if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return h;
}

// The buttons' font: the system's dialog font, scaled from the screen's DPI to the dialog's.
HFONT MakeButtonFont(int dpiY) {
    LOGFONTW lf{};
    if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf)) return nullptr;
    lf.lfHeight = MulDiv(lf.lfHeight, dpiY, win::ScreenDpi().y);
    lf.lfWidth = MulDiv(lf.lfWidth, dpiY, win::ScreenDpi().y);
    return CreateFontIndirectW(&lf);
}

// Places an editable drop-down combo box at its box, its closed height the designed one,
// whatever the font would make it.
void FitCombo(HWND h, const RECT &box) {
    SetWindowPos(h, nullptr, box.left, box.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int wanted = box.bottom - box.top;
    // Room for the list below the field.
    const LRESULT item = SendMessageW(h, CB_GETITEMHEIGHT, 0, 0);
    const int listHeight = item != CB_ERR ? static_cast<int>(item) * kComboListItems + 2 : 0;
    SetWindowPos(h, nullptr, 0, 0, box.right - box.left, wanted + listHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The field's height follows the item height, but not one for one everywhere: adjust and
    // measure again until the box is as high as designed. After the sizing above, which would
    // undo it.
    LRESULT request = SendMessageW(h, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int attempt = 0; attempt < 4 && request != CB_ERR; ++attempt) {
        RECT r{};
        GetWindowRect(h, &r);
        const int off = wanted - (r.bottom - r.top);
        if (off == 0 || request + off <= 0) break;
        request += off;
        SendMessageW(h, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), request);
    }
    SendMessageW(h, CB_SETMINVISIBLE, kComboListItems, 0);
}

HWND MakeCombo(HWND parent, const RECT &box, int id, HFONT font,
               std::initializer_list<const wchar_t *> items) {
    HWND h = MakeControl(parent, WC_COMBOBOXW, L"",
                         WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, box,
                         id, font);
    if (!h) return h;
    for (const wchar_t *item : items) {
        SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    FitCombo(h, box);
    return h;
}

std::wstring TextOf(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(h, s.data(), n + 1);
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return s;
}

bool Checked(HWND h) {
    return SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool HasFocusIn(HWND control, HWND focus) {
    return control && focus && (focus == control || IsChild(control, focus));
}

bool Dropped(HWND combo) {
    return combo && SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

} // namespace

ClipSettingForm::Frame ClipSettingForm::GetFrame() const {
    Frame f;
    f.clientWidth = TwipsX(kClientWidth);
    f.clientHeight = TwipsY(kClientHeight);
    f.caption = L"設定";
    return f;
}

HWND ClipSettingForm::Option1(int index) const {
    return index >= 0 && index < 4 ? option1_[index] : nullptr;
}

HWND ClipSettingForm::Command1(int index) const {
    return index >= 0 && index < 2 ? command1_[index] : nullptr;
}

void ClipSettingForm::MakeFonts() {
    const win::Dpi dpi = LayoutDpi();
    boldFont_.reset(MakeDialogFont(face_, true, dpi.y));
    plainFont_.reset(MakeDialogFont(face_, false, dpi.y));
    // At the screen's DPI the system's own font object, as it always was.
    buttonFont_.reset(dpi.y == win::ScreenDpi().y ? nullptr : MakeButtonFont(dpi.y));
}

HFONT ClipSettingForm::ButtonFont() const {
    return buttonFont_ ? buttonFont_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void ClipSettingForm::CreateControls() {
    face_ = DialogFace();
    optionBrush_.reset(CreateSolidBrush(kOptionBack));
    lastFocus_ = nullptr;

    CreatePicture1(kPicture1.left, kPicture1.top, kPicture1.width, kPicture1.height);
    MakeFonts();
    HWND pic = Picture1.hwnd();
    if (!pic) return;
    const win::Dpi dpi = LayoutDpi();

    image1_ = &Picture1.AddImage(ToPixels(kImage1, dpi));
    image1_->SetPictureFromResource(IDB_SETTING);

    static const wchar_t *const kLabel2Text[3] = {L"初期ディスプレイサイズ", L"プリンタ用紙サイズ",
                                                  L"プリンタ印字部数"};
    for (int i = 0; i < 3; ++i) {
        label2_[i] = &Picture1.AddLabel(ToPixels(kLabel2[i], dpi), kLabel2Text[i]);
        label2_[i]->font = boldFont_.get();
        label2_[i]->color = RGB(255, 255, 255);
    }
    label1_ = &Picture1.AddLabel(ToPixels(kLabel1, dpi), L"Tessary Ver.1.0");
    label1_->font = boldFont_.get();
    label1_->color = GetSysColor(COLOR_BTNTEXT);

    // Created in tab order, so that the z-order the dialog functions walk matches it.
    command1_[0] = MakeControl(pic, WC_BUTTONW, L"OK", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON,
                               ToPixels(kCommand1[0], dpi), IDC_COMMAND1_0, ButtonFont());
    command1_[1] = MakeControl(pic, WC_BUTTONW, L"CANCEL", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON,
                               ToPixels(kCommand1[1], dpi), IDC_COMMAND1_1, ButtonFont());
    combo1_ =
        MakeCombo(pic, ToPixels(kCombo1, dpi), IDC_COMBO1, plainFont_.get(),
                  {kDisplaySizes[0].c_str(), kDisplaySizes[1].c_str(), kDisplaySizes[2].c_str()});
    static const auto setTheme = win::LibraryFunction<HRESULT(WINAPI *)(HWND, LPCWSTR, LPCWSTR)>(
        win::LoadSystemLibrary(L"uxtheme.dll"), "SetWindowTheme");
    for (int i = 0; i < 4; ++i) {
        option1_[i] = MakeControl(pic, WC_BUTTONW, kPaperSizes[i].c_str(),
                                  BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0),
                                  ToPixels(kOption1[i], dpi), IDC_OPTION1_0 + i, boldFont_.get());
        // Themed buttons draw their own text colour; the grey-and-white look needs the classic one.
        if (option1_[i] && setTheme) setTheme(option1_[i], L"", L"");
    }
    combo2_ = MakeCombo(pic, ToPixels(kCombo2, dpi), IDC_COMBO2, plainFont_.get(),
                        {L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9", L"10"});
}

// Windows scales nothing of a window made with CreateWindowEx: the controls are moved and given
// fonts at the new DPI, keeping what the user typed and chose.
void ClipSettingForm::Form_DpiChanged() {
    if (!image1_) return;
    const win::Dpi dpi = LayoutDpi();
    // The old fonts stay alive until no control uses them.
    win::unique_hfont oldBold = std::move(boldFont_), oldPlain = std::move(plainFont_),
                      oldButton = std::move(buttonFont_);
    MakeFonts();
    image1_->box = ToPixels(kImage1, dpi);
    image1_->SetPictureFromResource(IDB_SETTING);
    for (int i = 0; i < 3; ++i) {
        label2_[i]->box = ToPixels(kLabel2[i], dpi);
        label2_[i]->font = boldFont_.get();
    }
    label1_->box = ToPixels(kLabel1, dpi);
    label1_->font = boldFont_.get();
    const auto place = [](HWND h, const RECT &box, HFONT font) {
        if (!h) return;
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowPos(h, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (int i = 0; i < 2; ++i)
        place(command1_[i], ToPixels(kCommand1[i], dpi), ButtonFont());
    for (int i = 0; i < 4; ++i)
        place(option1_[i], ToPixels(kOption1[i], dpi), boldFont_.get());
    const std::pair<HWND, RECT> combos[] = {{combo1_, ToPixels(kCombo1, dpi)},
                                            {combo2_, ToPixels(kCombo2, dpi)}};
    for (const auto &[combo, box] : combos) {
        if (!combo) continue;
        SendMessageW(combo, WM_SETFONT, reinterpret_cast<WPARAM>(plainFont_.get()), FALSE);
        FitCombo(combo, box);
    }
}

void ClipSettingForm::Form_Load() {
    // Only this dialog has controls: comctl32 is loaded for it, not at start, which keeps the
    // resident process as small as a bare tray program.
    static const auto initControls =
        win::LibraryFunction<BOOL(WINAPI *)(const INITCOMMONCONTROLSEX *)>(
            win::LoadSystemLibrary(L"comctl32.dll"), "InitCommonControlsEx");
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    if (initControls) initControls(&icc);
    CreateControls();
    CentreOnScreen();
    // Everything here is laid out in pixels already, and Picture1 keeps its drawing in its
    // memory image; the window itself needs no drawing of its own, Picture1 covers it.
    if (!CaptureBackground(0, 0)) return; // closed while the snapshot let other handlers run

    IniPath = IniPathSource();
    ReadSettings(dispSize_, paperSize_, copies_);
    SetWindowTextW(combo1_, Trim(dispSize_).c_str());
    for (int i = 0; i < 4; ++i) {
        SendMessageW(option1_[i], BM_SETCHECK,
                     paperSize_ == kPaperSizes[i] ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    SetWindowTextW(combo2_, Trim(copies_).c_str());
}

void ClipSettingForm::Command1_Click(int index) {
    switch (index) {
    case 0:
        // Not under a print, nor while a box of ours stands: then it runs once that is over.
        if (ClipMenu.IsLoaded() && ClipMenu->Hold(IDC_COMMAND1_0)) break;
        CheckAndSave();
        break;
    case 1:
        Unload();
        break;
    default:
        break;
    }
}

void ClipSettingForm::CheckAndSave() {
    const auto refuse = [this](const wchar_t *text, HWND box) {
        win::ProgramModalMessageBox(Handle(), text, kTitle, MB_OK | MB_ICONSTOP);
        if (IsLoaded()) SetFocus(box);
    };

    const std::wstring typedSize = Trim(TextOf(combo1_));
    bool knownSize = false;
    for (const std::wstring &s : kDisplaySizes)
        knownSize = knownSize || typedSize == s;
    if (!knownSize) {
        refuse(L"ディスプレイサイズが不正です", combo1_);
        return;
    }
    const std::wstring dispSize = Trim(TextOf(combo1_));

    std::wstring paperSize;
    for (int i = 0; i < 4; ++i) {
        if (Checked(option1_[i])) {
            paperSize = kPaperSizes[i];
            break;
        }
    }

    const std::wstring copies = Trim(TextOf(combo2_));
    if (copies.empty()) {
        refuse(L"印字部数が不正です", combo2_);
        return;
    }

    // A save that does not land must not look like one: the user would lose the settings unseen.
    MakeSettingsFolder();
    if (!WriteSettings(dispSize, paperSize, copies)) {
        win::ProgramModalMessageBox(Handle(), L"設定を保存できませんでした", kTitle,
                                    MB_OK | MB_ICONSTOP);
        return;
    }
    ReadSettings(DispSize, PaperSize, PrintCopies);
    Unload();
}

void ClipSettingForm::MoveFocus(bool backwards) {
    HWND group = option1_[0];
    for (HWND option : option1_) {
        if (Checked(option)) group = option;
    }
    const std::array<HWND, 6> stops = {Picture1.hwnd(), command1_[0], command1_[1],
                                       combo1_,         group,        combo2_};
    const HWND focus = GetFocus();
    int current = -1;
    if (focus == Picture1.hwnd()) current = 0;
    for (int i = 1; i < 6; ++i) {
        if (HasFocusIn(stops[static_cast<size_t>(i)], focus)) current = i;
    }
    for (HWND option : option1_) {
        if (HasFocusIn(option, focus)) current = 4;
    }
    const int n = static_cast<int>(stops.size());
    const int next =
        current < 0 ? (backwards ? n - 1 : 0) : (current + (backwards ? n - 1 : 1)) % n;
    SetFocus(stops[static_cast<size_t>(next)]);
}

void ClipSettingForm::MoveInOptionGroup(HWND from, bool backwards) {
    int at = 0;
    for (int i = 0; i < 4; ++i) {
        if (option1_[i] == from) at = i;
    }
    const int next = (at + (backwards ? 3 : 1)) % 4;
    SetFocus(option1_[next]);
    for (int i = 0; i < 4; ++i) {
        SendMessageW(option1_[i], BM_SETCHECK, i == next ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

bool ClipSettingForm::PreTranslateMessage(MSG &msg) {
    if (msg.message != WM_KEYDOWN || !IsLoaded()) return false;
    const HWND focus = GetFocus();
    switch (msg.wParam) {
    case VK_TAB:
        if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
        MoveFocus(GetKeyState(VK_SHIFT) < 0);
        return true;
    case VK_RETURN:
    case VK_ESCAPE:
        // Neither button is a default or a cancel button. An open drop-down list still closes
        // on these keys, as it does everywhere.
        return !Dropped(combo1_) && !Dropped(combo2_);
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        for (HWND option : option1_) {
            if (option && option == focus) {
                MoveInOptionGroup(option, msg.wParam == VK_LEFT || msg.wParam == VK_UP);
                return true;
            }
        }
        return false;
    default:
        return false;
    }
}

LRESULT ClipSettingForm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
            if (LOWORD(wp) == IDC_COMMAND1_0)
                Command1_Click(0);
            else if (LOWORD(wp) == IDC_COMMAND1_1)
                Command1_Click(1);
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        for (HWND option : option1_) {
            if (option && reinterpret_cast<HWND>(lp) == option) {
                const HDC dc = reinterpret_cast<HDC>(wp);
                SetTextColor(dc, RGB(255, 255, 255));
                SetBkColor(dc, kOptionBack);
                return reinterpret_cast<LRESULT>(optionBrush_.get());
            }
        }
        break;
    case WM_ACTIVATE:
        // Like a dialog: the focus leaves with the window and comes back to the same control;
        // on first showing it goes to Picture1, first in the tab order.
        if (LOWORD(wp) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(Handle(), focus)) lastFocus_ = focus;
        } else if (!HIWORD(wp)) {
            const HWND to = lastFocus_ && IsWindow(lastFocus_) && IsChild(Handle(), lastFocus_)
                                ? lastFocus_
                                : Picture1.hwnd();
            if (to) SetFocus(to);
        }
        return 0;
    case WM_CLOSE:
        Unload();
        return 0;
    case WM_NCDESTROY: {
        const LRESULT r = SkinnedForm::OnMessage(msg, wp, lp);
        combo1_ = combo2_ = nullptr;
        for (HWND &h : option1_)
            h = nullptr;
        for (HWND &h : command1_)
            h = nullptr;
        lastFocus_ = nullptr;
        image1_ = nullptr;
        label1_ = nullptr;
        for (win::LabelElement *&l : label2_)
            l = nullptr;
        boldFont_.reset();
        plainFont_.reset();
        buttonFont_.reset();
        optionBrush_.reset();
        return r;
    }
    }
    return SkinnedForm::OnMessage(msg, wp, lp);
}
