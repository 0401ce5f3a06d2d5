#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "common/cycle_events.h"

class MessageBoxPort;
class ProgressBarPort;
struct CycleSignals;

// What the progress bar shows while a DFU-mode device is present that this
// user may not open; the DeviceAccess event's hint says the same at length.
inline constexpr const char* DeviceAccessBarText = "No USB permission: install the udev rule 70-orvo-dfu.rules";
// What the bar says when the identity read back is stored while progress shows.
inline constexpr const char* VerifySuccessfulText = "Verify successful !";

// Draws the channel's events on the window's progress bar and in its message
// boxes: position, text and colours of the bar, and which box an error opens.
// The window subscribes one with its own bar and view; tests use recording
// ports. It listens on the publishing thread, as the ports allow, and a box
// blocks that thread until dismissed, as a modal box does.
//
// Whether a running operation's progress shows is the worker's choice
// (CycleSignals::ShowProgress): nothing of the identity read belongs on the
// bar during a cycle, and the tools show everything.
class CycleDisplay final : public CycleEventListener {
public:
    // `errorCaption` gives the title of an error box in the current
    // language; `lookup` the texts of the string ids errors carry, so that
    // bar and box show them in the language in force (without it they show
    // the published text). Subscribes to `channel` until destroyed; destroy
    // it only once nothing publishes on the channel any more.
    CycleDisplay(CycleEventChannel& channel, ProgressBarPort& bar, MessageBoxPort& boxes,
                 const CycleSignals& signals, std::function<std::string()> errorCaption = {},
                 std::function<std::string(int stringId)> lookup = {});
    ~CycleDisplay() override;
    CycleDisplay(const CycleDisplay&) = delete;
    CycleDisplay& operator=(const CycleDisplay&) = delete;

    void OnCycleEvent(const CycleEvent& event) override;

private:
    bool ShowingProgress() const;
    void Started(DeviceOperation operation);
    void Progress(int percent);
    void Finished(const CycleEvents::OperationFinished& finished);
    void Error(const CycleEvents::Error& error);
    std::string TextOf(const CycleEvents::Error& error) const;
    void Access(const std::string& hint);
    std::string AccessBarText() const;
    void ShowOnBar(const std::string& text);
    // Every text the display puts on the bar goes through here, so that it
    // knows what it shows without reading the bar back.
    void SetBarText(const std::string& text);
    void ShowBox(const std::string& text);

    CycleEventChannel& channel_;
    ProgressBarPort& bar_;
    MessageBoxPort& boxes_;
    const CycleSignals& signals_;
    std::function<std::string()> errorCaption_;
    // From "Downloading data" until the cycle's end: the bar keeps the
    // write's colours through the reads the write makes (compare, backup,
    // verify, what the Orvo holds afterwards), so that it ends green.
    std::atomic<bool> cycleWriting_{false};
    std::function<std::string(int)> lookup_;
    // From the start of the download or the conversion to the conversion's
    // end: the animation writes the bar's text meanwhile.
    std::atomic<bool> animating_{false};
    // What this display last put on the bar, and what an access problem
    // covered: the problem's text goes once the problem has, and the covered
    // text comes back unless something was written over it meanwhile.
    std::mutex textMutex_;
    std::string barText_;
    bool accessProblemShown_ = false;
    bool accessProblemCovered_ = false;
    std::string textBeforeAccessProblem_;
};
