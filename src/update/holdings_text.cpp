#include "update/holdings_text.h"

#include "ui/localised_text.h"
#include "ui/resource_ids.h"

namespace {

void ReplaceFirst(std::string& text, const char* marker, const std::string& value) {
    const auto at = text.find(marker);
    if (at != std::string::npos)
        text.replace(at, 2, value);
}

}  // namespace

std::string FillValues(const StringLookupFn& lookup, int stringId, const std::string& first,
                       const std::string& second) {
    std::string text = lookup(stringId);
    // Both markers are found before either is replaced: a value may itself
    // hold "%2".
    const auto firstAt = text.find("%1");
    const auto secondAt = text.find("%2");
    if (firstAt != std::string::npos && secondAt != std::string::npos && secondAt < firstAt) {
        text.replace(firstAt, 2, first);
        text.replace(secondAt, 2, second);
        return text;
    }
    if (secondAt != std::string::npos)
        text.replace(secondAt, 2, second);
    ReplaceFirst(text, "%1", first);
    return text;
}

std::string GroupedCount(const StringLookupFn& lookup, std::uint64_t count) {
    return GroupDigits(count, lookup(ResourceId::DigitGroupSeparator));
}

std::string HoldingsLine(const StringLookupFn& lookup, const DatabaseHoldings& holdings) {
    if (!holdings.hasDatabase)
        return lookup(ResourceId::NoDatabaseText);
    const std::string count = GroupedCount(lookup, holdings.records);
    if (holdings.date.empty())
        return FillValues(lookup, ResourceId::HoldingsUndatedText, {}, count);
    return FillValues(lookup, ResourceId::HoldingsText, holdings.date, count);
}
