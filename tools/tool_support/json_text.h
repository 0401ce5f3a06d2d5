#pragma once

#include <string>

// `text` as a JSON string, quotes included: quote, backslash and control
// characters escaped, valid UTF-8 kept, every byte that is not part of valid
// UTF-8 replaced by U+FFFD, so that the output is always valid JSON.
std::string JsonString(const std::string& text);
