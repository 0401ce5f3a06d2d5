#include "usb_session.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tool_support/command_registry.h"
#include "tool_support/input_file.h"
#include "device/dfu/dfu_library.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "device/dfu_device.h"
#include "device/usb/default_usb_backend.h"
#include "device/usb/pcap_capture.h"
#include "device/usb/usb_backend.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

namespace {

bool TakeVirtual(std::vector<std::string>& args, bool& present, std::string& file) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == "--virtual" || it->rfind("--virtual=", 0) == 0) {
            present = true;
            file = *it == "--virtual" ? "" : it->substr(10);
            args.erase(it);
            return true;
        }
    }
    return false;
}

bool ParseTiming(const std::string& text, OrvoTiming& timing) {
    if (text.empty() || text == "instant") {
        timing = OrvoTiming::Instant();
        return true;
    }
    if (text == "real") {
        timing = OrvoTiming::Real();
        return true;
    }
    char* end = nullptr;
    const double factor = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !(factor > 0.0) || factor > 100.0)
        return false;
    timing = OrvoTiming::Scaled(factor);
    return true;
}

}  // namespace

UsbSession::UsbSession() = default;

UsbSession::~UsbSession() = default;

DfuLibrary& UsbSession::Library() const { return *library_; }

bool UsbSession::Start(std::vector<std::string>& args, std::string& error) {
    failedOnUsage_ = true;
    bool isVirtual = false;
    TakeVirtual(args, isVirtual, flashFile_);
    std::string timingText;
    const bool hasTiming = TakeOption(args, "--virtual-timing", timingText);
    std::string capturePath;
    const bool capture = TakeOption(args, "--capture", capturePath);

    if (hasTiming && !isVirtual) {
        error = "--virtual-timing needs --virtual";
        return false;
    }
    if (isVirtual) {
        VirtualOrvoConfig config;
        if (!ParseTiming(timingText, config.timing)) {
            error = "--virtual-timing must be instant, real or a positive factor";
            return false;
        }
        failedOnUsage_ = false;
        // A missing flash file starts a fresh device; anything but a regular
        // file is refused before it is opened (a FIFO would hold us).
        if (!flashFile_.empty() && (!CheckRegularFile(flashFile_, true, error) || !CheckOutputFile(flashFile_, error)))
            return false;
        orvo_ = std::make_shared<VirtualOrvo>(config);
        if (!flashFile_.empty() && std::filesystem::exists(flashFile_) && !orvo_->LoadFlash(flashFile_, error)) {
            orvo_.reset();  // nothing of a refused file is saved over it
            return false;
        }
        // Kept current from here on: a cut-off write shows in the file.
        if (!flashFile_.empty() && !orvo_->KeepFlashIn(flashFile_, error)) {
            orvo_.reset();
            return false;
        }
        bus_ = std::make_unique<VirtualUsbBus>();
        bus_->Plug(orvo_);
    }
    UsbBackend& inner = bus_ ? static_cast<UsbBackend&>(*bus_) : DefaultUsbBackend();
    failedOnUsage_ = false;
    if (capture && !CheckOutputFile(capturePath, error))
        return false;
    if (capture) {
        capture_ = CapturingUsbBackend::Start(inner, capturePath, error);
        if (!capture_)
            return false;
        backend_ = capture_.get();
    } else {
        backend_ = &inner;
    }
    engine_ = std::make_unique<DfuProtocolEngine>(*backend_);
    library_ = std::make_unique<EngineDfuLibrary>(*engine_);
    return true;
}

bool UsbSession::Finish(std::string& error) {
    if (orvo_ && !flashFile_.empty())
        return orvo_->SaveFlash(flashFile_, error);
    return true;
}

std::string UsbSession::OptionsHelp() {
    return "  --virtual[=FLASH_FILE] a virtual Orvo instead of real devices; its 8 MiB flash is loaded from\n"
           "                         and saved to FLASH_FILE (a missing file starts an erased device)\n"
           "  --virtual-timing=instant|real|FACTOR  the virtual Orvo's speed (default instant)\n"
           "  --capture FILE.pcap    record every USB transfer in the usbmon format\n";
}

std::string DeviceOptionHelp() {
    return "  --device PATH          the device to use (default: the one the updater would use)\n";
}

std::string AccessHint(const std::string& path) {
    return path + ": no permission to open the device. Install the udev rule "
                  "packaging/udev/70-orvo-dfu.rules into /etc/udev/rules.d/, run "
                  "'udevadm control --reload' and plug the device in again (see docs/usb-access.md).";
}

bool PickDevice(UsbBackend& backend, std::vector<std::string>& args, std::string& path, std::string& error) {
    if (TakeOption(args, "--device", path))
        return true;
    const auto found = backend.EnumerateDfuInterfaces();
    const DfuDeviceChoice choice = ChooseDfuDevice(found);
    path = choice.found ? choice.path : std::string();
    if (choice.found)
        return true;
    // Not one description could be read: each interface says why.
    std::string problems;
    for (const DfuInterfaceInfo& info : found) {
        if (info.descriptionStatus == UsbStatus::AccessDenied)
            problems += "\n  " + AccessHint(info.path);
        else
            problems += "\n  " + info.path + ": product string unreadable (" +
                        UsbStatusName(info.descriptionStatus) + ")";
    }
    error = found.empty() ? "no DFU-mode device found" : "no usable DFU-mode device:" + problems;
    return false;
}

int SessionStartFailure(bool onUsage, const std::string& error) {
    if (onUsage)
        return UsageError(error);
    std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
    return ExitFailure;
}
