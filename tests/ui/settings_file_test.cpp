#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "common/file_io.h"
#include "ui/language_library.h"
#include "ui/settings_file.h"
#include "ui/settings_fixture.h"

namespace {

using Lines = std::vector<std::string>;

class Settings : public ::testing::Test, protected SettingsFixture {
protected:
    // In a folder whose name is not ASCII, as a user's data folder may be.
    Settings() : SettingsFixture(std::string("settings_") + kNonAsciiName) {}

    // The seven boxes as the download selection dialog reads them.
    static std::array<std::int32_t, RegionCount> Boxes(std::array<std::int32_t, RegionCount> states) {
        return states;
    }
};

TEST_F(Settings, FirstRunChoosingGermanWritesTheTenLines) {
    int dialogs = 0;
    settings.LoadSettings([&] {
        ++dialogs;
        ApplyLanguage(settings, resources, 8);
    });
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(SettingsLines(), (Lines{"&o=8", "&c=4", "0", "320", "1400", "100", "170", "50", "20", "0"}));
    // Byte for byte, with this platform's line end ("\r\n" on Windows).
    std::string expected;
    for (const char* line : {"&o=8", "&c=4", "0", "320", "1400", "100", "170", "50", "20", "0"})
        expected += std::string(line) + TextLineEnd();
    const std::vector<std::uint8_t> written = ReadBytes(SettingsPath());
    EXPECT_EQ(std::string(written.begin(), written.end()), expected);
    // Read back after the dialog: the same values are in force.
    EXPECT_EQ(settings.LanguageFragment(), "&o=8");
    EXPECT_EQ(settings.RegionFragment(), "&c=4");
    EXPECT_EQ(settings.LanguageIndex, 8);
}

TEST_F(Settings, EnglishTickingUkSchoolsGivesRegionsZeroAndOne) {
    const RegionSlots shown = settings.ApplyRegionStates(Boxes({0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(settings.DownloadSizeKb, 1720);
    EXPECT_EQ(shown[0], RegionLocked) << "the language's region shows in the third state";
    EXPECT_EQ(shown[1], RegionSelected);
    settings.SaveSettings();
    EXPECT_EQ(settings.RegionFragment(), "&c=0,1");
    EXPECT_EQ(SettingsLines().at(2), "1720");
}

TEST_F(Settings, GermanTickingUkCamerasStoresBothAndFindsRegionZeroAgain) {
    ApplyLanguage(settings, resources, 8);
    settings.ClearRegionSelection();  // the dialog opens
    settings.LoadRegionSelection();
    settings.ApplyRegionStates(Boxes({1, 0, 0, 0, 2, 0, 0}));
    settings.StoreRegionStates(Boxes({1, 0, 0, 0, 2, 0, 0}));  // OK
    settings.SaveSettings();
    EXPECT_EQ(SettingsLines(), (Lines{"&o=8", "&c=0,4", "370", "320", "1400", "100", "170", "50", "20", "0"}));

    settings.ClearRegionSelection();  // opened again in the same run
    settings.LoadRegionSelection();
    EXPECT_EQ(settings.ComputeDownloadSize(), 370);
    EXPECT_EQ(settings.RegionSelection()[0], RegionSelected);
    EXPECT_EQ(settings.RegionSelection()[4], RegionLocked);
}

TEST_F(Settings, ThirdStateOnAnUnlockedRegionDropsOutAndLockedRegionStays) {
    settings.LanguageIndex = 3;  // Finnish: region 5 locked
    const RegionSlots shown = settings.ApplyRegionStates(Boxes({2, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(shown[0], RegionNotSelected);
    EXPECT_EQ(shown[5], RegionLocked);
    EXPECT_EQ(shown[6], RegionSelected);
    EXPECT_EQ(settings.DownloadSizeKb, 1400 + 20 + 0) << "South Africa adds nothing";
}

TEST_F(Settings, CancelledClicksStayInMemoryUntilTheNextSave) {
    settings.ApplyRegionStates(Boxes({2, 1, 0, 1, 0, 0, 0}));
    EXPECT_FALSE(SettingsFileExists()) << "clicks alone write nothing";
    settings.SaveSettings();  // the worker, before the next download
    EXPECT_EQ(SettingsLines().at(1), "&c=0,1,3");
}

TEST_F(Settings, SizeLinesThatEndEarlyOrAreNotPositiveKeepTheDefaults) {
    WriteSettings("&o=0\n&c=0\n320\n500\n0\n-3\n");
    settings.LoadSettings([] { FAIL() << "the file is there"; });
    const RegionSlots sizes = settings.RegionSizes();
    EXPECT_EQ(sizes[0], 500);
    EXPECT_EQ(sizes[1], 1400);
    EXPECT_EQ(sizes[2], 100);
    EXPECT_EQ(sizes[3], 170);
    EXPECT_EQ(sizes[6], 0);
    EXPECT_EQ(settings.DownloadSizeKb, 320);
}

TEST_F(Settings, ReadsLinesEndedByCarriageReturnAndLineFeed) {
    WriteSettings("&o=2\r\n&c=1,3\r\n1570\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n");
    settings.LoadSettings(nullptr);
    EXPECT_EQ(settings.LanguageFragment(), "&o=2");
    EXPECT_EQ(settings.RegionFragment(), "&c=1,3");
    EXPECT_EQ(settings.RegionSizes()[6], 7);
    EXPECT_EQ(settings.TakeLanguageIndexFromFragment(), 2);
}

TEST_F(Settings, ALongTokenIsCutAndTheRestOfItsLineDropped) {
    WriteSettings("&o=0123456789abcdefghijklmnop8 tail\n&c=0,1\n0\n900\n");
    settings.LoadSettings(nullptr);
    EXPECT_EQ(settings.LanguageFragment(), "&o=0123456789abcdef");
    EXPECT_EQ(settings.LanguageFragment().size(), MaxSettingsTokenLength);
    EXPECT_EQ(settings.RegionFragment(), "&c=0,1") << "the cut-off tail must not become the next value";
    EXPECT_EQ(settings.RegionSizes()[0], 900);
}

TEST_F(Settings, LanguageIndexComesFromTheFragmentsLastCharacter) {
    for (const auto& [fragment, index, locked] :
         std::vector<std::tuple<std::string, int, int>>{{"&o=6", 6, 0}, {"&o=7", 7, 0}, {"&o=9", 9, 0},
                                                         {"&o=x", 0, 0}, {"", 0, 0}, {"&o=3", 3, 5},
                                                         {"&o=5", 5, 2}, {"&o=2", 2, 3}}) {
        WriteSettings(fragment.empty() ? "\n" : fragment + "\n&c=0\n");
        SharedSettings fresh(Locations());
        fresh.LoadSettings([] {});
        LoadLanguageLibrary(fresh, resources);
        EXPECT_EQ(fresh.LanguageIndex, index) << fragment;
        fresh.ComputeDownloadSize();
        EXPECT_EQ(fresh.RegionSelection()[locked], RegionLocked) << fragment;
        EXPECT_EQ(resources.InForce(), nullptr) << "no library in this folder: English";
    }
}

TEST_F(Settings, LeavingTheFirstRunDialogWithoutAChoiceKeepsTheStartValues) {
    WriteSettings("  \n\n");
    int dialogs = 0;
    settings.LoadSettings([&] { ++dialogs; });
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(settings.LanguageFragment(), "");
    EXPECT_EQ(settings.RegionFragment(), "");
    EXPECT_EQ(settings.DownloadSizeKb, 0);
    EXPECT_EQ(settings.RegionSizes(), DefaultRegionSizes());
    EXPECT_EQ(SettingsLines(), (Lines{"  ", ""})) << "nothing written";
}

TEST_F(Settings, AbsurdSizesAreHeldWithinRange) {
    WriteSettings("&o=0\n&c=0,1,2,3,4,5,6\n99999999999\n2000000000\n2000000000\n2000000000\n1\n1\n1\n1\n");
    settings.LoadSettings(nullptr);
    EXPECT_EQ(settings.DownloadSizeKb, std::numeric_limits<std::int32_t>::max());
    settings.LoadRegionSelection();
    EXPECT_EQ(settings.ComputeDownloadSize(), std::numeric_limits<std::int32_t>::max());
}

TEST_F(Settings, SavingBeforeAnyLanguageChoiceWritesTheStartLanguage) {
    settings.SaveSettings();  // the worker, after a first start left without a choice
    EXPECT_EQ(SettingsLines(), (Lines{"&o=0", "&c=0", "0", "320", "1400", "100", "170", "50", "20", "0"}));
    SharedSettings next(Locations());
    next.LoadSettings([] { FAIL() << "the file is there"; });
    EXPECT_EQ(next.RegionFragment(), "&c=0");
}

TEST_F(Settings, AnUnwritableFolderWritesNothingAndKeepsTheFragment) {
    SharedSettings nowhere(ProgramFolderLocations("/nonexistent-orvo-folder/"));
    nowhere.ApplyRegionStates(Boxes({0, 0, 0, 0, 0, 0, 1}));
    std::vector<std::string> told;
    nowhere.SetSaveFailureListener([&told](const std::string& path) { told.push_back(path); });
    EXPECT_FALSE(nowhere.SaveSettings());
    EXPECT_FALSE(nowhere.SaveSettings());
    EXPECT_EQ(nowhere.RegionFragment(), "&c=0,6");
    // Told once per run, with the file that could not be written.
    EXPECT_EQ(told, std::vector<std::string>{nowhere.SettingsPath()});
    EXPECT_EQ(told[0].rfind("/nonexistent-orvo-folder/", 0), 0u) << told[0];
    EXPECT_TRUE(settings.SaveSettings());
}

TEST_F(Settings, SavingReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    WriteSettings(std::string(5000, 'x'));
    settings.SaveSettings();
    EXPECT_EQ(SettingsLines().size(), 10u);
    EXPECT_FALSE(std::filesystem::exists(SettingsPath() + ".new"));
}

TEST(SettingsText, ParsesLikeTheFormattedReaderAndStopsAtTheFirstBadNumber) {
    const auto values = ParseSettingsText("&o=1 &c=2\n12abc\n5\n");
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->languageFragment, "&o=1");
    EXPECT_EQ(values->regionFragment, "&c=2");
    EXPECT_EQ(values->downloadSizeKb, 12);
    EXPECT_FALSE(values->regionSizes[0].has_value()) << "\"abc\" stops the numbers";
    EXPECT_FALSE(values->regionSizes[1].has_value());
    EXPECT_FALSE(ParseSettingsText(" \r\n\t").has_value());
    EXPECT_EQ(ParseSettingsText("&o=4")->regionFragment, std::nullopt);
}

}  // namespace

// An installed or read-only program folder may carry a settings file prepared
// for its users: it stands in until the user has one of their own, which the
// first save writes into the data folder, never over the prepared one.
TEST(SettingsPreset, AProgramFoldersSettingsAreReadUntilTheUserHasTheirOwn) {
    const ScratchFolder data("preset_data"), program("preset_program");
    const std::string prepared = "&o=8\n&c=4\n0\n320\n1400\n100\n170\n50\n20\n0\n";
    std::ofstream(program.File("tessell"), std::ios::binary) << prepared;
    const FileLocations locations{data.File(""), {program.File("")}};

    SharedSettings settings(locations);
    int dialogs = 0;
    settings.LoadSettings([&] { ++dialogs; });
    EXPECT_EQ(dialogs, 0) << "the prepared settings answer the first-start question";
    EXPECT_EQ(settings.LanguageFragment(), "&o=8");
    EXPECT_EQ(settings.RegionFragment(), "&c=4");

    settings.SaveSettings();
    EXPECT_TRUE(std::filesystem::exists(data.File("tessell")));
    EXPECT_EQ(ReadBytes(program.File("tessell")), std::vector<std::uint8_t>(prepared.begin(), prepared.end()));

    // From now on the user's own file counts, whatever the prepared one says.
    std::ofstream(data.File("tessell"), std::ios::binary | std::ios::trunc)
        << "&o=2\n&c=1\n0\n320\n1400\n100\n170\n50\n20\n0\n";
    SharedSettings again(locations);
    again.LoadSettings([&] { ++dialogs; });
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(again.LanguageFragment(), "&o=2");
}

// With neither file, the first start asks for the language as before.
TEST(SettingsPreset, WithoutAnyFileTheFirstStartQuestionIsAsked) {
    const ScratchFolder data("preset_none_data"), program("preset_none_program");
    SharedSettings settings(FileLocations{data.File(""), {program.File("")}});
    int dialogs = 0;
    settings.LoadSettings([&] { ++dialogs; });
    EXPECT_EQ(dialogs, 1);
}
