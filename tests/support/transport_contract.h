#pragma once

// Write, read-back, fault and discovery tests that every USB backend must
// pass with virtual Orvos on it. Include this header in exactly one source
// file of a test program and instantiate the suite with a rig factory:
//
//   INSTANTIATE_TEST_SUITE_P(VirtualBus, TransportContract,
//                            ::testing::Values(TransportRigFactory(&MakeVirtualBusRig)));

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "device/dfu/dfu_class.h"
#include "device/dfu_device.h"
#include "support/recording_ports.h"
#include "support/transport_rig.h"

class TransportContract : public ::testing::TestWithParam<TransportRigFactory> {
protected:
    void SetUp() override {
        rig_ = GetParam()();
        ASSERT_TRUE(rig_);
        UseSettings(FastEngineSettings());
    }
    void TearDown() override {
        engine_.reset();
        rig_.reset();
    }

    // From here on the operations run on an engine with these limits.
    void UseSettings(const DfuEngineSettings& settings) {
        engine_.reset();
        engine_ = std::make_unique<DfuProtocolEngine>(rig_->Backend(), settings);
    }

    OperationOutcome WriteElements(const std::string& path, std::vector<DfuImageElementData> elements) {
        return ::WriteElements(*engine_, path, std::move(elements));
    }
    OperationOutcome ReadRange(const std::string& path, std::uint32_t address, std::uint32_t length,
                               std::vector<std::uint8_t>& data) {
        return ::ReadRange(*engine_, path, address, length, data);
    }

    std::shared_ptr<VirtualOrvo> NewOrvo(const std::string& serial = "OR12345") {
        VirtualOrvoConfig config;
        config.serial = serial;
        return std::make_shared<VirtualOrvo>(config);
    }

    static std::uint8_t Status(const OperationOutcome& out) { return out.context.LastDfuStatus[0]; }

    std::unique_ptr<TransportRig> rig_;
    std::unique_ptr<DfuProtocolEngine> engine_;
};

TEST_P(TransportContract, WriteThenReadBackIsByteIdenticalWithoutViolations) {
    auto orvo = NewOrvo();
    const std::string path = rig_->Plug(orvo);
    // Three sectors, not a multiple of wTransferSize, starting mid-sector.
    const auto database = PatternBytes(0x21000 + 333, 1);
    const auto written = WriteElements(path, {{0x00510100, database}});
    ASSERT_EQ(written.error, STDFU_NOERROR);
    ASSERT_TRUE(written.finished);

    std::vector<std::uint8_t> back;
    const auto read = ReadRange(path, 0x00510100, static_cast<std::uint32_t>(database.size()), back);
    ASSERT_EQ(read.error, STDFU_NOERROR);
    ASSERT_TRUE(read.finished);
    EXPECT_TRUE(back == database);
    EXPECT_EQ(orvo->ProtocolViolations(), 0u) << ::testing::PrintToString(orvo->ViolationLog());
    EXPECT_EQ(orvo->State(), dfu::dfuIDLE);
}

TEST_P(TransportContract, EraseTouchesExactlyTheSectorsOfTheImage) {
    auto orvo = NewOrvo();
    const std::string path = rig_->Plug(orvo);
    const auto identity = orvo->ReadFlash(0x004F0000, 56);

    // The date stamp's sector, and never the identity block's next to it.
    ASSERT_EQ(WriteElements(path, {{0x004E0000, {'0', '7', '.', '1', '2', '.', '2', '6'}}}).error, STDFU_NOERROR);
    EXPECT_EQ(orvo->ErasedSectors(), std::vector<std::uint32_t>{0x004E0000});

    // The database: its own three sectors, each once, neither of the others.
    const auto database = PatternBytes(0x21000, 2);
    ASSERT_EQ(WriteElements(path, {{0x00510000, database}}).error, STDFU_NOERROR);
    EXPECT_EQ(orvo->ErasedSectors(),
              (std::vector<std::uint32_t>{0x004E0000, 0x00510000, 0x00520000, 0x00530000}));
    EXPECT_EQ(orvo->ReadFlash(0x004F0000, 56), identity);
    EXPECT_EQ(orvo->ProtocolViolations(), 0u) << ::testing::PrintToString(orvo->ViolationLog());
}

