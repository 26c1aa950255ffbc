// Helpers for tests that drive real windows under Wine: pumping messages with a deadline and
// answering the program's modal message boxes so that no test can hang.
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
};

// Watches this process for message boxes (dialog class #32770) from a second thread, records their
// title and text, and closes each with OK. Active for its lifetime.
class ModalWatcher {
public:
    ModalWatcher();
    ~ModalWatcher();
    ModalWatcher(const ModalWatcher &) = delete;
    ModalWatcher &operator=(const ModalWatcher &) = delete;
    std::vector<BoxSeen> Seen();
    void Clear();
    // Off: the next box is recorded but left standing, for a test that acts while it is up
    // (those after it are still answered).
    void SetAnswering(bool on);
    // The most boxes that stood at one time.
    size_t MostAtOnce() const { return most_; }

private:
    void Run();
    std::atomic<bool> stop_{false}, answer_{true};
    std::atomic<size_t> most_{0};
    size_t boxCount_ = 0, offAt_ = 0; // guarded by mu_
    std::mutex mu_;
    std::vector<BoxSeen> seen_;
    std::thread thread_;
};

// Whether a message box of this process is showing.
bool BoxShowing();

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

std::vector<unsigned char> ReadFileBytes(const std::wstring &path);
bool WriteFileBytes(const std::wstring &path, const std::string &bytes);

} // namespace testutil
