#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "ui/dialog_templates.h"

// Converts dialog-template units to pixels with the dialog's own font, the
// way templates have always been laid out: a horizontal unit is a quarter of
// the font's average character width, a vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    // Base units in pixels given directly: the font's average character width
    // and its height.
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

    QRect ToPixels(const DialogTemplate::UnitRect& rect) const;
    QSize SizeToPixels(const DialogTemplate::UnitRect& rect) const;
    int BaseWidth() const { return baseWidth_; }
    int BaseHeight() const { return baseHeight_; }

private:
    int X(int units) const;
    int Y(int units) const;

    int baseWidth_;
    int baseHeight_;
};

// The font of both dialog templates: 8-point Arial, or Liberation Sans with
// the same metrics (Debian's fonts-liberation2).
QFont DialogTemplateFont();
