#include "ui/widgets/dialog_units.h"

#include <QFontMetrics>

namespace {

// Rounded like the platform's multiply-then-divide.
int MulDiv(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth_ = (alphabet / 26 + 1) / 2;
    baseHeight_ = metrics.height();
}

int DialogUnits::X(int units) const { return MulDiv(units, baseWidth_, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, baseHeight_, 8); }

QRect DialogUnits::ToPixels(const DialogTemplate::UnitRect& rect) const {
    return QRect(X(rect.x), Y(rect.y), X(rect.width), Y(rect.height));
}

QSize DialogUnits::SizeToPixels(const DialogTemplate::UnitRect& rect) const {
    return QSize(X(rect.width), Y(rect.height));
}

QFont DialogTemplateFont() {
    QFont font(QString::fromLatin1(DialogTemplate::FontFamily), DialogTemplate::PointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
