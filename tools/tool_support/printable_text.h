#pragma once

#include <string>

// Text from a device or a file, made safe for the terminal: control
// characters, bytes above 0x7E and any character of `alsoEscape` are shown
// as \xNN.
std::string PrintableText(const std::string& text, const std::string& alsoEscape = {});