TEST_P(TransportContract, IdentityBlockReadsBack) {
    auto orvo = NewOrvo("AB12345");
    const std::string path = rig_->Plug(orvo);
    std::vector<std::uint8_t> block;
    ASSERT_EQ(ReadRange(path, 0x004F0000, 56, block).error, STDFU_NOERROR);
    ASSERT_EQ(block.size(), 56u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data())), "AB12345");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + 40)), "Orvo");
}

TEST_P(TransportContract, ErrorStatusAtABlockIsDfuErrorAndTheNextWriteRecovers) {
    auto orvo = NewOrvo();
    const std::string path = rig_->Plug(orvo);
    const auto data = PatternBytes(6 * 2048, 3);
    orvo->FailAt(OrvoRequestKind::Program, 3, dfu::errPROG);
    const auto failed = WriteElements(path, {{0x00600000, data}});
    EXPECT_EQ(failed.error, STDFU_DFU_ERROR);
    EXPECT_EQ(Status(failed), dfu::errPROG);
    EXPECT_EQ(failed.context.LastDfuStatus[4], dfu::dfuERROR);
    EXPECT_FALSE(failed.finished);
    EXPECT_EQ(orvo->State(), dfu::dfuERROR);

    // Left in dfuERROR: the next operation clears it first.
    const auto again = WriteElements(path, {{0x00600000, data}});
    EXPECT_EQ(again.error, STDFU_NOERROR);
    EXPECT_EQ(orvo->ReadFlash(0x00600000, static_cast<std::uint32_t>(data.size())), data);
}

TEST_P(TransportContract, EraseErrorAndStallAreDfuErrorsWithTheDeviceStatus) {
    auto orvo = NewOrvo();
    const std::string path = rig_->Plug(orvo);
    orvo->FailAt(OrvoRequestKind::Erase, 0, dfu::errERASE);
    const auto erase = WriteElements(path, {{0x00600000, PatternBytes(100, 4)}});
    EXPECT_EQ(erase.error, STDFU_DFU_ERROR);
    EXPECT_EQ(Status(erase), dfu::errERASE);

    orvo->StallAt(OrvoRequestKind::Program, 0);
    const auto stall = WriteElements(path, {{0x00600000, PatternBytes(100, 4)}});
    EXPECT_EQ(stall.error, STDFU_DFU_ERROR);
    EXPECT_EQ(Status(stall), dfu::errSTALLEDPKT);

    orvo->StallAt(OrvoRequestKind::Upload, 1);
    std::vector<std::uint8_t> back;
    const auto upload = ReadRange(path, 0x00600000, 3 * 2048, back);
    EXPECT_EQ(upload.error, STDFU_DFU_ERROR);
    EXPECT_EQ(Status(upload), dfu::errSTALLEDPKT);

    EXPECT_EQ(WriteElements(path, {{0x00600000, PatternBytes(100, 4)}}).error, STDFU_NOERROR);
}

TEST_P(TransportContract, UnplugMidTransferIsUnexpectedErrorAndAReplugWorks) {
    auto orvo = NewOrvo();
    const std::string path = rig_->Plug(orvo);
    orvo->UnplugAt(OrvoRequestKind::Program, 2);
    const auto gone = WriteElements(path, {{0x00600000, PatternBytes(8 * 2048, 5)}});
    EXPECT_EQ(gone.error, STDFU_UNEXPECTED_ERROR);
    EXPECT_LT(gone.took, std::chrono::seconds(3));

    const std::string again = rig_->Plug(orvo);
    const auto data = PatternBytes(8 * 2048, 6);
    EXPECT_EQ(WriteElements(again, {{0x00600000, data}}).error, STDFU_NOERROR);
    EXPECT_EQ(orvo->ReadFlash(0x00600000, static_cast<std::uint32_t>(data.size())), data);
}

