#include "common/basClipMain.h"

#include "common/ids.h"

#include <cwchar>

NOTIFYICONDATAW TrayIcon{};

void FillTrayIcon(HWND hwnd, HICON icon) {
    TrayIcon = NOTIFYICONDATAW{};
    TrayIcon.cbSize = sizeof(NOTIFYICONDATAW);
    TrayIcon.hWnd = hwnd;
    TrayIcon.uID = TRAY_ICON_ID;
    TrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIcon.uCallbackMessage = WM_TRAYCALLBACK;
    TrayIcon.hIcon = icon;
    // The tip field is kept as the fixed 64-character field it always was: text, end mark, spaces.
    constexpr wchar_t tip[] = L"Tessary Ver.1.0";
    for (int i = 0; i < 64; ++i) TrayIcon.szTip[i] = L' ';
    std::wmemcpy(TrayIcon.szTip, tip, sizeof(tip) / sizeof(tip[0]));
    for (size_t i = 64; i < sizeof(TrayIcon.szTip) / sizeof(TrayIcon.szTip[0]); ++i)
        TrayIcon.szTip[i] = L'\0';
}
