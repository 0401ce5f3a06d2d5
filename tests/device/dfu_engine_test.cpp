#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "device/dfu/dfu_config_descriptor.h"
#include "device/device_watcher.h"
#include "device/dfu_device.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_protocol.h"
#include "device/status_report.h"
#include "support/transport_rig.h"
#include "support/virtual_bus_rig.h"

namespace {

// --- memory map strings

TEST(MemoryMapParsing, ReadsNameSectorsAndProperties) {
    ParsedMemoryMap map;
    std::string error;
    ASSERT_TRUE(ParseMemoryMap("@Data Flash /0x00000000/128*064Kg", map, error)) << error;
    EXPECT_EQ(map.name, "Data Flash");
    ASSERT_EQ(map.sectors.size(), 128u);
    EXPECT_EQ(map.sectors[0].address, 0u);
    EXPECT_EQ(map.sectors[0].size, 65536u);
    EXPECT_EQ(map.sectors[0].properties, 7);
    EXPECT_EQ(map.sectors[127].address, 127u * 65536);

    ASSERT_TRUE(ParseMemoryMap("@Firmware /0x00100000/16*064Ka", map, error)) << error;
    EXPECT_EQ(map.sectors.size(), 16u);
    EXPECT_EQ(map.sectors[15].address, 0x00100000u + 15 * 65536);
    EXPECT_EQ(map.sectors[15].properties, kSectorReadable);
}

TEST(MemoryMapParsing, ReadsSeveralSegmentsSectionsAndUnits) {
    ParsedMemoryMap map;
    std::string error;
    ASSERT_TRUE(ParseMemoryMap("@Mixed/0x08000000/04*016Kg,01*064Kg/0x1FFF0000/2*512 a,1*1Me", map, error))
        << error;
    ASSERT_EQ(map.sectors.size(), 8u);
    EXPECT_EQ(map.sectors[4].address, 0x08010000u);
    EXPECT_EQ(map.sectors[4].size, 65536u);
    EXPECT_EQ(map.sectors[5].address, 0x1FFF0000u);
    EXPECT_EQ(map.sectors[5].size, 512u);
    EXPECT_EQ(map.sectors[7].size, 1024u * 1024);
    EXPECT_EQ(map.sectors[7].properties, 5);  // 'e': readable and writable
}

TEST(MemoryMapParsing, RejectsMalformedStrings) {
    const char* const bad[] = {
        "",                                   // empty
        "Data/0x0/1*1Kg",                     // no '@'
        "@Data",                              // no section
        "@Data/",                             // no address
        "@Data/0x/1*1Kg",                     // no hex digits
        "@Data/00000000/1*1Kg",               // no 0x
        "@Data/0x0",                          // no segments
        "@Data/0x0/",                         // empty segment
        "@Data/0x0/*1Kg",                     // no count
        "@Data/0x0/0*1Kg",                    // zero sectors
        "@Data/0x0/1*Kg",                     // no size
        "@Data/0x0/1*1Xg",                    // unknown unit
        "@Data/0x0/1*1Kh",                    // unknown type
        "@Data/0x0/1*1K",                     // type missing
        "@Data/0x0/1*1Kg,",                   // dangling comma
        "@Data/0x0/1*1Kg junk",               // trailing text
        "@Data/0x123456789/1*1Kg",            // address beyond 32 bits
        "@Data/0xFFFF0000/2*064Kg",           // runs past 4 GiB
        "@Data/0x0/99999999999*1Kg",          // count overflow
        "@Data/0x0/4000000000*001 g",         // absurd sector count
        "@X/0x00000000/65535*4026593281Mg",   // count * size wraps around 64 bits
        "@X/0x00000000/65536*268435456Mg",    // ... to exactly 0, with sectors of size 0
        "@Data/0x0/1*4096Mg",                 // one sector of 4 GiB: its size fits no 32-bit field
    };
    for (const char* text : bad) {
        ParsedMemoryMap map;
        std::string error;
        EXPECT_FALSE(ParseMemoryMap(text, map, error)) << "accepted: " << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(MemoryMapTable, EntriesSitAtTheFixedStride) {
    ParsedMemoryMap a;
    ParsedMemoryMap b;
    std::string error;
    ASSERT_TRUE(ParseMemoryMap("@Firmware /0x00100000/16*064Ka", a, error));
    ASSERT_TRUE(ParseMemoryMap("@Data Flash /0x00000000/128*064Kg", b, error));
    DfuMapping* table = BuildMappingTable({a, b}, 2048, {0, 1});
    ASSERT_NE(table, nullptr);
    const DfuMapping* second = EntryOfAlternate1(table);
    EXPECT_EQ(second->alternateSetting, 1);
    EXPECT_STREQ(second->name, "Data Flash");
    EXPECT_EQ(+second->transferSize, 2048);
    EXPECT_EQ(MappingSectors(*second).size(), 128u);
    EXPECT_TRUE(RangeHasProperties(*second, 0x004FFFF0, 0x20, kSectorWritable));  // across two sectors
    EXPECT_FALSE(RangeHasProperties(*second, 0x007FFFF0, 0x20, kSectorReadable));  // past the end
    EXPECT_FALSE(RangeHasProperties(table[0], 0x00100000, 16, kSectorWritable));
    EXPECT_EQ(STDFUPRT_DestroyMapping(&table), STDFU_NOERROR);
    EXPECT_EQ(table, nullptr);
}

TEST(ConfigDescriptor, FindsTheDfuInterfaceAndTransferSizeAndSurvivesGarbage) {
    VirtualOrvo orvo;
    DfuInterfaceLayout layout;
    ASSERT_TRUE(ParseDfuConfigDescriptor(orvo.ConfigurationDescriptor(), layout));
    EXPECT_EQ(layout.interfaceNumber, 0);
    ASSERT_EQ(layout.alternates.size(), 2u);
    EXPECT_EQ(layout.alternates[1].setting, 1);
    EXPECT_EQ(layout.transferSize, 2048);

    auto broken = orvo.ConfigurationDescriptor();
    broken[9] = 200;  // an interface descriptor claiming to run past the end
    EXPECT_FALSE(ParseDfuConfigDescriptor(broken, layout));
    EXPECT_FALSE(ParseDfuConfigDescriptor({}, layout));
    EXPECT_FALSE(ParseDfuConfigDescriptor({0, 0, 0}, layout));
}

// --- filtering images against the map

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ParsedMemoryMap a;
        ParsedMemoryMap b;
        std::string error;
        ASSERT_TRUE(ParseMemoryMap(kOrvoFirmwareMap, a, error));
        ASSERT_TRUE(ParseMemoryMap(kOrvoDataFlashMap, b, error));
        table_ = BuildMappingTable({a, b}, 2048, {0, 1});
    }
    void TearDown() override {
        STDFUPRT_DestroyMapping(&table_);
        for (DfuHandle& h : images_)
            STDFUFILES_DestroyImage(&h);
    }
    DfuHandle Image(std::vector<DfuImageElementData> elements, std::uint8_t alternate = 1) {
        images_.push_back(MakeImage(std::move(elements), alternate));
        return images_.back();
    }
    std::vector<DfuImageElementData> Elements(DfuHandle image) { return DfuImageStore::Snapshot(image)->elements; }

    DfuMapping* table_ = nullptr;
    std::vector<DfuHandle> images_;
};

TEST_F(FilterTest, EraseListsEveryTouchedSectorOnce) {
    const DfuHandle image = Image({{0x00520010, std::vector<std::uint8_t>(0x10000)},  // two sectors
                                   {0x00510000, std::vector<std::uint8_t>(16)},
                                   {0x00520000, std::vector<std::uint8_t>(4)}});
    ASSERT_EQ(STDFUFILES_FilterImageForOperation(image, EntryOfAlternate1(table_), OPERATION_ERASE, 0), STDFU_NOERROR);
    const auto elements = Elements(image);
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[0].address, 0x00510000u);
    EXPECT_EQ(elements[1].address, 0x00520000u);
    EXPECT_EQ(elements[2].address, 0x00530000u);
    EXPECT_EQ(elements[0].data.size(), 65536u);
}

