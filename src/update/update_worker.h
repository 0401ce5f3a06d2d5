#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/cycle_events.h"
#include "database/http_download.h"
#include "update/cycle_operations.h"
#include "update/cycle_request.h"
#include "update/update_state.h"

class CDfuDevice;
class Resources;
class ViewPort;
struct CycleSignals;

// Runs update cycles one after another on a thread of its own: wait for an
// Orvo, identify it, download and convert its database, write it and a date
// stamp, report, wait for the unplug, start again. It never polls: to wait for
// a device to come or go it has its view (the engine's clock) start a timer
// and sleeps on StepEvent until that timer's tick sets it.
//
// It tells the UI what to show only through the device's event channel (the
// status, the errors and the notice; the window's listeners draw them) and
// reaches the view itself only for its timers and questions; after a stop
// request it calls on the view no more, so the UI thread may Join it safely.
//
// It says what the cycle does on the device's event channel: each state it
// enters, the identification, the phases it runs itself (identify, download,
// convert; the device's write publishes its own), its errors, the success
// notice, and once per cycle that identified an Orvo the outcome with its
// cause, the bytes downloaded and the time of each phase. A cycle that a stop
// request cuts short ends as interrupted, the only event after the stop.
class UpdateWorker {
public:
    // Texts come from `resources`, which the UI thread may switch to another
    // language while the worker runs.
    UpdateWorker(CDfuDevice& device, CycleOperations& operations, ViewPort& view, CycleSignals& signals,
                 const Resources& resources);
    // Stops and joins a worker that is still running.
    ~UpdateWorker();
    UpdateWorker(const UpdateWorker&) = delete;
    UpdateWorker& operator=(const UpdateWorker&) = delete;

    // Starts the thread once; later calls do nothing.
    void Start();
    // Any thread, never blocks: the worker ends at its next step or wait.
    // Also interrupts the running operation (CycleOperations::Interrupt).
    void RequestStop();
    // Any thread. The next cycle that identifies an Orvo (the one waiting
    // now, or the next after an unplug) writes `request` instead of the
    // server's database; the cycle after it goes back to the server. Refused
    // while a cycle is past its identification; starts now when the cycle
    // before has ended and its Orvo is still attached.
    CycleRequestAnswer RequestCycle(CycleRequest request);
    void Join();

    // True from the start of the database write until the date stamp has
    // ended: closing the program then leaves the Orvo half written.
    bool IsWritingDevice() const { return writing_.load(); }
    bool Finished() const { return finished_.load(); }
    // True from a cycle that ended in Failed until a later one succeeds. A
    // failed cycle no longer ends the worker: it waits for the Orvo to be
    // reconnected.
    bool LastCycleFailed() const { return lastCycleFailed_.load(); }

private:
    // What the open cycle did, gathered from the channel, where the device's
    // phases and errors arrive too (some on the thread that ticks the monitor).
    class CycleRecord final : public CycleEventListener {
    public:
        void OnCycleEvent(const CycleEvent& event) override;
        void Reset();
        PhaseDurations Durations() const;
        std::string LastError() const;
        // The last error's string id and values (0: none).
        void LastErrorCause(std::uint16_t& id, std::vector<std::string>& args) const;

    private:
        mutable std::mutex mutex_;
        PhaseDurations durations_{};
        std::string lastError_;
        std::uint16_t lastErrorId_ = 0;
        std::vector<std::string> lastErrorArgs_;
    };

    void Run();
    UpdateState Step(UpdateState state);
    UpdateState WaitForDevice();
    UpdateState Download();
    UpdateState Convert();
    UpdateState Write();
    UpdateState Succeeded();
    UpdateState WaitForUnplug();
    UpdateState StartFreshCycle();
    UpdateState Fail();
    // "No" to the smaller database: the Orvo keeps what it holds.
    UpdateState KeepDatabase();

    // Identifies the attached device; true when it is an Orvo.
    bool Identify();
    // Takes the pending request (or the server's) for the cycle about to
    // identify a device; puts it back when no Orvo was accepted.
    void TakeRequest();
    void ReturnRequest();
    // For a source other than the server: the request's database in the
    // working files, or a failure text.
    PrepareOutcome PrepareRequested(const std::string& base);
    // Asks before a database with fewer than half the Orvo's records is
    // written; false when the user said No.
    bool ConfirmSize(const std::string& base);
    // The line under the serial that says what the Orvo held at the start.
    void ShowSerialWithHoldings();
    void Publish(const CycleEvent& event) const;
    // An error that ends the cycle, of `kind`, for `cause`.
    void PublishError(CycleErrorKind kind, ErrorCause cause, const std::string& text, std::uint16_t textId = 0,
                      std::vector<std::string> args = {}) const;
    // Publishes CycleEnded for the open cycle, if there is one, and closes it.
    // `fallbackCause` stands in when no error said what went wrong.
    void EndCycle(CycleOutcome outcome, const std::string& fallbackCause = {});

    bool WaitForView(int timerId, int periodMs);
    void ShowStatus(CycleStatus status);
    // The cycle ends for its working files (text 112), or for the server's
    // answer (text 113 with what the download failed on).
    void PublishWorkingFilesError();
    void PublishDownloadError(CycleErrorKind kind);
    bool Stopping() const { return stopRequested_.load(); }
    std::string DatabaseBase() const;

    CDfuDevice& device_;
    CycleOperations& operations_;
    ViewPort& view_;
    CycleSignals& signals_;
    const Resources& resources_;

    // The serial the current cycle's database was downloaded for; worker
    // thread only.
    std::string cycleSerial_;
    // The path of the device the current cycle works on (DevicePath as it
    // was identified); worker thread only.
    std::string cyclePath_;
    // How this cycle's download ended; worker thread only.
    DownloadResult lastDownload_;
    // Keeps the failure text up while the cycle waits for the next Orvo.
    bool showFailedUntilArrival_ = false;
    // From the acceptance of an Orvo until its cycle's outcome; worker thread only.
    bool cycleOpen_ = false;
    bool alreadyCurrent_ = false;
    std::string failedCause_;
    CycleRecord record_;
    // What this cycle writes, and what the Orvo held before and after;
    // worker thread only.
    CycleRequest cycleRequest_;
    DatabaseHoldings holdingsBefore_;
    DatabaseHoldings holdingsAfter_;

    // RequestCycle's request until a cycle takes it; `requestTaken_` from
    // then until its cycle ends. The lock also keeps the start of the wait
    // for an unplug and a request's release of it apart.
    std::mutex requestMutex_;
    std::optional<CycleRequest> pendingRequest_;
    bool requestTaken_ = false;
    // A request came that no cycle has taken yet: the wait for an unplug
    // ends, so that the Orvo still attached gets the requested cycle.
    bool requestArrived_ = false;
    // While the worker waits for an ended cycle's Orvo to go, that Orvo
    // still attached, with the removal timer running: a request stops the
    // timer and starts its cycle at once.
    bool waitingOnAttachedOrvo_ = false;

    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> writing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> lastCycleFailed_{false};
};
