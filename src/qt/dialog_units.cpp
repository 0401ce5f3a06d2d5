#include "qt/dialog_units.h"

#include <cmath>

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QStringList>

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
    // The height a line of text really takes: the rounded-up sum of ascent
    // and descent, as the platform's own dialog units count it.
    baseHeight_ = static_cast<int>(std::ceil(QFontMetricsF(font).height()));
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
    // Liberation Sans has Arial's metrics, so every text lays out as the
    // templates were designed; named here too in case no font configuration
    // maps Arial to it.
    font.setFamilies({QString::fromLatin1(DialogTemplate::FontFamily),
                      QString::fromLatin1(DialogTemplate::MetricCompatibleFontFamily)});
    font.setStyleHint(QFont::SansSerif);
    // Whole-pixel glyph advances, as the templates were measured with; the
    // unhinted fractional ones run a few pixels wider over a long label.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}
