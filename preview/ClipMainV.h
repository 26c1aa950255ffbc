// The display previews ClipMain42V, ClipMain57V and ClipMain65V: one window class, three geometries.
#pragma once

#include "common/skin.h"

#include <memory>

struct PreviewGeometry;

class ClipMainVForm : public win::SkinnedForm {
public:
    explicit ClipMainVForm(const PreviewGeometry &geometry) : geometry_(geometry) {}

protected:
    Frame GetFrame() const override;
    void Form_Load() override;

private:
    const PreviewGeometry &geometry_;
};

extern win::FormRef<ClipMainVForm> ClipMain42V;
extern win::FormRef<ClipMainVForm> ClipMain57V;
extern win::FormRef<ClipMainVForm> ClipMain65V;
