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
//   road_helper late BMPFILE DELAYMS COUNTFILE STOPFILE
//       A producer that renders late, as Office and the OLE clipboard do: offers CF_DIB without
//       data and renders the picture of BMPFILE only when a reader asks (WM_RENDERFORMAT),
//       DELAYMS after the request. COUNTFILE holds the number of requests so far (0 once the
//       offer is made; the count is written as the request arrives, before the wait),
//       COUNTFILE.done the number rendered. Ends when STOPFILE appears.
//   road_helper program answers|quit|session|close
//       The running program's menu window: whether it answers (its load handler is through), or
//       ends it from outside with a WM_QUIT posted to its thread, a session end
//       (WM_QUERYENDSESSION, then WM_ENDSESSION) or a WM_CLOSE sent as another program does.
//   road_helper clipboard empty
//       Empties the clipboard (what an X program offered is gone with it) and fails when a format
//       is still on it afterwards; the end-to-end scripts' exit step.
//
// Exit status 0 on success, 1 on a failure (printed), 2 on bad arguments.
#include "common/handles.h"
#include "tests/testutil.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Written aside and renamed, so that a reader never sees a half-written number.
void WriteCount(const std::wstring &countFile, int count) {
    const std::wstring tmp = countFile + L".tmp";
    if (testutil::WriteFileBytes(tmp, std::to_string(count) + "\n"))
        MoveFileExW(tmp.c_str(), countFile.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int RunViewer(const std::wstring &countFile, const std::wstring &stopFile) {
    testutil::ClipViewer viewer;
    if (!viewer.hwnd()) return 1;
    viewer.onChange = [&] { WriteCount(countFile, viewer.changes); };
    // The file appears once the viewer is in the chain.
    WriteCount(countFile, viewer.changes);
    testutil::PumpUntil(
        [&] { return GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10min);
    return 0;
}

// The packed DIB of a BMP file: what follows its file header.
std::vector<unsigned char> DibOfBmpFile(const std::wstring &bmpFile) {
    std::vector<unsigned char> bmp = testutil::ReadFileBytes(bmpFile);
    const size_t fileHeader = 14;
    if (bmp.size() <= fileHeader + sizeof(BITMAPINFOHEADER) || bmp[0] != 'B' || bmp[1] != 'M')
        return {};
    bmp.erase(bmp.begin(), bmp.begin() + fileHeader);
    return bmp;
}

int RunCopy(const std::wstring &bmpFile, const std::wstring &text) {
    std::vector<unsigned char> dib = DibOfBmpFile(bmpFile);
    if (dib.empty()) {
        std::fprintf(stderr, "road_helper: not a BMP file\n");
        return 1;
    }
    const auto *chars = reinterpret_cast<const unsigned char *>(text.c_str());
    const std::vector<testutil::ClipData> blocks{
        {CF_DIB, std::move(dib)},
        {CF_UNICODETEXT, {chars, chars + (text.size() + 1) * sizeof(wchar_t)}}};
    if (!testutil::PutClipboard(blocks)) {
        std::fprintf(stderr, "road_helper: the clipboard stayed busy or refused the data\n");
        return 1;
    }
    return 0;
}

struct LateProducer {
    std::vector<unsigned char> dib;
    DWORD delay = 0;
    std::wstring countFile;
    int asked = 0;
};
LateProducer *g_late = nullptr;

LRESULT CALLBACK LateProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m != WM_RENDERFORMAT || w != CF_DIB || !g_late) return DefWindowProcW(h, m, w, l);
    LateProducer &p = *g_late;
    WriteCount(p.countFile, ++p.asked);
    Sleep(p.delay); // busy, not pumping: the reader waits on us
    if (HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, p.dib.size())) {
        std::memcpy(GlobalLock(g), p.dib.data(), p.dib.size());
        GlobalUnlock(g);
        if (!SetClipboardData(CF_DIB, g)) GlobalFree(g);
    }
    WriteCount(p.countFile + L".done", p.asked);
    return 0;
}

int RunLate(const std::wstring &bmpFile, DWORD delay, const std::wstring &countFile,
            const std::wstring &stopFile) {
    LateProducer p{DibOfBmpFile(bmpFile), delay, countFile};
    if (p.dib.empty()) {
        std::fprintf(stderr, "road_helper: not a BMP file\n");
        return 1;
    }
    g_late = &p;
    WNDCLASSW wc{};
    wc.lpfnWndProc = LateProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessaryTestLateProducer";
    RegisterClassW(&wc);
    HWND owner = CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               wc.hInstance, nullptr);
    bool offered = false;
    if (owner) {
        testutil::ClipboardOpen open(owner);
        if (open && EmptyClipboard()) {
            SetClipboardData(CF_DIB, nullptr); // null: rendered when asked for
            offered = IsClipboardFormatAvailable(CF_DIB) != FALSE;
        }
    }
    if (!offered) {
        std::fprintf(stderr, "road_helper: could not offer the picture\n");
        return 1;
    }
    WriteCount(countFile, 0);
    testutil::PumpUntil(
        [&] { return GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10min);
    DestroyWindow(owner);
    g_late = nullptr;
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
    if (how == L"close")
        return SendMessageTimeoutW(menu, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &answer) ? 0 : 1;
    if (how == L"answers")
        return SendMessageTimeoutW(menu, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &answer) ? 0 : 1;
    SendMessageTimeoutW(menu, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &answer);
    return SendMessageTimeoutW(menu, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &answer) ? 0 : 1;
}

int RunEmpty() {
    {
        const win::clipboard_scope clipboard(nullptr, 100);
        if (!clipboard || !EmptyClipboard()) {
            std::fprintf(stderr, "road_helper: the clipboard stayed busy\n");
            return 1;
        }
    }
    // Wine passes the emptying on to the X selection and may hear of it back: let those changes
    // land here (quiet for half a second, five seconds at most), not in the next script's count.
    DWORD seen = GetClipboardSequenceNumber(), quietSince = GetTickCount();
    for (const DWORD start = quietSince; GetTickCount() - start < 5000;) {
        Sleep(50);
        if (GetClipboardSequenceNumber() != seen) {
            seen = GetClipboardSequenceNumber();
            quietSince = GetTickCount();
        } else if (GetTickCount() - quietSince >= 500) {
            break;
        }
    }
    const int left = CountClipboardFormats();
    if (left != 0) std::fprintf(stderr, "road_helper: %d formats on the emptied clipboard\n", left);
    return left == 0 ? 0 : 1;
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
    } else if (argc == 6 && std::wcscmp(argv[1], L"late") == 0) {
        status = RunLate(argv[2], static_cast<DWORD>(_wtoi(argv[3])), argv[4], argv[5]);
    } else if (argc == 3 && std::wcscmp(argv[1], L"program") == 0 &&
               (std::wcscmp(argv[2], L"answers") == 0 || std::wcscmp(argv[2], L"quit") == 0 ||
                std::wcscmp(argv[2], L"session") == 0 || std::wcscmp(argv[2], L"close") == 0)) {
        status = RunProgram(argv[2]);
    } else if (argc == 3 && std::wcscmp(argv[1], L"clipboard") == 0 &&
               std::wcscmp(argv[2], L"empty") == 0) {
        status = RunEmpty();
    } else {
        std::fprintf(stderr, "usage: road_helper viewer COUNTFILE STOPFILE | copy BMPFILE TEXT | "
                             "late BMPFILE DELAYMS COUNTFILE STOPFILE | "
                             "program answers|quit|session|close | clipboard empty\n");
    }
    LocalFree(argv);
    return status;
}
