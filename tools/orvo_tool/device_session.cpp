#include "device_session.h"

#include <filesystem>

namespace fs = std::filesystem;

DeviceSession::DeviceSession() = default;

DeviceSession::~DeviceSession() {
    monitor_.reset();  // no tick may run once the device object goes
}

bool DeviceSession::Open(std::vector<std::string>& args, std::string& error) {
    if (!usb_.Start(args, error))
        return false;
    if (!folder_.Create("orvo-tool", error))
        return false;
    // The device's working files ("connectTest", "Date") go into the folder.
    device_ = std::make_unique<CDfuDevice>((fs::path(folder_.Path()) / "orvo-tool").string(), usb_.Library(),
                                           usb_.Backend());
    device_->AttachUi(&bar_, &box_, &signals_);
    signals_.ShowProgress = 1;
    monitor_ = std::make_unique<MonitorTimer>(*device_);
    return true;
}

bool DeviceSession::PickDevice(std::vector<std::string>& args, std::string& error) {
    std::string path;
    if (!::PickDevice(usb_.Backend(), args, path, error))
        return false;
    device_->DevicePath.Set(path);
    return true;
}

