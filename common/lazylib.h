// Functions of system libraries that only one command needs, loaded when it first runs so that
// the resident process does not carry the library. It stays loaded for the rest of the run.
#pragma once

#include <windows.h>

namespace win {

template <class Fn> Fn LibraryFunction(HMODULE module, const char *name) {
    if (!module) return nullptr;
    // Through the generic function pointer type, which any function pointer converts to and from.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace win
