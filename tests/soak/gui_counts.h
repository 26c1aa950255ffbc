// What a process holds of the window system and of memory, for leak checks over long runs.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace soak {

struct GuiCounts {
    long gdi = -1;  // GDI objects; -1 when they cannot be counted
    long user = -1; // USER objects (windows, menus, icons, cursors); -1 likewise
    std::size_t privateBytes = 0;
    const char *source = ""; // how gdi and user were counted
};

// This process's counts. GetGuiResources where it reports anything; Wine's stub returns 0, so
// there GDI objects are counted in its per-process GDI handle table and USER objects by walking
// this process's windows and probing the user handle range for menus, icons and cursors.
GuiCounts CountThisProcess();

std::string Describe(const GuiCounts &c);

} // namespace soak
