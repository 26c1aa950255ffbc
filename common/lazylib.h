// Functions of system libraries that only one command needs, loaded when it first runs so that
// the resident process does not carry the library. It stays loaded for the rest of the run.
//
// Every library comes from the system folder (or the side-by-side assembly the manifest names),
// never from the program's folder or the current one: a copy unpacked into Downloads must not run
// a winspool.drv that a web page dropped beside it.
#pragma once

#include <windows.h>

namespace win {

// At start, before anything is loaded: from here on a library loaded by name, by us or by a
// system library on our behalf, comes from the system folder only. Windows 7 has the function
// only with an update; without it, the current folder is at least taken out of the search.
// Returns whether the search is now the system folder only.
bool RestrictLibrarySearch();

// The system library NAME ("winspool.drv"): from the side-by-side assembly the manifest names
// when it names one, else from the system folder. Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t *name);

template <class Fn> Fn LibraryFunction(HMODULE module, const char *name) {
    if (!module) return nullptr;
    // Through the generic function pointer type, which any function pointer converts to and from.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace win
