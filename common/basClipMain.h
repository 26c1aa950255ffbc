// The notification-area icon record, filled once at start and used to add, re-add and remove it.
#pragma once

#include <windows.h>

#include <shellapi.h>

extern NOTIFYICONDATAW TrayIcon;

// Fills TrayIcon for the given window: identifier 1, callback WM_MOUSEMOVE, the program icon and
// the tip "Tessary Ver.1.0".
void FillTrayIcon(HWND hwnd, HICON icon);

// The program icon at the small-icon size for a DPI (16 pixels at 96, 20 at 120, 24 at 144, 32
// at 192), scaled down from the next larger image where there is none of that size. The caller
// destroys it.
HICON LoadTrayIconFor(int dpi);
