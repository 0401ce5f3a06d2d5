#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

// What an update cycle did, said as typed events on one channel. The worker,
// the device operations and the status reports publish; the window's progress
// bar and status text, the message boxes, the console of orvo-tool, the
// history and the log listen. A listener never has to read a caption or a
// colour back to learn what happened.

// The steps of a cycle that are reported and timed.
enum class CyclePhase : std::uint8_t {
    Identify,
    Download,
    Convert,
    Compare,
    Backup,
    Erase,
    Write,
    Verify,
    DateStamp,
    Read,
};
inline constexpr std::size_t CyclePhaseCount = 10;

// Stable lower-case names: the console, the log and the history use them.
inline const char* PhaseName(CyclePhase phase) {
    static constexpr std::array<const char*, CyclePhaseCount> names = {
        "identify", "download", "convert", "compare", "backup", "erase", "write", "verify", "date stamp", "read",
    };
    const auto index = static_cast<std::size_t>(phase);
    return index < names.size() ? names[index] : "unknown";
}

// Where the database of a cycle came from.
enum class CycleSource : std::uint8_t { Server, File, Restore };
inline const char* SourceName(CycleSource source) {
    switch (source) {
    case CycleSource::Server: return "server";
    case CycleSource::File: return "file";
    case CycleSource::Restore: return "restore";
    }
    return "unknown";
}

// Kept: the user chose to keep the database the Orvo holds (the smaller
// database was declined); nothing was written.
enum class CycleOutcome : std::uint8_t { Succeeded, AlreadyCurrent, Failed, Interrupted, Kept };
inline const char* OutcomeName(CycleOutcome outcome) {
    switch (outcome) {
    case CycleOutcome::Succeeded: return "succeeded";
    case CycleOutcome::AlreadyCurrent: return "already current";
    case CycleOutcome::Failed: return "failed";
    case CycleOutcome::Interrupted: return "interrupted";
    case CycleOutcome::Kept: return "kept";
    }
    return "unknown";
}

// What an error was about; the fixed text the user sees travels with it.
enum class CycleErrorKind : std::uint8_t {
    Download,      // no usable answer from the update server
    Conversion,    // the answer held no valid record
    WorkingFiles,  // a working file could not be written or read
    Device,        // a DFU operation failed; the status report says how
    Verify,        // the device read back differently from what was written
    Identity,      // the attached device is not an Orvo, or could not be read
};

// What a database region holds, read from its date stamp and header.
struct DatabaseHoldings {
    bool known = false;          // false: not read (yet)
    bool hasDatabase = false;    // a readable header
    std::string date;            // "dd.mm.yy", empty when the date stamp is erased
    std::uint32_t records = 0;   // from the header
};

using PhaseDurations = std::array<std::chrono::milliseconds, CyclePhaseCount>;

// The DFU operations on the device, as the progress bar tells them apart: a
// write (and the erase chained before it), an erase of its own, a read of a
// region, and the read of the identity block.
enum class DeviceOperation : std::uint8_t { Write, Erase, Read, IdentityRead };

// What exactly went wrong; with the severity it decides where a window shows
// the error (src/ui/error_placement.h). The console, the history and the log
// take only the kind and the text.
enum class ErrorCause : std::uint8_t {
    DeviceStep,          // a step on the device could not be done: no memory map, no image, an unreadable read
    OperationFailed,     // a DFU operation failed; the status report says how
    ReadBackDiffers,     // the device read back differently from what was written
    UnsupportedFeature,  // the device's firmware does not support what was asked
    WorkingFile,         // a working file could not be written or read
    DownloadUnusable,    // the update server's answer could not be used
    RequestUnusable,     // the user's file or kept backup cannot be written into this Orvo
    OtherDevice,         // another device is attached than the one the cycle is for
};
inline constexpr std::size_t ErrorCauseCount = 8;

// How far an error reaches: one step of the work on the device, which goes
// on to report its own end, or the whole cycle, which ends in Failed for it.
enum class ErrorSeverity : std::uint8_t { Step, Cycle };

// What the status text says about the cycle.
enum class CycleStatus : std::uint8_t {
    WaitingForOrvo,       // "Connect your Orvo"
    Connecting,           // an Orvo was accepted
    PreparingForSerial,   // the serial, and what the Orvo holds
    WaitingForReconnect,  // the Orvo went before its write
    Writing,
    Complete,
    Failed,               // stays until the next Orvo is found
    Kept,                 // the user kept the Orvo's database
};

