#include <gtest/gtest.h>

#include <string>

#include "ui/progress_bar_model.h"
#include "ui/status_painting.h"
#include "ui/view_layout.h"

TEST(MainViewLayout, ExampleWindowGivesTheKnownRectangles) {
    const MainViewLayout layout = ComputeMainViewLayout(382, 277);
    EXPECT_EQ(layout.progressBar, (PixelRect{11, 243, 370, 260}));
    EXPECT_EQ(layout.statusRect, (PixelRect{15, 157, 366, 235}));
    EXPECT_EQ(layout.pictureRect, (PixelRect{3, 2, 376, 149}));
}

TEST(MainViewLayout, ProductsAreTakenInDoublePrecisionAndTruncated) {
    // 0.97 x 100 is exactly 97 in double precision; a float product would give 96.
    EXPECT_EQ(ComputeMainViewLayout(100, 100).progressBar.right, 97);
    EXPECT_EQ(ComputeMainViewLayout(100, 100).pictureRect.right, 98);  // 98.5 truncated
    EXPECT_EQ(ScaleTruncated(0.985, -100), -98);                       // toward zero, not down
}

TEST(ProgressBarModel, FilledWidthAndPercentage) {
    EXPECT_EQ(FilledWidth(50, 0, 100, 301), 150);
    EXPECT_EQ(FilledWidth(0, 0, 100, 301), 0);
    EXPECT_EQ(FilledWidth(100, 0, 100, 301), 301);
    EXPECT_EQ(FilledWidth(5, 0, 0, 301), 0);  // empty range: no division by zero
    EXPECT_EQ(PercentText(33, 0, 100), "33%");
}

TEST(ProgressBarModel, WithoutAWindowSetPosStoresNothing) {
    ProgressBarModel bar(Rgb(0, 0, 255));
    const auto change = bar.SetPos(40, 301);
    EXPECT_EQ(change.previous, -1);
    EXPECT_FALSE(change.repaint);
    EXPECT_EQ(bar.Position(), 0);
}

TEST(ProgressBarModel, RepaintsOnlyWhenTheFilledEdgeMovesAPixel) {
    ProgressBarModel bar(Rgb(0, 0, 255));
    bar.WindowCreated();
    EXPECT_TRUE(bar.SetPos(50, 50).repaint);  // first computation always paints
    const auto same = bar.SetPos(50, 50);
    EXPECT_EQ(same.previous, 50);
    EXPECT_FALSE(same.repaint);
    EXPECT_FALSE(bar.SetPos(51, 50).repaint);  // 25.5 px: still 25
    EXPECT_EQ(bar.Position(), 51);             // stored even without a repaint
    EXPECT_TRUE(bar.SetPos(52, 50).repaint);
    bar.Resized();
    EXPECT_TRUE(bar.SetPos(52, 50).repaint);  // after a resize, whatever the width
}

TEST(ProgressBarModel, TextChangesAndTheOwnPercentage) {
    ProgressBarModel bar(Rgb(0, 0, 255));
    bar.WindowCreated();
    bar.SetPos(100, 301);
    EXPECT_EQ(bar.Picture(301).text, "100%");
    EXPECT_TRUE(bar.SetText("Upgrade successful !"));
    EXPECT_FALSE(bar.SetText("Upgrade successful !"));
    EXPECT_EQ(bar.Picture(301).text, "Upgrade successful !");
    EXPECT_TRUE(bar.SetText(""));
    EXPECT_EQ(bar.Picture(301).text, "100%");
}

TEST(ProgressBarModel, PictureColoursAndSplit) {
    ProgressBarModel bar(Rgb(1, 2, 3));
    EXPECT_EQ(bar.BarColour(), Rgb(1, 2, 3));  // the highlight colour until told otherwise
    EXPECT_EQ(bar.TextColour(), Rgb(1, 2, 3));
    EXPECT_EQ(bar.BkColour(), ProgressBarModel::White);
    bar.WindowCreated();
    bar.SetBarColour(Rgb(0, 255, 0));
    bar.SetTextBkColour(Rgb(9, 9, 9));
    bar.SetPos(50, 301);
    ProgressBarPicture picture = bar.Picture(301);
    EXPECT_EQ(picture.splitX, 150);
    EXPECT_EQ(picture.filledColour, Rgb(0, 255, 0));
    EXPECT_EQ(picture.textOverFilled, Rgb(9, 9, 9));
    EXPECT_EQ(picture.textOverEmpty, Rgb(1, 2, 3));
    bar.SetPos(250, 301);
    EXPECT_EQ(bar.Picture(301).splitX, 301);  // beyond the range stays inside the control
    bar.SetPos(-20, 301);
    EXPECT_EQ(bar.Picture(301).splitX, 0);
    EXPECT_TRUE(bar.SetShowText(false));
    EXPECT_FALSE(bar.SetShowText(false));
}

TEST(StatusPainting, FontSwitchesAbove155Characters) {
    EXPECT_EQ(StatusLineHeight(std::string(155, 'a')), 19);
    EXPECT_EQ(StatusLineHeight(std::string(156, 'a')), 16);
    // Characters, not bytes: 155 two-byte letters still take the large font.
    std::string accented;
    for (int i = 0; i < 155; ++i)
        accented += "\xC3\xA9";
    EXPECT_EQ(StatusLineHeight(accented), 19);
}

TEST(StatusPainting, LinesSplitAtNewlines) {
    EXPECT_EQ(StatusLines("a\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(StatusLines(""), (std::vector<std::string>{""}));
    EXPECT_EQ(StatusLines("x\n"), (std::vector<std::string>{"x", ""}));
    EXPECT_EQ(PictureFilePath("/opt/orvo/"), "/opt/orvo/Tessel.bmp");
}
