#pragma once

#include <string>

// A deliberately plain second implementation of the conversion, kept only to
// check the product against: buffer files as strings in memory, records in
// linked lists walked one element at a time, and a merge that compares the
// head of every list for every record written.
struct ReferenceResult {
    std::string result;  // "SUCCESS" or "" (no valid record)
    std::string packed;  // the packed database when "SUCCESS"
};

ReferenceResult ReferenceConvert(const std::string& text);