TEST_F(FilterTest, UpgradeCutsElementsIntoTransferSizeBlocks) {
    const auto data = PatternBytes(5000, 1);
    const DfuHandle image = Image({{0x00510000, data}});
    ASSERT_EQ(STDFUFILES_FilterImageForOperation(image, EntryOfAlternate1(table_), OPERATION_UPGRADE, 0),
              STDFU_NOERROR);
    const auto elements = Elements(image);
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[1].address, 0x00510800u);
    EXPECT_EQ(elements[2].data.size(), 5000u - 4096);
    EXPECT_TRUE(std::equal(elements[2].data.begin(), elements[2].data.end(), data.begin() + 4096));
}

TEST_F(FilterTest, UploadKeepsTheRanges) {
    const DfuHandle image = Image({{0x004F0000, std::vector<std::uint8_t>(56)}});
    ASSERT_EQ(STDFUFILES_FilterImageForOperation(image, EntryOfAlternate1(table_), OPERATION_UPLOAD, 0), STDFU_NOERROR);
    const auto elements = Elements(image);
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0].address, 0x004F0000u);
    EXPECT_EQ(elements[0].data.size(), 56u);
}

TEST_F(FilterTest, OutOfMapOrWrongPropertyIsBadParameterAndLeavesTheImage) {
    DfuMapping* data = EntryOfAlternate1(table_);
    const DfuHandle past = Image({{0x007FFFF0, std::vector<std::uint8_t>(32)}});
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(past, data, OPERATION_UPGRADE, 0), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(past, data, OPERATION_ERASE, 0), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(past, data, OPERATION_UPLOAD, 0), STDFU_BAD_PARAMETER);
    EXPECT_EQ(Elements(past).size(), 1u);

    // The firmware area is readable only.
    const DfuHandle firmware = Image({{0x00100000, std::vector<std::uint8_t>(32)}}, 0);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(firmware, &table_[0], OPERATION_UPGRADE, 0), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(firmware, &table_[0], OPERATION_ERASE, 0), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(firmware, &table_[0], OPERATION_UPLOAD, 0), STDFU_NOERROR);

    // An image for another alternate setting than the map entry's.
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(firmware, data, OPERATION_UPLOAD, 0), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(firmware, nullptr, OPERATION_UPLOAD, 0), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(firmware, data, OPERATION_DETACH, 0), STDFU_BAD_PARAMETER);
}

