// ClipMenu: the hidden window that starts and ends the program, owns the notification icon and both
// pop-up menus, and watches the clipboard.
#pragma once

#include "common/form.h"
#include "common/handles.h"

#include <string>
#include <vector>

// One item of ClipMenu's menus: check mark, enabled state and caption.
class MenuItem {
public:
    MenuItem() = default;
    MenuItem(HMENU parent, UINT id) : parent_(parent), key_(id), byPosition_(false) {}
    static MenuItem AtPosition(HMENU parent, UINT pos) {
        MenuItem m(parent, pos);
        m.byPosition_ = true;
        return m;
    }
    bool Checked() const;
    void SetChecked(bool on);
    bool Enabled() const;
    void SetEnabled(bool on);
    std::wstring Caption() const;

private:
    UINT Flag() const { return byPosition_ ? MF_BYPOSITION : MF_BYCOMMAND; }
    HMENU parent_ = nullptr;
    UINT key_ = 0;
    bool byPosition_ = false;
};

class ClipMenuForm : public win::Form {
public:
    // The clipboard examination: builds the content mask and brings up the remote control for
    // a picture.
    void ChangeClipBoard();

    // Commands of the menus, each defined beside the window or job it drives.
    void m42_Click();     // preview/size_selection.cpp
    void m57_Click();     // preview/size_selection.cpp
    void m65_Click();     // preview/size_selection.cpp
    void mOFF_Click();    // shell/ClipMenu.cpp
    void mTPrint_Click(); // print/print_commands.cpp, through Print below
    void mYPrint_Click(); // print/print_commands.cpp, through Print below
    void mEnd_Click();    // shell/ClipMenu.cpp
    void mSET_Click();    // shell/ClipMenu.cpp
    void mRem_Click();    // shell/ClipMenu.cpp
    void mEnd2_Click();   // shell/ClipMenu.cpp
    // Runs the command of a menu identifier (see common/ids.h).
    void RunCommand(UINT id);
    // Whether a command must wait, and then it is kept to run later: while a print runs (a
    // second print is dropped, the others run after it) and while one of our message boxes
    // stands (a print, a size command and the settings dialog's OK, IDC_COMMAND1_0, would open
    // another; they run when it closes). Each waits once, in the order of its last request.
    bool Hold(UINT id);

    // Opens a pop-up menu of this window at the mouse pointer and returns the chosen command
    // (0 for none, or when this window went away while the menu was open). The caller runs it
    // if its own window is still there.
    UINT PopupMenu(HMENU menu);
    // Hands a clipboard change on to the next viewer, before it is examined.
    void PassOnChange(WPARAM wp, LPARAM lp);

    HMENU mMenu() const { return mMenu_; }
    HMENU mMenu2() const { return mMenu2_; }
    HMENU MenuBar() const { return menuBar_; }
    MenuItem m42, m57, m65, mOFF, mPrint, mTPrint, mYPrint, mEnd, mSET, mRem, mEnd2;

    HWND NextViewer = nullptr; // the next window of the clipboard-viewer chain
    std::wstring PrintFile;    // the last print's temporary file

protected:
    Frame GetFrame() const override;
    void Form_Load() override;
    void Form_Unload() override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void BuildMenus();
    void Form_MouseMove(LPARAM lp);
    void AddTrayIcon();
    // The icon at the small-icon size for the DPI, into TrayIcon (the shell is not told).
    void LoadTrayIcon(int dpi);
    // The print commands' scheduling (shell/ClipMenu.cpp): held and holding like Hold says.
    void Print(UINT id, short orientation);
    void RunHeld();
    HMENU menuBar_ = nullptr; // owned by the window once attached
    HMENU mMenu_ = nullptr, mMenu2_ = nullptr;
    UINT taskbarCreated_ = 0;
    win::unique_hicon trayIcon_; // the one TrayIcon shows
    bool passingOn_ = false;
    bool printing_ = false;
    std::vector<UINT> held_;
};

extern win::FormRef<ClipMenuForm> ClipMenu;

// The whole run: loads ClipMenu and lives in the message loop until it ends. Returns the exit
// code (1 when ClipMenu could not load).
int RunTessary();
