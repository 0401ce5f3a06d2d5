#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

// Device pixels per logical pixel of what `painter` really draws on (the
// screen's backing store, or the picture a widget is rendered into).
qreal PaintDevicePixelRatio(const QPainter& painter);

// A drawing surface over a target painter: everything drawn through
// Painter() lands in an off-screen image covering `area` (in the target's
// coordinates) and reaches the target in one copy when the object goes out
// of scope, so the target never shows a half-drawn picture. On a printer
// there is nothing to flicker: it draws straight into the target.
class COffscreenDC {
public:
    COffscreenDC(QPainter& target, const QRect& area);
    ~COffscreenDC();
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    QPainter& Painter() { return offscreen_ ? imagePainter_ : target_; }

private:
    QPainter& target_;
    QRect area_;
    bool offscreen_;
    QImage image_;
    QPainter imagePainter_;
};
