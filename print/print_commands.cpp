// The print commands of ClipMenu: "縦印刷" and "横印刷".
#include "print/PrintJob.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"

namespace {

// The failure message comes only after the job and its file are gone, so nothing is processed
// while the print runs.
void RunPrint(HWND owner, std::wstring &printFile, short orientation) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const print::PrintResult result = print::PrintClipboard(orientation, ProgramFolder(), PaperSize,
                                                            PrintCopies, now, &printFile);
    if (const wchar_t *text = print::FailureText(result)) {
        MessageBoxW(owner, text, L"Tessary", MB_OK | MB_ICONSTOP);
    }
}

} // namespace

void ClipMenuForm::mTPrint_Click() {
    RunPrint(Handle(), PrintFile, print::kPortrait);
}

void ClipMenuForm::mYPrint_Click() {
    RunPrint(Handle(), PrintFile, print::kLandscape);
}
