#include "tool_support/printable_text.h"

#include <cstdio>

std::string PrintableText(const std::string& text, const std::string& alsoEscape) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || alsoEscape.find(c) != std::string::npos) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}
