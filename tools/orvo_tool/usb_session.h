#pragma once

#include <memory>
#include <string>
#include <vector>

class UsbBackend;
class DfuLibrary;
class DfuProtocolEngine;
class EngineDfuLibrary;
class VirtualUsbBus;
class VirtualOrvo;
class CapturingUsbBackend;

// The USB side of one tool command: real devices through the default backend,
// or with --virtual[=FLASH_FILE] a virtual Orvo on a virtual bus (its flash
// kept in FLASH_FILE between runs; a missing file starts a fresh device), and
// with --capture FILE.pcap every control transfer recorded in usbmon format.
// Once started, the session has a protocol engine on its backend and the DFU
// libraries over that engine, for the command's operations.
class UsbSession {
public:
    UsbSession();
    ~UsbSession();
    UsbSession(const UsbSession&) = delete;
    UsbSession& operator=(const UsbSession&) = delete;

    // Takes --virtual, --virtual-timing and --capture out of args and builds
    // the backend and its engine. False with a reason on a bad option or file.
    bool Start(std::vector<std::string>& args, std::string& error);
    // Saves the virtual flash to its file, if there is one.
    bool Finish(std::string& error);

    bool IsVirtual() const { return bus_ != nullptr; }
    // After a successful Start.
    UsbBackend& Backend() const { return *backend_; }
    DfuProtocolEngine& Engine() const { return *engine_; }
    DfuLibrary& Library() const;
    // After a failed Start: whether the command line was wrong (rather than
    // a file that could not be used).
    bool FailedOnUsage() const { return failedOnUsage_; }

    // The session's options, one per line, for the commands' help.
    static std::string OptionsHelp();

    static const char* OptionsUsage() { return "[--virtual[=FLASH_FILE]] [--virtual-timing=instant|real|FACTOR] [--capture FILE.pcap]"; }

private:
    std::unique_ptr<VirtualUsbBus> bus_;
    std::shared_ptr<VirtualOrvo> orvo_;
    std::string flashFile_;
    std::unique_ptr<CapturingUsbBackend> capture_;
    UsbBackend* backend_ = nullptr;
    // Declared after the backends: the engine joins its transfers first.
    std::unique_ptr<DfuProtocolEngine> engine_;
    std::unique_ptr<EngineDfuLibrary> library_;
    bool failedOnUsage_ = false;
};

// The device a command works on: --device PATH, or else the one the updater
// would choose (ChooseDfuDevice: the last DFU-mode interface enumerated, once
// any description could be read). When none is usable, the error names each
// interface and why, with the fix for missing access.
bool PickDevice(UsbBackend& backend, std::vector<std::string>& args, std::string& path, std::string& error);

// The --device option, one line for the commands' help.
std::string DeviceOptionHelp();

// Text for a device that cannot be opened for lack of access rights.
std::string AccessHint(const std::string& path);

// The exit code of a command whose session would not start, after saying why
// in one line: a wrong command line (`onUsage`) is a usage error, anything
// else (a flash file that cannot be read, no backend) a failure.
int SessionStartFailure(bool onUsage, const std::string& error);
