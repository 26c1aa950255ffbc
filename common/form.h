// The window runtime: every window of the program is a Form with one instance, reached through a
// FormRef created on first use. Showing loads it first; unloading destroys it with its controls;
// the process ends when the last loaded form goes.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <type_traits>

namespace win {

namespace detail {
// Keeps the object that CreateWindowEx was given as its parameter in the window's user data at
// WM_NCCREATE, and gives it back for every later message; null for messages before WM_NCCREATE.
void *WindowObject(HWND hwnd, UINT msg, LPARAM lp);
} // namespace detail

// The window procedure of every window owned by an object of class T (created with the object as
// CreateWindowEx's parameter): each message goes to T::WindowMessage, those that come before
// WM_NCCREATE to DefWindowProc.
template <class T> LRESULT CALLBACK WndProcThunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    T *self = static_cast<T *>(detail::WindowObject(hwnd, msg, lp));
    return self ? self->WindowMessage(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

class Form {
public:
    Form() = default;
    Form(const Form &) = delete;
    Form &operator=(const Form &) = delete;
    virtual ~Form();

    bool IsLoaded() const { return hwnd_ != nullptr; }
    // Like asking a window for its handle: loads it when it isn't loaded (never once the program
    // has begun to exit: then it gives null).
    HWND hWnd();
    // Loads when needed, then makes the window visible. Never modal.
    void Show();
    void Hide();
    // Runs Form_Unload and destroys the window; does nothing when not loaded.
    void Unload();
    // Loads without showing (a load handler may show the window itself).
    void Load();

    // How many forms are loaded right now, and what happens when the count drops to zero
    // (default: end the message loop).
    static int LoadedCount();
    static void SetOnLastUnload(std::function<void()> fn);
    // Once the program has begun to exit no window loads again, whatever handler still runs
    // below the exit command. Tests that exit and start again in one process turn it off.
    static void SetExiting(bool on);
    static bool Exiting();

    // Offers a keyboard message to the form that holds its window, before it is translated and
    // dispatched; true when the form took it. The message loops call this.
    static bool PreTranslate(MSG &msg);

protected:
    struct Frame {
        DWORD style = WS_POPUP;
        DWORD exStyle = 0;
        int clientWidth = 0, clientHeight = 0; // pixels
        const wchar_t *caption = L"";
    };
    virtual Frame GetFrame() const = 0;
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    // Messages of the form's own window; the default hands them to DefWindowProc.
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Keyboard messages for the form's window or any of its controls, seen first (Tab between
    // controls and the like). Return true to swallow the message.
    virtual bool PreTranslateMessage(MSG &msg);
    // The raw handle without loading, for code that runs while loading.
    HWND Handle() const { return hwnd_; }
    // Tells one loading of the window from the next; 0 while not loaded. A handler that lets
    // messages run compares it before and after: the window may have been closed meanwhile, or
    // closed and loaded afresh by a handler that ran inside.
    unsigned LoadId() const { return loadId_; }

private:
    template <class T> friend LRESULT CALLBACK WndProcThunk(HWND, UINT, WPARAM, LPARAM);
    LRESULT WindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;
    unsigned loadId_ = 0;
    bool unloading_ = false;
};

// The one global reference to a form. A factory lets one form class serve several windows.
template <class T> class FormRef {
public:
    using Factory = std::unique_ptr<T> (*)();
    constexpr FormRef() = default;
    constexpr explicit FormRef(Factory f) : factory_(f) {}
    FormRef(const FormRef &) = delete;
    FormRef &operator=(const FormRef &) = delete;

    T &get() {
        if (!inst_) {
            if constexpr (std::is_default_constructible_v<T>) {
                inst_ = factory_ ? factory_() : std::make_unique<T>();
            } else {
                inst_ = factory_();
            }
        }
        return *inst_;
    }
    T *operator->() { return &get(); }
    T &operator*() { return get(); }
    // Whether the form is loaded, without creating or loading it.
    bool IsLoaded() const { return inst_ && inst_->IsLoaded(); }
    // Unload without creating the instance just to find it not loaded.
    void Unload() {
        if (inst_) inst_->Unload();
    }

private:
    Factory factory_ = nullptr;
    std::unique_ptr<T> inst_;
};

// Dispatches what is waiting in this thread's queue, then returns (a WM_QUIT met on the way is
// put back so the main loop still sees it).
void DoEvents();

// Runs the message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

// A message box modal to the whole program, as a task-modal box is: while it stands, the
// program's other windows take no input. Those still there when it closes are enabled again.
int ProgramModalMessageBox(HWND owner, const wchar_t *text, const wchar_t *title, UINT type);
// Whether such a box stands now, and what runs each time the last one has closed.
bool MessageBoxUp();
void SetOnBoxClosed(std::function<void()> fn);

HINSTANCE AppInstance();

} // namespace win