// --- the engine over the virtual bus

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseSettings(FastEngineSettings());
        path_ = rig_.Plug(orvo_);
    }

    // From here on the operations run on an engine with these limits.
    void UseSettings(const DfuEngineSettings& settings) {
        engine_.reset();
        engine_ = std::make_unique<DfuProtocolEngine>(rig_.Backend(), settings);
    }

    VirtualBusRig rig_;
    std::unique_ptr<DfuProtocolEngine> engine_;
    std::shared_ptr<VirtualOrvo> orvo_ = std::make_shared<VirtualOrvo>();
    std::string path_;
};

TEST_F(EngineTest, MappingComesFromTheDevicesInterfaceStrings) {
    DfuMapping* map = nullptr;
    std::uint32_t count = 0;
    ASSERT_EQ(engine_->CreateMappingFromDevice(path_.c_str(), &map, &count), STDFU_NOERROR);
    EXPECT_EQ(count, 2u);
    EXPECT_STREQ(map[0].name, "Firmware");
    EXPECT_STREQ(EntryOfAlternate1(map)->name, "Data Flash");
    EXPECT_EQ(+EntryOfAlternate1(map)->transferSize, 2048);
    STDFUPRT_DestroyMapping(&map);

    EXPECT_NE(engine_->CreateMappingFromDevice("USB\\VID_0000&PID_0000\\NONE", &map, &count), STDFU_NOERROR);
    EXPECT_EQ(map, nullptr);
    EXPECT_EQ(rig_.Bus().OpenHandles(), 0u);
}

TEST_F(EngineTest, LaunchRefusesBadRecordsAndASecondOperationOnTheSameDevice) {
    DfuHandle image = MakeImage({{0x00600000, std::vector<std::uint8_t>(65536, 0xFF)}});
    DfuHandle handle = 0;
    DfuOperationContext c = MakeContext(path_, 99, image);
    EXPECT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_BAD_PARAMETER);
    c = MakeContext(path_, OPERATION_DETACH, image);
    EXPECT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_UNSUPPORTED_FEATURE);
    c = MakeContext(path_, OPERATION_ERASE, 0);
    EXPECT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_BAD_PARAMETER);
    c = MakeContext(path_, OPERATION_ERASE, image);
    std::memset(c.DevicePath, 'A', sizeof c.DevicePath);  // no terminating NUL
    EXPECT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_BAD_PARAMETER);
    EXPECT_EQ(handle, 0u);

    orvo_->SetTiming(OrvoTiming::Scaled(0.25));  // 100 ms per sector erase
    c = MakeContext(path_, OPERATION_ERASE, image);
    ASSERT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_NOERROR);
    EXPECT_NE(handle, 0u);
    DfuHandle second = 0;
    DfuOperationContext c2 = MakeContext(path_, OPERATION_ERASE, image);
    EXPECT_EQ(engine_->LaunchOperation(&c2, &second), STDFU_DFU_ALREADY_RUNNING);
    EXPECT_EQ(engine_->StopOperation(handle, &c), STDFU_NOERROR);

    // The handle is dead afterwards, and a status query says so.
    DfuOperationContext dead{};
    EXPECT_NE(engine_->GetOperationStatus(handle, &dead), STDFU_NOERROR);
    EXPECT_NE(+dead.ErrorCode, STDFU_NOERROR);
    EXPECT_NE(engine_->StopOperation(handle, &dead), STDFU_NOERROR);
    STDFUFILES_DestroyImage(&image);
}

