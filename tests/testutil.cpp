#include "tests/testutil.h"

#include "common/form.h"

#include <cstring>

namespace testutil {

bool PumpUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue; // a test process has no main loop to end
            if (win::Form::PreTranslate(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void Pump(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
}

ModalWatcher::ModalWatcher(DWORD pid) : pid_(pid), thread_([this] { Run(); }) {}

ModalWatcher::~ModalWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<BoxSeen> ModalWatcher::Seen() {
    std::lock_guard<std::mutex> lock(mu_);
    return seen_;
}

void ModalWatcher::Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    seen_.clear();
}

std::vector<BoxSeen> ModalWatcher::Take() {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<BoxSeen> out;
    out.swap(seen_);
    return out;
}

namespace {

struct FindCtx {
    DWORD pid;
    const wchar_t *cls, *title;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp) {
    auto *ctx = reinterpret_cast<FindCtx *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (pid != ctx->pid || std::wcscmp(cls, ctx->cls) != 0) return TRUE;
    if (ctx->visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
    if (ctx->title) {
        // Of a window of this process, the title is a message to its thread: only when asked.
        wchar_t title[128] = {};
        GetWindowTextW(hwnd, title, 128);
        if (std::wcscmp(title, ctx->title) != 0) return TRUE;
    }
    ctx->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK FindText(HWND child, LPARAM lp) {
    auto *out = reinterpret_cast<BoxSeen *>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (std::wcscmp(cls, L"Static") == 0) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            const HICON icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            if (icon == LoadIconW(nullptr, IDI_INFORMATION))
                out->icon = MB_ICONINFORMATION;
            else if (icon == LoadIconW(nullptr, IDI_ERROR))
                out->icon = MB_ICONSTOP;
            else if (icon == LoadIconW(nullptr, IDI_WARNING))
                out->icon = MB_ICONWARNING;
            else if (icon == LoadIconW(nullptr, IDI_QUESTION))
                out->icon = MB_ICONQUESTION;
            return TRUE;
        }
        wchar_t text[512] = {};
        GetWindowTextW(child, text, 512);
        if (text[0] && out->text.empty()) out->text = text;
    }
    return TRUE;
}

} // namespace

std::vector<HWND> FindWindows(DWORD pid, const wchar_t *cls, const wchar_t *title,
                              bool visibleOnly) {
    FindCtx ctx{pid, cls, title, visibleOnly, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

void ModalWatcher::SetAnswering(bool on) {
    std::lock_guard<std::mutex> lock(mu_);
    offAt_ = boxCount_;
    answer_ = on;
}

void ModalWatcher::Run() {
    std::vector<HWND> recorded;
    while (!stop_) {
        const std::vector<HWND> boxes = FindWindows(pid_, L"#32770");
        if (boxes.size() > most_) most_ = boxes.size();
        for (HWND box : boxes) {
            bool isNew = true;
            for (HWND r : recorded)
                isNew = isNew && r != box;
            if (isNew) {
                recorded.push_back(box);
                BoxSeen seen;
                wchar_t title[256] = {};
                GetWindowTextW(box, title, 256);
                seen.title = title;
                seen.owner = GetWindow(box, GW_OWNER);
                GetWindowRect(box, &seen.rect);
                EnumChildWindows(box, FindText, reinterpret_cast<LPARAM>(&seen));
                std::lock_guard<std::mutex> lock(mu_);
                seen_.push_back(seen);
                boxCount_ = recorded.size();
            }
            if (!answer_) {
                // Only the first box since answering went off stands; a later one would leave
                // the test waiting on it.
                std::lock_guard<std::mutex> lock(mu_);
                if (offAt_ < recorded.size() && box == recorded[offAt_]) continue;
            }
            // IDOK closes a box with one OK button; IDCANCEL is what such a box also accepts.
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i)
                Sleep(10);
        }
        Sleep(20);
    }
}

bool BoxShowing() {
    return !FindWindows(GetCurrentProcessId(), L"#32770").empty();
}

namespace {

bool PutData(UINT format, const void *data, size_t size) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!h) return false;
    std::memcpy(GlobalLock(h), data, size);
    GlobalUnlock(h);
    if (!SetClipboardData(format, h)) {
        GlobalFree(h);
        return false;
    }
    return true;
}

} // namespace

BITMAPINFOHEADER InfoHeader(int width, int height, WORD bitCount) {
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof(bih);
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = bitCount;
    bih.biCompression = BI_RGB;
    return bih;
}

std::vector<unsigned char> MakeDib(int width, int height,
                                   const std::function<COLORREF(int, int)> &fn) {
    const int stride = ((width * 24 + 31) / 32) * 4;
    std::vector<unsigned char> dib(sizeof(BITMAPINFOHEADER) + static_cast<size_t>(stride) * height);
    BITMAPINFOHEADER bih = InfoHeader(width, height, 24);
    bih.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(height);
    std::memcpy(dib.data(), &bih, sizeof(bih));
    unsigned char *px = dib.data() + sizeof(bih);
    for (int y = 0; y < height; ++y) {
        unsigned char *row = px + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const COLORREF c = fn(x, y);
            row[x * 3 + 0] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
    return dib;
}

ClipboardOpen::ClipboardOpen(HWND owner, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!(open_ = OpenClipboard(owner) != FALSE) && std::chrono::steady_clock::now() < deadline)
        Sleep(10);
}

void ClipboardOpen::Close() {
    if (open_) CloseClipboard();
    open_ = false;
}

bool PutClipboard(const std::vector<ClipData> &blocks) {
    ClipboardOpen open;
    if (!open) return false;
    EmptyClipboard();
    bool ok = true;
    for (const ClipData &b : blocks)
        ok &= PutData(b.format, b.bytes.data(), b.bytes.size());
    return ok;
}

bool SetClipboardFormats(bool text, bool bitmap, bool dib, bool rtf) {
    ClipboardOpen open;
    if (!open) return false;
    EmptyClipboard();
    bool ok = true;
    if (text) ok &= PutData(CF_TEXT, "hello", 6);
    if (rtf) {
        const char r[] = "{\\rtf1 hello}";
        ok &= PutData(RegisterClipboardFormatW(L"Rich Text Format"), r, sizeof(r));
    }
    if (dib) {
        const auto d = MakeDib(8, 8, [](int, int) { return RGB(200, 30, 30); });
        ok &= PutData(CF_DIB, d.data(), d.size());
    }
    if (bitmap) {
        HDC screen = GetDC(nullptr);
        HBITMAP bmp = CreateCompatibleBitmap(screen, 8, 8);
        ReleaseDC(nullptr, screen);
        if (!SetClipboardData(CF_BITMAP, bmp)) {
            DeleteObject(bmp);
            ok = false;
        }
    }
    return ok;
}

bool SetClipboardDib(const std::vector<unsigned char> &packedDib) {
    return SetClipboardBlock(CF_DIB, packedDib);
}

bool SetClipboardBlock(UINT format, const std::vector<unsigned char> &bytes, bool text) {
    std::vector<ClipData> blocks{{format, bytes}};
    if (text) blocks.push_back({CF_TEXT, {'h', 'e', 'l', 'l', 'o', 0}});
    return PutClipboard(blocks);
}

UINT PngFormat() {
    return RegisterClipboardFormatW(L"PNG");
}

bool EmptyTheClipboard() {
    return PutClipboard({});
}

ClipViewer::ClipViewer() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TessaryTestViewer";
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    // Never shown: a viewer needs a window, not a visible one.
    hwnd_ = CreateWindowW(L"TessaryTestViewer", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                          GetModuleHandleW(nullptr), this);
    next_ = SetClipboardViewer(hwnd_);
}