TEST_P(TransportContract, UnplugFromOutsideWhileTransferringEndsPromptly) {
    VirtualOrvoConfig config;
    config.timing = OrvoTiming::Scaled(0.05);  // a sector erase takes 20 ms
    auto orvo = std::make_shared<VirtualOrvo>(config);
    const std::string path = rig_->Plug(orvo);
    // Pulled once the device has taken its first erase: the write is then
    // under way, however fast or slow the machine.
    std::thread unplugger([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (orvo->Stats().erases == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        rig_->Unplug(path);
    });
    const auto gone = WriteElements(path, {{0x00100000, PatternBytes(20 * 65536, 7)}});
    unplugger.join();
    EXPECT_EQ(gone.error, STDFU_UNEXPECTED_ERROR);
    EXPECT_LT(gone.took, std::chrono::seconds(3));
}

TEST_P(TransportContract, SlowAnswersAreRetriedThenRetryError) {
    auto orvo = NewOrvo();
    const std::string path = rig_->Plug(orvo);
    const unsigned late = FastEngineSettings().controlTimeoutMs + 100;

    // One late answer: retried, and the write succeeds.
    orvo->SlowAnswers(late, 1);
    EXPECT_EQ(WriteElements(path, {{0x00600000, PatternBytes(4096, 8)}}).error, STDFU_NOERROR);

    // A device that never answers in time: Retry error, within the retries.
    orvo->SlowAnswers(late, 1000);
    const auto slow = WriteElements(path, {{0x00600000, PatternBytes(4096, 8)}});
    EXPECT_EQ(slow.error, STDFU_RETRY_ERROR);
    EXPECT_LT(slow.took, std::chrono::seconds(5));

    orvo->ClearFaults();
    EXPECT_EQ(WriteElements(path, {{0x00600000, PatternBytes(4096, 9)}}).error, STDFU_NOERROR);
}

TEST_P(TransportContract, HungDeviceEndsTheOperationAndAReplugWorks) {
    // The device hangs for ever: the short limit decides how long that takes,
    // not whether the operation ends.
    DfuEngineSettings settings = FastEngineSettings();
    settings.busyLimitMs = 1000;  // far above any sound request, even under a sanitizer
    UseSettings(settings);
    auto orvo = NewOrvo();
    const std::string path = rig_->Plug(orvo);
    orvo->BusyForeverAt(OrvoRequestKind::Program, 2);
    const auto busy = WriteElements(path, {{0x00600000, PatternBytes(8 * 2048, 10)}});
    EXPECT_EQ(busy.error, STDFU_RETRY_ERROR);
    EXPECT_EQ(busy.context.LastDfuStatus[4], dfu::dfuDNBUSY);
    EXPECT_FALSE(busy.finished);

    rig_->Unplug(path);
    const std::string again = rig_->Plug(orvo);
    orvo->NoAnswerFrom(OrvoRequestKind::Program, 2);
    const auto silent = WriteElements(again, {{0x00600000, PatternBytes(8 * 2048, 10)}});
    EXPECT_EQ(silent.error, STDFU_RETRY_ERROR);
    EXPECT_FALSE(silent.finished);

    rig_->Unplug(again);
    const std::string third = rig_->Plug(orvo);
    UseSettings(FastEngineSettings());
    const auto data = PatternBytes(8 * 2048, 11);
    EXPECT_EQ(WriteElements(third, {{0x00600000, data}}).error, STDFU_NOERROR);
    EXPECT_EQ(orvo->ReadFlash(0x00600000, static_cast<std::uint32_t>(data.size())), data);
}

TEST_P(TransportContract, StopInterruptsALongPollWait) {
    // The erase asks for a minute and the engine is allowed to wait that
    // long, so a stop that does not cut the wait short takes a minute.
    VirtualOrvoConfig config;
    config.timing = OrvoTiming::Real();
    config.timing.sectorEraseUs = 60'000'000;
    DfuEngineSettings settings = FastEngineSettings();
    settings.maxPollWaitMs = 120'000;
    UseSettings(settings);
    auto orvo = std::make_shared<VirtualOrvo>(config);
    const std::string path = rig_->Plug(orvo);
    DfuHandle image = MakeImage({{0x00600000, std::vector<std::uint8_t>(65536, 0xFF)}});
    DfuOperationContext context = MakeContext(path, OPERATION_ERASE, image);
    DfuHandle handle = 0;
    ASSERT_EQ(engine_->LaunchOperation(&context, &handle), STDFU_NOERROR);
    // Stop once the device has said it is busy: the engine is in the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        engine_->GetOperationStatus(handle, &context);
    } while (context.LastDfuStatus[4] != dfu::dfuDNBUSY && context.ErrorCode == STDFU_NOERROR &&
             std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(context.LastDfuStatus[4], dfu::dfuDNBUSY);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine_->StopOperation(handle, &context), STDFU_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));  // the erase asked for 60
    EXPECT_NE(context.Percent, 100);
    STDFUFILES_DestroyImage(&image);
}