// Tests and tools drop an engine while an operation may still run: the
// engine stops it and closes the device before it goes.
TEST_F(EngineTest, AnEngineThatGoesStopsWhatItLaunchedAndClosesTheDevice) {
    orvo_->SetTiming(OrvoTiming::Scaled(1.0));  // seconds for the whole erase
    DfuHandle image = MakeImage({{0x00600000, std::vector<std::uint8_t>(16 * 65536, 0xFF)}});
    DfuOperationContext c = MakeContext(path_, OPERATION_ERASE, image);
    DfuHandle handle = 0;
    ASSERT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_NOERROR);
    // Its handle means nothing to another engine, on the same bus or not.
    DfuOperationContext seen{};
    EXPECT_EQ(DfuProtocolEngine(rig_.Backend()).GetOperationStatus(handle, &seen), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUPRT_StopOperation(handle, &seen), STDFU_BAD_PARAMETER);

    const auto start = std::chrono::steady_clock::now();
    engine_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(rig_.Bus().OpenHandles(), 0u);
    EXPECT_LT(orvo_->Stats().erases, 16u);
    STDFUFILES_DestroyImage(&image);
}

TEST_F(EngineTest, RecordIsRewrittenWholeAndPercentReaches100OnlyAtTheEnd) {
    orvo_->SetTiming(OrvoTiming::Scaled(0.02));
    const auto data = PatternBytes(40 * 1024, 3);
    DfuHandle image = MakeImage({{0x00600000, data}});
    const auto out = RunOperation(*engine_, path_, OPERATION_UPGRADE, image);
    ASSERT_EQ(out.error, STDFU_NOERROR);
    EXPECT_TRUE(out.finished);
    // Monotone, and 100 seen only as the very last value.
    EXPECT_TRUE(std::is_sorted(out.percents.begin(), out.percents.end()));
    EXPECT_EQ(std::count(out.percents.begin(), out.percents.end(), 100), 1);
    EXPECT_EQ(+out.context.TransferSize, 2048);
    EXPECT_EQ(+out.context.Operation, OPERATION_UPGRADE);
    EXPECT_EQ(+out.context.Image, image);
    EXPECT_STREQ(out.context.DevicePath, path_.c_str());
    EXPECT_EQ(+out.context.CurrentNBlock, 2u + 19);  // 20 blocks after one pointer update
    EXPECT_EQ(orvo_->Stats().setPointers, 1u);
    EXPECT_EQ(orvo_->ProtocolViolations(), 0u) << ::testing::PrintToString(orvo_->ViolationLog());
    STDFUFILES_DestroyImage(&image);
}

// The monitor is told the moment an operation ends, its record final by
// then; an operation that is stopped is its stopper's business, and a
// listener taken back is told nothing more.
TEST_F(EngineTest, TellsItsListenerWhenAnOperationEndsButNotWhenItIsStopped) {
    std::mutex mutex;
    std::condition_variable told;
    int ends = 0;
    engine_->ListenForOperationEnds([&] {
        std::lock_guard lock(mutex);
        ++ends;
        told.notify_all();
    });
    orvo_->SetTiming(OrvoTiming::Scaled(0.02));
    DfuHandle image = MakeImage({{0x00600000, PatternBytes(8 * 1024, 5)}});
    DfuOperationContext c = MakeContext(path_, OPERATION_UPGRADE, image);
    DfuHandle handle = 0;
    ASSERT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_NOERROR);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(told.wait_for(lock, std::chrono::minutes(1), [&] { return ends == 1; }));
    }
    DfuOperationContext record{};
    ASSERT_EQ(engine_->GetOperationStatus(handle, &record), STDFU_NOERROR);
    EXPECT_EQ(+record.Percent, 100u);
    engine_->StopOperation(handle, &record);

    orvo_->SetTiming(OrvoTiming::Scaled(1.0));  // seconds for the whole erase
    DfuHandle erase = MakeImage({{0x00600000, std::vector<std::uint8_t>(16 * 65536, 0xFF)}});
    c = MakeContext(path_, OPERATION_ERASE, erase);
    ASSERT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_NOERROR);
    engine_->StopOperation(handle, &record);  // returns once its thread has ended
    engine_->ListenForOperationEnds(nullptr);
    orvo_->SetTiming(OrvoTiming::Instant());
    ASSERT_EQ(RunOperation(*engine_, path_, OPERATION_UPGRADE, image).error, STDFU_NOERROR);
    std::lock_guard lock(mutex);
    EXPECT_EQ(ends, 1);
    STDFUFILES_DestroyImage(&image);
    STDFUFILES_DestroyImage(&erase);
}

