#include "common/file_io.h"
#include "database/database_conversion.h"

#include <array>
#include <utility>

#include "database/buffered_file.h"
#include "database/database_record.h"
#include "common/working_files.h"

namespace {
constexpr int kCarriageReturn = 0x0D;
constexpr int kLineFeed = 0x0A;

// What reading one record of the text in the first pass found.
enum class TextRecord { Complete, Oversized, EndOfText };

// Reads up to and including the next NUL. Keeps the record's bytes without CR
// and LF in `kept`; CR and LF still count against the record buffer.
TextRecord ReadTextRecord(BufferedFileReader& text, std::array<std::uint8_t, DatabaseConversion::RecordBufferSize>& kept,
                          std::size_t& keptCount) {
    keptCount = 0;
    int bytesBeforeNul = 0;
    for (;;) {
        const int byte = text.Get();
        if (byte < 0)
            return TextRecord::EndOfText;
        if (byte == 0)
            break;
        if (bytesBeforeNul < DatabaseConversion::RecordBufferSize)
            ++bytesBeforeNul;
        if (byte != kCarriageReturn && byte != kLineFeed && keptCount < kept.size())
            kept[keptCount++] = static_cast<std::uint8_t>(byte);
    }
    // The buffer must also hold the NUL.
    return bytesBeforeNul < DatabaseConversion::RecordBufferSize ? TextRecord::Complete : TextRecord::Oversized;
}
}  // namespace

DatabaseConversion::DatabaseConversion(std::string programFolder) : programFolder_(std::move(programFolder)) {}

DatabaseConversion::~DatabaseConversion() { DeleteBufferFiles(); }

std::string DatabaseConversion::BufferPath(int index) const { return programFolder_ + BufferFileName(index); }

DatabaseConversion::SplitOutcome DatabaseConversion::SplitDatabaseText(std::FILE* textFile) {
    BufferedFileReader text;
    text.Attach(textFile);
    BufferedFileWriter buffer;
    std::array<std::uint8_t, RecordBufferSize> record{};
    std::size_t recordSize = 0;
    textRecords_ = 0;

    for (int index = 1; index <= BufferFileLimit; ++index) {
        if (!buffer.Create(BufferPath(index))) {
            fileError_ = buffer.Error();
            DeleteBufferFiles();
            return SplitOutcome::BufferFileUnavailable;
        }
        buffersCreated_ = index;
        bool endOfText = false;
        for (int n = 0; n < RecordsPerBufferFile && !endOfText; ++n) {
            switch (ReadTextRecord(text, record, recordSize)) {
            case TextRecord::EndOfText:
                endOfText = true;  // a final record without its NUL is dropped
                break;
            case TextRecord::Oversized:
                ++textRecords_;
                break;  // counted as a record, but not worth keeping
            case TextRecord::Complete:
                ++textRecords_;
                buffer.Write(record.data(), recordSize);
                buffer.Put(0);
                break;
            }
        }
        if (!buffer.Close()) {
            fileError_ = buffer.Error();
            DeleteBufferFiles();
            return SplitOutcome::BufferFileUnavailable;
        }
        if (text.Failed()) {
            DeleteBufferFiles();
            return SplitOutcome::TextUnreadable;
        }
        if (endOfText)
            break;
    }
    return SplitOutcome::Done;
}

bool DatabaseConversion::ReadBufferFile(int index) {
    BufferedFileReader buffer;
    if (!buffer.Open(BufferPath(index)))
        return false;
    lists_.StartList();
    DatabaseRecord record;
    int stored = 0;
    while ((stored = record.Read(buffer)) != -1) {
        if (stored == DatabaseRecord::CharacterCount) {
            ++recordCount_;
            lists_.Insert(PackedRecord::From(record));
        }
    }
    const bool readFailed = buffer.Failed();
    return buffer.Close() && !readFailed;
}

ConversionResult DatabaseConversion::SortDatabaseRecords(const std::string& base) {
    recordCount_ = 0;
    // Only the files this conversion made: a buffer file left by an earlier,
    // interrupted run must never be read as part of this database. A file we
    // made that cannot be read back would silently drop its records.
    for (int index = 1; index <= buffersCreated_; ++index) {
        if (!ReadBufferFile(index)) {
            DeleteBufferFiles();
            return ConversionResult::BinFileOpenError;
        }
    }
    listsMade_ = lists_.ListCount();
    if (recordCount_ == 0) {
        DeleteBufferFiles();
        return ConversionResult::NoRecords;
    }

    const std::string binPath = base + WorkingFile::BinExt;
    BufferedFileWriter output;
    if (!output.Create(binPath)) {
        fileError_ = output.Error();
        DeleteBufferFiles();
        return ConversionResult::BinFileOpenError;
    }
    const std::uint8_t header[PackedHeaderSize] = {
        static_cast<std::uint8_t>(recordCount_ >> 24), static_cast<std::uint8_t>(recordCount_ >> 16),
        static_cast<std::uint8_t>(recordCount_ >> 8), static_cast<std::uint8_t>(recordCount_), 0x01};
    output.Write(header, sizeof header);
    lists_.MergeInto(output);
    const bool written = output.Close();
    DeleteBufferFiles();
    if (!written) {
        fileError_ = output.Error();
        // A truncated table must never reach the device.
        RemoveRegularFile(binPath);
        return ConversionResult::BinFileOpenError;
    }
    return ConversionResult::Success;
}

void DatabaseConversion::DeleteBufferFiles() {
    lists_.Clear();
    // Every name, not only those made by this run: none may outlive a
    // conversion, and one left by an interrupted run goes too.
    for (int index = 1; index <= BufferFileLimit; ++index)
        RemoveRegularFile(BufferPath(index));
    buffersCreated_ = 0;
}

const char* ConversionResultText(ConversionResult result) {
    switch (result) {
    case ConversionResult::Success: return "SUCCESS";
    case ConversionResult::NoRecords: return "";
    case ConversionResult::DbFileOpenError: return "DB FILE OPEN ERROR";
    case ConversionResult::BinFileOpenError: return "BIN FILE OPEN ERROR";
    case ConversionResult::DfuFileError: return "DFU FILE ERROR";
    }
    return "";
}
