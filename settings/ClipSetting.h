// ClipSetting: the settings dialog, drawn as the front of a flat-panel display. Not modal: the
// tray menus, the remote control and printing stay usable while it is open.
#pragma once

#include "common/handles.h"
#include "common/skin.h"

#include <string>

class ClipSettingForm : public win::SkinnedForm {
public:
    // Index 0 is OK (check and save), 1 is CANCEL (close without saving); others do nothing.
    void Command1_Click(int index);

    // The controls, for code that drives the dialog (null while not loaded).
    HWND Combo1() const { return combo1_; }
    HWND Combo2() const { return combo2_; }
    HWND Option1(int index) const;
    HWND Command1(int index) const;

    // Where the load handler gets the settings path from; the program's own folder unless a test
    // points it somewhere else.
    static std::wstring (*IniPathSource)();

protected:
    Frame GetFrame() const override;
    void Form_Load() override;
    void Form_DpiChanged() override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    bool PreTranslateMessage(MSG &msg) override;

private:
    void CreateControls();
    // The dialog's fonts at its DPI.
    void MakeFonts();
    HFONT ButtonFont() const;
    void CheckAndSave();
    void MoveFocus(bool backwards);
    void MoveInOptionGroup(HWND from, bool backwards);

    std::wstring face_;
    win::unique_hfont boldFont_, plainFont_, buttonFont_; // no button font: the system's
    win::ImageElement *image1_ = nullptr;
    win::LabelElement *label2_[3] = {}, *label1_ = nullptr;
    win::unique_hbrush optionBrush_;
    HWND combo1_ = nullptr, combo2_ = nullptr;
    HWND option1_[4] = {};
    HWND command1_[2] = {};
    HWND lastFocus_ = nullptr;
    // The dialog's own copy of the stored settings, as its load handler read them.
    std::wstring dispSize_, paperSize_, copies_;
};

extern win::FormRef<ClipSettingForm> ClipSetting;
