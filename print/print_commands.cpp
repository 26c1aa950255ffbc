// The print commands of ClipMenu: "縦印刷" and "横印刷".
#include "common/ids.h"
#include "print/PrintJob.h"
#include "shell/ClipMenu.h"

void ClipMenuForm::mTPrint_Click() {
    Print(ID_MTPRINT, print::kPortrait);
}

void ClipMenuForm::mYPrint_Click() {
    Print(ID_MYPRINT, print::kLandscape);
}
