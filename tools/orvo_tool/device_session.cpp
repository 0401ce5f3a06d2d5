#include "device_session.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "device/dfu_protocol.h"
#include "device/usb/usb_backend.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

namespace fs = std::filesystem;

DeviceSession::DeviceSession() {
    std::error_code ignored;
    const fs::path folder = fs::temp_directory_path(ignored) / ("orvo-tool-" + std::to_string(::getpid()));
    fs::create_directories(folder, ignored);
    folder_ = folder.string();
    // The device's working files ("connectTest", "Date") go into this folder.
    device_ = std::make_unique<CDfuDevice>((folder / "orvo-tool").string());
    device_->AttachUi(&bar_, &box_, &signals_);
}

DeviceSession::~DeviceSession() {
    monitor_.reset();
    if (bus_) {
        bus_->UnplugAll();
        SetUsbBackend(nullptr);
    }
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool DeviceSession::Open(std::vector<std::string>& args, std::string& error) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == "--virtual" || it->rfind("--virtual=", 0) == 0) {
            if (it->size() > 10)
                flashFile_ = it->substr(10);
            orvo_ = std::make_shared<VirtualOrvo>();
            args.erase(it);
            break;
        }
    }
    if (orvo_) {
        if (!flashFile_.empty() && fs::exists(flashFile_) && !orvo_->LoadFlash(flashFile_, error))
            return false;
        bus_ = std::make_unique<VirtualUsbBus>();
        bus_->Plug(orvo_);
        SetUsbBackend(bus_.get());
    }
    monitor_ = std::make_unique<MonitorTimer>(*device_);
    return true;
}

bool DeviceSession::FindDevice() {
    if (device_->FindDevice())
        return true;
    bool any = false;
    for (const DfuInterfaceInfo& info : CurrentUsbBackend().EnumerateDfuInterfaces()) {
        any = true;
        std::fprintf(stderr, "%s: product string unreadable (%s)%s\n", info.path.c_str(),
                     UsbStatusName(info.descriptionStatus),
                     info.descriptionStatus == UsbStatus::AccessDenied
                         ? ": no access for this user; install the udev rule for DFU-mode devices"
                         : "");
    }
    if (!any)
        std::fprintf(stderr, "no DFU-mode device found\n");
    return false;
}

bool DeviceSession::SaveFlash(std::string& error) {
    if (!orvo_ || flashFile_.empty())
        return true;
    return orvo_->SaveFlash(flashFile_, error);
}

std::string PrintableText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}
