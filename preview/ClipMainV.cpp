#include "preview/ClipMainV.h"

struct PreviewGeometry {
    int clientWidthTw, clientHeightTw;
};

namespace {
const PreviewGeometry k42{7035, 3975};
const PreviewGeometry k57{8445, 4200};
const PreviewGeometry k65{8280, 5370};
std::unique_ptr<ClipMainVForm> Make42() { return std::make_unique<ClipMainVForm>(k42); }
std::unique_ptr<ClipMainVForm> Make57() { return std::make_unique<ClipMainVForm>(k57); }
std::unique_ptr<ClipMainVForm> Make65() { return std::make_unique<ClipMainVForm>(k65); }
} // namespace

win::FormRef<ClipMainVForm> ClipMain42V(&Make42);
win::FormRef<ClipMainVForm> ClipMain57V(&Make57);
win::FormRef<ClipMainVForm> ClipMain65V(&Make65);

ClipMainVForm::Frame ClipMainVForm::GetFrame() const {
    Frame f;
    f.clientWidth = win::TwipsToPixelsX(geometry_.clientWidthTw);
    f.clientHeight = win::TwipsToPixelsY(geometry_.clientHeightTw);
    return f;
}

void ClipMainVForm::Form_Load() {}
