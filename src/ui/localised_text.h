#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Resources;

// Numbers and texts with values, as the language in force writes them.

// `value` with `separator` between groups of three digits ("20,000",
// "20.000", "20 000" with a no-break space).
std::string GroupDigits(std::uint64_t value, const std::string& separator);
// `value` grouped as the language of `resources` groups digits.
std::string GroupedNumber(const Resources& resources, std::uint64_t value);
// `text` with "%1" … "%9" replaced by `values` in one pass, so that a value
// holding a marker is left as it is; a translation may order them freely.
std::string WithValues(const std::string& text, const std::vector<std::string>& values);
// String `textId` of the language in force with its values; `fallback`
// (the stable English text) when the id is 0 or has no text.
std::string TextInForce(const Resources& resources, std::uint16_t textId, const std::vector<std::string>& values,
                        const std::string& fallback);
