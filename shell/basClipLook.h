// Puts WindowProc in front of ClipMenu's window procedure, so that a clipboard change is examined
// before the message goes on to ClipMenu's own handling.
#pragma once

#include <windows.h>

extern WNDPROC PrevWndProc; // the replaced procedure; null while not hooked

void HookWindow(HWND hwnd);
void UnhookWindow(HWND hwnd);
LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
