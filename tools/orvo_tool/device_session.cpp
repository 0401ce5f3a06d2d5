#include "device_session.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "database/dfu_preparation.h"
#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_mapping.h"
#include "device/usb/usb_backend.h"
#include "tool_support/command_registry.h"
#include "tool_support/printable_text.h"
#include "update/view_timer_rules.h"

namespace fs = std::filesystem;

DeviceSession::DeviceSession() = default;

DeviceSession::~DeviceSession() {
    // No tick may run once the device object goes.
    if (clock_) {
        device_->ListenForOperationEnds(nullptr);
        clock_->Stop();
    }
    clock_.reset();
    if (device_)
        device_->Events.Unsubscribe(console_);
    console_.EndLine();
}

bool DeviceSession::Open(std::vector<std::string>& args, std::string& error) {
    if (!usb_.Start(args, error))
        return false;
    if (!folder_.Create("orvo-tool", error))
        return false;
    // The device's working files ("connectTest", "Date") go into the folder.
    device_ = std::make_unique<CDfuDevice>((fs::path(folder_.Path()) / "orvo-tool").string(), usb_.Library(),
                                           usb_.Backend());
    device_->AttachSignals(&signals_);
    device_->Events.Subscribe(console_);
    signals_.ShowProgress = 1;
    clock_ = std::make_unique<EngineClock>(view_, [this](int timerId) { rules_->OnTimer(timerId); });
    rules_ = std::make_unique<ViewTimerRules>(ViewTimerRules::Targets{
        *clock_, bar_, signals_, device_->ProgressCounter, [this] { return FindDevice(); },
        [this] { device_->MonitorOperation(); },
        [this](const std::string& path) { return device_->IsAttached(path); }});
    device_->ListenForOperationEnds([this] { clock_->Wake(); });
    clock_->Start();
    return true;
}

bool DeviceSession::PickDevice(std::vector<std::string>& args, std::string& error) {
    const bool requested = std::find(args.begin(), args.end(), "--device") != args.end();
    std::string path;
    if (!::PickDevice(usb_.Backend(), args, path, error))
        return false;
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (requested)
        requestedPath_ = path;
    device_->DevicePath.Set(path);
    return true;
}

bool DeviceSession::FindDevice() {
    if (requestedPath_.empty())
        return device_->FindDeviceNow();  // not the UI thread: a fresh look at the bus
    for (const DfuInterfaceInfo& info : usb_.Backend().EnumerateDfuInterfaces()) {
        std::string path = info.path;
        std::transform(path.begin(), path.end(), path.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (path == requestedPath_ && info.description) {
            device_->DevicePath.Set(path);
            return true;
        }
    }
    return false;
}

int RunInDeviceSession(const std::vector<std::string>& arguments,
                       const std::function<int(DeviceSession&, std::vector<std::string>&)>& command) {
    std::vector<std::string> args = arguments;
    DeviceSession session;
    std::string error;
    if (!session.Open(args, error))
        return SessionStartFailure(session.OpenFailedOnUsage(), error);
    int result = command(session, args);
    if (!session.Finish(error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        if (result == ExitSuccess)
            result = ExitFailure;
    }
    return result;
}

std::string RangeText(std::uint32_t address, std::uint32_t length) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08X-0x%08X", static_cast<unsigned>(address),
                  static_cast<unsigned>(address + length - 1));
    return text;
}

bool LiesInDataFlash(DeviceSession& session, std::uint32_t address, std::uint32_t length, std::uint8_t properties) {
    DfuDeviceMap map;
    if (map.Read(session.Engine(), session.Device().DevicePath.Get()) != STDFU_NOERROR)
        return true;
    const DfuMapping* entry = map.EntryOf(1);
    return entry == nullptr || RangeHasProperties(*entry, address, length, properties);
}

bool DeviceHoldsTodaysDate(CDfuDevice& device, std::string& read) {
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    const std::string expected = localtime_r(&now, &today) != nullptr ? DfuPreparation::DateStampBytes(today) : "";
    std::vector<std::uint8_t> bytes;
    if (expected.empty() || !device.ReadRegion({DfuPreparation::DateStampAddress,
                                                static_cast<std::uint32_t>(expected.size())}, bytes)) {
        read = "(unreadable)";
        return false;
    }
    const std::string held(bytes.begin(), bytes.end());
    read = PrintableText(held.substr(0, 8));
    return held == expected;
}
