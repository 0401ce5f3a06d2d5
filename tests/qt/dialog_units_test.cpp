#include <gtest/gtest.h>

#include <cmath>

#include <QFontMetrics>
#include <QString>

#include "qt_test_app.h"
#include "ui/dialog_templates.h"
#include "qt/dialog_units.h"

namespace {

// Expected pixels worked out by hand: a horizontal unit is a quarter of the
// base width, a vertical unit an eighth of the base height, and a half pixel
// rounds up.
TEST(DialogUnits, ConvertTemplateRectanglesAsWorkedOutByHand) {
    const DialogUnits units(6, 13);
    // OK of the download selection, {156, 131, 50, 14}: 234, 212.875, 75, 22.75.
    EXPECT_EQ(units.ToPixels(DialogTemplate::UnitRect{156, 131, 50, 14}), QRect(234, 213, 75, 23));
    // The whole dialog, 274 x 152 units.
    EXPECT_EQ(units.SizeToPixels(DialogTemplate::UnitRect{0, 0, 274, 152}), QSize(411, 247));

    const DialogUnits wider(7, 15);
    // A flag button, {119, 62, 103, 51}: 208.25, 116.25, 180.25, 95.625.
    EXPECT_EQ(wider.ToPixels(DialogTemplate::UnitRect{119, 62, 103, 51}), QRect(208, 116, 180, 96));
    // The language dialog, 229 x 232 units: 400.75 x 435.
    EXPECT_EQ(wider.SizeToPixels(DialogTemplate::UnitRect{0, 0, 229, 232}), QSize(401, 435));
}

TEST(DialogUnits, HalfPixelsRoundUpAndSmallerPartsDown) {
    const DialogUnits units(6, 13);
    // 1.5 -> 2 and 4.5 -> 5 wide; 1.625 -> 2, 6.5 -> 7 and 3.25 -> 3 high.
    EXPECT_EQ(units.ToPixels(DialogTemplate::UnitRect{1, 1, 3, 4}), QRect(2, 2, 5, 7));
    EXPECT_EQ(units.SizeToPixels(DialogTemplate::UnitRect{0, 0, 0, 2}), QSize(0, 3));
    const DialogUnits narrow(3, 10);
    // 0.75 -> 1, 2.25 -> 2; 1.25 -> 1, 3.75 -> 4.
    EXPECT_EQ(narrow.ToPixels(DialogTemplate::UnitRect{1, 1, 3, 3}), QRect(1, 1, 2, 4));
}

TEST(DialogUnits, BaseUnitsComeFromTheFontsAverageCharacterWidthAndHeight) {
    TestApp();
    const QFont font = DialogTemplateFont();
    const QFontMetrics metrics(font);
    const DialogUnits units(font);
    // The line height rounded up, so that a one-line label keeps its last
    // pixel row.
    EXPECT_EQ(units.BaseHeight(), static_cast<int>(std::ceil(QFontMetricsF(font).height())));
    EXPECT_GE(units.BaseHeight(), metrics.height());
    // The average width of the 52 letters, summed one by one here.
    int sum = 0;
    for (const QChar c : QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"))
        sum += metrics.horizontalAdvance(c);
    EXPECT_NEAR(units.BaseWidth(), sum / 52.0, 1.0);
    EXPECT_GT(units.BaseWidth(), 0);
    // Four horizontal and eight vertical units are one base unit each.
    EXPECT_EQ(units.ToPixels(DialogTemplate::UnitRect{4, 8, 8, 16}),
              QRect(units.BaseWidth(), units.BaseHeight(), 2 * units.BaseWidth(), 2 * units.BaseHeight()));
}

}  // namespace
