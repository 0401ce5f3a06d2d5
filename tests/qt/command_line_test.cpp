#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "qt/command_line.h"

TEST(CommandLine, OwnOptionsAreRecognisedAndTheToolkitsAreLeftAlone) {
    const CommandLine none = ParseCommandLine({"orvo-updater", "-platform", "offscreen", "-style", "fusion"});
    EXPECT_FALSE(none.help || none.version || none.locations || none.quitAfterStart);
    EXPECT_FALSE(none.firstStartLanguage.has_value());
    EXPECT_TRUE(none.error.empty());

    EXPECT_TRUE(ParseCommandLine({"orvo-updater", "-h"}).help);
    EXPECT_TRUE(ParseCommandLine({"orvo-updater", "--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"orvo-updater", "--version"}).version);
    EXPECT_TRUE(ParseCommandLine({"orvo-updater", "--locations"}).locations);
    EXPECT_TRUE(ParseCommandLine({"orvo-updater", "--quit-after-start"}).quitAfterStart);
    // The program's own name is not an option.
    EXPECT_FALSE(ParseCommandLine({"--help"}).help);
    // Two dashes: ours or the toolkit's, anything else is a wrong command line.
    EXPECT_TRUE(ParseCommandLine({"orvo-updater", "--platform=offscreen", "--style", "fusion"}).error.empty());
    EXPECT_EQ(ParseCommandLine({"orvo-updater", "--unknown-option"}).error, "unknown option '--unknown-option'");
}

TEST(CommandLine, LanguageNamesGiveTheDialogsIndexes) {
    EXPECT_EQ(ParseCommandLine({"orvo-updater", "--language=German"}).firstStartLanguage, 8);
    EXPECT_EQ(LanguageIndexFromName("finnish"), 3);
    EXPECT_EQ(LanguageIndexFromName("SWEDISH"), 4);
    EXPECT_EQ(LanguageIndexFromName("Spanish"), 5);
    EXPECT_EQ(LanguageIndexFromName("English"), 0);
    EXPECT_EQ(LanguageIndexFromName("2"), 2);
    // Only what the dialog offers: no index without a flag, no partial name.
    EXPECT_FALSE(LanguageIndexFromName("6").has_value());
    EXPECT_FALSE(LanguageIndexFromName("Germ").has_value());
    EXPECT_FALSE(LanguageIndexFromName("").has_value());

    const CommandLine wrong = ParseCommandLine({"orvo-updater", "--language=Klingon"});
    EXPECT_FALSE(wrong.firstStartLanguage.has_value());
    EXPECT_NE(wrong.error.find("Klingon"), std::string::npos);
}

TEST(CommandLine, HelpNamesEveryOptionAndVersionTheProgram) {
    const std::string usage = UsageText("orvo-updater");
    for (const char* option : {"--help", "--version", "--locations", "--language=", "--quit-after-start"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    EXPECT_EQ(VersionText().rfind("orvo-updater ", 0), 0u);
}

#if defined(__linux__)
TEST(CommandLine, DisplayIsLookedForInTheEnvironmentAndTheToolkitsOption) {
    const std::vector<std::string> plain{"orvo-updater"};
    EXPECT_FALSE(DisplayLikelyAvailable(plain, nullptr, nullptr, nullptr));
    EXPECT_FALSE(DisplayLikelyAvailable(plain, "", "", ""));
    EXPECT_TRUE(DisplayLikelyAvailable(plain, "offscreen", nullptr, nullptr));
    EXPECT_TRUE(DisplayLikelyAvailable(plain, nullptr, ":0", nullptr));
    EXPECT_TRUE(DisplayLikelyAvailable(plain, nullptr, nullptr, "wayland-0"));
    EXPECT_TRUE(DisplayLikelyAvailable({"orvo-updater", "-platform", "offscreen"}, nullptr, nullptr, nullptr));
}
#endif

TEST(CommandLine, LocationsNameTheHistoryAndTheLogBesideAPortableCopy) {
    const std::string bin = ORVO_TEST_BIN_DIR;
    std::FILE* pipe = ::popen((bin + "/orvo-updater --locations 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_NE(output.find("\nhistory file:   " + bin + "/history.sqlite\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\nlog:            " + bin + "/orvo-updater.log\n"), std::string::npos) << output;
    // The language by name, and every place in one column.
    EXPECT_NE(output.find("\nlanguage:       English (0), built in\n"), std::string::npos) << output;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        ASSERT_NE(colon, std::string::npos) << line;
        EXPECT_EQ(line.find_first_not_of(' ', colon + 1), 16u) << line;
    }
}
