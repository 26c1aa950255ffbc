#include "shell/ClipMenu.h"

#include "common/basClipMain.h"
#include "common/clipboard.h"
#include "common/ids.h"
#include "preview/ClipMainV.h"
#include "print/PrintJob.h"
#include "remote/ClipRemort.h"
#include "settings/ClipSetting.h"
#include "settings/basClipINI.h"
#include "common/skin.h"
#include "shell/basClipLook.h"

#include <algorithm>
#include <utility>

win::FormRef<ClipMenuForm> ClipMenu;

int RunTessary() {
    ClipMenu->Load();
    if (win::Form::LoadedCount() == 0) return 1;
    const int code = win::RunMessageLoop();
    // However the loop ended (a WM_QUIT posted from outside, a failing GetMessage), leave as
    // "終了" does: no icon left behind in the tray, no viewer after us left deaf.
    if (ClipMenu.IsLoaded()) ClipMenu->mEnd2_Click();
    return code;
}

// --- MenuItem ------------------------------------------------------------------------------

bool MenuItem::Checked() const {
    return (GetMenuState(parent_, key_, Flag()) & MF_CHECKED) != 0;
}

void MenuItem::SetChecked(bool on) {
    CheckMenuItem(parent_, key_, Flag() | (on ? MF_CHECKED : MF_UNCHECKED));
}

bool MenuItem::Enabled() const {
    const UINT state = GetMenuState(parent_, key_, Flag());
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void MenuItem::SetEnabled(bool on) {
    EnableMenuItem(parent_, key_, Flag() | (on ? MF_ENABLED : MF_GRAYED));
}

std::wstring MenuItem::Caption() const {
    wchar_t buf[128] = {};
    const int n = GetMenuStringW(parent_, key_, buf, 128, Flag());
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// --- ClipMenu ------------------------------------------------------------------------------

namespace {

bool IsPrint(UINT id) {
    return id == ID_MTPRINT || id == ID_MYPRINT;
}

// The commands that can bring up a message box of ours.
bool OpensBox(UINT id) {
    return IsPrint(id) || id == ID_M42 || id == ID_M57 || id == ID_M65 || id == IDC_COMMAND1_0;
}

} // namespace

ClipMenuForm::Frame ClipMenuForm::GetFrame() const {
    Frame f;
    f.style = WS_OVERLAPPEDWINDOW; // never shown
    f.clientWidth = 200;
    f.clientHeight = 100;
    f.caption = L"Tessary";
    return f;
}

void ClipMenuForm::BuildMenus() {
    HMENU tv = CreatePopupMenu();
    AppendMenuW(tv, MF_STRING, ID_M42, L"42ｲﾝﾁ");
    AppendMenuW(tv, MF_STRING, ID_M57, L"57ｲﾝﾁ");
    AppendMenuW(tv, MF_STRING, ID_M65, L"65ｲﾝﾁ");
    AppendMenuW(tv, MF_STRING, ID_MOFF, L"OFF");
    HMENU print = CreatePopupMenu();
    AppendMenuW(print, MF_STRING, ID_MTPRINT, L"縦印刷");
    AppendMenuW(print, MF_STRING, ID_MYPRINT, L"横印刷");
    mMenu_ = CreatePopupMenu();
    AppendMenuW(mMenu_, MF_POPUP, reinterpret_cast<UINT_PTR>(tv), L"スイッチ");
    AppendMenuW(mMenu_, MF_POPUP, reinterpret_cast<UINT_PTR>(print), L"印刷");
    AppendMenuW(mMenu_, MF_STRING, ID_MEND, L"閉じる");
    mMenu2_ = CreatePopupMenu();
    AppendMenuW(mMenu2_, MF_STRING, ID_MSET, L"設定");
    AppendMenuW(mMenu2_, MF_STRING, ID_MREM, L"リモコン");
    AppendMenuW(mMenu2_, MF_STRING, ID_MEND2, L"終了");
    menuBar_ = CreateMenu();
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(mMenu_), L"メニュー");
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(mMenu2_), L"メニュー２");
    // Attached to the window, the menus are destroyed with it.
    if (!SetMenu(Handle(), menuBar_)) {
        DestroyMenu(menuBar_);
        menuBar_ = mMenu_ = mMenu2_ = nullptr;
        return;
    }
    m42 = MenuItem(tv, ID_M42);
    m57 = MenuItem(tv, ID_M57);
    m65 = MenuItem(tv, ID_M65);
    mOFF = MenuItem(tv, ID_MOFF);
    mPrint = MenuItem::AtPosition(mMenu_, 1);
    mTPrint = MenuItem(print, ID_MTPRINT);
    mYPrint = MenuItem(print, ID_MYPRINT);
    mEnd = MenuItem(mMenu_, ID_MEND);
    mSET = MenuItem(mMenu2_, ID_MSET);
    mRem = MenuItem(mMenu2_, ID_MREM);
    mEnd2 = MenuItem(mMenu2_, ID_MEND2);
}

