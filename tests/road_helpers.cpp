// Helpers for tests/e2e_road.sh that need the Windows side of the clipboard.
//
//   road_helper viewer COUNTFILE STOPFILE
//       Joins the clipboard-viewer chain as a well-behaved viewer: counts every WM_DRAWCLIPBOARD
//       into COUNTFILE (the number alone, written first once it has joined), passes every
//       notification on, and leaves the chain and ends when STOPFILE appears (or after ten
//       minutes, so that it never outlives a run).
//   road_helper copy BMPFILE TEXT
//       Puts the picture of BMPFILE (as CF_DIB) and TEXT (as CF_UNICODETEXT) on the clipboard
//       together, in one change, which no X program can offer in one go.
//   road_helper program answers|quit|session
//       The running program's menu window: whether it answers (its load handler is through), or
//       ends it from outside with a WM_QUIT posted to its thread or a session end
//       (WM_QUERYENDSESSION, then WM_ENDSESSION).
//
// Exit status 0 on success, 1 on a failure (printed), 2 on bad arguments.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND g_next = nullptr;
unsigned g_count = 0;
std::wstring g_countFile, g_stopFile;
ULONGLONG g_deadline = 0;
constexpr UINT_PTR kStopTimer = 1;

// Written aside and renamed, so that a reader never sees a half-written number.
void WriteCount() {
    const std::wstring tmp = g_countFile + L".tmp";
    const HANDLE f = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%u\n", g_count);
    DWORD written = 0;
    WriteFile(f, text, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(f);
    MoveFileExW(tmp.c_str(), g_countFile.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DRAWCLIPBOARD:
        ++g_count;
        WriteCount();
        if (g_next) SendMessageW(g_next, msg, wp, lp);
        return 0;
    case WM_CHANGECBCHAIN:
        if (reinterpret_cast<HWND>(wp) == g_next)
            g_next = reinterpret_cast<HWND>(lp);
        else if (g_next)
            SendMessageW(g_next, msg, wp, lp);
        return 0;
    case WM_TIMER:
        if (GetFileAttributesW(g_stopFile.c_str()) != INVALID_FILE_ATTRIBUTES ||
            GetTickCount64() > g_deadline) {
            DestroyWindow(hwnd);
        }
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kStopTimer);
        ChangeClipboardChain(hwnd, g_next);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int RunViewer(const std::wstring &countFile, const std::wstring &stopFile) {
    g_countFile = countFile;
    g_stopFile = stopFile;
    g_deadline = GetTickCount64() + 10ULL * 60 * 1000;
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = inst;
    wc.lpszClassName = L"RoadViewer";
    if (!RegisterClassW(&wc)) return 1;
    // Never shown: a viewer needs a window, not a visible one.
    const HWND hwnd = CreateWindowExW(0, L"RoadViewer", L"RoadViewer", WS_OVERLAPPED, 0, 0, 10, 10,
                                      nullptr, nullptr, inst, nullptr);
    if (!hwnd) return 1;
    g_next = SetClipboardViewer(hwnd);
    // The file appears once the viewer is in the chain.
    WriteCount();
    SetTimer(hwnd, kStopTimer, 100, nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}

std::vector<char> ReadAll(const std::wstring &path) {
    std::vector<char> bytes;
    const HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (64 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
            got != bytes.size()) {
            bytes.clear();
        }
    }
    CloseHandle(f);
    return bytes;
}

// A movable global block holding the bytes; nullptr when out of memory.
HGLOBAL Block(const void *data, size_t size) {
    const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!h) return nullptr;
    void *p = GlobalLock(h);
    if (!p) {
        GlobalFree(h);
        return nullptr;
    }
    std::memcpy(p, data, size);
    GlobalUnlock(h);
    return h;
}

// The clipboard takes the block on success; otherwise it is ours to free.
bool Put(UINT format, HGLOBAL h) {
    if (!h) return false;
    if (SetClipboardData(format, h)) return true;
    GlobalFree(h);
    return false;
}

int RunCopy(const std::wstring &bmpFile, const std::wstring &text) {
    const std::vector<char> bmp = ReadAll(bmpFile);
    const size_t fileHeader = 14;
    if (bmp.size() <= fileHeader + sizeof(BITMAPINFOHEADER) || bmp[0] != 'B' || bmp[1] != 'M') {
        std::fprintf(stderr, "road_helper: not a BMP file\n");
        return 1;
    }
    // A message-only window owns the clipboard: with no owner, EmptyClipboard would leave
    // SetClipboardData nothing to attach the data to.
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    if (!owner) return 1;
    // Another program may hold the clipboard open for a moment.
    bool open = OpenClipboard(owner) != FALSE;
    for (int i = 0; i < 50 && !open; ++i) {
        Sleep(100);
        open = OpenClipboard(owner) != FALSE;
    }
    if (!open) {
        std::fprintf(stderr, "road_helper: the clipboard stayed busy\n");
        DestroyWindow(owner);
        return 1;
    }
    EmptyClipboard();
    const bool dib = Put(CF_DIB, Block(bmp.data() + fileHeader, bmp.size() - fileHeader));
    const bool txt = Put(CF_UNICODETEXT, Block(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
    CloseClipboard();
    DestroyWindow(owner);
    if (!dib || !txt) {
        std::fprintf(stderr, "road_helper: SetClipboardData failed (picture %d, text %d)\n",
                     dib ? 1 : 0, txt ? 1 : 0);
        return 1;
    }
    return 0;
}

int RunProgram(const std::wstring &how) {
    const HWND menu = FindWindowW(L"TessaryForm", L"Tessary");
    if (!menu) {
        std::fprintf(stderr, "road_helper: no program window\n");
        return 1;
    }
    if (how == L"quit") {
        return PostThreadMessageW(GetWindowThreadProcessId(menu, nullptr), WM_QUIT, 0, 0) ? 0 : 1;
    }
    DWORD_PTR answer = 0;
    if (how == L"answers")
        return SendMessageTimeoutW(menu, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &answer) ? 0 : 1;
    SendMessageTimeoutW(menu, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &answer);
    return SendMessageTimeoutW(menu, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &answer) ? 0 : 1;
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    int status = 2;
    if (argc == 4 && std::wcscmp(argv[1], L"viewer") == 0) {
        status = RunViewer(argv[2], argv[3]);
    } else if (argc == 4 && std::wcscmp(argv[1], L"copy") == 0) {
        status = RunCopy(argv[2], argv[3]);
    } else if (argc == 3 && std::wcscmp(argv[1], L"program") == 0 &&
               (std::wcscmp(argv[2], L"answers") == 0 || std::wcscmp(argv[2], L"quit") == 0 ||
                std::wcscmp(argv[2], L"session") == 0)) {
        status = RunProgram(argv[2]);
    } else {
        std::fprintf(stderr, "usage: road_helper viewer COUNTFILE STOPFILE | copy BMPFILE TEXT | "
                             "program answers|quit|session\n");
    }
    LocalFree(argv);
    return status;
}
