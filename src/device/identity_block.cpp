#include "device/identity_block.h"

#include <algorithm>

namespace {

constexpr std::size_t kIdTextOffset = 8;
constexpr std::size_t kProductNameOffset = 40;
constexpr std::size_t kSerialLength = 7;
constexpr std::size_t kDigitRuleLength = 20;

std::string TextFrom(std::span<const std::uint8_t> block, std::size_t offset) {
    const auto begin = block.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = std::find(begin, block.end(), std::uint8_t{0});
    return std::string(begin, end);
}

std::string WithoutFillBytes(std::string text) {
    std::erase(text, static_cast<char>(0xFF));
    return text;
}

}  // namespace

std::optional<IdentityFields> ParseIdentityBlock(std::span<const std::uint8_t> block) {
    if (block.size() < kIdentityBlockSize)
        return std::nullopt;
    IdentityFields fields;
    fields.serial = TextFrom(block, 0).substr(0, kSerialLength);
    fields.idText = WithoutFillBytes(TextFrom(block, kIdTextOffset));
    fields.productName = WithoutFillBytes(TextFrom(block, kProductNameOffset));
    return fields;
}

bool PassesDigitRule(const std::string& idText) {
    if (idText.size() < kDigitRuleLength)
        return false;
    return std::all_of(idText.begin() + 1, idText.begin() + kDigitRuleLength,
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool AcceptsIdentity(const IdentityFields& fields, const std::string& productName) {
    return fields.productName == productName || PassesDigitRule(fields.idText);
}
