#pragma once

#include <filesystem>
#include <string>

// Paths are UTF-8 strings everywhere in the program. The C++ library takes a
// plain string in the system's code page on Windows, so a folder such as
// "C:\\Users\\Zo\u00eb" would name another (missing) folder: every path
// handed to std::filesystem goes through these.
inline std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
