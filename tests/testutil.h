// Helpers for the test programs and the helper programs of the end-to-end scripts alike (no
// gtest here): pumping messages with a deadline, answering message boxes so that no test can
// hang, a clipboard viewer of our own and putting data on the clipboard.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

// Dispatches messages until pred() holds or the timeout passes; returns pred().
bool PumpUntil(const std::function<bool()> &pred,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
// Dispatches messages for a while.
void Pump(std::chrono::milliseconds duration = std::chrono::milliseconds(50));

struct BoxSeen {
    std::wstring title, text;
    UINT icon = 0; // MB_ICONINFORMATION, MB_ICONSTOP, ... as far as it can be told
    HWND owner = nullptr;
    RECT rect{}; // on the screen, as it first stood
};

// The windows of a process with this class (and this title, unless null).
std::vector<HWND> FindWindows(DWORD pid, const wchar_t *cls, const wchar_t *title = nullptr,
                              bool visibleOnly = true);

// Watches a process (this one unless told) for message boxes (dialog class #32770) from a second
// thread, records their title and text, and closes each with OK. Active for its lifetime.
class ModalWatcher {
public:
    explicit ModalWatcher(DWORD pid = GetCurrentProcessId());
    ~ModalWatcher();
    ModalWatcher(const ModalWatcher &) = delete;
    ModalWatcher &operator=(const ModalWatcher &) = delete;
    std::vector<BoxSeen> Seen();
    void Clear();
    // Seen and Clear in one step.
    std::vector<BoxSeen> Take();
    bool Showing() const { return !FindWindows(pid_, L"#32770").empty(); }
    // Off: the next box is recorded but left standing, for a test that acts while it is up
    // (those after it are still answered).
    void SetAnswering(bool on);
    // The most boxes that stood at one time.
    size_t MostAtOnce() const { return most_; }

private:
    void Run();
    const DWORD pid_;
    std::atomic<bool> stop_{false}, answer_{true};
    std::atomic<size_t> most_{0};
    size_t boxCount_ = 0, offAt_ = 0; // guarded by mu_
    std::mutex mu_;
    std::vector<BoxSeen> seen_;
    std::thread thread_;
};

// Whether a message box of this process is showing.
bool BoxShowing();

// The clipboard open for as long as this lives, or until Close(); waits while another program
// holds it. Held through a window, others are refused meanwhile: the clipboard tells its users
// apart by their windows.
class ClipboardOpen {
public:
    explicit ClipboardOpen(HWND owner = nullptr,
                           std::chrono::milliseconds wait = std::chrono::milliseconds(3000));
    ~ClipboardOpen() { Close(); }
    ClipboardOpen(const ClipboardOpen &) = delete;
    ClipboardOpen &operator=(const ClipboardOpen &) = delete;
    explicit operator bool() const { return open_; }
    void Close();

private:
    bool open_ = false;
};

struct ClipData {
    UINT format;
    std::vector<unsigned char> bytes;
};
// One change of the clipboard: exactly these blocks, in this order.
bool PutClipboard(const std::vector<ClipData> &blocks);
// Puts exactly the given formats on the clipboard (data made up for text/rtf; a small DIB/bitmap
// for pictures). Returns false if the clipboard could not be opened.
bool SetClipboardFormats(bool text, bool bitmap, bool dib, bool rtf);
bool SetClipboardDib(const std::vector<unsigned char> &packedDib);
// Puts one block in the given format alone, or with text beside it.
bool SetClipboardBlock(UINT format, const std::vector<unsigned char> &bytes, bool text = false);
// The registered format "PNG".
UINT PngFormat();
bool EmptyTheClipboard();
// An uncompressed BITMAPINFOHEADER; a negative height makes the picture top-down.
BITMAPINFOHEADER InfoHeader(int width, int height, WORD bitCount);
// A packed 24-bit bottom-up DIB filled by fn(x, y) -> RGB.
std::vector<unsigned char> MakeDib(int width, int height,
                                   const std::function<COLORREF(int, int)> &fn);

// A folder of its own under %TEMP%, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::wstring &path() const { return path_; }
    std::wstring file(const std::wstring &name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A well-behaved viewer of the clipboard: joins the chain as it is made (which brings one change
// of its own), counts the changes, passes each on, and leaves the chain at the end.
class ClipViewer {
public:
    int changes = 0;                // WM_DRAWCLIPBOARD seen
    int passedOn = 0;               // ... and answered by the next viewer
    std::function<void()> onChange; // runs as a change arrives, before it is passed on
    std::function<void()> onPassed; // runs once the next viewer answered

    ClipViewer();
    ~ClipViewer();
    ClipViewer(const ClipViewer &) = delete;
    ClipViewer &operator=(const ClipViewer &) = delete;
    HWND hwnd() const { return hwnd_; }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l);
    HWND hwnd_ = nullptr;
    HWND next_ = nullptr;
};

// The names in a folder, "." and ".." left out.
std::vector<std::wstring> Entries(const std::wstring &dir);
std::vector<unsigned char> ReadFileBytes(const std::wstring &path);
bool WriteFileBytes(const std::wstring &path, const std::string &bytes);

} // namespace testutil
