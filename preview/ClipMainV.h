// The display previews ClipMain42V, ClipMain57V and ClipMain65V: one window class, three
// geometries.
#pragma once

#include "common/skin.h"

#include <memory>

// One preview's layout in twips: Picture1 on the client area, the images on Picture1's inside.
struct PreviewGeometry {
    const wchar_t *name;
    double clientWidth, clientHeight;
    double picture1[4]; // left, top, width, height
    double image1[4];
    unsigned image1Resource; // the display picture
    double image2[4];        // the display's screen area
};

class ClipMainVForm : public win::SkinnedForm {
public:
    explicit ClipMainVForm(const PreviewGeometry &geometry) : geometry_(geometry) {}

    // The display picture, and the clipboard picture drawn over its screen area.
    win::ImageElement *Image1 = nullptr;
    win::ImageElement *Image2 = nullptr;

    void Image1_Click();
    void Image2_Click();

protected:
    Frame GetFrame() const override;
    void Form_Load() override;
    void Form_DpiChanged() override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // The clipboard picture into Image2; false when there is none that can be shown.
    bool PlaceClipboardPicture();
    RECT Box(const double (&tw)[4]) const;

    const PreviewGeometry &geometry_;
    DWORD clipboardSequence_ = 0; // the clipboard's change number when the picture was read
    // The picture as last placed from the clipboard, kept while a change of scale needs it.
    win::MemoryImage shown_;
};

extern win::FormRef<ClipMainVForm> ClipMain42V;
extern win::FormRef<ClipMainVForm> ClipMain57V;
extern win::FormRef<ClipMainVForm> ClipMain65V;
