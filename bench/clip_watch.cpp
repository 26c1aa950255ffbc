// Measures from outside how long a program keeps the clipboard open: polls GetOpenClipboardWindow,
// which does not disturb the program watched (an OpenClipboard of our own would).
//
//   clip_watch EXE STOPFILE
//
// Prints "ready" once polling, then one line "held ms=<length>" for each stretch during which a
// window of a process whose image name ends in EXE held the clipboard, and ends once STOPFILE
// exists (a stretch still open then is printed as it stands).
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

bool NameEndsWith(DWORD pid, const wchar_t *exe) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return false;
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &size) != FALSE;
    CloseHandle(process);
    const std::size_t n = std::wcslen(exe);
    return named && size >= n && _wcsicmp(path + size - n, exe) == 0;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: clip_watch EXE STOPFILE\n");
        return 2;
    }
    LARGE_INTEGER freq, now, start{};
    QueryPerformanceFrequency(&freq);
    HWND last = nullptr;
    bool watched = false, holding = false;
    std::puts("ready");
    std::fflush(stdout);
    for (unsigned i = 0;; ++i) {
        HWND open = GetOpenClipboardWindow();
        QueryPerformanceCounter(&now);
        if (open != last) {
            DWORD pid = 0;
            watched = open && GetWindowThreadProcessId(open, &pid) && NameEndsWith(pid, argv[1]);
            last = open;
        }
        const bool stop = i % 64 == 0 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES;
        if (holding && (!watched || stop)) {
            std::printf("held ms=%.1f\n", (now.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart);
            std::fflush(stdout);
        }
        if (stop) return 0;
        if (watched && !holding) start = now;
        holding = watched;
        Sleep(1);
    }
}
