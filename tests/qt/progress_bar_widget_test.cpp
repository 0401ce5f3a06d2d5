#include <gtest/gtest.h>

#include <thread>

#include <QFontMetrics>
#include <QImage>
#include <QWidget>

#include "qt_test_app.h"
#include "qt/skin_progress_ctrl.h"

namespace {

constexpr Colour Red = Rgb(255, 0, 0);
constexpr Colour Green = Rgb(0, 255, 0);
constexpr Colour Blue = Rgb(0, 0, 255);
constexpr Colour White = Rgb(255, 255, 255);

class ProgressBarWidget : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        parent_.resize(400, 60);
        parent_.show();
        // Filled red with green text; empty white with blue text: every pixel
        // left of the edge has no blue, every pixel right of it full blue.
        bar_.SetBarColour(Red);
        bar_.SetTextBkColour(Green);
        bar_.SetBkColour(White);
        bar_.SetTextColour(Blue);
    }
    void TearDown() override { bar_.Destroy(); }

    QImage Shot() { return bar_.grab().toImage(); }

    TestAppFirst app_;
    QWidget parent_;
    CSkinProgressCtrl bar_;
};

}  // namespace

TEST_F(ProgressBarWidget, NoWindowYetMeansNoPosition) {
    EXPECT_EQ(bar_.SetPos(30), -1);
    EXPECT_EQ(bar_.Pos(), 0);
}

TEST_F(ProgressBarWidget, HalfwayOn301PixelsFillsUpToX149AndSplitsTheTextThere) {
    bar_.Create(&parent_, QRect(0, 0, 301, 24));
    bar_.SetPos(50);
    const QImage image = Shot();
    ASSERT_EQ(image.width(), 301);
    EXPECT_EQ(image.pixelColor(149, 0), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(150, 0), QColor(255, 255, 255));

    bool textLeft = false, textRight = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (x < 150) {
                ASSERT_EQ(c.blue(), 0) << "text colour leaked left of the edge at " << x << "," << y;
                textLeft = textLeft || c.green() > 128;
            } else {
                ASSERT_EQ(c.blue(), 255) << "text background colour leaked right of the edge at " << x;
                textRight = textRight || c.red() < 128;
            }
        }
    }
    // "50%" is centred on the edge, so it shows on both sides.
    EXPECT_TRUE(textLeft);
    EXPECT_TRUE(textRight);
}

TEST_F(ProgressBarWidget, EndsOfTheRange) {
    bar_.Create(&parent_, QRect(0, 0, 120, 20));
    bar_.SetPos(0);
    QImage image = Shot();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 255, 255));
    bar_.SetPos(100);
    image = Shot();
    EXPECT_EQ(image.pixelColor(119, 0), QColor(255, 0, 0));
    bar_.SetShowText(false);
    image = Shot();
    for (int x = 0; x < image.width(); ++x)
        ASSERT_EQ(image.pixelColor(x, image.height() / 2), QColor(255, 0, 0));
}

TEST_F(ProgressBarWidget, RepaintsOnlyForAWholePixelAndAfterResize) {
    bar_.Create(&parent_, QRect(0, 0, 50, 20));
    bar_.SetPos(50);
    QApplication::processEvents();
    const int painted = bar_.PaintCount();
    EXPECT_EQ(bar_.SetPos(51), 50);  // 25.5 px: the edge stays at 25
    QApplication::processEvents();
    EXPECT_EQ(bar_.PaintCount(), painted);

    EXPECT_EQ(bar_.SetPos(52), 51);
    QApplication::processEvents();
    EXPECT_GT(bar_.PaintCount(), painted);

    bar_.resize(50, 22);
    QApplication::processEvents();
    const int afterResize = bar_.PaintCount();
    bar_.SetPos(52);
    QApplication::processEvents();
    EXPECT_GT(bar_.PaintCount(), afterResize);
}

