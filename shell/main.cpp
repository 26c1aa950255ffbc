// Tessary: starts its hidden menu window and lives in the message loop until the last window goes.
#include "shell/ClipMenu.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunTessary();
}
