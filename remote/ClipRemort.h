// ClipRemort: the floating remote control, the way to the display and print commands.
#pragma once

#include "common/skin.h"

class ClipRemortForm : public win::SkinnedForm {
protected:
    Frame GetFrame() const override;
    void Form_Load() override;
};

extern win::FormRef<ClipRemortForm> ClipRemort;
