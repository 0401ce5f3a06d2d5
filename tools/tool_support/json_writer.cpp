#include "tool_support/json_writer.h"

#include <cstdio>
#include <ctime>

JsonObject& JsonObject::Member(const std::string& key, const std::string& json) {
    if (!members_.empty())
        members_ += ", ";
    members_ += JsonString(key) + ": " + json;
    return *this;
}

JsonObject& JsonObject::String(const std::string& key, const std::string& value) {
    return Member(key, JsonString(value));
}

JsonObject& JsonObject::Number(const std::string& key, std::int64_t value) {
    return Member(key, std::to_string(value));
}

JsonObject& JsonObject::Bool(const std::string& key, bool value) { return Member(key, value ? "true" : "false"); }

JsonObject& JsonObject::Null(const std::string& key) { return Member(key, "null"); }

JsonObject& JsonObject::Raw(const std::string& key, const std::string& json) { return Member(key, json); }

std::string JsonList(const std::vector<std::string>& items) {
    if (items.empty())
        return "[]";
    std::string list = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        list += (i == 0 ? "\n  " : ",\n  ") + items[i];
    return list + "\n]";
}

std::string JsonStringList(const std::vector<std::string>& values) {
    std::string list = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        list += (i == 0 ? "" : ", ") + JsonString(values[i]);
    return list + "]";
}

std::string JsonTime(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    char text[32];
    if (::gmtime_r(&seconds, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return "null";
    return JsonString(text);
}

std::string JsonStampDate(const std::string& stamp) {
    const auto digit = [&stamp](std::size_t i) { return stamp[i] >= '0' && stamp[i] <= '9'; };
    if (stamp.size() != 8 || stamp[2] != '.' || stamp[5] != '.')
        return "null";
    for (const std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
        if (!digit(i))
            return "null";
    const int day = std::stoi(stamp.substr(0, 2));
    const int month = std::stoi(stamp.substr(3, 2));
    if (day < 1 || day > 31 || month < 1 || month > 12)
        return "null";
    return JsonString("20" + stamp.substr(6, 2) + "-" + stamp.substr(3, 2) + "-" + stamp.substr(0, 2));
}
