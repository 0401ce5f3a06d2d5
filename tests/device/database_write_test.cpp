// The database write over a virtual Orvo on the virtual bus, with the real
// engine and the monitor ticking: the order of the writes, the read-back, the
// comparison before the write, and what the flash holds after a fault in
// every phase.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>

#include "database/database_conversion.h"
#include "database/dfu_preparation.h"
#include "database_generator.h"
#include "operation_fixture.h"
#include "support/today.h"
#include "support/virtual_bus_engine.h"
#include "update/device_database.h"

namespace {

constexpr std::uint32_t kDatabase = DfuPreparation::DatabaseAddress;
constexpr std::uint32_t kDate = DfuPreparation::DateStampAddress;
constexpr std::uint32_t kBlock = kVirtualOrvoTransferSize;
const std::vector<std::uint8_t> kOldDate{'0', '1', '.', '0', '1', '.', '2', '0', '\r', '\n'};

bool AllErased(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace

class DatabaseWriteTest : protected VirtualBusEngine, public OperationFixture {
protected:
    DatabaseWriteTest() : OperationFixture(library, bus) {
        orvo = std::make_shared<VirtualOrvo>();
    }
    ~DatabaseWriteTest() override {
        EXPECT_EQ(orvo->ProtocolViolations(), 0u);
        bus.UnplugAll();
    }

    void Plug() {
        bus.Plug(orvo);
        ASSERT_TRUE(device.FindDeviceNow());
    }

    std::string Base() const { return folder.File("tesselDB"); }

    // Converts a generated database text; returns the packed database.
    std::vector<std::uint8_t> Prepare(std::size_t records, std::uint64_t seed = 1) {
        DatabaseGeneratorOptions options;
        options.records = records;
        options.seed = seed;
        std::ofstream(Base() + ".txt", std::ios::binary) << GenerateDatabaseText(options);
        EXPECT_TRUE(PrepareDatabase(Base(), device.ProgramFolder, device.Events).Ready());
        return ReadBytes(Base() + ".bin");
    }

    // An Orvo updated earlier: another database and an older date stamp.
    void HoldOldDatabase() {
        old = Prepare(4500, 7);
        orvo->WriteFlash(kDatabase, old);
        orvo->WriteFlash(kDate, kOldDate);
    }

    DatabaseWriteResult Write() {
        DatabaseWriteResult result = DatabaseWriteResult::Failed;
        RunMonitored([&] {
            result = WriteDatabase(device, Base());
            return true;
        });
        return result;
    }

    // The cycle's write: the database, then the date stamp after a good one.
    bool WriteAndStamp() {
        const DatabaseWriteResult result = Write();
        return result != DatabaseWriteResult::Failed && RunMonitored([&] { return WriteDateStamp(device); });
    }

    std::vector<std::uint8_t> Flash(std::uint32_t address, std::size_t length) const {
        return orvo->ReadFlash(address, static_cast<std::uint32_t>(length));
    }
    std::vector<std::uint8_t> Date() const { return Flash(kDate, 10); }
    std::string DateText() const {
        const auto date = Date();
        return std::string(date.begin(), date.end());
    }
    bool HoldsDatabase(const std::vector<std::uint8_t>& database) const {
        return Flash(kDatabase, database.size()) == database;
    }

    std::shared_ptr<VirtualOrvo> orvo;
    std::vector<std::uint8_t> old;
};

TEST_F(DatabaseWriteTest, LeavesTheSameFlashAsAPlainWriteWithTheDateStampErasedFirstAndTheHeaderLast) {
    HoldOldDatabase();
    const auto packed = Prepare(6000);  // two sectors, 42 blocks
    ASSERT_GT(packed.size(), kOrvoSectorSize);

    // What the plain erase-and-write leaves.
    auto reference = std::make_shared<VirtualOrvo>();
    reference->WriteFlash(kDatabase, old);
    std::swap(orvo, reference);
    Plug();
    ASSERT_TRUE(RunMonitored([&] { return device.UpgradeDevice(Base()); }));
    bus.UnplugAll();
    std::swap(orvo, reference);

    Plug();
    orvo->ResetStats();
    EXPECT_EQ(Write(), DatabaseWriteResult::Written);
    EXPECT_EQ(Flash(kDatabase, 2 * kOrvoSectorSize), reference->ReadFlash(kDatabase, 2 * kOrvoSectorSize));
    EXPECT_TRUE(AllErased(Date())) << "no date until the caller stamps it";
    EXPECT_EQ(orvo->ErasedSectors(), (std::vector<std::uint32_t>{kDate, kDatabase, kDatabase + kOrvoSectorSize}));
    EXPECT_TRUE(box.Messages().empty());

    // The header block goes last: a write cut off at the last block leaves
    // every block but the first, and no header.
    orvo->WriteFlash(kDatabase, old);
    orvo->WriteFlash(kDate, kOldDate);
    const unsigned blocks = static_cast<unsigned>((packed.size() + kBlock - 1) / kBlock);
    orvo->FailAt(OrvoRequestKind::Program, blocks - 1, dfu::errPROG);
    EXPECT_EQ(Write(), DatabaseWriteResult::Failed);
    EXPECT_TRUE(AllErased(Flash(kDatabase, kBlock)));
    EXPECT_EQ(Flash(kDatabase + kBlock, packed.size() - kBlock),
              std::vector<std::uint8_t>(packed.begin() + kBlock, packed.end()));
    EXPECT_TRUE(AllErased(Date()));
}

TEST_F(DatabaseWriteTest, ADatabaseAlreadyOnTheDeviceIsNeitherErasedNorWrittenOnlyStamped) {
    const auto packed = Prepare(6000);
    orvo->WriteFlash(kDatabase, packed);
    orvo->WriteFlash(kDate, kOldDate);
    Plug();
    orvo->ResetStats();

    EXPECT_EQ(Write(), DatabaseWriteResult::AlreadyOnDevice);
    EXPECT_TRUE(orvo->ErasedSectors().empty());
    EXPECT_EQ(orvo->Stats().programs, 0u);
    EXPECT_EQ(Date(), kOldDate);
    EXPECT_TRUE(RunMonitored([&] { return WriteDateStamp(device); }));
    EXPECT_TRUE(HoldsDatabase(packed));
    EXPECT_EQ(DateText(), TodayStamp());
}

TEST_F(DatabaseWriteTest, OnlyTheWholeRegionUpToTheEndOfItsLastSectorCountsAsAlreadyThere) {
    const auto packed = Prepare(3000);
    orvo->WriteFlash(kDatabase, packed);
    // A longer database written earlier left bytes after this one's end,
    // which a write today would erase.
    orvo->WriteFlash(kDatabase + static_cast<std::uint32_t>(packed.size()), {0x12, 0x34});
    Plug();
    EXPECT_EQ(Write(), DatabaseWriteResult::Written);
    EXPECT_TRUE(AllErased(Flash(kDatabase + static_cast<std::uint32_t>(packed.size()), 2)));
    EXPECT_TRUE(HoldsDatabase(packed));
}

TEST_F(DatabaseWriteTest, TheCheckBeforeTheWriteReadsLittleWhenTheDatabasesDiffer) {
    HoldOldDatabase();
    const auto packed = Prepare(6000);
    Plug();
    orvo->ResetStats();
    // Stopped before anything is erased, right after the check.
    orvo->FailAt(OrvoRequestKind::Erase, 0, dfu::errERASE);
    EXPECT_EQ(Write(), DatabaseWriteResult::Failed);
    EXPECT_LE(orvo->Stats().uploads, 2u) << "a block, not the whole region";
    EXPECT_TRUE(HoldsDatabase(old));
    EXPECT_EQ(Date(), kOldDate);
}

// --- silent corruption: every block acknowledged, one byte stored wrong.

TEST_F(DatabaseWriteTest, ACorruptBlockIsFoundBeforeTheHeaderIsWrittenAndNamedByItsAddress) {
    HoldOldDatabase();
    const auto packed = Prepare(6000);
    Plug();
    orvo->CorruptSilentlyAt(5);  // the sixth block written: the database's seventh
    EXPECT_EQ(Write(), DatabaseWriteResult::Failed);

    const std::uint32_t corrupt = kDatabase + 6 * kBlock + kBlock / 2;
    char expected[16];
    std::snprintf(expected, sizeof expected, "0x%08X", corrupt);
    ASSERT_EQ(box.Messages().size(), 1u);
    EXPECT_NE(box.Messages()[0].find(expected), std::string::npos) << box.Messages()[0];
    EXPECT_EQ(bar.Text(), box.Messages()[0]);
    EXPECT_TRUE(AllErased(Flash(kDatabase, kBlock))) << "no header";
    EXPECT_TRUE(AllErased(Date()));

    // The next attempt writes it all again and succeeds.
    EXPECT_TRUE(WriteAndStamp());
    EXPECT_EQ(box.Messages().size(), 1u);
    EXPECT_TRUE(HoldsDatabase(packed));
    EXPECT_EQ(DateText(), TodayStamp());
}

TEST_F(DatabaseWriteTest, ACorruptHeaderBlockIsErasedAgain) {
    HoldOldDatabase();
    const auto packed = Prepare(6000);
    const unsigned blocks = static_cast<unsigned>((packed.size() + kBlock - 1) / kBlock);
    Plug();
    orvo->CorruptSilentlyAt(blocks - 1);  // the header block is the last one written
    EXPECT_EQ(Write(), DatabaseWriteResult::Failed);
    ASSERT_EQ(box.Messages().size(), 1u);
    char expected[16];
    std::snprintf(expected, sizeof expected, "0x%08X", kDatabase + kBlock / 2);
    EXPECT_NE(box.Messages()[0].find(expected), std::string::npos) << box.Messages()[0];
    EXPECT_TRUE(AllErased(Flash(kDatabase, kOrvoSectorSize)));
    EXPECT_TRUE(AllErased(Date()));
}

// --- a fault in each phase: the flash is left untouched, or without date
// stamp and header, or (only between the date's erase and the database's)
// with a whole database and no date. Never a date beside a partial database.

enum class Left { Untouched, NoDateNoHeader, OldDatabaseNoDate, NewDatabaseNoDate };

struct PhaseFault {
    const char* name;
    OrvoRequestKind kind;
    unsigned index;  // counted from the start of the write
    bool unplug;
    Left left;
};

void PrintTo(const PhaseFault& fault, std::ostream* out) { *out << fault.name; }

class FaultInEveryPhase : public DatabaseWriteTest, public ::testing::WithParamInterface<PhaseFault> {};

TEST_P(FaultInEveryPhase, LeavesNoDateBesideAPartialDatabaseAndTheRetryCompletes) {
    const PhaseFault fault = GetParam();
    HoldOldDatabase();
    const auto packed = Prepare(6000);  // 42 blocks over two sectors
    const auto before = Flash(0, kOrvoDataFlashSize);
    Plug();
    if (fault.unplug)
        orvo->UnplugAt(fault.kind, fault.index);
    else
        orvo->FailAt(fault.kind, fault.index, fault.kind == OrvoRequestKind::Erase ? dfu::errERASE : dfu::errPROG);

    EXPECT_FALSE(WriteAndStamp());
    switch (fault.left) {
    case Left::Untouched: EXPECT_TRUE(Flash(0, kOrvoDataFlashSize) == before); break;
    case Left::NoDateNoHeader:
        EXPECT_TRUE(AllErased(Date()));
        EXPECT_TRUE(AllErased(Flash(kDatabase, 5)));
        break;
    case Left::OldDatabaseNoDate:
        EXPECT_TRUE(AllErased(Date()));
        EXPECT_TRUE(HoldsDatabase(old));
        break;
    case Left::NewDatabaseNoDate:
        EXPECT_TRUE(AllErased(Date()));
        EXPECT_TRUE(HoldsDatabase(packed));
        break;
    }
    EXPECT_NE(DateText(), TodayStamp());
    EXPECT_EQ(device.OperationHandle.load(), 0u);

    // Reconnected, the same Orvo takes the update.
    orvo->ClearFaults();
    bus.UnplugAll();
    const auto boxes = box.Messages().size();
    Plug();
    EXPECT_TRUE(WriteAndStamp());
    EXPECT_TRUE(HoldsDatabase(packed));
    EXPECT_EQ(DateText(), TodayStamp());
    EXPECT_EQ(box.Messages().size(), boxes);
}

// Requests of the write in order: the check reads one block (Upload 0); the
// date's sector and the two database sectors are erased (Erase 0, 1, 2);
// blocks 2..42 of the database are written (Program 0..40) and read back
// (Upload 1..41); the header block is written (Program 41) and read back
// (Upload 42); the date stamp's sector is erased (Erase 3) and the date
// written (Program 42).
INSTANTIATE_TEST_SUITE_P(
    Phases, FaultInEveryPhase,
    ::testing::Values(PhaseFault{"CheckError", OrvoRequestKind::Upload, 0, false, Left::Untouched},
                      PhaseFault{"CheckUnplug", OrvoRequestKind::Upload, 0, true, Left::Untouched},
                      PhaseFault{"DateEraseError", OrvoRequestKind::Erase, 0, false, Left::Untouched},
                      PhaseFault{"DateEraseUnplug", OrvoRequestKind::Erase, 0, true, Left::Untouched},
                      PhaseFault{"DatabaseEraseError", OrvoRequestKind::Erase, 2, false, Left::NoDateNoHeader},
                      PhaseFault{"DatabaseEraseUnplug", OrvoRequestKind::Erase, 1, true, Left::OldDatabaseNoDate},
                      PhaseFault{"FirstBlockError", OrvoRequestKind::Program, 0, false, Left::NoDateNoHeader},
                      PhaseFault{"MiddleBlockUnplug", OrvoRequestKind::Program, 20, true, Left::NoDateNoHeader},
                      PhaseFault{"LastBodyBlockError", OrvoRequestKind::Program, 40, false, Left::NoDateNoHeader},
                      PhaseFault{"VerifyError", OrvoRequestKind::Upload, 1, false, Left::NoDateNoHeader},
                      PhaseFault{"VerifyUnplug", OrvoRequestKind::Upload, 30, true, Left::NoDateNoHeader},
                      PhaseFault{"HeaderError", OrvoRequestKind::Program, 41, false, Left::NoDateNoHeader},
                      PhaseFault{"HeaderUnplug", OrvoRequestKind::Program, 41, true, Left::NoDateNoHeader},
                      PhaseFault{"HeaderVerifyUnplug", OrvoRequestKind::Upload, 42, true, Left::NewDatabaseNoDate},
                      PhaseFault{"DateStampEraseError", OrvoRequestKind::Erase, 3, false, Left::NewDatabaseNoDate},
                      PhaseFault{"DateStampUnplug", OrvoRequestKind::Program, 42, true, Left::NewDatabaseNoDate}),
    [](const auto& param) { return std::string(param.param.name); });
