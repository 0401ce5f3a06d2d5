#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/cycle_events.h"
#include "database/sorted_record_lists.h"

// What a conversion came to.
enum class ConversionResult : std::uint8_t {
    Success,
    NoRecords,         // no valid record, or too few for a database
    DbFileOpenError,   // the database text could not be opened or read
    BinFileOpenError,  // a buffer file or the packed database could not be written
    // The packed database was written but its DFU file could not be made: the
    // update must not go on with a missing or stale DFU file.
    DfuFileError,
};

// The conversion's result as its callers print it: "SUCCESS", "" (no valid
// record), "DB FILE OPEN ERROR", "BIN FILE OPEN ERROR", "DFU FILE ERROR".
const char* ConversionResultText(ConversionResult result);

// What PrepareDatabase came to, with the system's error code (ENOSPC,
// EACCES, ...) of the first file it could not write, 0 when it wrote all it
// had to.
struct PreparedDatabase {
    ConversionResult result = ConversionResult::Success;
    int PrepareFileError = 0;
    bool Ready() const { return result == ConversionResult::Success; }
};

// Converts base + ".txt" into the packed database base + ".bin" and wraps it
// into base + ".dfu" (one element at the database's address), with the
// buffer files in `bufferFolder`. Files of an earlier run are removed first;
// on failure neither file is left. What the DFU file's making cannot do is
// published on `events`.
PreparedDatabase PrepareDatabase(const std::string& base, const std::string& bufferFolder, CycleEventChannel& events);

// The two passes that turn the database text into the packed database, with
// the buffer files "FileBuffer01" to "FileBuffer30" in the program folder in
// between. One object per conversion; no buffer file outlives it.
class DatabaseConversion {
public:
    static constexpr int RecordsPerBufferFile = 5002;
    static constexpr int BufferFileLimit = 30;
    // Bytes of one record in the first pass, its NUL and any CR and LF
    // included; a longer record is counted and discarded whole.
    static constexpr int RecordBufferSize = 300;

    enum class SplitOutcome {
        Done,
        TextUnreadable,         // a read error in the text: it must not pass for its end
        BufferFileUnavailable,  // a buffer file could not be created, written or closed
    };

    explicit DatabaseConversion(std::string programFolder);
    ~DatabaseConversion();
    DatabaseConversion(const DatabaseConversion&) = delete;
    DatabaseConversion& operator=(const DatabaseConversion&) = delete;

    // First pass: copies the records of the open text into the buffer files,
    // at most 5,002 to a file, without their CR and LF bytes. On failure every
    // buffer file is gone again.
    SplitOutcome SplitDatabaseText(std::FILE* text);

    // Second pass: reads back the buffer files this object created, decodes
    // and sorts their records and writes base + ".bin". Returns Success,
    // NoRecords or BinFileOpenError (the packed database or a buffer file
    // could not be created, read or written; no partial packed database is
    // left). The buffer files are deleted on every path.
    ConversionResult SortDatabaseRecords(const std::string& base);

    // Frees the sorted lists and deletes every buffer file name in the folder.
    void DeleteBufferFiles();

    int BufferFilesCreated() const { return buffersCreated_; }
    // The system's error code of the first file the conversion could not
    // write; 0 when none.
    int FileError() const { return fileError_; }
    // NUL-terminated records the first pass took from the text, valid or not.
    std::uint32_t TextRecordCount() const { return textRecords_; }
    // Valid records the second pass read.
    std::uint32_t RecordCount() const { return recordCount_; }
    // After the second pass: true when at least half of the text's records
    // are valid. Anything else (a compressed file, a picture, random bytes)
    // only yields a few records by chance and is not a camera database.
    bool LooksLikeDatabase() const { return IsDatabaseShare(recordCount_, textRecords_); }
    static bool IsDatabaseShare(std::uint64_t validRecords, std::uint64_t textRecords) {
        return validRecords > 0 && 2 * validRecords >= textRecords;
    }
    // Lists the last second pass made (a measure of how sorted the text was).
    std::size_t ListCount() const { return listsMade_; }

private:
    std::string BufferPath(int index) const;
    bool ReadBufferFile(int index);

    std::string programFolder_;
    int buffersCreated_ = 0;
    int fileError_ = 0;
    std::uint32_t textRecords_ = 0;
    std::uint32_t recordCount_ = 0;
    std::size_t listsMade_ = 0;
    SortedListTable lists_;
};
