#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/cycle_events.h"

// Texts about what an Orvo holds, in the language of `lookup` (a string
// table's look-up, as Resources::StringLookup gives it).
using StringLookupFn = std::function<std::string(int stringId)>;

// "Database of 01.12.26, 18,532 cameras", or "No database".
std::string HoldingsLine(const StringLookupFn& lookup, const DatabaseHoldings& holdings);
// `count` with the language's separator between groups of three digits.
std::string GroupedCount(const StringLookupFn& lookup, std::uint64_t count);
// String `stringId` with "%1" and "%2" replaced; a translation may put them
// in either order.
std::string FillValues(const StringLookupFn& lookup, int stringId, const std::string& first,
                       const std::string& second);
