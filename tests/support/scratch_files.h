#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_platform.h"

// Paths in the program are UTF-8 on every platform; the C++ library reads a
// plain string in the system's code page on Windows. These say UTF-8.
inline std::filesystem::path Utf8Path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8String(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A name part that is not ASCII ("ë"), as in a user's folder "C:\Users\Zoë".
inline constexpr const char* kNonAsciiName = "Zo\xC3\xAB";

// A fresh folder for one test, removed afterwards (as far as the system
// lets: Windows keeps a loaded library's file). Each one has a name of its
// own, so a folder an earlier test could not remove is never in the way.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                Utf8Path("orvo_" + name + "_" + std::to_string(CurrentProcessId()) + "_" + std::to_string(Next()))) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    // In the program's own spelling: UTF-8 with forward slashes.
    std::string File(const std::string& name) const {
        const std::u8string generic = (path_ / Utf8Path(name)).generic_u8string();
        return std::string(generic.begin(), generic.end());
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    static int Next() {
        static std::atomic<int> count{0};
        return ++count;
    }

    std::filesystem::path path_;
};

// The owner, group and others bits of what is at `path` (0 when nothing is).
inline unsigned ModeBits(const std::string& path) {
    std::error_code error;
    return static_cast<unsigned>(std::filesystem::status(Utf8Path(path), error).permissions() &
                                 std::filesystem::perms::all);
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
