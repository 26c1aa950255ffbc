// A library planted in the program's folder under a system library's name (winspool.drv,
// uxtheme.dll): loaded, it leaves "<its path>.loaded" beside itself. Its functions all fail.
#include "common/handles.h"

#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    const win::unique_hfile marker(CreateFileW((std::wstring(path, length) + L".loaded").c_str(),
                                               GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                               nullptr));
    return TRUE;
}

// Every export: no arguments read (the caller cleans up on x64), nothing done, 0.
extern "C" INT_PTR WINAPI PlantedFails() {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}
