#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/identity_block.h"

namespace {

// A block as the virtual Orvo and real devices carry it: serial, NUL at 7,
// identity text from 8, product name from 40, erased bytes elsewhere.
std::vector<std::uint8_t> Block(const std::string& serial, const std::string& idText, const std::string& product) {
    std::vector<std::uint8_t> block(kIdentityBlockSize, 0xFF);
    std::memcpy(block.data(), serial.data(), serial.size());
    block[serial.size()] = 0;
    std::memcpy(block.data() + 8, idText.data(), idText.size());
    block[8 + idText.size()] = 0;
    std::memcpy(block.data() + 40, product.data(), product.size());
    block[40 + product.size()] = 0;
    return block;
}

}  // namespace

TEST(IdentityBlock, ReadsTheThreeFields) {
    const auto fields = ParseIdentityBlock(Block("1234567", "A1234567890123456789", "Orvo"));
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->serial, "1234567");
    EXPECT_EQ(fields->idText, "A1234567890123456789");
    EXPECT_EQ(fields->productName, "Orvo");
}

TEST(IdentityBlock, SerialIsCutToSevenCharacters) {
    auto block = Block("", "", "Orvo");
    std::memcpy(block.data(), "ABCDEFGHIJ", 10);  // runs over byte 7 into the text
    block[10] = 0;
    EXPECT_EQ(ParseIdentityBlock(block)->serial, "ABCDEFG");
}

TEST(IdentityBlock, FillBytesAreRemovedFromTheTexts) {
    auto block = Block("7654321", "", "");
    const std::uint8_t product[] = {'O', 'r', 0xFF, 'v', 'o', 0xFF, 0xFF, 0};
    std::memcpy(block.data() + 40, product, sizeof product);
    const std::uint8_t text[] = {0xFF, 'X', '1', 0xFF, 0};
    std::memcpy(block.data() + 8, text, sizeof text);
    const auto fields = ParseIdentityBlock(block);
    EXPECT_EQ(fields->productName, "Orvo");
    EXPECT_EQ(fields->idText, "X1");
}

TEST(IdentityBlock, IdTextRunsIntoTheProductNameWithoutNul) {
    std::vector<std::uint8_t> block(kIdentityBlockSize, 'a');
    block[7] = 0;
    for (std::size_t i = 8; i < 56; i += 3)
        block[i] = 0xFF;
    const auto fields = ParseIdentityBlock(block);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->serial, "aaaaaaa");
    // 48 bytes from byte 8, 16 of them 0xFF
    EXPECT_EQ(fields->idText, std::string(32, 'a'));
    EXPECT_EQ(fields->productName, std::string(11, 'a'));  // bytes 40..55 less 0xFF at 41,44,...,53
}

TEST(IdentityBlock, ErasedBlock) {
    const auto fields = ParseIdentityBlock(std::vector<std::uint8_t>(kIdentityBlockSize, 0xFF));
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->serial, std::string(7, '\xFF'));
    EXPECT_EQ(fields->idText, "");
    EXPECT_EQ(fields->productName, "");
    EXPECT_FALSE(AcceptsIdentity(*fields, "Orvo"));
}

TEST(IdentityBlock, ShortBlockIsNotAnIdentity) {
    EXPECT_FALSE(ParseIdentityBlock({}));
    EXPECT_FALSE(ParseIdentityBlock(std::vector<std::uint8_t>(55, 'x')));
    EXPECT_TRUE(ParseIdentityBlock(std::vector<std::uint8_t>(57, 'x')));
}

TEST(IdentityBlock, LongerBlockTextsStopAtTheData) {
    std::vector<std::uint8_t> block(64, 'z');
    block[7] = 0;
    block[20] = 0;
    EXPECT_EQ(ParseIdentityBlock(block)->productName, std::string(24, 'z'));
}

TEST(Identification, AcceptedByExactProductName) {
    const IdentityFields orvo{"1234567", "", "Orvo"};
    EXPECT_TRUE(AcceptsIdentity(orvo, "Orvo"));
    EXPECT_FALSE(AcceptsIdentity({"1234567", "", "orvo"}, "Orvo"));
    EXPECT_FALSE(AcceptsIdentity({"1234567", "", "Orvo "}, "Orvo"));
    EXPECT_FALSE(AcceptsIdentity({"1234567", "", "Orv"}, "Orvo"));
}

TEST(Identification, DigitRule) {
    EXPECT_TRUE(PassesDigitRule("A1234567890123456789"));
    EXPECT_TRUE(PassesDigitRule("x1234567890123456789 and more"));
    EXPECT_TRUE(PassesDigitRule("01234567890123456789"));
    EXPECT_FALSE(PassesDigitRule("A123456789012345678"));    // 19 characters
    EXPECT_FALSE(PassesDigitRule("A12345678901234567X9"));   // a letter among the 19
    EXPECT_FALSE(PassesDigitRule("A123456789012345678 9"));  // space at the twentieth
    EXPECT_FALSE(PassesDigitRule(""));
    EXPECT_FALSE(PassesDigitRule(std::string("A") + std::string(19, '\xB9')));  // not ASCII digits

    EXPECT_TRUE(AcceptsIdentity({"1234567", "K1234567890123456789", "Other"}, "Orvo"));
    EXPECT_FALSE(AcceptsIdentity({"1234567", "K123456789012345678", "Other"}, "Orvo"));
}

TEST(Identification, ProductNameWithTrailingFillBytesIsAccepted) {
    auto block = Block("1234567", "hello", "Orvo");
    block[44] = 0xFF;
    block[45] = 0xFF;
    block[46] = 0;
    const auto fields = ParseIdentityBlock(block);
    EXPECT_TRUE(AcceptsIdentity(*fields, "Orvo"));
}
