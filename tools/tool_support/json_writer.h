#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool_support/json_text.h"

// The one way the programs write JSON: objects on one line, lists with one
// item a line, times in UTC as ISO 8601. Keys are the program's own and are
// written as they are; values go through JsonString.
class JsonObject {
public:
    JsonObject& String(const std::string& key, const std::string& value);
    JsonObject& Number(const std::string& key, std::int64_t value);
    JsonObject& Bool(const std::string& key, bool value);
    JsonObject& Null(const std::string& key);
    // `json` is already JSON: a nested object or list, or null.
    JsonObject& Raw(const std::string& key, const std::string& json);
    std::string Text() const { return "{" + members_ + "}"; }

private:
    JsonObject& Member(const std::string& key, const std::string& json);
    std::string members_;
};

// "[]", or "[\n  item,\n  item\n]": each item on its own line.
std::string JsonList(const std::vector<std::string>& items);
// A list of strings on one line.
std::string JsonStringList(const std::vector<std::string>& values);
// Milliseconds since the epoch as "2026-12-08T09:15:00Z"; null when the
// time cannot be represented.
std::string JsonTime(std::int64_t ms);
// A database date stamp "dd.mm.yy" as "20yy-mm-dd"; null for any other text
// (an erased or damaged stamp says nothing reliable).
std::string JsonStampDate(const std::string& stamp);
