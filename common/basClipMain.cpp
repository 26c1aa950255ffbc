#include "common/basClipMain.h"

#include "common/form.h"
#include "common/ids.h"
#include "common/lazylib.h"

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
    for (int i = 0; i < 64; ++i)
        TrayIcon.szTip[i] = L' ';
    std::wmemcpy(TrayIcon.szTip, tip, sizeof(tip) / sizeof(tip[0]));
    for (size_t i = 64; i < sizeof(TrayIcon.szTip) / sizeof(TrayIcon.szTip[0]); ++i)
        TrayIcon.szTip[i] = L'\0';
}

HICON LoadTrayIconFor(int dpi) {
    // Windows 10 1607 and Vista respectively: looked up, with the screen's metrics and LoadImage
    // (which scales from the nearest image, less finely) where they are missing.
    static const auto metricsForDpi = win::LibraryFunction<int(WINAPI *)(int, UINT)>(
        GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi");
    const bool scaled = metricsForDpi && dpi > 0;
    const int cx =
        scaled ? metricsForDpi(SM_CXSMICON, static_cast<UINT>(dpi)) : GetSystemMetrics(SM_CXSMICON);
    const int cy =
        scaled ? metricsForDpi(SM_CYSMICON, static_cast<UINT>(dpi)) : GetSystemMetrics(SM_CYSMICON);
    HICON icon = nullptr;
    // At 96 DPI the 16-pixel image is taken as it is: no library for that.
    if (cx != 16 || cy != 16) {
        // Version 6, the one the manifest names: only it has LoadIconWithScaleDown.
        HMODULE comctl = win::LoadSystemLibrary(L"comctl32.dll");
        using ScaleDown = HRESULT(WINAPI *)(HINSTANCE, PCWSTR, int, int, HICON *);
        const auto scaleDown = win::LibraryFunction<ScaleDown>(comctl, "LoadIconWithScaleDown");
        if (scaleDown &&
            FAILED(scaleDown(win::AppInstance(), MAKEINTRESOURCEW(IDI_TESSARY), cx, cy, &icon))) {
            icon = nullptr;
        }
    }
    if (!icon) {
        icon = static_cast<HICON>(
            LoadImageW(win::AppInstance(), MAKEINTRESOURCEW(IDI_TESSARY), IMAGE_ICON, cx, cy, 0));
    }
    return icon;
}
