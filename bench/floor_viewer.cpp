// Floor for the notification figures: a minimal, well-behaved clipboard viewer. When a change
// leaves a picture on the clipboard it creates and shows a 42 x 141 window where Tessary's remote
// control appears, then a 469 x 265 window centred on the screen with the picture stretched over
// it, as the 42-inch preview does. A right click on either window closes both. It stays in the
// viewer chain, passes every notification on and leaves the chain when it is closed.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kRemoteX = 211, kRemoteY = 461, kRemoteW = 42, kRemoteH = 141;
constexpr int kPreviewW = 469, kPreviewH = 265;
const wchar_t kMainClass[] = L"FloorViewerMain";
const wchar_t kRemoteClass[] = L"FloorViewerRemote";
const wchar_t kPreviewClass[] = L"FloorViewerPreview";

HWND g_next = nullptr;
HWND g_remote = nullptr;
HWND g_preview = nullptr;
std::vector<std::uint8_t> g_dib; // the packed DIB the preview shows
std::size_t g_bitsOffset = 0;

class clipboard_scope {
public:
    explicit clipboard_scope(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    clipboard_scope(const clipboard_scope &) = delete;
    clipboard_scope &operator=(const clipboard_scope &) = delete;
    ~clipboard_scope() {
        if (open_) CloseClipboard();
    }
    explicit operator bool() const { return open_; }

private:
    bool open_;
};

// Where the pixels start in a packed DIB, or 0 when the block is too short for what the header
// says: the preview then stays black rather than reading past the block.
std::size_t BitsOffset(const std::vector<std::uint8_t> &dib) {
    if (dib.size() < sizeof(BITMAPINFOHEADER)) return 0;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), sizeof(h));
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > dib.size() || h.biWidth <= 0 ||
        h.biHeight == 0 || h.biBitCount == 0 || h.biBitCount > 32 || h.biClrUsed > 256) {
        return 0;
    }
    std::size_t offset = h.biSize;
    if (h.biCompression == BI_BITFIELDS && h.biSize == sizeof(BITMAPINFOHEADER)) offset += 12;
    const std::size_t colours =
        h.biClrUsed ? h.biClrUsed : (h.biBitCount <= 8 ? std::size_t{1} << h.biBitCount : 0);
    offset += colours * sizeof(RGBQUAD);
    const std::uint64_t stride =
        (std::uint64_t{static_cast<std::uint32_t>(h.biWidth)} * h.biBitCount + 31) / 32 * 4;
    const std::uint64_t rows = h.biHeight < 0 ? 0 - static_cast<std::int64_t>(h.biHeight)
                                              : static_cast<std::uint64_t>(h.biHeight);
    if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return 0;
    if (offset + stride * rows > dib.size()) return 0;
    return offset;
}

void CopyClipboardPicture(HWND owner) {
    g_dib.clear();
    g_bitsOffset = 0;
    const clipboard_scope clip(owner);
    if (!clip) return;
    HANDLE data = GetClipboardData(CF_DIB);
    if (!data) return;
    const void *p = GlobalLock(data);
    if (!p) return;
    const auto *bytes = static_cast<const std::uint8_t *>(p);
    g_dib.assign(bytes, bytes + GlobalSize(data));
    GlobalUnlock(data);
    g_bitsOffset = BitsOffset(g_dib);
}

void CloseWindows() {
    if (g_preview) DestroyWindow(g_preview);
    if (g_remote) DestroyWindow(g_remote);
    g_preview = g_remote = nullptr;
    g_dib.clear();
    g_dib.shrink_to_fit();
}

void ShowWindows(HWND owner) {
    if (g_remote) return;
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    g_remote = CreateWindowExW(WS_EX_TOOLWINDOW, kRemoteClass, L"FloorRemote", WS_POPUP, kRemoteX,
                               kRemoteY, kRemoteW, kRemoteH, nullptr, nullptr, inst, nullptr);
    if (!g_remote) return;
    ShowWindow(g_remote, SW_SHOW);
    UpdateWindow(g_remote);
    CopyClipboardPicture(owner);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kPreviewW) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kPreviewH) / 2;
    g_preview = CreateWindowExW(WS_EX_TOOLWINDOW, kPreviewClass, L"FloorPreview", WS_POPUP, x, y,
                                kPreviewW, kPreviewH, nullptr, nullptr, inst, nullptr);
    if (!g_preview) return;
    ShowWindow(g_preview, SW_SHOW);
    UpdateWindow(g_preview);
}

bool ClipboardHasPicture() {
    return IsClipboardFormatAvailable(CF_BITMAP) || IsClipboardFormatAvailable(CF_DIB);
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        g_next = SetClipboardViewer(hwnd);
        return 0;
    case WM_DRAWCLIPBOARD:
        if (ClipboardHasPicture()) ShowWindows(hwnd);
        if (g_next) SendMessageTimeoutW(g_next, msg, wp, lp, SMTO_ABORTIFHUNG, 2000, nullptr);
        return 0;
    case WM_CHANGECBCHAIN:
        if (reinterpret_cast<HWND>(wp) == g_next)
            g_next = reinterpret_cast<HWND>(lp);
        else if (g_next)
            SendMessageTimeoutW(g_next, msg, wp, lp, SMTO_ABORTIFHUNG, 2000, nullptr);
        return 0;
    case WM_DESTROY:
        CloseWindows();
        ChangeClipboardChain(hwnd, g_next);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// The remote and the preview: grey, and the picture (black when there is none).
LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        if (hwnd != g_preview) {
            FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        } else if (g_bitsOffset) {
            const auto *info = reinterpret_cast<const BITMAPINFO *>(g_dib.data());
            const LONG h = info->bmiHeader.biHeight;
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchDIBits(dc, 0, 0, rc.right, rc.bottom, 0, 0, info->bmiHeader.biWidth,
                          h < 0 ? -h : h, g_dib.data() + g_bitsOffset, info, DIB_RGB_COLORS,
                          SRCCOPY);
        } else {
            FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_RBUTTONDOWN:
        CloseWindows();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool Register(const wchar_t *name, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    if (!Register(kMainClass, MainProc) || !Register(kRemoteClass, WindowProc) ||
        !Register(kPreviewClass, WindowProc)) {
        return 1;
    }
    HWND main = CreateWindowExW(0, kMainClass, L"FloorViewer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, inst, nullptr);
    if (!main) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
