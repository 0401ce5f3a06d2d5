#include <cstdio>
#include <filesystem>

#include "common/command_registry.h"
#include "device_session.h"

// Writes the alternate-setting-1 image of a DFU file into the device exactly
// as the updater writes the database: UpgradeDevice, with the erase pass,
// the write pass, the progress and any error report on the console.

namespace {

// UpgradeDevice takes a base name and appends ".dfu"; a file named otherwise
// is copied under such a name into the session's folder.
bool BaseOf(const std::string& file, const std::string& folder, std::string& base, std::string& error) {
    const std::filesystem::path path(file);
    if (path.extension() == ".dfu") {
        base = file.substr(0, file.size() - 4);
        return true;
    }
    base = (std::filesystem::path(folder) / "write").string();
    std::error_code failed;
    std::filesystem::copy_file(path, base + ".dfu", std::filesystem::copy_options::overwrite_existing, failed);
    if (failed)
        error = file + ": " + failed.message();
    return !failed;
}

int RunWrite(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    DeviceSession session;
    std::string error;
    if (!session.Open(args, error)) {
        std::fprintf(stderr, "orvo-tool write: %s\n", error.c_str());
        return 2;
    }
    const bool picked = session.PickDevice(args, error);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: orvo-tool write FILE.dfu [--device PATH] %s\n", UsbSession::OptionsUsage());
        return 2;
    }
    if (!picked) {
        std::fprintf(stderr, "orvo-tool write: %s\n", error.c_str());
        return 1;
    }
    std::string base;
    if (!BaseOf(args[0], session.Folder(), base, error)) {
        std::fprintf(stderr, "orvo-tool write: %s\n", error.c_str());
        return 1;
    }
    // What went wrong has been shown by the operation itself.
    if (!session.Device().UpgradeDevice(base))
        return 1;
    if (!session.Finish(error)) {
        std::fprintf(stderr, "orvo-tool write: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s into %s\n", args[0].c_str(), session.Device().DevicePath.Get().c_str());
    return 0;
}

const CommandRegistration registration{"write", std::string("FILE.dfu [--device PATH] ") + UsbSession::OptionsUsage(),
                                       "write a DFU file's image into the device (erase, then write)", &RunWrite};

}  // namespace
