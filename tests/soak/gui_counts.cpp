#include "tests/soak/gui_counts.h"

#include <psapi.h>
#include <winternl.h>

#include <cstdint>
#include <sstream>

namespace soak {

namespace {

// Wine keeps the GDI handle table in the process (the PEB's GdiSharedHandleTable), one 24-byte
// entry per handle.
struct WineGdiEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t type;
    std::uint8_t generation, flags;
    std::uint64_t user;
};
static_assert(sizeof(WineGdiEntry) == 24, "layout of Wine's GDI handle entry");
constexpr int kGdiHandles = 0x10000;

bool IsWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

long CountWineGdi() {
#ifdef _WIN64
    constexpr std::size_t kTableOffset = 0xF8;
#else
    constexpr std::size_t kTableOffset = 0x94;
#endif
    using QueryProcess = LONG(WINAPI *)(HANDLE, PROCESSINFOCLASS, void *, ULONG, ULONG *);
    const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION info{};
    if (!query ||
        query(GetCurrentProcess(), ProcessBasicInformation, &info, sizeof(info), nullptr) != 0)
        return -1;
    const auto *peb = reinterpret_cast<const unsigned char *>(info.PebBaseAddress);
    const auto *table = *reinterpret_cast<const WineGdiEntry *const *>(peb + kTableOffset);
    if (!table) return -1;
    // A freed entry keeps its type; its object field then links the free list, pointing into
    // the table itself or holding 0 at the list's end.
    const auto first = reinterpret_cast<std::uintptr_t>(table);
    const auto last = reinterpret_cast<std::uintptr_t>(table + kGdiHandles);
    long n = 0;
    for (int i = 0; i < kGdiHandles; ++i) {
        const std::uint64_t object = table[i].object;
        if (table[i].type != 0 && object != 0 && (object < first || object >= last)) ++n;
    }
    return n;
}

BOOL CALLBACK CountChild(HWND, LPARAM lp) {
    ++*reinterpret_cast<long *>(lp);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) {
        auto *n = reinterpret_cast<long *>(lp);
        ++*n;
        EnumChildWindows(hwnd, CountChild, lp); // children of children included
    }
    return TRUE;
}

// Wine accepts a user handle without its generation (high word 0) and refuses objects of other
// processes, so probing the index range finds exactly this process's menus and icons.
long CountWineUser() {
    long n = 0;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&n));
    using FrameInfo = HCURSOR(WINAPI *)(HCURSOR, DWORD, DWORD, DWORD *, DWORD *);
    const auto frameInfo = reinterpret_cast<FrameInfo>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetCursorFrameInfo")));
    for (UINT_PTR h = 0x20; h < 0x10000; h += 2) {
        if (IsMenu(reinterpret_cast<HMENU>(h))) ++n;
        DWORD rate = 0, steps = 0;
        if (frameInfo && frameInfo(reinterpret_cast<HCURSOR>(h), 0, 0, &rate, &steps)) ++n;
    }
    return n;
}

} // namespace

GuiCounts CountThisProcess() {
    GuiCounts c;
    const HANDLE self = GetCurrentProcess();
    const DWORD gdi = GetGuiResources(self, GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(self, GR_USEROBJECTS);
    if (gdi != 0 && user != 0) {
        c.gdi = static_cast<long>(gdi);
        c.user = static_cast<long>(user);
        c.source = "GetGuiResources";
    } else if (IsWine()) {
        c.gdi = CountWineGdi();
        c.user = CountWineUser();
        c.source = "Wine handle tables";
    }
    PROCESS_MEMORY_COUNTERS_EX m{};
    m.cb = sizeof(m);
    if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&m), sizeof(m))) {
        // Wine leaves PrivateUsage at 0 and reports the anonymous resident memory as the
        // page-file usage, which Windows keeps equal to the private bytes anyway.
        c.privateBytes = m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;
    }
    return c;
}

std::string Describe(const GuiCounts &c) {
    std::ostringstream out;
    out << "GDI " << c.gdi << ", USER " << c.user << ", private " << c.privateBytes / 1024
        << " KiB (" << c.source << ")";
    return out.str();
}

} // namespace soak
