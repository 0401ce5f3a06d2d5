#include "common/input_file.h"

#include <algorithm>
#include <array>
#include <cstring>

const char* InputFileKindName(InputFileKind kind) {
    switch (kind) {
    case InputFileKind::Folder: return "a folder";
    case InputFileKind::Fifo: return "a FIFO";
    case InputFileKind::Device: return "a device";
    case InputFileKind::Socket: return "a socket";
    case InputFileKind::Regular:
    case InputFileKind::Special: break;
    }
    return "a special file";
}

namespace {

InputFileRead Refused(std::string reason) { return {false, std::move(reason)}; }

std::string SystemReason(const char* what, int cause) { return std::string(what) + ": " + std::strerror(cause); }

}  // namespace

InputFileRead ReadInputFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    InputFile file(path);
    switch (file.GetState()) {
    case InputFile::State::CannotOpen: return Refused(SystemReason("cannot be opened", file.Cause()));
    case InputFile::State::CannotExamine: return Refused(SystemReason("cannot be examined", file.Cause()));
    case InputFile::State::NotRegular:
        return Refused(std::string("is ") + InputFileKindName(file.Kind()) + ", not a regular file");
    case InputFile::State::Regular: break;
    }
    if (file.Size() > maxBytes)
        return Refused("is too large (" + std::to_string(file.Size()) + " bytes; at most " +
                       std::to_string(maxBytes) + ")");

    bytes.reserve(static_cast<std::size_t>(file.Size()));
    std::array<std::uint8_t, 64 * 1024> chunk{};
    for (;;) {
        const long long got = file.Read(chunk.data(), chunk.size());
        if (got < 0) {
            bytes.clear();
            return Refused(SystemReason("cannot be read", file.Cause()));
        }
        if (got == 0)
            return {true, {}};
        if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
            bytes.clear();
            return Refused("grew past " + std::to_string(maxBytes) + " bytes while it was read");
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
}
