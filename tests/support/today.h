#pragma once

#include <cstdio>
#include <ctime>
#include <string>

// Today's local date as the device's date stamp holds it: "dd.mm.yy" and the
// line end "\r\n", ten bytes. Spelled out here from the calendar fields rather
// than with the product's own formatting, so a wrong stamp cannot match it.
// Take it before and after the step that writes the stamp: midnight may pass.
inline std::string TodayStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d\r\n", today.tm_mday, today.tm_mon + 1, today.tm_year % 100);
    return text;
}

// Today's local date as the JSON outputs give a date stamp's day: "yyyy-mm-dd".
inline std::string TodayIso() {
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", today.tm_year + 1900, today.tm_mon + 1, today.tm_mday);
    return text;
}
