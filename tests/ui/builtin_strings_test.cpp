#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/builtin_resource_tables.h"

#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

TEST(BuiltInStrings, HoldTheCycleTextsExactly) {
    const Resources resources;
    EXPECT_EQ(resources.String(ResourceId::AppTitle), "DFUpdate_tessel");
    EXPECT_EQ(resources.String(104), "Orvo software configuration");
    EXPECT_EQ(resources.String(105),
              "Switch the Orvo on and connect to your PC\n using a USB lead to start the update.");
    EXPECT_EQ(resources.String(107), "Orvo s/n : ");
    EXPECT_EQ(resources.String(109), "the Orvo on and connect ..");
    EXPECT_EQ(resources.String(111),
              "Download complete, please disconnect the\nOrvo from the PC. Click the X\n to close this program or "
              "reconnect \nOrvo to update again.");
    EXPECT_EQ(resources.String(114), "Orvo Updater Error");
    EXPECT_EQ(resources.String(115), "Upgrade successful !");
    EXPECT_EQ(resources.String(113).rfind("An error has occurred whilst downloading", 0), 0u);
    // The texts the device's and the backup's errors keep in the log and the
    // history, now looked up by id.
    EXPECT_EQ(resources.String(ResourceId::NoMemoryMapText), "Unable to read the memory map of the device...");
    EXPECT_EQ(resources.String(ResourceId::BackupUnreadableText),
              "The Orvo's database could not be read to keep a copy of it; nothing was erased.");
    EXPECT_EQ(resources.String(ResourceId::NoUsbPermissionText),
              "No USB permission: install the udev rule 70-orvo-dfu.rules");
}

// Coverage both ways: every string id the program looks up has a text of its
// own, and the table holds nothing else.
TEST(BuiltInStrings, EveryIdTheProgramUsesHasATextOfItsOwn) {
    const Resources resources;
    using namespace ResourceId;
    const std::set<int> used = {AppTitle,      FrameTitle,        ConnectDeviceText,     ConnectingText,
                                SerialPrefixText, ReconnectText,  WritingText,           CompleteText,
                                FailedText,    DownloadErrorText, ErrorCaption,          UpgradeSuccessfulText,
                                WorkingFilesErrorText, ConfirmCloseWhileWriting,
                                DownloadCauseHttpStatus, DownloadCauseFolder, DownloadCauseNoConnection,
                                DownloadCauseTimedOut, DownloadCauseTruncated, DownloadCauseTooLarge,
                                DownloadCauseTransferFailed, DownloadCauseNoLength, DownloadCauseDiskFull,
                                DownloadCauseNotWritable, SettingsNotSavedText, HoldingsText,
                                HoldingsUndatedText, NoDatabaseText, DigitGroupSeparator, SmallerDatabaseQuestion,
                                HistoryNotUsableText, LogNotWritableText, HistoryCaption, HistoryStartedColumn,
                                HistorySerialColumn, HistorySourceColumn, HistoryOutcomeColumn, CamerasColumn,
                                DatabaseDateColumn, HistoryCauseColumn, CloseButtonText, HistoryEmptyText,
                                SourceServerText, SourceFileText, SourceRestoreText, OutcomeSucceededText,
                                OutcomeAlreadyCurrentText, OutcomeFailedText, OutcomeInterruptedText,
                                OutcomeRunningText, RestoreCaption, RestoreIntroText, KeptColumn,
                                NoOrvoIdentifiedText, NoBackupsText, CycleRequestRefusedText, CycleRequestTakenText,
                                ChooseDatabaseFileCaption, DatabaseFileFilter, LogFolderNotOpenedText,
                                YesButtonText, NoButtonText, VerifyFailedText, BackupUnreadableText,
                                NoMemoryMapText, NoUsbPermissionText, OtherDeviceAttachedText,
                                DownloadCauseNoServerText, ToolkitLocaleName, InterruptedCauseText,
                                DatabaseKeptText, WrittenOnConnectionText, RestoreSuccessfulText, OutcomeKeptText,
                                NoUsbDriverText, NotADatabaseFileText};
    ASSERT_EQ(used.size(), 76u);
    std::set<std::string> texts;
    for (int id : used) {
        const std::string text = resources.String(id);
        EXPECT_FALSE(text.empty()) << id;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), used.size()) << "two ids share a text";
    int strings = 0;
    for (const auto& entry : BuiltInStringTable()) {
        const auto& [kind, id, item] = entry.first;
        if (kind != ResourceKind::String)
            continue;
        ++strings;
        EXPECT_TRUE(used.count(id)) << "unused string " << id;
    }
    EXPECT_EQ(strings, 76);
}

TEST(BuiltInStrings, InventNoTextForTheEmptyIds) {
    const Resources resources;
    EXPECT_EQ(resources.String(103), "");
    EXPECT_EQ(resources.String(108), "");
    EXPECT_FALSE(BuiltInResources().Find(ResourceKind::String, 108, 0).has_value());
}

TEST(BuiltInStrings, HaveTheNewTextsAndTheMenu) {
    const Resources resources;
    EXPECT_FALSE(resources.String(ResourceId::WorkingFilesErrorText).empty());
    EXPECT_FALSE(resources.String(ResourceId::ConfirmCloseWhileWriting).empty());
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 0), "&Menu");
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 32771), "&Language\tCtrl+L");
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 57665), "E&xit\tCtrl+X");
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 32772), "Orvo Safety Camera &Download Setting")
        << "the menu offers the download selection";
}

}  // namespace
