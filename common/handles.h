// Small move-only owners for Win32 handles, so that every exit path releases what it took.
#pragma once

#include <windows.h>

#include <utility>

namespace win {

// Generic owner: Traits gives the empty value and how to release.
template <class Traits> class unique_handle {
public:
    using pointer = typename Traits::pointer;

    unique_handle() = default;
    explicit unique_handle(pointer h) : h_(h) {}
    unique_handle(const unique_handle &) = delete;
    unique_handle &operator=(const unique_handle &) = delete;
    unique_handle(unique_handle &&o) noexcept : h_(o.release()) {}
    unique_handle &operator=(unique_handle &&o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~unique_handle() { reset(); }

    pointer get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    pointer release() { return std::exchange(h_, Traits::invalid()); }
    void reset(pointer h = Traits::invalid()) {
        pointer old = std::exchange(h_, h);
        if (old != Traits::invalid()) Traits::close(old);
    }

private:
    pointer h_ = Traits::invalid();
};

struct memdc_traits {
    using pointer = HDC;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DeleteDC(h); }
};
struct hfile_traits {
    using pointer = HANDLE;
    static pointer invalid() { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) { CloseHandle(h); }
};
struct hfind_traits : hfile_traits {
    static void close(pointer h) { FindClose(h); }
};
template <class T> struct gdi_traits {
    using pointer = T;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DeleteObject(h); }
};

using unique_memdc = unique_handle<memdc_traits>; // CreateCompatibleDC / CreateDC
using unique_hfile = unique_handle<hfile_traits>;
using unique_hfind = unique_handle<hfind_traits>;
using unique_hbitmap = unique_handle<gdi_traits<HBITMAP>>;
using unique_hbrush = unique_handle<gdi_traits<HBRUSH>>;
using unique_hfont = unique_handle<gdi_traits<HFONT>>;
struct hicon_traits {
    using pointer = HICON;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DestroyIcon(h); }
};
using unique_hicon = unique_handle<hicon_traits>; // not for LR_SHARED icons

// GetDC / ReleaseDC pair.
class unique_window_dc {
public:
    explicit unique_window_dc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    unique_window_dc(const unique_window_dc &) = delete;
    unique_window_dc &operator=(const unique_window_dc &) = delete;
    ~unique_window_dc() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND hwnd_;
    HDC dc_;
};

// SelectObject that puts the previous object back.
class unique_select_object {
public:
    unique_select_object(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    unique_select_object(const unique_select_object &) = delete;
    unique_select_object &operator=(const unique_select_object &) = delete;
    ~unique_select_object() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// BeginPaint / EndPaint.
class paint_scope {
public:
    explicit paint_scope(HWND hwnd) : hwnd_(hwnd) { BeginPaint(hwnd_, &ps_); }
    paint_scope(const paint_scope &) = delete;
    paint_scope &operator=(const paint_scope &) = delete;
    ~paint_scope() { EndPaint(hwnd_, &ps_); }
    HDC dc() const { return ps_.hdc; }
    const RECT &rect() const { return ps_.rcPaint; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
};

// OpenClipboard / CloseClipboard. Another program may hold the clipboard for a moment,
// so opening retries briefly before giving up.
class clipboard_scope {
public:
    explicit clipboard_scope(HWND owner, int attempts = 10) {
        for (int i = 0; i < attempts && !open_; ++i) {
            open_ = OpenClipboard(owner) != FALSE;
            if (!open_ && i + 1 < attempts) Sleep(10);
        }
    }
    clipboard_scope(const clipboard_scope &) = delete;
    clipboard_scope &operator=(const clipboard_scope &) = delete;
    ~clipboard_scope() {
        if (open_) CloseClipboard();
    }
    explicit operator bool() const { return open_; }
    void Close() {
        if (open_) CloseClipboard();
        open_ = false;
    }

private:
    bool open_ = false;
};

// GlobalLock / GlobalUnlock; size() is what the block really holds.
class global_lock {
public:
    explicit global_lock(HGLOBAL h) : h_(h), p_(h ? GlobalLock(h) : nullptr) {
        if (p_) size_ = GlobalSize(h_);
    }
    global_lock(const global_lock &) = delete;
    global_lock &operator=(const global_lock &) = delete;
    ~global_lock() {
        if (p_) GlobalUnlock(h_);
    }
    const unsigned char *data() const { return static_cast<const unsigned char *>(p_); }
    unsigned char *data() { return static_cast<unsigned char *>(p_); }
    SIZE_T size() const { return size_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Release() {
        if (p_) GlobalUnlock(h_);
        p_ = nullptr;
        size_ = 0;
    }

private:
    HGLOBAL h_;
    void *p_;
    SIZE_T size_ = 0;
};

} // namespace win
