// ClipSetting: the settings dialog, drawn as the front of a flat-panel display.
#pragma once

#include "common/skin.h"

class ClipSettingForm : public win::SkinnedForm {
protected:
    Frame GetFrame() const override;
    void Form_Load() override;
};

extern win::FormRef<ClipSettingForm> ClipSetting;
