#include "tool_support/input_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/file_io.h"
#include "common/input_file.h"

namespace {

std::string SizeText(std::uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

// The one-line error for a file that cannot be read as a regular file, with
// the word a command line uses for a folder.
std::string UnusableText(const std::string& path, const InputFile& file) {
    switch (file.GetState()) {
    case InputFile::State::CannotOpen: return "cannot open " + path + ": " + std::strerror(file.Cause());
    case InputFile::State::CannotExamine: return "cannot examine " + path + ": " + std::strerror(file.Cause());
    case InputFile::State::NotRegular: break;
    case InputFile::State::Regular: return {};
    }
    switch (file.Kind()) {
    case InputFileKind::Folder: return path + " is a directory, not a regular file";
    case InputFileKind::Special: return path + " is not a regular file";
    default: return path + " is " + InputFileKindName(file.Kind()) + ", not a regular file";
    }
}

bool IsUsable(const std::string& path, const InputFile& file, std::string& error) {
    if (file.GetState() == InputFile::State::Regular)
        return true;
    error = UnusableText(path, file);
    return false;
}

std::string ReadErrorText(const std::string& path, const InputFile& file) {
    return "cannot read " + path + ": " + std::strerror(file.Cause());
}

}  // namespace

bool CheckRegularFile(const std::string& path, bool mayBeMissing, std::string& error) {
    const InputFile file(path);
    if (file.GetState() == InputFile::State::CannotOpen && file.Cause() == ENOENT && mayBeMissing)
        return true;
    return IsUsable(path, file, error);
}

bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes,
                     std::string& error) {
    InputFile file(path);
    if (!IsUsable(path, file, error))
        return false;
    if (file.Size() > maxBytes) {
        error = path + " is too large (" + SizeText(file.Size()) + "; at most " + SizeText(maxBytes) + ")";
        return false;
    }
    // Read in chunks up to one byte past the limit: a file that grew past it
    // while being read is refused too.
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(file.Size()) + 1);
    std::array<std::uint8_t, 64 * 1024> chunk{};
    for (;;) {
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(chunk.size(), maxBytes + 1 - static_cast<std::uint64_t>(bytes.size())));
        const long long got = file.Read(chunk.data(), want);
        if (got < 0) {
            error = ReadErrorText(path, file);
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
        if (bytes.size() > maxBytes) {
            error = path + " is too large (more than " + SizeText(maxBytes) + ")";
            bytes.clear();
            return false;
        }
        if (static_cast<std::size_t>(got) < want)
            return true;
    }
}

bool CountNulBytes(const std::string& path, std::uint64_t maxBytes, std::uint64_t& count, bool& complete,
                   std::string& error) {
    InputFile file(path);
    if (!IsUsable(path, file, error))
        return false;
    count = 0;
    complete = false;
    std::array<std::uint8_t, 64 * 1024> buffer{};
    std::uint64_t read = 0;
    while (read < maxBytes) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), maxBytes - read));
        const long long got = file.Read(buffer.data(), want);
        if (got < 0) {
            error = ReadErrorText(path, file);
            return false;
        }
        count += static_cast<std::uint64_t>(std::count(buffer.begin(), buffer.begin() + got, std::uint8_t{0}));
        read += static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < want) {
            complete = true;
            return true;
        }
    }
    // Exactly at the limit: the file may end right here.
    std::uint8_t probe = 0;
    complete = file.Read(&probe, 1) == 0;
    return true;
}

bool CheckOutputFile(const std::string& path, std::string& error) {
    if (const int problem = CheckWriteTarget(path); problem != 0) {
        error = WriteErrorText(path, problem);
        return false;
    }
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
        error = path + ": the folder " + parent.generic_string() + " does not exist";
        return false;
    }
    return true;
}