void ClipMenuForm::AddTrayIcon() {
    Shell_NotifyIconW(NIM_ADD, &TrayIcon);
}

void ClipMenuForm::LoadTrayIcon(int dpi) {
    win::unique_hicon icon(LoadTrayIconFor(dpi));
    if (!icon) return; // the one shown stays
    TrayIcon.hIcon = icon.get();
    trayIcon_ = std::move(icon); // the old one goes once the shell has the new one
}

void ClipMenuForm::Form_Load() {
    BuildMenus();
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");

    IniPath = BuildIniPath();
    ReadSettings(DispSize, PaperSize, PrintCopies);
    // Joining sends the first WM_DRAWCLIPBOARD before the hook is in place; the clipboard is
    // examined once, explicitly, at the end.
    NextViewer = SetClipboardViewer(Handle());
    HookWindow(Handle());
    FillTrayIcon(Handle(), nullptr);
    LoadTrayIcon(win::WindowDpi(Handle()).x);
    AddTrayIcon();
    win::SetOnBoxClosed([this] {
        if (!held_.empty() && IsLoaded()) PostMessageW(Handle(), WM_RUNHELD, 0, 0);
    });
    Hide();
    ChangeClipBoard();
}

void ClipMenuForm::Form_Unload() {
    held_.clear();
    win::SetOnBoxClosed(nullptr);
    Shell_NotifyIconW(NIM_DELETE, &TrayIcon);
    TrayIcon.hIcon = nullptr;
    trayIcon_.reset();
    UnhookWindow(Handle());
    ChangeClipboardChain(Handle(), NextViewer);
    NextViewer = nullptr;
}

void ClipMenuForm::ChangeClipBoard() {
    if (clip::IsPicture(clip::ContentMask())) mRem_Click();
}

void ClipMenuForm::Form_MouseMove(LPARAM lp) {
    // The icon reports the mouse message in the low word of lParam; read it as it is.
    if (LOWORD(lp) != WM_RBUTTONDOWN) return;
    SetForegroundWindow(Handle());
    win::DoEvents();
    if (!IsLoaded()) return;
    if (const UINT cmd = PopupMenu(mMenu2_)) RunCommand(cmd);
}

UINT ClipMenuForm::PopupMenu(HMENU menu) {
    if (!menu || !IsLoaded()) return 0;
    POINT pt{};
    GetCursorPos(&pt);
    const UINT cmd = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x,
                       pt.y, 0, Handle(), nullptr));
    // The menu's loop lets messages run: "終了" may have come in meanwhile.
    if (!IsLoaded()) return 0;
    // Lets the menu's owner leave the menu state properly before the command runs.
    PostMessageW(Handle(), WM_NULL, 0, 0);
    return cmd;
}

void ClipMenuForm::PassOnChange(WPARAM wp, LPARAM lp) {
    // Not again while one is being handed on: a broken peer that sends the change back to us
    // would otherwise make a loop that ends only with the stack.
    if (passingOn_ || !NextViewer) return;
    passingOn_ = true;
    SendMessageTimeoutW(NextViewer, WM_DRAWCLIPBOARD, wp, lp, SMTO_ABORTIFHUNG, 2000, nullptr);
    passingOn_ = false;
}

void ClipMenuForm::RunCommand(UINT id) {
    switch (id) {
    case ID_M42:
        m42_Click();
        break;
    case ID_M57:
        m57_Click();
        break;
    case ID_M65:
        m65_Click();
        break;
    case ID_MOFF:
        mOFF_Click();
        break;
    case ID_MTPRINT:
        mTPrint_Click();
        break;
    case ID_MYPRINT:
        mYPrint_Click();
        break;
    case ID_MEND:
        mEnd_Click();
        break;
    case ID_MSET:
        mSET_Click();
        break;
    case ID_MREM:
        mRem_Click();
        break;
    case ID_MEND2:
        mEnd2_Click();
        break;
    default:
        break;
    }
}

bool ClipMenuForm::Hold(UINT id) {
    if (printing_) {
        if (IsPrint(id)) return true; // one print at a time
    } else if (!win::MessageBoxUp() || !OpensBox(id)) {
        return false;
    }
    held_.erase(std::remove_if(held_.begin(), held_.end(),
                               [id](UINT h) { return h == id || (IsPrint(h) && IsPrint(id)); }),
                held_.end());
    held_.push_back(id);
    return true;
}

