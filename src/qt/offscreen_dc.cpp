#include "qt/offscreen_dc.h"

#include <QPaintDevice>
#include <QPaintEngine>

namespace {

bool IsPrinter(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return device != nullptr && device->devType() == QInternal::Printer;
}

}  // namespace

qreal PaintDevicePixelRatio(const QPainter& painter) {
    // A widget's painter names the widget as its device even when its paint
    // goes into another picture; the engine knows the real one.
    const QPaintEngine* engine = painter.paintEngine();
    if (engine != nullptr && engine->paintDevice() != nullptr)
        return engine->paintDevice()->devicePixelRatioF();
    return painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
}

COffscreenDC::COffscreenDC(QPainter& target, const QRect& area)
    : target_(target), area_(area), offscreen_(!IsPrinter(target) && !area.isEmpty()) {
    if (!offscreen_)
        return;
    // At the screen's own pixel density: at a scale of 2 the text is drawn
    // with twice the pixels instead of being enlarged afterwards.
    const qreal ratio = PaintDevicePixelRatio(target_);
    image_ = QImage((QSizeF(area_.size()) * ratio).toSize(), QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio);
    imagePainter_.begin(&image_);
    // Drawing uses the target's coordinates: shift so the area's corner is the image's origin.
    imagePainter_.translate(-area_.topLeft());
    imagePainter_.setFont(target_.font());
}

COffscreenDC::~COffscreenDC() {
    if (!offscreen_)
        return;
    imagePainter_.end();
    target_.drawImage(area_.topLeft(), image_);
}
