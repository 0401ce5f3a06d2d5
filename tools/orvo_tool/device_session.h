#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console_ui.h"
#include "device/dfu_device.h"
#include "update/cycle_signals.h"

class VirtualUsbBus;
class VirtualOrvo;

// What a device command of orvo-tool needs to run the updater's own device
// operations from a terminal: a CDfuDevice whose working files go to a
// private temporary folder, console stand-ins for the progress bar and the
// message box, and timer 0 ticking the operation monitor. With
// `--virtual[=FLASH_FILE]` the device is a virtual Orvo on a virtual bus
// (its flash loaded from and saved back to FLASH_FILE when given; a missing
// file starts a fresh device); otherwise real devices through libusb.
class DeviceSession {
public:
    DeviceSession();
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Takes --virtual[=FLASH_FILE] out of `args` and sets up the bus.
    bool Open(std::vector<std::string>& args, std::string& error);
    // Finds the device; prints why not to stderr when there is none.
    bool FindDevice();
    // Writes the virtual Orvo's flash back to its file, if it has one.
    bool SaveFlash(std::string& error);

    CDfuDevice& Device() { return *device_; }
    CycleSignals& Signals() { return signals_; }
    ConsoleProgressBar& Bar() { return bar_; }
    ConsoleMessageBox& Box() { return box_; }

private:
    std::string folder_;
    ConsoleProgressBar bar_;
    ConsoleMessageBox box_;
    CycleSignals signals_;
    std::unique_ptr<CDfuDevice> device_;
    std::unique_ptr<VirtualUsbBus> bus_;
    std::shared_ptr<VirtualOrvo> orvo_;
    std::string flashFile_;
    std::unique_ptr<MonitorTimer> monitor_;
};

// Control characters and bytes above 0x7E shown as \xNN.
std::string PrintableText(const std::string& text);
