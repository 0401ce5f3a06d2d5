#include <gtest/gtest.h>

#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

TEST(BuiltInStrings, HoldTheCycleTextsExactly) {
    EXPECT_EQ(LoadResourceString(ResourceId::AppTitle), "DFUpdate_tessel");
    EXPECT_EQ(LoadResourceString(104), "Orvo software configuration");
    EXPECT_EQ(LoadResourceString(105), "Switch the Orvo on and connect to your PC\n using a USB lead to start the update.");
    EXPECT_EQ(LoadResourceString(107), "Orvo s/n : ");
    EXPECT_EQ(LoadResourceString(109), "the Orvo on and connect ..");
    EXPECT_EQ(LoadResourceString(111),
              "Download complete, please disconnect the\nOrvo from the PC. Click the X\n to close this program or "
              "reconnect \nOrvo to update again.");
    EXPECT_EQ(LoadResourceString(114), "Orvo Updater Error");
    EXPECT_EQ(LoadResourceString(115), "Upgrade successful !");
    EXPECT_EQ(LoadResourceString(113).rfind("An error has occurred whilst downloading", 0), 0u);
}

TEST(BuiltInStrings, InventNoTextForTheEmptyIds) {
    EXPECT_EQ(LoadResourceString(103), "");
    EXPECT_EQ(LoadResourceString(108), "");
    EXPECT_FALSE(BuiltInResources().Find(ResourceKind::String, 108, 0).has_value());
}

TEST(BuiltInStrings, HaveTheNewTextsAndTheMenu) {
    EXPECT_FALSE(LoadResourceString(ResourceId::WorkingFilesErrorText).empty());
    EXPECT_FALSE(LoadResourceString(ResourceId::ConfirmCloseWhileWriting).empty());
    EXPECT_EQ(ResourceText(ResourceKind::MenuItem, 128, 0), "&Menu");
    EXPECT_EQ(ResourceText(ResourceKind::MenuItem, 128, 32771), "&Language\tCtrl+L");
    EXPECT_EQ(ResourceText(ResourceKind::MenuItem, 128, 57665), "E&xit\tCtrl+X");
    EXPECT_EQ(ResourceText(ResourceKind::MenuItem, 128, 32772), "Orvo Safety Camera &Download Setting")
        << "the menu offers the download selection";
}

}  // namespace
