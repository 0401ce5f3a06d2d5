#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/localised_text.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

constexpr const char* NoBreakSpace = "\u00A0";

TEST(LocalisedText, GroupsDigitsByThreesWithTheLanguagesSeparator) {
    const struct {
        std::uint64_t value;
        const char* separator;
        std::string expected;
    } cases[] = {
        {0, ",", "0"},
        {999, ".", "999"},
        {1000, ",", "1,000"},
        {20000, ".", "20.000"},
        {18532, NoBreakSpace, std::string("18") + NoBreakSpace + "532"},
        {1234567, ".", "1.234.567"},
        {18446744073709551615ull, ",", "18,446,744,073,709,551,615"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GroupDigits(c.value, c.separator), c.expected) << c.value;
}

TEST(LocalisedText, FillsEachMarkerOnceInAnyOrder) {
    const struct {
        const char* text;
        std::vector<std::string> values;
        std::string expected;
    } cases[] = {
        {"at %1.", {"0x10"}, "at 0x10."},
        {"%2 before %1", {"one", "two"}, "two before one"},
        {"%1 and %1", {"x"}, "x and x"},
        {"keeps %2 without a value", {"x"}, "keeps %2 without a value"},
        {"a value holding %2 stays: %1", {"%2", "no"}, "a value holding no stays: %2"},
        {"100% sure", {}, "100% sure"},
        {"ends with %", {"x"}, "ends with %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithValues(c.text, c.values), c.expected) << c.text;
}

TEST(LocalisedText, FallsBackToTheStoredTextWithoutAnId) {
    const Resources resources;
    EXPECT_EQ(TextInForce(resources, 0, {}, "stored"), "stored");
    EXPECT_EQ(TextInForce(resources, 108, {}, "stored"), "stored") << "an id without a text";
    EXPECT_EQ(TextInForce(resources, ResourceId::DownloadCauseHttpStatus, {"503"}, "stored"),
              "The server answered with HTTP status 503.");
    EXPECT_EQ(GroupedNumber(resources, 20000), "20,000");
}

}  // namespace
