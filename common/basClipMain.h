// The notification-area icon record, filled once at start and used to add, re-add and remove it.
#pragma once

#include <windows.h>

#include <shellapi.h>

extern NOTIFYICONDATAW TrayIcon;

// Fills TrayIcon for the given window: identifier 1, callback WM_MOUSEMOVE, the program icon and
// the tip "Tessary Ver.1.0".
void FillTrayIcon(HWND hwnd, HICON icon);