TEST_F(ProgressBarWidget, CallsFromAnotherThreadReachTheScreen) {
    bar_.Create(&parent_, QRect(0, 0, 100, 20));
    std::thread worker([this] {
        bar_.SetText("Upgrade successful !");
        bar_.SetPos(100);
    });
    worker.join();
    QApplication::processEvents();
    EXPECT_EQ(bar_.Text(), "Upgrade successful !");
    EXPECT_EQ(bar_.Pos(), 100);
    EXPECT_EQ(Shot().pixelColor(99, 0), QColor(255, 0, 0));
}

namespace {

// Whether some 2 x 2 block of device pixels (at even coordinates) holds more
// than one colour: a picture drawn at 1x and enlarged has none.
bool HasDetailFinerThanALogicalPixel(const QImage& image) {
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb corner = image.pixel(x, y);
            if (image.pixel(x + 1, y) != corner || image.pixel(x, y + 1) != corner ||
                image.pixel(x + 1, y + 1) != corner)
                return true;
        }
    }
    return false;
}

}  // namespace

// On a screen with twice the pixels the text is drawn with twice the pixels,
// not drawn at 1x and enlarged (which looks blurred or blocky).
TEST_F(ProgressBarWidget, TextIsDrawnAtTheScreensPixelDensity) {
    bar_.Create(&parent_, QRect(0, 0, 301, 24));
    bar_.SetText("Downloading 47%");
    bar_.SetPos(47);
    QImage doubled(QSize(301, 24) * 2, QImage::Format_RGB32);
    doubled.setDevicePixelRatio(2);
    doubled.fill(Qt::black);
    bar_.render(&doubled);
    EXPECT_TRUE(HasDetailFinerThanALogicalPixel(doubled));
    // The bar still splits at the same logical x: 301 x 0.47 = 141.
    EXPECT_EQ(doubled.pixelColor(2 * 141 - 1, 0), QColor(255, 0, 0));
    EXPECT_EQ(doubled.pixelColor(2 * 141, 0), QColor(255, 255, 255));
}

// A text wider than the bar is drawn smaller, whole and centred, instead of
// being cut off at both ends; a text that fits keeps the bar's font.
TEST_F(ProgressBarWidget, ATextWiderThanTheBarIsShrunkToFitInsideIt) {
    const QString longText = QStringLiteral("No USB permission: install the udev rule 70-orvo-dfu.rules");
    const int width = QFontMetrics(bar_.font()).horizontalAdvance(longText) * 3 / 4;
    bar_.Create(&parent_, QRect(0, 0, width, 24));
    bar_.SetPos(0);
    bar_.SetShowText(true);
    bar_.SetText(longText.toStdString());

    // Over the empty white part the text is blue: a pixel with little red.
    const QImage image = Shot();
    const auto textInColumn = [&](int x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y).red() < 200)
                return true;
        }
        return false;
    };
    int textColumns = 0;
    for (int x = 0; x < image.width(); ++x)
        textColumns += textInColumn(x) ? 1 : 0;
    EXPECT_GT(textColumns, width / 2) << "the text should still be drawn across the bar";
    for (int x : {0, 1, width - 2, width - 1})
        EXPECT_FALSE(textInColumn(x)) << "text reaches the bar's edge at column " << x;

    const QFont fitted = CSkinProgressCtrl::FontToFit(bar_.font(), longText, width - 4);
    EXPECT_LE(QFontMetrics(fitted).horizontalAdvance(longText), width - 4);
    EXPECT_EQ(CSkinProgressCtrl::FontToFit(bar_.font(), QStringLiteral("45%"), width), bar_.font());
}

// The font never shrinks below the floor, however long the text.
TEST_F(ProgressBarWidget, AFittedFontStopsAtItsFloor) {
    QFont font = bar_.font();
    font.setPointSizeF(10);
    const QFont fitted = CSkinProgressCtrl::FontToFit(font, QString(400, QLatin1Char('W')), 100);
    EXPECT_DOUBLE_EQ(fitted.pointSizeF(), 10 * CSkinProgressCtrl::MinimumFontScale);

    QFont pixels = bar_.font();
    pixels.setPixelSize(20);
    const QFont fittedPixels = CSkinProgressCtrl::FontToFit(pixels, QString(400, QLatin1Char('W')), 100);
    EXPECT_EQ(fittedPixels.pixelSize(), 12);
}
