#include "shell/basClipLook.h"

#include "shell/ClipMenu.h"

#include <new>

WNDPROC PrevWndProc = nullptr;

void HookWindow(HWND hwnd) {
    PrevWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc)));
}

void UnhookWindow(HWND hwnd) {
    if (!PrevWndProc) return;
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PrevWndProc));
    PrevWndProc = nullptr;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // Guards only the examination: a change that arrives while one is running (the windows it
    // opens let messages through) is passed on without a second look and not remembered.
    static short WndProcBusy = 0;
    // Every member of the chain passes the change on, and the viewers after us depend on it: at
    // once, so that a message box the examination opens does not hold them until it is closed.
    if (msg == WM_DRAWCLIPBOARD) ClipMenu->PassOnChange(wp, lp);
    if (WndProcBusy == 0) {
        WndProcBusy = -1;
        // A picture too large for memory is as good as none: the program stays, in the chain.
        try {
            if (msg == WM_DRAWCLIPBOARD) ClipMenu->ChangeClipBoard();
        } catch (const std::bad_alloc &) {
        }
        WndProcBusy = 0;
    }
    if (!PrevWndProc) return DefWindowProcW(hwnd, msg, wp, lp);
    return CallWindowProcW(PrevWndProc, hwnd, msg, wp, lp);
}
