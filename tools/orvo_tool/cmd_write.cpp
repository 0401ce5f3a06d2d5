#include <cstdio>
#include <filesystem>

#include "common/file_io.h"
#include "common/phase_timer.h"
#include "database/dfu_preparation.h"
#include "device/dfu/dfu_files_format.h"
#include "device_session.h"
#include "tool_support/command_registry.h"
#include "tool_support/dfu_file_limit.h"
#include "tool_support/input_file.h"
#include "update/device_database.h"

// write: a DFU file's image goes into the device as the updater writes it. A
// database (one element at the database's address) takes the updater's own
// path: compared first, the date stamp cleared, written, read back, the
// header last, then a fresh date stamp. Any other image is erased and written
// through UpgradeDevice and read back to verify.
// write-raw: the plain erase-and-write alone, for developers: no comparison,
// no read-back, the date stamp left as it was.

namespace {

struct StagedFile {
    std::string base;        // the working copy is base + ".dfu"
    DfuFileContents contents;
};

// The file is read and checked here, so that a missing or malformed file is
// reported as what it is rather than as a failed device operation. The
// operation then gets the bytes that were checked, under the ".dfu" name
// UpgradeDevice appends, in the session's own folder.
bool StageDfuFile(const std::string& file, const std::string& folder, StagedFile& staged, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadRegularFile(file, kMaxDfuFileBytes, bytes, error))
        return false;
    DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    if (!parsed.ok) {
        error = file + " is not a DFU file: " + parsed.error + " (offset " + std::to_string(parsed.errorOffset) + ")";
        return false;
    }
    staged.contents = std::move(parsed.contents);
    staged.base = (std::filesystem::path(folder) / "write").string();
    if (const int written = WriteWholeFile(staged.base + ".dfu", bytes.data(), bytes.size()); written != 0) {
        error = "cannot write the working copy: " + WriteErrorText(staged.base + ".dfu", written);
        return false;
    }
    return true;
}

// An element the device has no memory for is told in one line, as `read`
// tells an address outside the map, before anything is erased.
bool FitsTheMemoryMap(DeviceSession& session, const std::string& file, const DfuFileContents& contents,
                      std::string& error) {
    for (const DfuImageData& image : contents.images) {
        if (image.alternateSetting != 1)
            continue;
        for (const DfuImageElementData& element : image.elements) {
            const auto length = static_cast<std::uint32_t>(element.data.size());
            if (length == 0 || LiesInDataFlash(session, element.address, length, 0))
                continue;
            error = file + ": the element at " + RangeText(element.address, length) +
                    " lies outside the device's memory map";
            return false;
        }
    }
    return true;
}

// The image UpgradeDevice writes: the first one for alternate setting 1;
// null when there is none (the operation says so).
const DfuImageData* WrittenImage(const DfuFileContents& contents) {
    for (const DfuImageData& image : contents.images)
        if (image.alternateSetting == DfuPreparation::AlternateSetting)
            return &image;
    return nullptr;
}

bool IsDatabase(const DfuImageData* image) {
    return image != nullptr && image->elements.size() == 1 &&
           image->elements[0].address == DfuPreparation::DatabaseAddress && !image->elements[0].data.empty();
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), text.c_str());
    return ExitFailure;
}

int WriteStagedDatabase(CDfuDevice& device, const StagedFile& staged, const std::string& file) {
    const DatabaseWriteResult written = WriteDatabase(device, staged.base);
    if (written == DatabaseWriteResult::Failed)
        return Fail("the database was not written; the device holds no date stamp");
    if (!WriteDateStamp(device))
        return Fail("the database was written, but not its date stamp");
    std::string date;
    if (!DeviceHoldsTodaysDate(device, date))
        return Fail("the date stamp reads back as " + date + ", not today's");
    const std::string path = device.DevicePath.Get();
    if (written == DatabaseWriteResult::AlreadyOnDevice)
        std::printf("%s already held the database of %s; date stamp renewed: %s\n", path.c_str(), file.c_str(),
                    date.c_str());
    else
        std::printf("wrote %s into %s; date stamp %s\n", file.c_str(), path.c_str(), date.c_str());
    return ExitSuccess;
}

