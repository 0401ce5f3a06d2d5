// The write, the read-back and the monitor over a library that fails on
// demand: every failure the user can meet, what they see, and how the
// waiting worker gets its answer.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "device/dfu_device.h"
#include "device/identity_block.h"
#include "fake_dfu_library.h"
#include "operation_fixture.h"

namespace {

constexpr const char* kBase = "/work/orvo/tesselDB";
constexpr const char* kDfu = "/work/orvo/tesselDB.dfu";
constexpr const char* kWriteNotFound = "Unable to find data for that device/target from the file ...";

using Image = FakeDfuLibrary::Image;

// A worker released by mistake wakes and returns within moments; one still
// waiting after a generous while (even under a sanitizer) was not released.
bool StaysWaiting(const std::atomic<bool>& finished) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (!finished && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !finished;
}

Image DataImage(std::uint32_t address, std::vector<std::uint8_t> data, std::uint8_t alternate = 1) {
    return Image{alternate, {{address, std::move(data)}}};
}

std::vector<std::uint8_t> Database() {
    std::vector<std::uint8_t> bytes(5000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

std::vector<std::uint8_t> IdentityBlock(const char* product) {
    std::vector<std::uint8_t> block(kIdentityBlockSize, 0xFF);
    std::memcpy(block.data(), "A12B34C", 8);
    std::memcpy(block.data() + 8, "id text", 8);
    std::memcpy(block.data() + 40, product, std::strlen(product) + 1);
    return block;
}

}  // namespace

class DeviceOperations : protected WithFakeDfuLibrary, public OperationFixture {
protected:
    DeviceOperations() : OperationFixture(library) {
        library.AddFile(kDfu, {DataImage(0x00510000, Database())});
        library.WriteFlash(kIdentityBlockAddress, IdentityBlock("Orvo"));
    }

    ~DeviceOperations() override {
        // Whatever happened, the operations leave nothing behind and never
        // misuse the library.
        EXPECT_EQ(device.OperationHandle.load(), 0u);
        device.ReleaseOperationResources();
        EXPECT_EQ(library.LiveImages(), 0);
        EXPECT_EQ(library.Misuses(), 0);
    }

    bool Write() {
        return RunMonitored([this] { return device.UpgradeDevice(kBase); });
    }
    // The identity read, the device's one read of a region into its fields.
    bool Upload() {
        return RunMonitored([this] { return device.ConnectTest() == 0; });
    }
    std::string BoxText(std::size_t index = 0) {
        const auto messages = box.Messages();
        return index < messages.size() ? messages[index] : std::string("<no message box>");
    }
    bool BarIsRed() { return bar.BarColour() == Rgb(255, 0, 0) && bar.TextColour() == Rgb(255, 0, 0); }
};

// ---------------------------------------------------------------------------
// The write

TEST_F(DeviceOperations, WriteErasesThenWritesTheImageOfAlternateSettingOne) {
    EXPECT_TRUE(Write());

    EXPECT_EQ(library.ReadFlash(0x00510000, 5000), Database());
    EXPECT_EQ(library.Launched(), (std::vector<std::int32_t>{OPERATION_ERASE, OPERATION_UPGRADE}));
    // The kept copy is prepared for the write pass, the selected image for
    // the erase, both on the data flash's map entry.
    EXPECT_EQ(library.FilteredFor(), (std::vector<std::int32_t>{OPERATION_UPGRADE, OPERATION_ERASE}));
    for (DfuMapping* entry : library.FilterMapEntries())
        EXPECT_EQ(reinterpret_cast<unsigned char*>(entry),
                  reinterpret_cast<unsigned char*>(library.Mapping()) + kDfuMappingStride);

    const DfuOperationContext first = library.LaunchContexts().at(0);
    EXPECT_EQ(std::memcmp(&first.DfuInterfaceGuid, &DfuInterfaceGuid, 16), 0);
    EXPECT_EQ(std::memcmp(&first.SecondInterfaceGuid, &SecondInterfaceGuid, 16), 0);
    EXPECT_EQ(first.Flag, 0);
    EXPECT_STREQ(first.DevicePath, "USB\\VID_1209&PID_D0F0\\BUS_001&PORT_1");
    EXPECT_EQ(device.Target.load(), 1);

    EXPECT_EQ(bar.Text(), "100%");
    EXPECT_EQ(bar.BarColour(), Rgb(0, 128, 0));
    EXPECT_EQ(bar.TextColour(), Rgb(0, 128, 0));
    EXPECT_EQ(bar.BkColour(), Rgb(255, 255, 255));
    EXPECT_EQ(bar.TextBkColour(), Rgb(255, 255, 255));
    EXPECT_EQ(bar.Positions(), (std::vector<int>{0, 50, 100, 50, 100, 100}));
    EXPECT_TRUE(box.Messages().empty());
    EXPECT_EQ(library.LiveImages(), 0);
    EXPECT_EQ(device.KeptImage.load(), 0u);
}

TEST_F(DeviceOperations, WorkerIsReleasedOnlyWhenTheWritePassReachesTheEnd) {
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread worker = StartWorker([this] { return device.UpgradeDevice(kBase); }, finished, result);
    const DfuHandle erase = device.OperationHandle.load();
    ASSERT_NE(erase, 0u);

    device.MonitorOperation();  // erase 50 %
    device.MonitorOperation();  // erase 100 %: the write pass starts
    EXPECT_EQ(bar.Text(), "100%");
    EXPECT_NE(device.OperationHandle.load(), 0u);
    EXPECT_NE(device.OperationHandle.load(), erase);
    device.MonitorOperation();  // write 50 %
    EXPECT_EQ(bar.Text(), "50%");
    EXPECT_TRUE(StaysWaiting(finished));

    device.MonitorOperation();  // write 100 %
    EXPECT_TRUE(Settles(finished));
    worker.join();
    EXPECT_TRUE(result);
    // A release at 50 % as well would have left the second one unconsumed.
    EXPECT_FALSE(signals.StepEvent.IsSet());
}

TEST_F(DeviceOperations, SignalGivenBeforeTheLaunchDoesNotRelease) {
    signals.StepEvent.Set();  // left over from a presence timer
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread worker = StartWorker([this] { return device.UpgradeDevice(kBase); }, finished, result);
    EXPECT_TRUE(StaysWaiting(finished));
    for (int tick = 0; tick < 4; ++tick)
        device.MonitorOperation();
    EXPECT_TRUE(Settles(finished));
    worker.join();
    EXPECT_TRUE(result);
}

TEST_F(DeviceOperations, WithoutShowProgressThePercentStaysOffTheBar) {
    signals.ShowProgress = 0;
    EXPECT_TRUE(Write());
    EXPECT_TRUE(bar.Positions().empty());
    EXPECT_EQ(bar.Texts(), std::vector<std::string>{"100%"});  // the end-of-write message only
}

TEST_F(DeviceOperations, PercentOtherThanHundredNeverEndsAPass) {
    library.percents[OPERATION_ERASE] = {101, 150, 255, 99, 100};
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread worker = StartWorker([this] { return device.UpgradeDevice(kBase); }, finished, result);
    for (int tick = 0; tick < 4; ++tick)
        device.MonitorOperation();
    EXPECT_EQ(library.Launched().size(), 1u);
    EXPECT_EQ(bar.Text(), "99%");
    device.MonitorOperation();
    EXPECT_EQ(library.Launched().size(), 2u);
    device.MonitorOperation();
    device.MonitorOperation();
    EXPECT_TRUE(Settles(finished));
    worker.join();
    EXPECT_TRUE(result);
}

TEST_F(DeviceOperations, FirstImageOfAlternateSettingOneIsTheOneWritten) {
    library.AddFile(kDfu, {DataImage(0x00100000, {1, 2, 3}, 0), DataImage(0x00100000, {4, 5, 6}, 0),
                           DataImage(0x00510000, {7, 8, 9}), DataImage(0x00510000, {10, 11, 12})});
    EXPECT_TRUE(Write());
    EXPECT_EQ(library.ReadFlash(0x00510000, 3), (std::vector<std::uint8_t>{7, 8, 9}));
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, NothingRunsWhileNoOperationIsPublished) {
    device.MonitorOperation();
    EXPECT_EQ(library.StatusQueries(), 0);
    EXPECT_TRUE(bar.Texts().empty());
}

// ---------------------------------------------------------------------------
// Failures before the launch: the caller returns at once with false.

TEST_F(DeviceOperations, MapThatCannotBeCreatedIsShownAsAnError) {
    library.mappingResult = STDFU_UNEXPECTED_ERROR;
    EXPECT_FALSE(device.UpgradeDevice(kBase));
    EXPECT_EQ(bar.Text(), "Unable to read the memory map of the device...");
    EXPECT_TRUE(BarIsRed());
    EXPECT_TRUE(library.Launched().empty());
    EXPECT_TRUE(box.Messages().empty());

    EXPECT_FALSE(Upload());
    EXPECT_EQ(bar.Text(), "Unable to read the memory map of the device...");
}

TEST_F(DeviceOperations, FileThatCannotBeOpenedGivesAReportFromAZeroedRecord) {
    EXPECT_FALSE(device.UpgradeDevice("/work/orvo/missing"));
    EXPECT_EQ(BoxText(),
              "Target: 01\n"
              "Error Code: Unknown error 0x12346002. \n"
              "TransferSize: 0\n"
              "DFU State: STATE_IDLE\n"
              "DFU Status: STATUS_OK\n"
              "Request: (unknown 0x00000000). \n"
              "CurrentNBlock: 0x0000\n"
              "CurrentLength: 0x0000\n"
              "Percent: 0%\n");
    EXPECT_EQ(bar.Text(), kWriteNotFound);
    EXPECT_TRUE(BarIsRed());
    EXPECT_TRUE(library.Launched().empty());
}

TEST_F(DeviceOperations, FileWithoutAlternateSettingOne) {
    library.AddFile(kDfu, {DataImage(0x00100000, {1}, 0), DataImage(0x00100000, {2}, 0)});
    EXPECT_FALSE(device.UpgradeDevice(kBase));
    EXPECT_EQ(bar.Text(), kWriteNotFound);
    EXPECT_TRUE(BarIsRed());
    EXPECT_TRUE(box.Messages().empty());
    EXPECT_TRUE(library.Launched().empty());
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, ImageWithoutElementIsNeverLaunched) {
    library.AddFile(kDfu, {Image{1, {}}});
    EXPECT_FALSE(device.UpgradeDevice(kBase));
    EXPECT_EQ(bar.Text(), kWriteNotFound);
    EXPECT_TRUE(library.Launched().empty());
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, FailedPreparationIsReportedLikeAFailedLaunch) {
    library.filterResult[OPERATION_ERASE] = STDFU_BAD_PARAMETER;
    EXPECT_FALSE(device.UpgradeDevice(kBase));
    EXPECT_EQ(BoxText().substr(0, 37), "Target: 01\nError Code: Bad parameter\n");
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Bad parameter\n");
    EXPECT_TRUE(library.Launched().empty());

    library.filterResult.clear();
    library.filterResult[OPERATION_UPLOAD] = STDFU_BAD_PARAMETER;
    EXPECT_FALSE(Upload());
    EXPECT_NE(BoxText(1).find("Operation: UPLOAD\n"), std::string::npos);

    library.filterResult.clear();
    library.duplicateResult = STDFUFILES_BAD_HANDLE;
    EXPECT_FALSE(device.UpgradeDevice(kBase));
    EXPECT_FALSE(Upload());
    EXPECT_EQ(box.Messages().size(), 4u);
    EXPECT_TRUE(library.Launched().empty());
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, FailedLaunchIsReportedAndTheCallerReturns) {
    library.launchResult[OPERATION_ERASE] = STDFU_THREAD_PROBLEM;
    EXPECT_FALSE(device.UpgradeDevice(kBase));
    EXPECT_EQ(BoxText().substr(0, 67),
              "Target: 01\nError Code: Unable to launch operation (Thread problem)\n");
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Unable to launch operation (Thread problem)\n");
    EXPECT_TRUE(BarIsRed());
    EXPECT_EQ(library.LiveImages(), 0);

    library.launchResult[OPERATION_UPLOAD] = STDFU_DFU_ALREADY_RUNNING;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: DFU already running\n");
    EXPECT_EQ(library.LiveImages(), 0);
    EXPECT_EQ(device.KeptImage.load(), 0u);
}

// ---------------------------------------------------------------------------
// Failures after the launch: the user sees the report, the worker gets false.

TEST_F(DeviceOperations, ErrorDuringEraseIsReportedAndReleasesTheWorker) {
    library.failure[OPERATION_ERASE] = {50, STDFU_DFU_ERROR};
    EXPECT_FALSE(Write());
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: DFU error\n");
    EXPECT_TRUE(BarIsRed());
    EXPECT_EQ(BoxText(),
              "Target: 01\n"
              "Error Code: DFU error\n"
              "TransferSize: 2048\n"
              "DFU State: STATE_DFU_ERROR\n"
              "DFU Status: STATUS_errPROG\n"
              "Request: Download Request. \n"
              "CurrentNBlock: 0x0001\n"
              "CurrentLength: 0x0000\n"
              "Percent: 50%\n");
    EXPECT_EQ(library.Launched().size(), 1u);

    // The copy kept for the write pass goes with the next operation.
    EXPECT_EQ(library.LiveImages(), 1);
    library.failure.clear();
    EXPECT_TRUE(Write());
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, ErrorDuringTheWritePass) {
    library.failure[OPERATION_UPGRADE] = {50, STDFU_RETRY_ERROR};
    EXPECT_FALSE(Write());
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Retry error\n");
    EXPECT_NE(BoxText().find("Operation: UPGRADE\n"), std::string::npos);
    EXPECT_EQ(device.KeptImage.load(), 0u);
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, ErrorDuringUpload) {
    library.failure[OPERATION_UPLOAD] = {0, STDFU_UNEXPECTED_ERROR};
    device.DeviceSerial.Set("the previous device's");
    EXPECT_FALSE(Upload());
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Unexpected error\n");
    EXPECT_NE(BoxText().find("Operation: UPLOAD\n"), std::string::npos);
    EXPECT_TRUE(device.DeviceSerial.Empty());
    EXPECT_EQ(device.KeptImage.load(), 0u);
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, UnsupportedFeatureGivesThePlainMessageBox) {
    library.failure[OPERATION_UPGRADE] = {50, STDFU_UNSUPPORTED_FEATURE};
    EXPECT_FALSE(Write());
    EXPECT_EQ(box.Messages(), std::vector<std::string>{"This feature is not supported by this firmware."});
    EXPECT_FALSE(BarIsRed());  // no report on the bar
    EXPECT_EQ(library.LiveImages(), 0);

    library.failure.clear();
    library.failure[OPERATION_UPLOAD] = {50, STDFU_UNSUPPORTED_FEATURE};
    EXPECT_FALSE(Upload());
    EXPECT_EQ(box.Messages().size(), 2u);
}

// What a tick of the monitor raises, a status text or a box, may run an event
// loop of its own (a modal box does) in which the monitor's timer fires
// again: such a tick leaves the operation to the tick already handling it.
TEST_F(DeviceOperations, TicksFromInsideWhatTheMonitorRaisesDoNotReenterIt) {
    const std::thread::id uiThread = std::this_thread::get_id();
    int nestedTicks = 0;
    int nestedPolls = 0;
    bool nested = false;
    const auto tickAgain = [&] {
        if (std::this_thread::get_id() != uiThread || nested)
            return;  // the worker's own texts; one level of nesting is enough to see
        nested = true;
        const int before = library.StatusQueries();
        device.MonitorOperation();
        ++nestedTicks;
        nestedPolls += library.StatusQueries() - before;
        nested = false;
    };
    struct TickingBar : RecordingProgressBar {
        std::function<void()> tick;
        void SetText(const std::string& text) override {
            RecordingProgressBar::SetText(text);
            tick();
        }
    } tickingBar;
    struct TickingBox : RecordingMessageBox {
        std::function<void()> tick;
        void ShowMessageBox(const std::string& text) override {
            RecordingMessageBox::ShowMessageBox(text);
            tick();
        }
    } tickingBox;
    tickingBar.tick = tickAgain;
    tickingBox.tick = tickAgain;
    CycleDisplay ticking(device.Events, tickingBar, tickingBox, signals);

    EXPECT_TRUE(Write());
    library.failure[OPERATION_UPGRADE] = {50, STDFU_DFU_ERROR};
    EXPECT_FALSE(Write());
    EXPECT_GT(nestedTicks, 0);
    EXPECT_EQ(nestedPolls, 0);
    EXPECT_EQ(tickingBox.Messages().size(), 1u);
}

TEST_F(DeviceOperations, FailedRelaunchOfTheWritePassLeavesNoHandleAndNoImage) {
    library.launchResult[OPERATION_UPGRADE] = STDFU_DFU_ALREADY_RUNNING;
    EXPECT_FALSE(Write());
    EXPECT_NE(BoxText().find("Error Code: DFU already running\nOperation: UPGRADE\n"), std::string::npos);
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: DFU already running\n");
    EXPECT_EQ(device.KeptImage.load(), 0u);
    EXPECT_EQ(library.LiveImages(), 0);

    // The stopped erase pass is never asked again.
    const int queries = library.StatusQueries();
    device.MonitorOperation();
    device.MonitorOperation();
    EXPECT_EQ(library.StatusQueries(), queries);
}

TEST_F(DeviceOperations, ReadBackWhoseElementsCannotBeCounted) {
    library.elementCountResult = STDFUFILES_BAD_HANDLE;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(bar.Text(), "Unable to get elements from read image...");
    EXPECT_TRUE(BarIsRed());
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, ReadBackWithoutElement) {
    library.uploadLosesElements = true;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(bar.Text(), "Unable to get elements from read image...");
    EXPECT_EQ(library.LiveImages(), 0);
}

TEST_F(DeviceOperations, ReadBackElementThatCannotBeRead) {
    for (int failingCall : {1, 2}) {
        FakeDfuLibrary fresh;
        CDfuDevice onFresh(folder.File("orvo-updater"), fresh);
        onFresh.AttachSignals(&signals);
        CycleDisplay freshDisplay(onFresh.Events, bar, box, signals);
        onFresh.DevicePath.Set(device.DevicePath.Get());
        fresh.WriteFlash(kIdentityBlockAddress, IdentityBlock("Orvo"));
        fresh.failElementCall = failingCall;
        onFresh.DeviceProductName.Set("Orvo");
        EXPECT_FALSE(RunMonitored(onFresh, [&] { return onFresh.ConnectTest() == 0; }));
        EXPECT_EQ(bar.Text(), "Unable to get data from read image...");
        EXPECT_TRUE(onFresh.DeviceProductName.Empty());
        onFresh.ReleaseOperationResources();
        EXPECT_EQ(fresh.LiveImages(), 0);
        EXPECT_EQ(fresh.Misuses(), 0);
    }
}

TEST_F(DeviceOperations, ReadBackShorterThanTheIdentityBlockFails) {
    library.reportedLength[0] = 40;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(bar.Text(), "Unable to get data from read image...");
    EXPECT_TRUE(device.DeviceProductName.Empty());
}

TEST_F(DeviceOperations, ElementLengthBeyondAnyDeviceIsRefused) {
    library.reportedLength[0] = 0xFFFFFFFF;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(bar.Text(), "Unable to get data from read image...");
}

// ---------------------------------------------------------------------------
// The read-back

TEST_F(DeviceOperations, ReadBackStoresTheIdentityAndSignalsOnce) {
    EXPECT_TRUE(Upload());
    EXPECT_EQ(device.DeviceSerial.Get(), "A12B34C");
    EXPECT_EQ(device.DeviceIdText.Get(), "id text");
    EXPECT_EQ(device.DeviceProductName.Get(), "Orvo");
    EXPECT_EQ(bar.Text(), "Verify successful !");
    EXPECT_EQ(bar.BarColour(), Rgb(0, 128, 128));
    EXPECT_EQ(bar.TextColour(), Rgb(0, 128, 128));
    EXPECT_FALSE(signals.UploadEvent.IsSet());  // the one signal was the worker's
    EXPECT_EQ(library.LiveImages(), 0);
    EXPECT_EQ(device.KeptImage.load(), 0u);
    EXPECT_EQ(library.Launched(), std::vector<std::int32_t>{OPERATION_UPLOAD});
}

TEST_F(DeviceOperations, QuietReadBackStillShowsTheUploadColours) {
    signals.ShowProgress = 0;
    EXPECT_TRUE(Upload());
    EXPECT_EQ(bar.Positions(), std::vector<int>{0});
    EXPECT_EQ(bar.Texts(), std::vector<std::string>{""});
    EXPECT_EQ(bar.BarColour(), Rgb(0, 128, 128));
}

// ---------------------------------------------------------------------------
// Program end while the worker is in an operation

// The stop came while the write was being prepared: it found no operation to
// stop, and its release came before the write's own wait began.
TEST_F(DeviceOperations, StopDuringPreparationNeverLeavesTheWorkerWaiting) {
    device.ShuttingDown = true;
    signals.StepEvent.Set();
    std::atomic<bool> finished{false};
    bool result = true;
    std::thread worker = StartWorker([this] { return device.UpgradeDevice(kBase); }, finished, result);
    const bool settled = Settles(finished);
    if (!settled)
        signals.StepEvent.Set();  // free the worker so the test can end
    worker.join();
    EXPECT_TRUE(settled) << "the worker waits for a monitor that has stopped";
    EXPECT_FALSE(result);
    EXPECT_EQ(device.OperationHandle.load(), 0u);
}

// Released by the stop rather than by the monitor: the operation did not
// finish, whatever the operation before it achieved.
TEST_F(DeviceOperations, WriteReleasedByAStopIsNotASuccess) {
    ASSERT_TRUE(Upload());
    std::atomic<bool> finished{false};
    bool result = true;
    std::thread worker = StartWorker([this] { return device.UpgradeDevice(kBase); }, finished, result);
    ASSERT_NE(device.OperationHandle.load(), 0u);
    device.ShuttingDown = true;
    signals.StepEvent.Set();
    EXPECT_TRUE(Settles(finished));
    worker.join();
    EXPECT_FALSE(result);
    // The operation it launched is stopped, not left running past the worker.
    EXPECT_EQ(device.OperationHandle.load(), 0u);
}

// ---------------------------------------------------------------------------
// A DFU device that is not an Orvo

// Its map has a single entry: there is no data flash entry to hand on, and
// the entry after the table must never be read.
TEST_F(DeviceOperations, MapWithoutADataFlashEntryLaunchesNothing) {
    library.mapEntries = 1;
    EXPECT_FALSE(Upload());
    EXPECT_FALSE(Write());
    EXPECT_TRUE(library.FilterMapEntries().empty());
    EXPECT_TRUE(library.Launched().empty());
}
