#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "database/http_errors_winhttp.h"
#include "device/usb/winusb_backend.h"

namespace {

// Recorded answers of the Windows calls: interfaces of one enumeration, and
// what an open device answers.
struct RecordedInterface {
    std::optional<std::string> path;
    std::optional<std::string> description;
    std::uint32_t descriptionError = 0;
};

class RecordedCalls : public WinUsbCalls {
public:
    std::vector<RecordedInterface> interfaces;
    std::uint32_t setError = 0;
    std::uint32_t openError = 0;
    bool transferOk = true;
    std::uint32_t transferError = 0;
    std::vector<std::uint8_t> answer;
    std::map<std::pair<std::uint8_t, std::uint8_t>, std::vector<std::uint8_t>> descriptors;
    std::vector<SetupPacket> sent;
    std::vector<std::uint32_t> timeouts;
    int closedSets = 0;
    int closedDevices = 0;

    Handle OpenInterfaceSet(std::uint32_t& error) override {
        error = setError;
        return setError == 0 ? 1 : 0;
    }
    bool EnumerateInterface(Handle, std::uint32_t index, std::uint32_t& error) override {
        error = kNoMoreItems;
        return index < interfaces.size();
    }
    std::optional<std::string> InterfacePath(Handle, std::uint32_t index, std::uint32_t& error) override {
        error = kFileNotFound;
        return interfaces[index].path;
    }
    std::optional<std::string> DeviceDescription(Handle, std::uint32_t index, std::uint32_t& error) override {
        error = interfaces[index].descriptionError;
        return interfaces[index].description;
    }
    void CloseInterfaceSet(Handle) override { ++closedSets; }
    Handle OpenDevice(const std::string&, std::uint32_t& error) override {
        error = openError;
        return openError == 0 ? 7 : 0;
    }
    void CloseDevice(Handle) override { ++closedDevices; }
    bool SetAlternateSetting(Handle, std::uint8_t, std::uint32_t&) override { return true; }
    bool SetControlTimeout(Handle, std::uint32_t ms, std::uint32_t&) override {
        timeouts.push_back(ms);
        return true;
    }
    bool ControlTransfer(Handle, const SetupPacket& setup, std::span<std::uint8_t> data, std::uint32_t& transferred,
                         std::uint32_t& error) override {
        sent.push_back(setup);
        error = transferError;
        const std::size_t n = std::min(answer.size(), data.size());
        std::copy_n(answer.begin(), n, data.begin());
        transferred = static_cast<std::uint32_t>(n);
        return transferOk;
    }
    bool GetDescriptor(Handle, std::uint8_t type, std::uint8_t index, std::uint16_t, std::span<std::uint8_t> buffer,
                       std::uint32_t& transferred, std::uint32_t& error) override {
        const auto found = descriptors.find({type, index});
        if (found == descriptors.end()) {
            error = kGenFailure;
            return false;
        }
        const std::size_t n = std::min(found->second.size(), buffer.size());
        std::copy_n(found->second.begin(), n, buffer.begin());
        transferred = static_cast<std::uint32_t>(n);
        return true;
    }
    bool RegisterInterfaceNotices(std::function<void()> notice) override {
        noticeFn = std::move(notice);
        return true;
    }
    void UnregisterInterfaceNotices() override { noticeFn = nullptr; }
    std::function<void()> noticeFn;
};

TEST(WinUsbEnumeration, PathsUpperCasedAndOnlyReadableDescriptionsCount) {
    RecordedCalls calls;
    calls.interfaces = {{R"(\\?\usb#vid_1234&pid_5678&mi_02#6&1#{3fe809ab})", "Orvo DFU", 0},
                        {std::nullopt, "gone", 0},
                        {R"(\\?\usb#vid_1234&pid_9999#7&2#{3fe809ab})", std::nullopt, 13}};
    WinUsbBackend backend(calls);
    const auto found = backend.EnumerateDfuInterfaces();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, R"(\\?\USB#VID_1234&PID_5678&MI_02#6&1#{3FE809AB})");
    EXPECT_EQ(found[0].interfaceNumber, 2);
    EXPECT_EQ(found[0].description, "Orvo DFU");
    EXPECT_EQ(found[1].interfaceNumber, 0);
    EXPECT_FALSE(found[1].description.has_value());
    EXPECT_NE(found[1].descriptionStatus, UsbStatus::Ok);
    EXPECT_EQ(calls.closedSets, 1);
    EXPECT_EQ(backend.LastEnumerationError(), 0u);
}

TEST(WinUsbEnumeration, FailedSetIsAnEmptyListWithItsError) {
    RecordedCalls calls;
    calls.setError = 13;
    WinUsbBackend backend(calls);
    EXPECT_TRUE(backend.EnumerateDfuInterfaces().empty());
    EXPECT_EQ(backend.LastEnumerationError(), 13u);
    EXPECT_EQ(calls.closedSets, 0);
}

