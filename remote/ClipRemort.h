// ClipRemort: the floating remote control, the way to the display and print commands.
#pragma once

#include "common/skin.h"

class ClipRemortForm : public win::SkinnedForm {
public:
    // The remote control picture; the only part of the window that answers the mouse.
    win::ImageElement *Image2 = nullptr;

    // 1 left, 2 right, 4 middle: the right button opens ClipMenu's mMenu, the others drag.
    void Image2_MouseDown(int button);

    // Form::Show, and a loaded window that no monitor shows comes back within reach.
    void Show();

protected:
    Frame GetFrame() const override;
    void Form_Load() override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void Form_DpiChanged() override;

private:
    static bool ClipboardIsPicture();
    void BringBackIfLost();
};

extern win::FormRef<ClipRemortForm> ClipRemort;
