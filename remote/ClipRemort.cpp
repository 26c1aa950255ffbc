#include "remote/ClipRemort.h"

win::FormRef<ClipRemortForm> ClipRemort;

ClipRemortForm::Frame ClipRemortForm::GetFrame() const {
    Frame f;
    f.clientWidth = 42;
    f.clientHeight = 141;
    return f;
}

void ClipRemortForm::Form_Load() {}
