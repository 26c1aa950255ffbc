// Tessary: starts its hidden menu window and lives in the message loop until the last window goes.
#include "common/form.h"
#include "shell/ClipMenu.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    ClipMenu->Load();
    if (win::Form::LoadedCount() == 0) return 1;
    return win::RunMessageLoop();
}