namespace CycleEvents {

// The worker entered a state (the value of UpdateState).
struct StateEntered {
    std::int32_t state = 0;
};
// The names of the worker's states by their values, for the log and the
// console; "state N" for a value without a name.
inline std::string CycleStateName(std::int32_t state) {
    static constexpr std::array<const char*, 8> names = {
        "restart", "download", "convert", "wait for device", "write", "succeeded", "wait for unplug", "failed",
    };
    return state >= 0 && static_cast<std::size_t>(state) < names.size() ? names[static_cast<std::size_t>(state)]
                                                                         : "state " + std::to_string(state);
}
// An attached device was identified (or refused).
struct DeviceIdentified {
    std::string path;
    std::string serial;  // empty when the device was refused or unreadable
    bool accepted = false;
    // Where the database this cycle writes comes from.
    CycleSource source = CycleSource::Server;
};
// What the identified Orvo holds before anything is written.
struct HoldingsRead {
    std::string serial;
    DatabaseHoldings holdings;
};
struct PhaseStarted {
    CyclePhase phase{};
};
// Progress within a phase, 0.0 to 1.0.
struct PhaseProgress {
    CyclePhase phase{};
    double fraction = 0.0;
};
struct PhaseEnded {
    CyclePhase phase{};
    bool succeeded = false;
    std::chrono::milliseconds duration{0};
};
// The update server's answer; `request` is the query without its signature.
struct DownloadAnswered {
    std::string request;
    long httpStatus = 0;
    std::uint64_t bytes = 0;
    // Where a redirect led: the address that answered, without the
    // signature; empty when the request was answered where it was sent.
    std::string redirectedTo{};
};
struct Error {
    CycleErrorKind kind{};
    std::string text;          // the fixed text shown to the user
    std::string statusReport;  // device errors: the operation's status report
    ErrorCause cause = ErrorCause::DeviceStep;
    ErrorSeverity severity = ErrorSeverity::Step;
    // The string id of `text` (0: none) and the values it is formatted
    // with, so that a window renders it in the language in force.
    std::uint16_t textId = 0;
    std::vector<std::string> args{};
};
// A DFU operation was launched on the device.
struct OperationStarted {
    DeviceOperation operation{};
};
// The running operation's percent, as each poll of the monitor reads it.
struct OperationProgress {
    DeviceOperation operation{};
    int percent = 0;
};
// The operation ran to its end; `succeeded` is false when its result could
// not be used (a read whose bytes were unreadable; the error came first). A
// failed operation ends with an Error instead.
struct OperationFinished {
    DeviceOperation operation{};
    bool succeeded = false;
};
// Discovery found a DFU-mode device this user may not open (`hint` says what
// to do), or such a device has gone or become usable (`hint` empty).
struct DeviceAccess {
    std::string hint;
};
// What the status text says now; `serial` and `holdings` for
// PreparingForSerial.
struct StatusChanged {
    CycleStatus status{};
    std::string serial;
    DatabaseHoldings holdings;
};
// A text for the user that is not an error ("Upgrade successful !").
struct Notice {
    std::string text;
};
// One cycle that identified a device has ended.
struct CycleEnded {
    CycleOutcome outcome = CycleOutcome::Failed;
    CycleSource source = CycleSource::Server;
    std::string serial;
    std::string cause;  // empty on success; stable English text
    DatabaseHoldings before;
    DatabaseHoldings after;
    std::uint64_t bytesDownloaded = 0;
    PhaseDurations durations{};
    // The cause as a string id with its values (0: none), for rendering in
    // the language in force.
    std::uint16_t causeId = 0;
    std::vector<std::string> causeArgs{};
};

}  // namespace CycleEvents

// What a request asks of the front end: a box to dismiss, an error box to
// dismiss, a question answered Yes or No, or whether the window may close
// while the Orvo is being written (Yes closes it).
enum class CycleRequestKind : std::uint8_t { Box, ErrorBox, YesNo, CloseQuestion };

namespace CycleEvents {
// The cycle waits until a front end answers this request by its id (through
// the engine), or until it is stopped: the modal box or question of a front
// end, asked without calling into it. `caption` empty: the program's title.
struct Request {
    std::uint64_t id = 0;
    CycleRequestKind kind = CycleRequestKind::Box;
    std::string text;
    std::string caption;
};
}  // namespace CycleEvents

using CycleEvent = std::variant<CycleEvents::StateEntered, CycleEvents::DeviceIdentified, CycleEvents::HoldingsRead,
                                CycleEvents::PhaseStarted, CycleEvents::PhaseProgress, CycleEvents::PhaseEnded,
                                CycleEvents::DownloadAnswered, CycleEvents::Error, CycleEvents::Notice,
                                CycleEvents::CycleEnded, CycleEvents::OperationStarted,
                                CycleEvents::OperationProgress, CycleEvents::OperationFinished,
                                CycleEvents::DeviceAccess, CycleEvents::StatusChanged, CycleEvents::Request>;

class CycleEventListener {
public:
    virtual ~CycleEventListener() = default;
    // Called on the publishing thread (the worker, or the thread that ticks
    // the operation monitor). It must return promptly and must not publish.
    virtual void OnCycleEvent(const CycleEvent& event) = 0;
};

// Listeners are called in the order they subscribed, without a lock held, so
// a listener may block its publisher (a modal box does) without blocking
// other publishers. Unsubscribe only once nothing publishes any more (the
// worker joined, the operations stopped).
class CycleEventChannel {
public:
    void Subscribe(CycleEventListener& listener) {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<std::vector<CycleEventListener*>>(*listeners_);
        next->push_back(&listener);
        listeners_ = std::move(next);
    }
    // Ahead of every listener already there: what keeps a record of the
    // cycle hears each event before a display that may hold it in a box.
    void SubscribeFirst(CycleEventListener& listener) {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<std::vector<CycleEventListener*>>();
        next->push_back(&listener);
        next->insert(next->end(), listeners_->begin(), listeners_->end());
        listeners_ = std::move(next);
    }
    void Unsubscribe(CycleEventListener& listener) {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<std::vector<CycleEventListener*>>();
        for (CycleEventListener* each : *listeners_)
            if (each != &listener)
                next->push_back(each);
        listeners_ = std::move(next);
    }
    void Publish(const CycleEvent& event) const {
        std::shared_ptr<const std::vector<CycleEventListener*>> snapshot;
        {
            std::lock_guard lock(mutex_);
            snapshot = listeners_;
        }
        for (CycleEventListener* listener : *snapshot)
            listener->OnCycleEvent(event);
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const std::vector<CycleEventListener*>> listeners_ =
        std::make_shared<const std::vector<CycleEventListener*>>();
};
