#include <cstdio>

#include "common/file_io.h"
#include "database/database_conversion.h"
#include "database/dfu_preparation.h"
#include "device/dfu_device.h"
#include "common/working_files.h"

std::string CDfuDevice::PrepareDatabase(const std::string& base) {
    const std::string binPath = base + WorkingFile::BinExt;
    const std::string dfuPath = base + WorkingFile::DfuExt;
    // Files of an earlier run must never be taken for this run's results.
    RemoveRegularFile(binPath);
    RemoveRegularFile(dfuPath);

    std::FILE* text = OpenFile(base + WorkingFile::TextExt, "rb");
    if (text == nullptr)
        return ConversionResult::DbFileOpenError;

    PrepareFileError = 0;
    DatabaseConversion conversion(ProgramFolder);
    const auto split = conversion.SplitDatabaseText(text);
    std::fclose(text);  // only read from: its close cannot lose data
    PrepareFileError = conversion.FileError();
    if (split == DatabaseConversion::SplitOutcome::TextUnreadable)
        return ConversionResult::DbFileOpenError;
    if (split == DatabaseConversion::SplitOutcome::BufferFileUnavailable)
        return ConversionResult::BinFileOpenError;

    const std::string sorted = conversion.SortDatabaseRecords(base);
    PrepareFileError = conversion.FileError();
    if (sorted != ConversionResult::Success)
        return sorted;
    // Junk that happens to hold a few 13-character records must never
    // replace the database on the device.
    if (!conversion.LooksLikeDatabase()) {
        RemoveRegularFile(binPath);
        return ConversionResult::NoRecords;
    }

    const std::size_t entriesBefore = ElementEntries.size();
    AddElementFile(binPath, DfuPreparation::DatabaseAddress);
    const bool registered = ElementEntries.size() == entriesBefore + 1;
    const bool built = BuildImage(DfuPreparation::AlternateSetting);
    const bool written = WriteDfuFile(dfuPath);
    if (!registered || !built || !written) {
        RemoveRegularFile(dfuPath);
        return ConversionResult::DfuFileError;
    }
    return base;
}