ClipViewer::~ClipViewer() {
    ChangeClipboardChain(hwnd_, next_);
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK ClipViewer::Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_NCCREATE) {
        const auto *cs = reinterpret_cast<CREATESTRUCTW *>(l);
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto *self = reinterpret_cast<ClipViewer *>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!self || (m != WM_DRAWCLIPBOARD && m != WM_CHANGECBCHAIN))
        return DefWindowProcW(h, m, w, l);
    if (m == WM_CHANGECBCHAIN && reinterpret_cast<HWND>(w) == self->next_) {
        self->next_ = reinterpret_cast<HWND>(l); // the one behind us left
        return 0;
    }
    const bool change = m == WM_DRAWCLIPBOARD;
    if (change) {
        ++self->changes;
        if (self->onChange) self->onChange();
    }
    // A hung next viewer must not hang us for good.
    if (self->next_ && SendMessageTimeoutW(self->next_, m, w, l, SMTO_NORMAL, 5000, nullptr) &&
        change) {
        ++self->passedOn;
        if (self->onPassed) self->onPassed();
    }
    return 0;
}

std::vector<std::wstring> Entries(const std::wstring &dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    for (int i = 0; i < 1000; ++i) {
        std::wstring p = std::wstring(base) + L"tessary-test-" +
                         std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
        if (CreateDirectoryW(p.c_str(), nullptr)) {
            path_ = p;
            return;
        }
    }
}

namespace {
void RemoveTree(const std::wstring &dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = dir + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(dir.c_str());
}
} // namespace

TempDir::~TempDir() {
    if (!path_.empty()) RemoveTree(path_);
}

std::vector<unsigned char> ReadFileBytes(const std::wstring &path) {
    std::vector<unsigned char> out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    unsigned char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0)
        out.insert(out.end(), buf, buf + n);
    CloseHandle(h);
    return out;
}

bool WriteFileBytes(const std::wstring &path, const std::string &bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
                    n == bytes.size();
    CloseHandle(h);
    return ok;
}

} // namespace testutil
