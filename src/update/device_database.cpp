// Writing the packed database into the Orvo so that the device never looks
// updated when it is not; its date stamp; reading back what it holds.
//
// The Orvo takes a database as complete when its date stamp is set and the
// header at the database's start is readable. Hence the order:
//   1. compare the device's database region with the new database from the
//      start, stopping at the first difference (identical: nothing to write);
//   2. erase the date stamp's sector;
//   3. erase the database's sectors and write every block but the first;
//   4. read those blocks back and compare;
//   5. write the first block (it holds the header) and compare it too; a
//      mismatch erases its sector again.
// The caller stamps the date only after all of this succeeded. A write cut
// off anywhere leaves either the device untouched, or no date stamp and no
// header (or, between steps 2 and 3, the old database without its date).

#include "update/device_database.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <span>

#include "common/phase_timer.h"
#include "common/text_ids.h"
#include "common/working_files.h"
#include "database/dfu_preparation.h"
#include "device/dfu_device.h"

namespace {

// The comparison before the write reads one block first and grows its reads
// from there: a database that differs costs a block or two, one that does
// not costs a few reads of the whole region.
constexpr std::uint32_t kCheckGrowth = 4;
constexpr std::uint32_t kLargestCheckRead = 512u * 1024;

constexpr const char* kNoLayout = "Unable to read the memory map of the device...";

std::string AddressText(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(address));
    return text;
}

std::string MismatchText(std::uint32_t address) {
    return "Verify failed: the device differs from the database at address " + AddressText(address) + ".";
}

// The offset of the first byte where `read` differs from `expected`, if any.
std::optional<std::size_t> FirstDifference(std::span<const std::uint8_t> read, std::span<const std::uint8_t> expected) {
    const auto [r, e] = std::mismatch(read.begin(), read.end(), expected.begin(), expected.end());
    if (r == read.end() && e == expected.end())
        return std::nullopt;
    return static_cast<std::size_t>(r - read.begin());
}

class DatabaseWrite {
public:
    explicit DatabaseWrite(CDfuDevice& device) : device_(device) {}

    DatabaseWriteResult Run(const std::string& dfuPath, const std::function<bool()>& beforeErase);

private:
    enum class Comparison { Identical, Differs, Unreadable };

    Comparison CompareFromStart(std::uint32_t address, std::span<const std::uint8_t> expected,
                                std::uint32_t firstRead);
    bool Verify(std::uint32_t address, std::span<const std::uint8_t> expected);
    void ReportMismatch(std::uint32_t address);
    PhaseTimer Phase(CyclePhase phase) { return PhaseTimer(device_.Events, device_.RunningPhase, phase); }

    CDfuDevice& device_;
};

DatabaseWriteResult DatabaseWrite::Run(const std::string& dfuPath, const std::function<bool()>& beforeErase) {
    PhaseTimer compare = Phase(CyclePhase::Compare);
    std::uint32_t address = 0;
    std::vector<std::uint8_t> database;
    if (!device_.LoadDfuElement(dfuPath, address, database) || database.empty())
        return DatabaseWriteResult::Failed;

    std::uint32_t blockSize = 0;
    FlashRange firstSector;
    FlashRange lastSector;
    const std::uint64_t end = std::uint64_t{address} + database.size();
    if (end > 0x100000000ull || !device_.DataFlashLayout(address, blockSize, firstSector) ||
        !device_.DataFlashLayout(static_cast<std::uint32_t>(end - 1), blockSize, lastSector)) {
        device_.ShowError(kNoLayout, CycleErrorKind::Device, ErrorCause::DeviceStep, TextId::NoMemoryMap);
        return DatabaseWriteResult::Failed;
    }

    // What the region holds after a write today: the database, then erased
    // bytes up to the end of its last sector. Only that counts as identical.
    std::vector<std::uint8_t> expected = database;
    expected.resize(std::uint64_t{lastSector.address} + lastSector.length - address, 0xFF);
    switch (CompareFromStart(address, expected, blockSize)) {
    case Comparison::Identical: compare.End(true); return DatabaseWriteResult::AlreadyOnDevice;
    case Comparison::Unreadable: return DatabaseWriteResult::Failed;
    case Comparison::Differs: compare.End(true); break;
    }
    if (beforeErase && !beforeErase())
        return DatabaseWriteResult::Failed;

    const std::span<const std::uint8_t> all(database);
    const std::span<const std::uint8_t> header = all.first(std::min<std::size_t>(blockSize, all.size()));
    const std::span<const std::uint8_t> body = all.subspan(header.size());
    const std::uint32_t bodyAddress = address + static_cast<std::uint32_t>(header.size());
    const FlashRange databaseRange{address, static_cast<std::uint32_t>(all.size())};

    // Each phase starts before its operation runs: the object is made
    // before End's argument is evaluated.
    const FlashRange dateStamp{DfuPreparation::DateStampAddress, DfuPreparation::DateStampLength};
    if (!Phase(CyclePhase::Erase).End(device_.EraseRegion(dateStamp)))
        return DatabaseWriteResult::Failed;
    const bool bodyWritten = Phase(CyclePhase::Write).End(
        body.empty() ? device_.EraseRegion(databaseRange) : device_.ProgramRegion(bodyAddress, body, databaseRange));
    if (!bodyWritten || (!body.empty() && !Phase(CyclePhase::Verify).End(Verify(bodyAddress, body))))
        return DatabaseWriteResult::Failed;

    if (!Phase(CyclePhase::Write).End(device_.ProgramRegion(address, header)))
        return DatabaseWriteResult::Failed;
    if (!Phase(CyclePhase::Verify).End(Verify(address, header))) {
        // A header that does not read back must not stay readable.
        device_.EraseRegion({address, static_cast<std::uint32_t>(header.size())});
        return DatabaseWriteResult::Failed;
    }
    return DatabaseWriteResult::Written;
}

