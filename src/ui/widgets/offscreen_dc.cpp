#include "ui/widgets/offscreen_dc.h"

#include <QPaintDevice>

namespace {

bool IsPrinter(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return device != nullptr && device->devType() == QInternal::Printer;
}

}  // namespace

COffscreenDC::COffscreenDC(QPainter& target, const QRect& area)
    : target_(target), area_(area), offscreen_(!IsPrinter(target) && !area.isEmpty()) {
    if (!offscreen_)
        return;
    image_ = QImage(area_.size(), QImage::Format_RGB32);
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