TEST_F(EngineTest, WaitsExactlyThePollTimeoutWithoutViolationsUnderScaledTiming) {
    // The full transfer timeout: a late answer on a busy machine must not
    // turn into a retry and change the count of requests below.
    DfuEngineSettings settings = FastEngineSettings();
    settings.controlTimeoutMs = DfuEngineSettings{}.controlTimeoutMs;
    UseSettings(settings);
    orvo_->SetTiming(OrvoTiming::Scaled(0.05));
    const auto data = PatternBytes(0x11000, 4);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(WriteElements(*engine_, path_, {{0x00510000, data}}).error, STDFU_NOERROR);
    const auto wall = std::chrono::steady_clock::now() - start;
    const auto stats = orvo_->Stats();
    // Never early: an early GETSTATUS counts as a violation.
    EXPECT_EQ(orvo_->ProtocolViolations(), 0u) << ::testing::PrintToString(orvo_->ViolationLog());
    // Never polling in between: each command and block is followed by exactly
    // two GETSTATUS, busy and then done; each operation adds one GETSTATUS
    // before and one ABORT after.
    EXPECT_EQ(stats.erases, 2u);
    EXPECT_EQ(stats.programs, 0x11000u / 2048);
    EXPECT_EQ(stats.requests, 2 * 2 + 3 * (stats.erases + stats.setPointers + stats.programs));
    // Never a fixed wait much longer than asked for (the whole write asks for
    // well under a second; the engine's cap on one wait is two seconds). How
    // close the wall time comes to the device's own time is measured by
    // bench/transport_bench.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::microseconds>(wall).count(),
              static_cast<long>((stats.busyUs + stats.transferUs) * 10 + 10'000'000));
}

TEST_F(EngineTest, DeviceStuckInManifestationIsABadStateMachine) {
    // A zero-length DNLOAD (never sent by the engine) leaves the device waiting
    // for a reset; the next operation cannot bring it back.
    UsbStatus status = UsbStatus::Ok;
    {
        auto handle = rig_.Backend().Open(path_, status);
        ASSERT_TRUE(handle);
        handle->SetAlternateSetting(0, 1);
        std::size_t n = 0;
        std::uint8_t cmd[5] = {0x21, 0, 0, 0x60, 0};
        std::uint8_t raw[6];
        handle->ControlTransfer({0x21, dfu::DNLOAD, 0, 0, 5}, cmd, 100, n);
        handle->ControlTransfer({0xA1, dfu::GETSTATUS, 0, 0, 6}, raw, 100, n);
        handle->ControlTransfer({0xA1, dfu::GETSTATUS, 0, 0, 6}, raw, 100, n);
        handle->ControlTransfer({0x21, dfu::DNLOAD, 0, 0, 0}, {}, 100, n);
        handle->ControlTransfer({0xA1, dfu::GETSTATUS, 0, 0, 6}, raw, 100, n);
        handle->ControlTransfer({0xA1, dfu::GETSTATUS, 0, 0, 6}, raw, 100, n);
    }
    ASSERT_EQ(orvo_->State(), dfu::dfuMANIFEST_WAIT_RESET);
    const auto out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(16, 1)}});
    EXPECT_EQ(out.error, STDFU_BAD_STATE_MACHINE);
}

TEST_F(EngineTest, RecordNamesTheRequestWithTheCodesOfTheStatusTexts) {
    // The device reports the error in its answer to GETSTATUS.
    orvo_->FailAt(OrvoRequestKind::Program, 1, dfu::errPROG);
    auto out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(8192, 5)}});
    ASSERT_EQ(out.error, STDFU_DFU_ERROR);
    EXPECT_EQ(+out.context.Request, 0x0F000000u);
    EXPECT_EQ(RequestLine(out.context.Request), "Request: Get Status Request. \n");

    // A stalled DNLOAD is named, not the GETSTATUS that asks why it stalled.
    orvo_->StallAt(OrvoRequestKind::Program, 0);
    out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(8192, 5)}});
    ASSERT_EQ(out.error, STDFU_DFU_ERROR);
    EXPECT_EQ(+out.context.Request, 0x0D000000u);
    EXPECT_EQ(ContextStatus(out.context), dfu::errSTALLEDPKT);
    EXPECT_EQ(RequestLine(out.context.Request), "Request: Download Request. \n");

    orvo_->StallAt(OrvoRequestKind::Upload, 0);
    std::vector<std::uint8_t> data;
    out = ReadRange(*engine_, path_, 0x004F0000, 56, data);
    ASSERT_EQ(out.error, STDFU_DFU_ERROR);
    EXPECT_EQ(RequestLine(out.context.Request), "Request: Upload Request. \n");
}

