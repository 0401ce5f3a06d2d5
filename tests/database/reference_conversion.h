#pragma once

#include <cstdint>
#include <string>

// A deliberately plain second implementation of the conversion, kept only to
// check the product against: buffer files as strings in memory, records in
// linked lists walked one element at a time, and a merge that compares the
// head of every list for every record written.
struct ReferenceResult {
    std::string result;  // "SUCCESS" or "" (no valid record)
    std::string packed;  // the packed database when "SUCCESS"
    std::uint32_t textRecords = 0;   // NUL-terminated records taken from the text
    std::uint32_t validRecords = 0;  // of those, the ones with 13 characters
};

ReferenceResult ReferenceConvert(const std::string& text);
