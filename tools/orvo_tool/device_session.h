#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/cycle_signals.h"
#include "common/silent_ports.h"
#include "console_ui.h"
#include "device/dfu_device.h"
#include "update/engine_clock.h"
#include "update/view_timer_rules.h"
#include "tool_support/private_folder.h"
#include "usb_session.h"

// What a command needs to run the updater's own device operations from a
// terminal: the USB session (--virtual, --capture, ...), a CDfuDevice whose
// working files go to a private temporary folder, the device's events shown
// on the console, and the engine's clock while the session lives: the
// operation monitor from the start (woken at once when an operation ends)
// and the worker's presence checks.
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

    // Whether the picked device is attached now: with --device, that path
    // among the DFU-mode interfaces; otherwise the updater's own search.
    bool FindDevice();

    // After a successful Open.
    CDfuDevice& Device() { return *device_; }
    DfuProtocolEngine& Engine() { return usb_.Engine(); }
    CycleSignals& Signals() { return signals_; }
    // What the worker takes for its view: the clock, whose boxes and
    // questions are the update engine's requests.
    ViewPort& View() { return *clock_; }
    // The session's clock, for the update engine to run on.
    EngineClock& Clock() { return *clock_; }
    // How the update engine's questions are answered (No by default).
    void AnswerQuestions(bool yes) { answers_.AnswerQuestions(yes); }
    // Answers an update engine's requests on the console.
    ConsoleAnswers& Answers() { return answers_; }
    ConsoleEvents& Console() { return console_; }
    const std::string& Folder() const { return folder_.Path(); }

private:

    // Declared first: removed after the device and its timers are gone.
    PrivateTempFolder folder_;
    // The window's bar shows nothing here, not even the download's animation:
    // the console listens to the device's events instead.
    SilentProgressBar bar_;
    CycleSignals signals_;
    ConsoleEvents console_{StdoutIsTerminal()};
    UsbSession usb_;
    std::unique_ptr<CDfuDevice> device_;
    std::string requestedPath_;  // --device PATH, upper case
    // Behind the clock: nothing is drawn, and no question reaches it while
    // an engine runs.
    SilentView view_;
    ConsoleAnswers answers_;
    std::unique_ptr<ViewTimerRules> rules_;
    std::unique_ptr<EngineClock> clock_;
};

// Opens a session on `arguments` and runs `command` in it. The virtual flash
// is saved whatever happened, so that what a failed write left can be
// inspected; a flash that could not be saved turns success into failure.
int RunInDeviceSession(const std::vector<std::string>& arguments,
                       const std::function<int(DeviceSession&, std::vector<std::string>&)>& command);

// Whether [address, address + length) lies in sectors of the device's data
// flash that have all of `properties` (kSector* bits); true when the map
// cannot be read, since the operation itself then says what is wrong.
bool LiesInDataFlash(DeviceSession& session, std::uint32_t address, std::uint32_t length, std::uint8_t properties);

// "0x00510000-0x0051003F" for `length` bytes at `address` (length not 0).
std::string RangeText(std::uint32_t address, std::uint32_t length);

// Reads the device's date stamp back and says whether it is today's, as the
// updater writes it; `read` gets what the device holds, printable.
bool DeviceHoldsTodaysDate(CDfuDevice& device, std::string& read);