DatabaseWrite::Comparison DatabaseWrite::CompareFromStart(std::uint32_t address, std::span<const std::uint8_t> expected,
                                                          std::uint32_t firstRead) {
    std::uint32_t chunk = std::max<std::uint32_t>(firstRead, 1);
    std::vector<std::uint8_t> read;
    for (std::size_t offset = 0; offset < expected.size();) {
        const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, expected.size() - offset));
        if (!device_.ReadRegion({address + static_cast<std::uint32_t>(offset), length}, read))
            return Comparison::Unreadable;
        if (FirstDifference(read, expected.subspan(offset, length)))
            return Comparison::Differs;
        offset += length;
        chunk = std::min(chunk * kCheckGrowth, kLargestCheckRead);
    }
    return Comparison::Identical;
}

bool DatabaseWrite::Verify(std::uint32_t address, std::span<const std::uint8_t> expected) {
    std::vector<std::uint8_t> read;
    if (!device_.ReadRegion({address, static_cast<std::uint32_t>(expected.size())}, read))
        return false;
    if (const auto offset = FirstDifference(read, expected)) {
        ReportMismatch(address + static_cast<std::uint32_t>(*offset));
        return false;
    }
    return true;
}

void DatabaseWrite::ReportMismatch(std::uint32_t address) {
    const std::string text = MismatchText(address);
    device_.ShowError(text, CycleErrorKind::Verify, ErrorCause::ReadBackDiffers, TextId::VerifyFailed,
                      {AddressText(address)});
}

bool LocalToday(std::tm& today) {
    const std::time_t now = std::time(nullptr);
#if defined(_WIN32)
    return localtime_s(&today, &now) == 0;
#else
    return localtime_r(&now, &today) != nullptr;
#endif
}

}  // namespace

DatabaseWriteResult WriteDatabase(CDfuDevice& device, const std::string& base,
                                  const std::function<bool()>& beforeErase) {
    return DatabaseWrite(device).Run(base + WorkingFile::DfuExt, beforeErase);
}

bool WriteDateStamp(CDfuDevice& device) {
    std::tm today{};
    return WriteDateStamp(device, LocalToday(today) ? DfuPreparation::DateStampBytes(today) : std::string());
}

// The stamp goes straight into the device's memory, as every write of the
// database does; no file is made.
bool WriteDateStamp(CDfuDevice& device, const std::string& bytes) {
    PhaseTimer phase(device.Events, device.RunningPhase, CyclePhase::DateStamp);
    if (bytes.size() != DfuPreparation::DateStampLength)
        return phase.End(false);
    // One operation: the stamp's sector erased, then the bytes programmed.
    // Both ranges are checked against the device's map before the erase
    // starts, so a stamp that cannot go in leaves the device as it was.
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return phase.End(device.ProgramRegion(DfuPreparation::DateStampAddress, {data, bytes.size()},
                                          FlashRange{DfuPreparation::DateStampAddress, DfuPreparation::DateStampLength}));
}

bool ReadHoldings(CDfuDevice& device, DatabaseHoldings& holdings, std::vector<std::uint8_t>* dateStamp,
                  std::vector<std::uint8_t>* header) {
    std::vector<std::uint8_t> stamp;
    std::vector<std::uint8_t> head;
    if (!device.ReadRegion({DfuPreparation::DateStampAddress, DatabaseRegion::DateStampSize}, stamp) ||
        !device.ReadRegion({DfuPreparation::DatabaseAddress, DatabaseRegion::HeaderSize}, head))
        return false;
    holdings = ReadDatabaseHoldings(stamp, head);
    if (dateStamp != nullptr)
        *dateStamp = std::move(stamp);
    if (header != nullptr)
        *header = std::move(head);
    return true;
}

bool ReadHeldDatabase(CDfuDevice& device, DatabaseHoldings& holdings, std::vector<std::uint8_t>& dateStamp,
                      std::vector<std::uint8_t>& database) {
    database.clear();
    if (!ReadHoldings(device, holdings, &dateStamp))
        return false;
    if (!holdings.hasDatabase)
        return true;
    const auto length = static_cast<std::uint32_t>(DatabaseRegion::PackedSize(holdings.records));
    return device.ReadRegion({DfuPreparation::DatabaseAddress, length}, database) && database.size() == length;
}
