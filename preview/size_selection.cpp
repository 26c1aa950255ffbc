// The display size commands of ClipMenu: one preview open at a time, its item checked.
#include "common/ids.h"
#include "preview/ClipMainV.h"
#include "remote/ClipRemort.h"
#include "shell/ClipMenu.h"

namespace {

void SelectSize(MenuItem &own, MenuItem &other1, MenuItem &other2,
                win::FormRef<ClipMainVForm> &ownWindow, win::FormRef<ClipMainVForm> &close1,
                win::FormRef<ClipMainVForm> &close2) {
    other1.SetChecked(false);
    other2.SetChecked(false);
    ClipMenu->mOFF.SetEnabled(true);
    if (!own.Checked()) {
        // Checked before the window loads: a call that runs during the load finds it checked
        // and does not load the window twice.
        own.SetChecked(true);
        close1.Unload();
        close2.Unload();
        ownWindow->Show();
        // Its load lets messages run (the snapshot, a message box): when they closed the
        // preview or the program meanwhile, this command is over.
        if (!ownWindow.IsLoaded() || !ClipMenu.IsLoaded()) return;
    }
    SetActiveWindow(ClipRemort->hWnd());
}

} // namespace

void ClipMenuForm::m42_Click() {
    if (!Hold(ID_M42)) SelectSize(m42, m65, m57, ClipMain42V, ClipMain57V, ClipMain65V);
}

void ClipMenuForm::m57_Click() {
    if (!Hold(ID_M57)) SelectSize(m57, m42, m65, ClipMain57V, ClipMain42V, ClipMain65V);
}

void ClipMenuForm::m65_Click() {
    if (!Hold(ID_M65)) SelectSize(m65, m42, m57, ClipMain65V, ClipMain57V, ClipMain42V);
}
