#include "common/lazylib.h"

#include <string>

namespace win {

namespace {

// Windows 8, Windows 7 with KB2533623, Wine: LoadLibraryExW takes the LOAD_LIBRARY_SEARCH_*
// flags exactly where kernel32 has AddDllDirectory.
bool HasSearchFlags() {
    static const bool has =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
    return has;
}

// A name the activation context redirects (comctl32.dll to version 6) loads from the assembly;
// a full path would skip the redirection and load the system folder's version 5.
bool Redirected(const wchar_t *name) {
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof(data);
    return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name,
                                    &data) != FALSE;
}

} // namespace

bool RestrictLibrarySearch() {
    const auto setDefault = LibraryFunction<BOOL(WINAPI *)(DWORD)>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    SetDllDirectoryW(L"");
    return false;
}

HMODULE LoadSystemLibrary(const wchar_t *name) {
    if (HasSearchFlags()) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (Redirected(name)) return LoadLibraryW(name);
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return LoadLibraryW((std::wstring(folder, length) + L'\\' + name).c_str());
}

} // namespace win