TEST_F(EngineTest, ImageWhoseElementsHoldNoBytesIsNeverLaunched) {
    DfuHandle image = MakeImage({{0x00600000, {}}, {0x00610000, {}}});
    for (const std::int32_t operation : {OPERATION_ERASE, OPERATION_UPGRADE, OPERATION_UPLOAD}) {
        DfuOperationContext c = MakeContext(path_, operation, image);
        DfuHandle handle = 0;
        EXPECT_EQ(engine_->LaunchOperation(&c, &handle), STDFU_BAD_PARAMETER) << operation;
        EXPECT_EQ(handle, 0u);
    }
    STDFUFILES_DestroyImage(&image);

    // Filtered for a write, such an image leaves nothing either: refused, and
    // nothing reaches the device.
    orvo_->WriteFlash(0x00600000, {0x00});
    EXPECT_EQ(WriteElements(*engine_, path_, {{0x00600000, {}}}).error, STDFU_BAD_PARAMETER);
    EXPECT_EQ(orvo_->Stats().erases + orvo_->Stats().programs, 0u);
    EXPECT_EQ(orvo_->ReadFlash(0x00600000, 1), std::vector<std::uint8_t>{0x00});
}

// A short busy limit: the device below stays busy for ever, so the outcome
// does not depend on how fast the machine is, only on the limit being there.
DfuEngineSettings ShortBusyLimit() {
    DfuEngineSettings s = FastEngineSettings();
    s.busyLimitMs = 1000;  // far above any sound request, even under a sanitizer
    return s;
}

TEST_F(EngineTest, RequestBusyPastTheLimitEndsTheOperationWithARetryError) {
    UseSettings(ShortBusyLimit());
    orvo_->BusyForeverAt(OrvoRequestKind::Program, 3);
    auto out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(16384, 6)}});
    EXPECT_EQ(out.error, STDFU_RETRY_ERROR);
    EXPECT_FALSE(out.finished);
    EXPECT_EQ(ContextState(out.context), dfu::dfuDNBUSY);
    EXPECT_EQ(+out.context.Request, 0x0F000000u);
    EXPECT_EQ(+out.context.CurrentNBlock, 2u + 3);
    EXPECT_EQ(orvo_->ProtocolViolations(), 0u) << ::testing::PrintToString(orvo_->ViolationLog());

    // Still stuck: the next operation ends too instead of waiting for it.
    out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(16, 6)}});
    EXPECT_NE(out.error, STDFU_NOERROR);
    EXPECT_FALSE(out.finished);

    // An erase that never ends, on a device plugged in afresh.
    rig_.Unplug(path_);
    path_ = rig_.Plug(orvo_);
    orvo_->BusyForeverAt(OrvoRequestKind::Erase, 0);
    out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(16, 6)}});
    EXPECT_EQ(out.error, STDFU_RETRY_ERROR);
    EXPECT_EQ(ContextState(out.context), dfu::dfuDNBUSY);
}

TEST_F(EngineTest, RequestBusyForMorePollsThanAllowedEndsWithARetryError) {
    // The time limit far away: only the count of busy answers can end it.
    DfuEngineSettings settings = FastEngineSettings();
    settings.busyLimitMs = 600000;
    settings.maxBusyPolls = 5;
    UseSettings(settings);
    orvo_->BusyForeverAt(OrvoRequestKind::Program, 1);
    const auto out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(8192, 8)}});
    EXPECT_EQ(out.error, STDFU_RETRY_ERROR);
    EXPECT_FALSE(out.finished);
    EXPECT_EQ(ContextState(out.context), dfu::dfuDNBUSY);
    EXPECT_EQ(orvo_->ProtocolViolations(), 0u) << ::testing::PrintToString(orvo_->ViolationLog());
}

