// Tessary: starts its hidden menu window and lives in the message loop until the last window goes.
#include "common/lazylib.h"
#include "shell/ClipMenu.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // First of all: every library loaded later by name comes from the system folder.
    win::RestrictLibrarySearch();
    return RunTessary();
}