bool ReadsBackAs(CDfuDevice& device, const DfuImageElementData& element) {
    std::vector<std::uint8_t> read;
    if (!device.ReadRegion({element.address, static_cast<std::uint32_t>(element.data.size())}, read))
        return false;
    if (read == element.data)
        return true;
    char text[96];
    std::snprintf(text, sizeof text, "Verify failed: the device differs from the file in the element at 0x%08X.",
                  static_cast<unsigned>(element.address));
    device.ShowError(text, CycleErrorKind::Verify, ErrorCause::ReadBackDiffers);
    return false;
}

int WriteAndVerify(CDfuDevice& device, const StagedFile& staged, const std::string& file) {
    PhaseTimer write(device.Events, device.RunningPhase, CyclePhase::Write);
    // What went wrong has been shown by the operation itself.
    if (!write.End(device.UpgradeDevice(staged.base)))
        return ExitFailure;
    const DfuImageData* image = WrittenImage(staged.contents);
    if (image == nullptr)
        return Fail("the written image is not in the file");
    PhaseTimer verify(device.Events, device.RunningPhase, CyclePhase::Verify);
    for (const DfuImageElementData& element : image->elements)
        if (!ReadsBackAs(device, element))
            return ExitFailure;
    verify.End(true);
    std::printf("wrote %s into %s and read it back\n", file.c_str(), device.DevicePath.Get().c_str());
    return ExitSuccess;
}

int Write(DeviceSession& session, std::vector<std::string>& args, bool raw) {
    std::string error;
    const bool picked = session.PickDevice(args, error);
    if (args.empty())
        return UsageError("a FILE.dfu is needed");
    if (args.size() != 1)
        return RejectLeftovers({args.begin() + 1, args.end()});
    StagedFile staged;
    if (!StageDfuFile(args[0], session.Folder(), staged, error) || !picked)
        return Fail(error);
    if (!FitsTheMemoryMap(session, args[0], staged.contents, error))
        return Fail(error);
    CDfuDevice& device = session.Device();
    if (raw) {
        if (!device.UpgradeDevice(staged.base))
            return ExitFailure;
        std::printf("wrote %s into %s (erase and write only)\n", args[0].c_str(), device.DevicePath.Get().c_str());
        return ExitSuccess;
    }
    if (IsDatabase(WrittenImage(staged.contents)))
        return WriteStagedDatabase(device, staged, args[0]);
    return WriteAndVerify(device, staged, args[0]);
}

int RunWrite(const std::vector<std::string>& arguments, bool raw) {
    return RunInDeviceSession(arguments, [raw](DeviceSession& session, std::vector<std::string>& args) {
        return Write(session, args, raw);
    });
}

const std::string kFileHelp =
    "FILE.dfu is checked first (a regular file of at most 256 MiB that parses as a DFU file, whose\n"
    "elements lie in the device's memory map).\n";

const CommandRegistration registration{
    "write", std::string("FILE.dfu [--device PATH] ") + UsbSession::OptionsUsage(),
    "write a DFU file's image into the device as the updater does, and verify it",
    [](const std::vector<std::string>& args) { return RunWrite(args, false); },
    kFileHelp +
        "A database (one element at 0x00510000) is compared with the device first, then written with the\n"
        "date stamp cleared, read back, its header block last, and stamped with today's date. Any other\n"
        "image is erased, written and read back.\n" +
        DeviceOptionHelp() + DeviceSession::OptionsHelp() +
        "With --virtual=FLASH_FILE the flash is saved after every outcome, a failed write included.",
    "orvo-tool write work/tesselDB.dfu --virtual=flash.bin"};

const CommandRegistration rawRegistration{
    "write-raw", std::string("FILE.dfu [--device PATH] ") + UsbSession::OptionsUsage(),
    "developer command: erase and write a DFU file's image, nothing else",
    [](const std::vector<std::string>& args) { return RunWrite(args, true); },
    kFileHelp +
        "No comparison, no read-back, and the date stamp stays as it was: a database written this way\n"
        "sits beside an old date. For tests and developers; `write` is what the updater does.\n" +
        DeviceOptionHelp() + DeviceSession::OptionsHelp(),
    "orvo-tool write-raw firmware.dfu --virtual=flash.bin"};

}  // namespace
