#include "common/form.h"

#include "common/ids.h"

#include <utility>
#include <vector>

namespace win {

namespace {

int g_loaded = 0;
unsigned g_loadSerial = 0;
bool g_exiting = false;
ATOM g_formClass = 0;
std::function<void()> g_onLastUnload = [] { PostQuitMessage(0); };
constexpr wchar_t kFormClass[] = L"TessaryForm";

void RegisterFormClass(WNDPROC proc) {
    if (g_formClass) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = AppInstance();
    wc.hIcon = LoadIconW(AppInstance(), MAKEINTRESOURCEW(IDI_TESSARY));
    wc.hIconSm = static_cast<HICON>(LoadImageW(AppInstance(), MAKEINTRESOURCEW(IDI_TESSARY),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr; // forms paint all of their client area themselves
    wc.lpszClassName = kFormClass;
    g_formClass = RegisterClassExW(&wc);
}

} // namespace

HINSTANCE AppInstance() { return GetModuleHandleW(nullptr); }

Form::~Form() {
    // A form destroyed while loaded (end of the process) must not call back into itself; its
    // parts with windows of their own are gone already (their destructors ran first).
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
        --g_loaded;
    }
}

int Form::LoadedCount() { return g_loaded; }

void Form::SetOnLastUnload(std::function<void()> fn) { g_onLastUnload = std::move(fn); }

void Form::SetExiting(bool on) { g_exiting = on; }

bool Form::Exiting() { return g_exiting; }

void Form::Load() {
    if (hwnd_ || g_exiting) return;
    RegisterFormClass(WndProcThunk<Form>);

    const Frame f = GetFrame();
    RECT r{0, 0, f.clientWidth, f.clientHeight};
    AdjustWindowRectEx(&r, f.style, FALSE, f.exStyle);
    HWND h = CreateWindowExW(f.exStyle, kFormClass, f.caption, f.style & ~WS_VISIBLE, 0, 0,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr, AppInstance(),
                             this);
    if (!h) return;
    ++g_loaded;
    loadId_ = ++g_loadSerial;
    Form_Load();
}

HWND Form::hWnd() {
    Load();
    return hwnd_;
}

void Form::Show() {
    Load();
    if (hwnd_) ShowWindow(hwnd_, SW_SHOW);
}

void Form::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void Form::Unload() {
    if (!hwnd_ || unloading_) return;
    unloading_ = true;
    Form_Unload();
    DestroyWindow(hwnd_); // WM_NCDESTROY clears hwnd_ and the loaded count
    unloading_ = false;
}

LRESULT Form::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

bool Form::PreTranslateMessage(MSG &) { return false; }

bool Form::PreTranslate(MSG &msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd || !g_formClass) {
        return false;
    }
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (!root || GetClassLongPtrW(root, GCW_ATOM) != g_formClass) return false;
    Form *form = reinterpret_cast<Form *>(GetWindowLongPtrW(root, GWLP_USERDATA));
    return form && form->PreTranslateMessage(msg);
}

void *detail::WindowObject(HWND hwnd, UINT msg, LPARAM lp) {
    if (msg != WM_NCCREATE) return reinterpret_cast<void *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    void *self = reinterpret_cast<CREATESTRUCTW *>(lp)->lpCreateParams;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self;
}

LRESULT Form::WindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) hwnd_ = hwnd;
    if (msg != WM_NCDESTROY) return OnMessage(msg, wp, lp);
    LRESULT r = OnMessage(msg, wp, lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    loadId_ = 0;
    if (--g_loaded == 0 && g_onLastUnload) g_onLastUnload();
    return r;
}

void DoEvents() {
    MSG msg;
    bool quit = false;
    WPARAM code = 0;
    // Bounded, so a window that keeps posting to itself cannot hold us here forever.
    for (int i = 0; i < 100000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            quit = true;
            code = msg.wParam;
            continue;
        }
        if (Form::PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (quit) PostQuitMessage(static_cast<int>(code));
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (Form::PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

namespace {

struct ThreadWindows {
    HWND except;
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableOne(HWND hwnd, LPARAM lp) {
    auto *w = reinterpret_cast<ThreadWindows *>(lp);
    // Hidden windows take no input anyway; the menu window among them must still be able to
    // open the tray menu and take the commands that arrive.
    if (hwnd != w->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        EnableWindow(hwnd, FALSE);
        w->disabled.push_back(hwnd);
    }
    return TRUE;
}

int g_boxes = 0;
std::function<void()> g_onBoxClosed;

} // namespace

int ProgramModalMessageBox(HWND owner, const wchar_t *text, const wchar_t *title, UINT type) {
    ThreadWindows w{owner, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&w));
    ++g_boxes;
    const int result = MessageBoxW(owner, text, title, type);
    --g_boxes;
    // Commands that ran under the box may have closed some of them.
    for (HWND h : w.disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
    if (g_boxes == 0 && g_onBoxClosed) g_onBoxClosed();
    return result;
}

bool MessageBoxUp() { return g_boxes > 0; }

void SetOnBoxClosed(std::function<void()> fn) { g_onBoxClosed = std::move(fn); }

} // namespace win
