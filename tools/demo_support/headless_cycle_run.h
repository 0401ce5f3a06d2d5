#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "common/cycle_events.h"

class DemoBench;
class Resources;

// Hands the cycle's outcomes from the worker's thread to the run on the UI
// thread. It is subscribed to the device's events and must outlive the
// worker; the front end attaches a wake-up while its run lives.
class CycleOutcomeRelay final : public CycleEventListener {
public:
    // What the run learns: a cycle's end, or the worker back at waiting.
    struct News {
        bool waiting = false;
        std::string serial;
        CycleOutcome outcome = CycleOutcome::Failed;
    };

    // `wake` is called on the worker's thread after news was queued; it
    // must get the UI thread to call Take. Empty: news is dropped.
    void Attach(std::function<void()> wake);
    void OnCycleEvent(const CycleEvent& event) override;
    // UI thread: the news queued since the last call.
    std::deque<News> Take();

private:
    void Queue(News news);

    std::mutex mutex_;
    std::function<void()> wake_;
    std::deque<News> news_;
};

// What the run needs of the front end it runs in, all on the UI thread.
struct HeadlessRunHost {
    // Runs `call` on the UI thread after `delayMs`, unless the run has ended.
    std::function<void(int delayMs, std::function<void()> call)> later;
    // The run's verdict; called once.
    std::function<void(int exitCode)> finished;
    // Called with "during-write" once the write is well under way and with
    // "upgrade-successful" when the success text shows (before the unplug).
    // Empty: no pictures.
    std::function<void(const char* moment)> snapshot;
};

// The unattended run, toolkit-free: one virtual Orvo is plugged in, every
// status text and progress-bar text is printed as it changes, the Orvo is
// unplugged once its cycle has succeeded, and the run ends once the cycle is
// back at waiting for a device (exit 0), on a failed cycle or on timeout
// (non-zero). What happened comes from the cycle's events; the texts are
// only printed. With the retry, a failure unplugs and replugs the Orvo, and
// the second cycle decides. With a second Orvo, it is plugged in after the
// first one's success and the first is pulled a little later; exit 0 needs
// both updated. Every call comes on the UI thread.
class HeadlessCycleRun {
public:
    // As every tool: 0 success, 1 the operation failed (the message on
    // stderr tells how); 2 is left to a wrong command line.
    static constexpr int ExitSucceeded = 0;
    static constexpr int ExitFailed = 1;
    static constexpr int ExitTimedOut = 1;
    static constexpr int ExitNoBench = 1;

    // `resources`: the ones the window shows its texts from.
    HeadlessCycleRun(DemoBench& bench, const Resources& resources, std::string serial, HeadlessRunHost host);

    // After a failed cycle: unplug the Orvo, plug it in again and judge the
    // second cycle instead.
    void SetRetry(bool retry) { retry_ = retry; }
    // The serial of a second Orvo, plugged in while the first still is.
    void SetSecond(std::string serial) { second_ = std::move(serial); }

    // `currentStatus`: what the window shows already (the worker starts
    // before the run is connected).
    void Start(const std::string& currentStatus);
    void OnStatus(const std::string& text);
    void OnBarText(const std::string& text);
    void OnNews(const CycleOutcomeRelay::News& news);
    // The front end's time limit ran out.
    void TimedOut();
    bool Done() const { return done_; }

private:
    void OnCycleEnded(const std::string& serial, CycleOutcome outcome);
    void OnWaitingForDevice();
    void Finish(int exitCode);
    void Reconnect();
    void OnUpdated();
    void UnplugNow(const std::string& serial, const char* why = "");
    bool AllUpdated() const;
    bool WriteWellUnderWay(const std::string& barText) const;

    DemoBench& bench_;
    const Resources& resources_;
    HeadlessRunHost host_;
    std::string serial_;
    std::string second_;
    // The Orvo the updater is expected to work on.
    std::string current_;
    std::set<std::string> updated_;
    std::string lastStatus_;
    bool writeShot_ = false;
    // Every Orvo is updated and the worker is back at waiting: the run ends
    // once the window has shown that.
    bool idle_ = false;
    bool done_ = false;
    bool retry_ = false;
    bool retried_ = false;
};