TEST_P(TransportContract, DiscoveryFollowsTheResultRules) {
    EngineDfuLibrary library(*engine_);
    CDfuDevice device("/nowhere/orvo-updater", library, rig_->Backend());
    device.DevicePath.Set("USB\\VID_0000&PID_0000\\EARLIER");

    EXPECT_FALSE(device.FindDeviceNow());
    EXPECT_EQ(device.DevicePath.Get(), "USB\\VID_0000&PID_0000\\EARLIER");

    const std::string first = rig_->Plug(NewOrvo("OR00001"));
    EXPECT_TRUE(device.FindDeviceNow());
    EXPECT_EQ(device.DevicePath.Get(), first);

    const std::string second = rig_->Plug(NewOrvo("OR00002"));
    EXPECT_TRUE(device.FindDeviceNow());
    EXPECT_EQ(device.DevicePath.Get(), second);
    EXPECT_NE(first, second);

    rig_->Unplug(first);
    rig_->Unplug(second);
    EXPECT_FALSE(device.FindDeviceNow());
    EXPECT_EQ(device.DevicePath.Get(), second);
}

TEST_P(TransportContract, DiscoveryDoesNotCountAnUnreadableDescription) {
    EngineDfuLibrary library(*engine_);
    CDfuDevice device("/nowhere/orvo-updater", library, rig_->Backend());
    const std::string path = rig_->Plug(NewOrvo());
    if (!rig_->DenyAccess(path))
        GTEST_SKIP() << "this rig cannot deny access";
    EXPECT_FALSE(device.FindDeviceNow());
    EXPECT_EQ(device.DevicePath.Get(), path);
}

// Without the udev rule the Orvo is listed but cannot be opened: the bar names
// the rule while that lasts and gets its own text back once the device is
// gone; a usable device beside it wins.
TEST_P(TransportContract, DiscoveryNamesTheUdevRuleWhileADeviceMayNotBeOpened) {
    EngineDfuLibrary library(*engine_);
    CDfuDevice device("/nowhere/orvo-updater", library, rig_->Backend());
    RecordingProgressBar bar;
    RecordingMessageBox box;
    CycleSignals signals;
    CycleDisplay display(device.Events, bar, box, signals);
    device.Events.Publish(CycleEvents::Notice{"Upgrade successful !"});
    const std::string denied = rig_->Plug(NewOrvo("OR00001"));
    if (!rig_->DenyAccess(denied))
        GTEST_SKIP() << "this rig cannot deny access";

    EXPECT_FALSE(device.FindDeviceNow());
    const std::string problem = device.DeviceAccessProblem.Get();
    EXPECT_NE(problem.find(denied), std::string::npos) << problem;
    EXPECT_NE(problem.find("70-orvo-dfu.rules"), std::string::npos) << problem;
    EXPECT_NE(problem.find("/etc/udev/rules.d"), std::string::npos) << problem;
    EXPECT_EQ(bar.Text(), DeviceAccessBarText);

    const std::size_t textsShown = bar.Texts().size();
    EXPECT_FALSE(device.FindDevice());  // the presence timer reads the list again: nothing new to show
    EXPECT_EQ(bar.Texts().size(), textsShown);

    const std::string usable = rig_->Plug(NewOrvo("OR00002"));
    EXPECT_TRUE(device.FindDeviceNow());
    EXPECT_TRUE(device.DeviceAccessProblem.Empty());
    EXPECT_EQ(bar.Text(), "Upgrade successful !");

    rig_->Unplug(usable);
    EXPECT_FALSE(device.FindDeviceNow());
    EXPECT_EQ(bar.Text(), DeviceAccessBarText);
    rig_->Unplug(denied);
    EXPECT_FALSE(device.FindDeviceNow());
    EXPECT_TRUE(device.DeviceAccessProblem.Empty());
    EXPECT_EQ(bar.Text(), "Upgrade successful !");
}
