// Tessary: starts its hidden menu window and lives in the message loop until the last window goes.
#include "common/form.h"
#include "shell/ClipMenu.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ClipMenu->Load();
    if (win::Form::LoadedCount() == 0) return 1;
    return win::RunMessageLoop();
}
