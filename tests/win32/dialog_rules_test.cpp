#include <gtest/gtest.h>

#include "ui/language_library.h"
#include "ui/settings_fixture.h"
#include "win32/dialog_rules.h"

namespace {

class Win32DownloadSelection : public ::testing::Test, protected SettingsFixture {
protected:
    Win32DownloadSelection() : SettingsFixture("win32_download_selection") {}
    DownloadSelectionRules rules = SettingsDownloadSelection(settings);

    static RegionStates Boxes(const RegionSlots& slots) {
        RegionStates states{};
        std::copy_n(slots.begin(), RegionCount, states.begin());
        return states;
    }
};

}  // namespace

TEST_F(Win32DownloadSelection, TicksChangeTheSizeAtOnceAndOkSavesThem) {
    RegionStates boxes = Boxes(rules.open());
    EXPECT_EQ(boxes[0], RegionLocked);
    EXPECT_EQ(rules.sizeKb(), 320);
    boxes[1] = RegionSelected;  // UK Schools ticked
    boxes = Boxes(rules.click(boxes));
    EXPECT_EQ(boxes[1], RegionSelected);
    EXPECT_EQ(boxes[0], RegionLocked);
    EXPECT_EQ(rules.sizeKb(), 1720);
    rules.accept(boxes);
    ASSERT_TRUE(SettingsFileExists());
    EXPECT_EQ(SettingsLines().at(1), "&c=0,1");
    EXPECT_EQ(SettingsLines().at(2), "1720");
}

TEST_F(Win32DownloadSelection, TheThirdStateDropsOutAndTheLockedRegionStays) {
    RegionStates boxes = Boxes(rules.open());
    boxes[3] = RegionLocked;  // a click past "ticked"
    boxes[0] = RegionNotSelected;
    boxes = Boxes(rules.click(boxes));
    EXPECT_EQ(boxes[3], RegionNotSelected);
    EXPECT_EQ(boxes[0], RegionLocked);
    EXPECT_EQ(rules.sizeKb(), 320);
}

TEST_F(Win32DownloadSelection, WithoutOkNothingIsWrittenAndAChosenLanguageIsSaved) {
    SettingsLanguageChoice(settings, resources)(1);  // French: region 2 locked
    EXPECT_EQ(SettingsLines().at(1), "&c=2");
    RegionStates boxes = Boxes(rules.open());
    boxes[1] = RegionSelected;
    rules.click(boxes);
    EXPECT_EQ(SettingsLines().at(1), "&c=2") << "a click alone leaves the file as it was";
    EXPECT_EQ(rules.sizeKb(), 1500);
    settings.SaveSettings();  // the worker, before the next download
    EXPECT_EQ(SettingsLines().at(1), "&c=1,2");
}
