// The print commands of ClipMenu.
#include "shell/ClipMenu.h"

void ClipMenuForm::mTPrint_Click() {}

void ClipMenuForm::mYPrint_Click() {}
