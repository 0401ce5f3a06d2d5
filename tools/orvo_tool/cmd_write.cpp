#include <cstdio>
#include <filesystem>

#include "common/file_io.h"
#include "tool_support/command_registry.h"
#include "tool_support/dfu_file_limit.h"
#include "tool_support/input_file.h"
#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_files_format.h"
#include "device/dfu/dfu_mapping.h"
#include "device_session.h"

// Writes the alternate-setting-1 image of a DFU file into the device exactly
// as the updater writes the database: UpgradeDevice, with the erase pass,
// the write pass, the progress and any error report on the console.

namespace {

// The file is read and checked here, so that a missing or malformed file is
// reported as what it is rather than as a failed device operation. The
// operation then gets the bytes that were checked, under the ".dfu" name
// UpgradeDevice appends, in the session's own folder.
bool StageDfuFile(const std::string& file, const std::string& folder, std::string& base, DfuFileContents& contents,
                  std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadRegularFile(file, kMaxDfuFileBytes, bytes, error))
        return false;
    const DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    if (!parsed.ok) {
        error = file + " is not a DFU file: " + parsed.error + " (offset " + std::to_string(parsed.errorOffset) + ")";
        return false;
    }
    contents = parsed.contents;
    base = (std::filesystem::path(folder) / "write").string();
    if (const int written = WriteWholeFile(base + ".dfu", bytes.data(), bytes.size()); written != 0) {
        error = "cannot write the working copy: " + WriteErrorText(base + ".dfu", written);
        return false;
    }
    return true;
}

// An element the device has no memory for is told in one line, as `read`
// tells an address outside the map, before anything is erased.
bool FitsTheMemoryMap(DeviceSession& session, const std::string& file, const DfuFileContents& contents,
                      std::string& error) {
    DfuDeviceMap map;
    if (map.Read(session.Engine(), session.Device().DevicePath.Get()) != STDFU_NOERROR)
        return true;  // the operation itself will say what is wrong with the device
    const DfuMapping* entry = map.EntryOf(1);
    for (const DfuImageData& image : contents.images) {
        if (image.alternateSetting != 1 || entry == nullptr)
            continue;
        for (const DfuImageElementData& element : image.elements) {
            const auto length = static_cast<std::uint32_t>(element.data.size());
            if (length == 0 || RangeHasProperties(*entry, element.address, length, 0))
                continue;
            char range[64];
            std::snprintf(range, sizeof range, "0x%08X-0x%08X", element.address,
                          static_cast<unsigned>(element.address + length - 1));
            error = file + ": the element at " + range + " lies outside the device's memory map";
            return false;
        }
    }
    return true;
}

int Write(DeviceSession& session, std::vector<std::string>& args) {
    std::string error;
    const bool picked = session.PickDevice(args, error);
    if (args.empty())
        return UsageError("a FILE.dfu is needed");
    if (args.size() != 1)
        return RejectLeftovers({args.begin() + 1, args.end()});
    std::string base;
    DfuFileContents contents;
    if (!StageDfuFile(args[0], session.Folder(), base, contents, error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }
    if (!picked) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }
    if (!FitsTheMemoryMap(session, args[0], contents, error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }
    // What went wrong has been shown by the operation itself.
    if (!session.Device().UpgradeDevice(base))
        return ExitFailure;
    std::printf("wrote %s into %s\n", args[0].c_str(), session.Device().DevicePath.Get().c_str());
    return ExitSuccess;
}

int RunWrite(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    DeviceSession session;
    std::string error;
    if (!session.Open(args, error))
        return SessionStartFailure(session.OpenFailedOnUsage(), error);
    int result = Write(session, args);
    // The virtual flash is kept whatever happened, so that what a failed
    // write left can be inspected.
    if (!session.Finish(error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        if (result == ExitSuccess)
            result = ExitFailure;
    }
    return result;
}

const CommandRegistration registration{
    "write", std::string("FILE.dfu [--device PATH] ") + UsbSession::OptionsUsage(),
    "write a DFU file's image into the device (erase, then write)", &RunWrite,
    std::string("FILE.dfu is checked first (a regular file of at most 256 MiB that parses as a DFU file, whose\n"
                "elements lie in the device's memory map).\n") +
        DeviceOptionHelp() + DeviceSession::OptionsHelp() +
        "With --virtual=FLASH_FILE the flash is saved after every outcome, a failed write included.",
    "orvo-tool write work/tesselDB.dfu --virtual=flash.bin"};

}  // namespace
