#include "device_session.h"

#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

DeviceSession::DeviceSession() {
    std::error_code ignored;
    const fs::path folder = fs::temp_directory_path(ignored) / ("orvo-tool-" + std::to_string(::getpid()));
    fs::create_directories(folder, ignored);
    folder_ = folder.string();
}

DeviceSession::~DeviceSession() {
    monitor_.reset();  // no tick may run once the device object goes
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool DeviceSession::Open(std::vector<std::string>& args, std::string& error) {
    if (!usb_.Start(args, error))
        return false;
    // The device's working files ("connectTest", "Date") go into the folder.
    device_ = std::make_unique<CDfuDevice>((fs::path(folder_) / "orvo-tool").string(), usb_.Library(),
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

