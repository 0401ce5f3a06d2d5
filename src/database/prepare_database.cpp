#include <cstdio>

#include "common/file_io.h"
#include "common/working_files.h"
#include "database/database_conversion.h"
#include "database/dfu_preparation.h"

PreparedDatabase PrepareDatabase(const std::string& base, const std::string& bufferFolder, CycleEventChannel& events) {
    const std::string binPath = base + WorkingFile::BinExt;
    const std::string dfuPath = base + WorkingFile::DfuExt;
    // Files of an earlier run must never be taken for this run's results.
    RemoveRegularFile(binPath);
    RemoveRegularFile(dfuPath);

    std::FILE* text = OpenFile(base + WorkingFile::TextExt, "rb");
    if (text == nullptr)
        return {ConversionResult::DbFileOpenError};

    DatabaseConversion conversion(bufferFolder);
    const auto split = conversion.SplitDatabaseText(text);
    std::fclose(text);  // only read from: its close cannot lose data
    if (split == DatabaseConversion::SplitOutcome::TextUnreadable)
        return {ConversionResult::DbFileOpenError, conversion.FileError()};
    if (split == DatabaseConversion::SplitOutcome::BufferFileUnavailable)
        return {ConversionResult::BinFileOpenError, conversion.FileError()};

    const ConversionResult sorted = conversion.SortDatabaseRecords(base);
    if (sorted != ConversionResult::Success)
        return {sorted, conversion.FileError()};
    // Junk that happens to hold a few 13-character records must never
    // replace the database on the device.
    if (!conversion.LooksLikeDatabase()) {
        RemoveRegularFile(binPath);
        return {ConversionResult::NoRecords};
    }

    DfuFileBuilder builder(events);
    builder.AddElementFile(binPath, DfuPreparation::DatabaseAddress);
    const bool registered = builder.ElementEntries.size() == 1;
    const bool built = builder.BuildImage(DfuPreparation::AlternateSetting);
    const bool written = builder.WriteDfuFile(dfuPath);
    if (!registered || !built || !written) {
        RemoveRegularFile(dfuPath);
        return {ConversionResult::DfuFileError, conversion.FileError()};
    }
    return {ConversionResult::Success};
}
