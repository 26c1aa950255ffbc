// Floor for the idle figures: the least a tray program is, a hidden window, one notification icon
// and a message loop that sleeps in GetMessage until something happens.
#include <windows.h>

#include <shellapi.h>

namespace {

const wchar_t kClass[] = L"FloorTray";
constexpr UINT kTrayMessage = WM_APP + 1;

NOTIFYICONDATAW g_icon{};

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DESTROY:
        Shell_NotifyIconW(NIM_DELETE, &g_icon);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainProc;
    wc.hInstance = inst;
    wc.lpszClassName = kClass;
    if (!RegisterClassExW(&wc)) return 1;
    HWND hwnd = CreateWindowExW(0, kClass, L"FloorTray", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, inst, nullptr);
    if (!hwnd) return 1;
    g_icon.cbSize = sizeof(g_icon);
    g_icon.hWnd = hwnd;
    g_icon.uID = 1;
    g_icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    g_icon.uCallbackMessage = kTrayMessage;
    g_icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpynW(g_icon.szTip, L"FloorTray", ARRAYSIZE(g_icon.szTip));
    if (!Shell_NotifyIconW(NIM_ADD, &g_icon)) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
