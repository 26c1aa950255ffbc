// The print commands of ClipMenu: "縦印刷" and "横印刷".
#include "common/ids.h"
#include "print/PrintJob.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"

void ClipMenuForm::Print(UINT id, short orientation) {
    if (Hold(id)) return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    print::PrintResult result = print::PrintResult::PrintFailed;
    {
        // Held from the command until the page is handed over and the file is gone: a printer
        // driver's dialog or a delayed rendering lets messages run inside the job.
        printing_ = true;
        struct Reset {
            bool &flag;
            ~Reset() { flag = false; }
        } const reset{printing_};
        result = print::PrintClipboard(orientation, ProgramFolder(), PaperSize, PrintCopies, now,
                                       &PrintFile);
    }
    // The print's own message first, then what came in meanwhile, in its order.
    if (const wchar_t *text = print::FailureText(result)) {
        win::ProgramModalMessageBox(Handle(), text, L"Tessary", MB_OK | MB_ICONSTOP);
    }
    RunHeld();
}

void ClipMenuForm::mTPrint_Click() {
    Print(ID_MTPRINT, print::kPortrait);
}

void ClipMenuForm::mYPrint_Click() {
    Print(ID_MYPRINT, print::kLandscape);
}
