#include "ui/localised_text.h"

#include "ui/resource_ids.h"
#include "ui/resources.h"

std::string GroupDigits(std::uint64_t value, const std::string& separator) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += separator;
        grouped += digits[i];
    }
    return grouped;
}

std::string GroupedNumber(const Resources& resources, std::uint64_t value) {
    return GroupDigits(value, resources.String(ResourceId::DigitGroupSeparator));
}

std::string WithValues(const std::string& text, const std::vector<std::string>& values) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next >= '1' && next <= '9') {
            const auto index = static_cast<std::size_t>(next - '1');
            if (index < values.size()) {
                result += values[index];
                ++i;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

std::string TextInForce(const Resources& resources, std::uint16_t textId, const std::vector<std::string>& values,
                        const std::string& fallback) {
    if (textId == 0)
        return fallback;
    const std::string text = resources.String(textId);
    return text.empty() ? fallback : WithValues(text, values);
}