void ClipMenuForm::RunHeld() {
    // Each command may print, open a box or end the program: look again before the next.
    while (!held_.empty() && !printing_ && !win::MessageBoxUp() && !win::Form::Exiting()) {
        const UINT id = held_.front();
        held_.erase(held_.begin());
        if (id != IDC_COMMAND1_0) {
            RunCommand(id);
        } else if (ClipSetting.IsLoaded()) {
            ClipSetting->Command1_Click(0);
        }
    }
}

// A print command, "縦印刷" or "横印刷" (print/print_commands.cpp): held like the others, and
// holding every other command until the page is handed over.
void ClipMenuForm::Print(UINT id, short orientation) {
    if (Hold(id)) return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    print::PrintResult result = print::PrintResult::PrintFailed;
    {
        // Held from the command until the page is handed over and the file is gone: a printer
        // driver's dialog or a delayed rendering lets messages run inside the job.
        printing_ = true;
        struct Reset {
            bool &flag;
            ~Reset() { flag = false; }
        } const reset{printing_};
        result = print::PrintClipboard(orientation, ProgramFolder(), PaperSize, PrintCopies, now,
                                       &PrintFile);
    }
    // The print's own message first, then what came in meanwhile, in its order.
    if (const wchar_t *text = print::FailureText(result)) {
        win::ProgramModalMessageBox(Handle(), text, L"Tessary", MB_OK | MB_ICONSTOP);
    }
    RunHeld();
}

void ClipMenuForm::mOFF_Click() {
    if (Hold(ID_MOFF)) return;
    m65.SetChecked(false);
    m42.SetChecked(false);
    m57.SetChecked(false);
    mOFF.SetEnabled(false);
    ClipMain42V.Unload();
    ClipMain57V.Unload();
    ClipMain65V.Unload();
}

void ClipMenuForm::mRem_Click() {
    if (!Hold(ID_MREM)) ClipRemort->Show();
}

void ClipMenuForm::mSET_Click() {
    if (Hold(ID_MSET)) return;
    ClipSetting->Show();
    // Chosen again while open, the dialog comes to the front instead of staying behind others.
    if (ClipSetting.IsLoaded()) SetForegroundWindow(ClipSetting->hWnd());
}

void ClipMenuForm::mEnd_Click() {
    if (Hold(ID_MEND)) return;
    ClipMain42V.Unload();
    ClipMain57V.Unload();
    ClipMain65V.Unload();
    ClipRemort.Unload();
    m65.SetChecked(false);
    m42.SetChecked(false);
    m57.SetChecked(false);
}

void ClipMenuForm::mEnd2_Click() {
    if (Hold(ID_MEND2)) return;
    // Whatever handler this runs under goes on afterwards; none of them may bring a window back.
    win::Form::SetExiting(true);
    ClipMain42V.Unload();
    ClipMain57V.Unload();
    ClipMain65V.Unload();
    ClipRemort.Unload();
    Unload();
}

LRESULT ClipMenuForm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TRAYCALLBACK:
        Form_MouseMove(lp);
        return 0;
    case WM_COMMAND:
        if (lp == 0) RunCommand(LOWORD(wp));
        return 0;
    case WM_DRAWCLIPBOARD:
        return 0; // passed on by WindowProc, before the examination
    case WM_CHANGECBCHAIN:
        if (reinterpret_cast<HWND>(wp) == NextViewer)
            NextViewer = reinterpret_cast<HWND>(lp);
        else if (NextViewer)
            SendMessageTimeoutW(NextViewer, msg, wp, lp, SMTO_ABORTIFHUNG, 2000, nullptr);
        return 0;
    case WM_CLOSE:
        // Closed from outside (a session end or another program): leave as the exit command does,
        // so the icon and the chain are cleaned up.
        mEnd2_Click();
        return 0;
    case WM_ENDSESSION:
        if (wp) mEnd2_Click();
        return 0;
    case WM_RUNHELD:
        RunHeld();
        return 0;
    case WM_DPICHANGED:
    case WM_DISPLAYCHANGE: {
        // The taskbar wants the icon at the small-icon size of the new scale.
        win::unique_hicon old = std::move(trayIcon_);
        LoadTrayIcon(msg == WM_DPICHANGED ? LOWORD(wp) : win::WindowDpi(Handle()).x);
        if (trayIcon_)
            Shell_NotifyIconW(NIM_MODIFY, &TrayIcon);
        else
            trayIcon_ = std::move(old);
        return msg == WM_DPICHANGED ? 0 : Form::OnMessage(msg, wp, lp);
    }
    }
    if (taskbarCreated_ && msg == taskbarCreated_) {
        // A restarted shell has no icons: put ours back, at the size it wants now.
        LoadTrayIcon(win::WindowDpi(Handle()).x);
        AddTrayIcon();
        return 0;
    }
    return Form::OnMessage(msg, wp, lp);
}
