#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console_ui.h"
#include "device/dfu_device.h"
#include "common/cycle_signals.h"
#include "tool_support/private_folder.h"
#include "usb_session.h"

// What a command needs to run the updater's own device operations from a
// terminal: the USB session (--virtual, --capture, ...), a CDfuDevice whose
// working files go to a private temporary folder (PrivateTempFolder), console stand-ins for the
// progress bar and the message box, and timer 0 ticking the operation
// monitor while the session lives.
class DeviceSession {
public:
    DeviceSession();
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Takes the USB session's options out of `args`, starts the session and
    // builds the device on its engine and backend.
    bool Open(std::vector<std::string>& args, std::string& error);
    // Picks the device (--device PATH, or the updater's discovery rule) and
    // makes it the one the operations address.
    bool PickDevice(std::vector<std::string>& args, std::string& error);
    bool OpenFailedOnUsage() const { return usb_.FailedOnUsage(); }
    static std::string OptionsHelp() { return UsbSession::OptionsHelp(); }
    // Saves the virtual Orvo's flash to its file, if it has one.
    bool Finish(std::string& error) { return usb_.Finish(error); }

    // After a successful Open.
    CDfuDevice& Device() { return *device_; }
    DfuProtocolEngine& Engine() { return usb_.Engine(); }
    CycleSignals& Signals() { return signals_; }
    const std::string& Folder() const { return folder_.Path(); }

private:
    // Declared first: removed after the device and its monitor are gone.
    PrivateTempFolder folder_;
    ConsoleProgressBar bar_;
    ConsoleMessageBox box_;
    CycleSignals signals_;
    UsbSession usb_;
    std::unique_ptr<CDfuDevice> device_;
    std::unique_ptr<MonitorTimer> monitor_;
};