TEST(WinUsbTransfers, SetupNeverReachesPastTheBufferAndErrorsMap) {
    RecordedCalls calls;
    calls.answer = {1, 2, 3, 4, 5, 6, 7, 8};
    WinUsbBackend backend(calls);
    UsbStatus status = UsbStatus::Error;
    {
        auto handle = backend.Open("X", status);
        ASSERT_EQ(status, UsbStatus::Ok);
        std::vector<std::uint8_t> data(6);
        std::size_t moved = 0;
        EXPECT_EQ(handle->ControlTransfer({0xA1, 3, 0, 0, 64}, data, 0, moved), UsbStatus::Ok);
        ASSERT_EQ(calls.sent.size(), 1u);
        EXPECT_EQ(calls.sent[0].length, 6);
        EXPECT_EQ(moved, 6u);
        EXPECT_EQ(calls.timeouts, std::vector<std::uint32_t>{WinUsbBackend::kDefaultTransferTimeoutMs});
        calls.transferOk = false;
        calls.transferError = WinUsbCalls::kGenFailure;
        EXPECT_EQ(handle->ControlTransfer({0x21, 1, 2, 0, 6}, data, 0, moved), UsbStatus::Stall);
        EXPECT_EQ(moved, 0u);
        EXPECT_EQ(calls.timeouts.size(), 1u);  // unchanged time-out is not set again
    }
    EXPECT_EQ(calls.closedDevices, 1);
    calls.openError = WinUsbCalls::kAccessDenied;
    EXPECT_EQ(backend.Open("X", status), nullptr);
    EXPECT_EQ(status, UsbStatus::AccessDenied);
    EXPECT_EQ(UsbStatusFromWindowsError(WinUsbCalls::kSemTimeout), UsbStatus::Timeout);
    EXPECT_EQ(UsbStatusFromWindowsError(1167), UsbStatus::NoDevice);
}

TEST(WinUsbDescriptors, StringsAndConfigurationFromRecordedAnswers) {
    RecordedCalls calls;
    calls.descriptors[{3, 0}] = {4, 3, 0x09, 0x04};
    calls.descriptors[{3, 2}] = {10, 3, 'O', 0, 'r', 0, 0xE9, 0, 'v', 0, 'o', 0};  // bLength cuts the last
    calls.descriptors[{2, 0}] = {9, 2, 12, 0, 1, 1, 0, 0x80, 50, 0xAA, 0xBB, 0xCC};
    WinUsbBackend backend(calls);
    UsbStatus status = UsbStatus::Error;
    auto handle = backend.Open("X", status);
    std::string text;
    EXPECT_EQ(handle->GetStringDescriptor(2, text, 0), UsbStatus::Ok);
    EXPECT_EQ(text, "Or?v");
    EXPECT_EQ(handle->GetStringDescriptor(5, text, 0), UsbStatus::Stall);
    std::vector<std::uint8_t> config;
    EXPECT_EQ(handle->GetConfigDescriptor(config), UsbStatus::Ok);
    EXPECT_EQ(config.size(), 12u);
    calls.descriptors[{2, 0}] = {9, 2, 4, 0, 1, 1, 0, 0x80, 50};  // total shorter than its own header
    EXPECT_EQ(handle->GetConfigDescriptor(config), UsbStatus::Error);
}

TEST(WinUsbNotices, ANoticeEndsTheWaitAndIsTakenOnce) {
    RecordedCalls calls;
    WinUsbBackend backend(calls);
    ASSERT_TRUE(backend.WatchDeviceChanges());
    calls.noticeFn();
    EXPECT_TRUE(backend.WaitForDeviceChange(std::chrono::milliseconds(0)));
    EXPECT_FALSE(backend.WaitForDeviceChange(std::chrono::milliseconds(0)));
}

TEST(WinHttpErrors, SameCodeMeansWhatThePhaseSays) {
    EXPECT_EQ(OutcomeOfWinHttpError(12029, WinHttpPhase::Connecting), DownloadOutcome::NotConnected);
    EXPECT_EQ(OutcomeOfWinHttpError(12007, WinHttpPhase::Connecting), DownloadOutcome::NotConnected);
    EXPECT_EQ(OutcomeOfWinHttpError(12002, WinHttpPhase::Connecting), DownloadOutcome::NotConnected);
    EXPECT_EQ(OutcomeOfWinHttpError(12002, WinHttpPhase::ReadingBody), DownloadOutcome::Stalled);
    EXPECT_EQ(OutcomeOfWinHttpError(12030, WinHttpPhase::ReadingBody), DownloadOutcome::Truncated);
    EXPECT_EQ(OutcomeOfWinHttpError(12030, WinHttpPhase::AwaitingAnswer), DownloadOutcome::TransferFailed);
    EXPECT_EQ(OutcomeOfWinHttpError(12152, WinHttpPhase::ReadingBody), DownloadOutcome::Truncated);
    EXPECT_NE(WinHttpErrorText(12029).find("12029"), std::string::npos);
}

}  // namespace
