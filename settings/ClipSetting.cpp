#include "settings/ClipSetting.h"

win::FormRef<ClipSettingForm> ClipSetting;

ClipSettingForm::Frame ClipSettingForm::GetFrame() const {
    Frame f;
    f.clientWidth = 334;
    f.clientHeight = 208;
    return f;
}

void ClipSettingForm::Form_Load() {}