TEST_F(EngineTest, DeviceThatStopsAnsweringEndsTheOperation) {
    // Every transfer from there on times out; retries must not go on for ever.
    orvo_->NoAnswerFrom(OrvoRequestKind::Program, 2);
    auto out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(16384, 7)}});
    EXPECT_EQ(out.error, STDFU_RETRY_ERROR);
    EXPECT_FALSE(out.finished);
    EXPECT_EQ(+out.context.CurrentNBlock, 2u + 2);

    // From the first request of the next operation on.
    out = WriteElements(*engine_, path_, {{0x00600000, PatternBytes(16, 7)}});
    EXPECT_NE(out.error, STDFU_NOERROR);
    std::vector<std::uint8_t> data;
    EXPECT_NE(ReadRange(*engine_, path_, 0x004F0000, 56, data).error, STDFU_NOERROR);

    rig_.Unplug(path_);
    path_ = rig_.Plug(orvo_);
    orvo_->NoAnswerFrom(OrvoRequestKind::Upload, 1);
    out = ReadRange(*engine_, path_, 0x00600000, 8192, data);
    EXPECT_EQ(out.error, STDFU_RETRY_ERROR);
    EXPECT_TRUE(data.empty());
}

}  // namespace

namespace {

// --- the typed engine API

TEST(EngineApi, TheMapEntryOfAnAlternateSettingNeverLiesPastTheTable) {
    ParsedMemoryMap firmware;
    std::string error;
    ASSERT_TRUE(ParseMemoryMap("@Firmware /0x00100000/16*064Ka", firmware, error)) << error;
    DfuMapping* single = BuildMappingTable({firmware}, 2048, {0});
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(DfuMapEntryOf(single, 0), single);
    EXPECT_EQ(DfuMapEntryOf(single, 1), nullptr);  // a DFU device that is not an Orvo
    EXPECT_EQ(DfuMapEntryOf(nullptr, 1), nullptr);
    STDFUPRT_DestroyMapping(&single);
}

TEST_F(EngineTest, ALaunchRecordRefusesADevicePathTooLongInsteadOfCuttingIt) {
    DfuHandle image = MakeImage({{0x00600000, std::vector<std::uint8_t>(65536, 0xFF)}});
    const std::string tooLong = path_ + std::string(300, 'X');
    DfuOperationContext context{};
    EXPECT_FALSE(MakeDfuOperationContext(tooLong, OPERATION_ERASE, image, context));
    EXPECT_EQ(context.DevicePath[0], '\0');
    STDFUFILES_DestroyImage(&image);
}

TEST_F(EngineTest, AnOperationStoppedHalfWayLeavesTheDeviceFree) {
    orvo_->SetTiming(OrvoTiming::Scaled(1.0));  // seconds for the whole erase: the stop comes first
    DfuDeviceMap map;
    ASSERT_EQ(map.Read(*engine_, path_), STDFU_NOERROR);
    DfuHandle image = MakeImage({{0x00600000, std::vector<std::uint8_t>(16 * 65536, 0xFF)}});
    ASSERT_EQ(STDFUFILES_FilterImageForOperation(image, map.EntryOf(1), OPERATION_ERASE, 0), STDFU_NOERROR);

    DfuOperationContext first{};
    ASSERT_TRUE(MakeDfuOperationContext(path_, OPERATION_ERASE, image, first));
    DfuHandle stopped = 0;
    ASSERT_EQ(engine_->LaunchOperation(&first, &stopped), STDFU_NOERROR);
    engine_->GetOperationStatus(stopped, &first);
    EXPECT_EQ(+first.ErrorCode, STDFU_NOERROR);  // a packed field: compared as a value
    EXPECT_LT(+first.Percent, 100);
    engine_->StopOperation(stopped, &first);

    // Stopped means ended: the device takes the next operation at once.
    DfuOperationContext next{};
    ASSERT_TRUE(MakeDfuOperationContext(path_, OPERATION_ERASE, image, next));
    DfuHandle handle = 0;
    EXPECT_EQ(engine_->LaunchOperation(&next, &handle), STDFU_NOERROR);
    engine_->StopOperation(handle, &next);
    STDFUFILES_DestroyImage(&image);
}

TEST(Discovery, KeepsNoDeviceOpenAndUpperCasesThePath) {
    // A backend whose paths come in lower case: DevicePath is stored upper-cased.
    class LowerCaseBus : public VirtualUsbBus {
    public:
        std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override {
            auto found = VirtualUsbBus::EnumerateDfuInterfaces();
            for (auto& info : found)
                for (char& c : info.path)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return found;
        }
    } bus;
    const std::string path = bus.Plug(std::make_shared<VirtualOrvo>());
    DfuProtocolEngine engine(bus);
    EngineDfuLibrary library(engine);
    CDfuDevice device("/nowhere/orvo-updater", library, bus);
    EXPECT_TRUE(device.FindDeviceNow());
    EXPECT_EQ(device.DevicePath.Get(), path);
    EXPECT_EQ(bus.OpenHandles(), 0u);
}

// The presence timers call FindDevice on the UI thread: it reads the
// watcher's list, which the watcher's own scans keep current, and neither
// touches the bus nor waits for a scan, however long one takes.
TEST(Discovery, FindDeviceReadsTheWatchersListWithoutTouchingOrWaitingForTheBus) {
    class GatedBus : public VirtualUsbBus {
    public:
        std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override {
            Record();
            std::unique_lock lock(mutex_);
            scanning_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !held_; });
            scanning_ = false;
            lock.unlock();
            return VirtualUsbBus::EnumerateDfuInterfaces();
        }
        std::unique_ptr<UsbDeviceHandle> Open(const std::string& path, UsbStatus& status) override {
            Record();
            return VirtualUsbBus::Open(path, status);
        }
        // While held, a scan stops at its start.
        void Hold(bool held) {
            std::lock_guard lock(mutex_);
            held_ = held;
            changed_.notify_all();
        }
        bool WaitUntilAScanIsHeld() {
            std::unique_lock lock(mutex_);
            return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return scanning_; });
        }
        bool CalledOn(std::thread::id thread) const {
            std::lock_guard lock(mutex_);
            return std::find(threads_.begin(), threads_.end(), thread) != threads_.end();
        }

    private:
        void Record() {
            std::lock_guard lock(mutex_);
            threads_.push_back(std::this_thread::get_id());
        }
        mutable std::mutex mutex_;
        std::condition_variable changed_;
        bool held_ = false;
        bool scanning_ = false;
        std::vector<std::thread::id> threads_;
    } bus;
    DfuProtocolEngine engine(bus);
    EngineDfuLibrary library(engine);
    CDfuDevice device("/nowhere/orvo-updater", library, bus);
    const std::string path = bus.Plug(std::make_shared<VirtualOrvo>());

    // As the update engine keeps it from its start to its end.
    DeviceWatcher watcher(bus);
    device.WatchThrough(&watcher);
    watcher.Start();
    // Its periodic scans find the Orvo without being asked.
    const std::uint64_t started = watcher.Latest().number;
    ASSERT_TRUE(watcher.WaitForScan(started + 2, std::chrono::seconds(30)));
    EXPECT_TRUE(device.FindDevice());
    EXPECT_EQ(device.DevicePath.Get(), path);

    bus.Unplug(path);
    bus.Hold(true);
    ASSERT_TRUE(bus.WaitUntilAScanIsHeld());
    auto found = std::async(std::launch::async, [&device] { return device.FindDevice(); });
    const bool answered = found.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    bus.Hold(false);
    EXPECT_TRUE(answered) << "FindDevice waited for the bus";
    found.get();
    watcher.Rescan();
    EXPECT_FALSE(device.FindDevice());
    EXPECT_FALSE(bus.CalledOn(std::this_thread::get_id()));

    // Without a watcher (no engine runs: a tool, a test) the search looks at
    // the bus itself.
    watcher.Stop();
    device.WatchThrough(nullptr);
    bus.Plug(std::make_shared<VirtualOrvo>());
    EXPECT_TRUE(device.FindDevice());
    EXPECT_TRUE(bus.CalledOn(std::this_thread::get_id()));
}

// The rule the updater and the tools share: the last interface enumerated is
// the device, found once any description could be read, even when the last
// one's could not.
TEST(Discovery, TheLastInterfaceEnumeratedIsChosenOnceAnyDescriptionWasRead) {
    DfuInterfaceInfo readable{"usb\\first", std::string("Orvo"), 0, UsbStatus::Ok};
    DfuInterfaceInfo denied{"usb\\second", std::nullopt, 0, UsbStatus::AccessDenied};
    DfuInterfaceInfo broken{"usb\\third", std::nullopt, 0, UsbStatus::Timeout};

    DfuDeviceChoice choice = ChooseDfuDevice({readable, denied, broken});
    EXPECT_TRUE(choice.found);
    EXPECT_EQ(choice.path, "USB\\THIRD");
    EXPECT_EQ(choice.deniedPath, "USB\\SECOND");

    choice = ChooseDfuDevice({denied, broken});
    EXPECT_FALSE(choice.found);
    EXPECT_EQ(choice.path, "USB\\THIRD");
    EXPECT_EQ(choice.deniedPath, "USB\\SECOND");

    choice = ChooseDfuDevice({});
    EXPECT_FALSE(choice.found);
    EXPECT_TRUE(choice.path.empty());
}

}  // namespace
