#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tool_support/command_registry.h"
#include "tool_support/input_file.h"
#include "database/database_conversion.h"
#include "common/file_io.h"
#include "common/message_box_port.h"
#include "common/program_folder.h"

namespace {

// The conversion takes this many records of the text and ignores the rest.
constexpr std::uint64_t kRecordLimit =
    static_cast<std::uint64_t>(DatabaseConversion::RecordsPerBufferFile) * DatabaseConversion::BufferFileLimit;
// Counting the records of the text for the report reads no further than this;
// a longer text is reported with "at least".
constexpr std::uint64_t kCountedBytes = 256ull * 1024 * 1024;

// The DFU file preparation reports its failures as errors for a box; on the
// command line they become lines on the error stream.
class StderrErrors final : public CycleEventListener {
public:
    void OnCycleEvent(const CycleEvent& event) override {
        if (const auto* error = std::get_if<CycleEvents::Error>(&event))
            std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error->text.c_str());
    }
};

std::string Records(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

struct TextRecords {
    std::uint64_t total = 0;  // NUL-terminated records, as the conversion counts them
    bool complete = true;     // false when the count stopped before the text's end
};

// What the conversion did with the text's records: how many it read, and
// how many of those did not make it into the packed database.
void ReportRecords(const std::string& textPath, std::uint64_t packed) {
    TextRecords records;
    std::string error;
    if (!CountNulBytes(textPath, kCountedBytes, records.total, records.complete, error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return;
    }
    const std::uint64_t read = records.total < kRecordLimit ? records.total : kRecordLimit;
    if (records.total > kRecordLimit)
        std::fprintf(stderr, "%s%s%s beyond the limit of %llu ignored\n", CommandPrefix().c_str(),
                     records.complete ? "" : "at least ", Records(records.total - read).c_str(),
                     static_cast<unsigned long long>(kRecordLimit));
    else if (!records.complete)
        std::fprintf(stderr, "%sonly the records of the text's first %llu MiB were counted\n",
                     CommandPrefix().c_str(), static_cast<unsigned long long>(kCountedBytes >> 20));
    if (read > packed)
        std::fprintf(stderr, "%s%s skipped as invalid\n", CommandPrefix().c_str(), Records(read - packed).c_str());
}

// A full disk or a folder that may not be written, named as such.
std::string WhyNotWritten(const std::string& base, int error) {
    std::string folder = std::filesystem::path(base).parent_path().string();
    if (folder.empty())
        folder = ".";
    const std::string files = "the buffer files, " + base + ".bin or " + base + ".dfu";
    if (IsDiskFullError(error))
        return "the disk holding " + folder + " is full: could not write " + files;
    if (error == EACCES || error == EPERM || error == EROFS)
        return folder + " may not be written: could not write " + files;
    return "could not write " + files + (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
}

int RunConvert(const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty())
        return UsageError("a BASE is needed");
    if (args.size() != 1)
        return RejectLeftovers({args.begin() + 1, args.end()});
    const std::string& base = args[0];
    const std::string textPath = base + ".txt";
    std::string error;
    if (!CheckRegularFile(textPath, false, error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        // What the updater's conversion answers for a text it cannot open.
        std::printf("%s\n", ConversionResultText(ConversionResult::DbFileOpenError));
        return ExitFailure;
    }
    // The buffer files go where the updater would put them: beside the working
    // files, in BASE's folder (the current directory for a bare name).
    StderrErrors errors;  // outlives the channel that it listens to
    CycleEventChannel events;
    events.Subscribe(errors);

    const PreparedDatabase prepared = PrepareDatabase(base, ProgramFolderOf(base), events);
    const ConversionResult result = prepared.result;
    std::printf("%s\n", prepared.Ready() ? base.c_str() : ConversionResultText(result));
    if (result == ConversionResult::BinFileOpenError || result == ConversionResult::DfuFileError) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), WhyNotWritten(base, prepared.PrepareFileError).c_str());
        return ExitFailure;
    }
    if (!prepared.Ready()) {
        if (result == ConversionResult::NoRecords) {
            std::fprintf(stderr, "%sno valid record in %s\n", CommandPrefix().c_str(), textPath.c_str());
            ReportRecords(textPath, 0);
        }
        return ExitFailure;
    }
    std::error_code sizeError;
    const auto packedSize = std::filesystem::file_size(base + ".bin", sizeError);
    if (!sizeError && packedSize >= 5) {
        const std::uint64_t packed = (packedSize - 5) / 14;
        std::fprintf(stderr, "%s%ju records packed into %s.bin (%ju bytes), DFU file %s.dfu\n",
                     CommandPrefix().c_str(), static_cast<std::uintmax_t>(packed), base.c_str(),
                     static_cast<std::uintmax_t>(packedSize), base.c_str());
        ReportRecords(textPath, packed);
    }
    return ExitSuccess;
}

const CommandRegistration registration{
    "convert", "BASE",
    "convert BASE.txt into the packed database BASE.bin and BASE.dfu (buffer files in BASE's folder)", &RunConvert,
    "Prints the conversion's result text on stdout (BASE on success) and, on stderr, how many records\n"
    "were packed, how many were ignored beyond the limit of " + std::to_string(kRecordLimit) +
        " and how many were skipped as invalid.\n"
        "BASE.txt must be a regular file. Exit code 0 only when the result is BASE.",
    "orvo-tool convert work/tesselDB"};

}  // namespace
