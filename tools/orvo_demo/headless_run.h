#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include <QObject>
#include <QString>
#include <QTimer>

#include "common/cycle_events.h"

class DemoBench;
class HeadlessRun;
class Resources;

// Hands the cycle's outcomes from the worker's thread to the run on the UI
// thread. It is subscribed to the device's events and must outlive the
// worker; the run attaches itself while it lives.
class CycleOutcomeRelay final : public CycleEventListener {
public:
    // What the run learns: a cycle's end, or the worker back at waiting.
    struct News {
        bool waiting = false;
        std::string serial;
        CycleOutcome outcome = CycleOutcome::Failed;
    };

    void Attach(HeadlessRun* run);
    void OnCycleEvent(const CycleEvent& event) override;
    // UI thread: the news queued since the last call.
    std::deque<News> Take();

private:
    void Queue(News news);

    std::mutex mutex_;
    HeadlessRun* run_ = nullptr;
    std::deque<News> news_;
};

// The unattended run: one virtual Orvo is plugged in, every status text and
// progress-bar text is printed as it changes, the Orvo is unplugged once its
// cycle has succeeded, and the run ends once the cycle is back at waiting
// for a device (exit 0), on a failed cycle or on timeout (non-zero). What
// happened comes from the cycle's events; the texts are only printed. With
// the retry, a failure unplugs and replugs the Orvo, and the second cycle
// decides. With a second Orvo, it is plugged in after the first one's success
// and the first is pulled a little later; exit 0 needs both updated.
class HeadlessRun : public QObject {
    Q_OBJECT
public:
    // As every tool: 0 success, 1 the operation failed (the message on
    // stderr tells how); 2 is left to a wrong command line.
    static constexpr int ExitSucceeded = 0;
    static constexpr int ExitFailed = 1;
    static constexpr int ExitTimedOut = 1;
    static constexpr int ExitNoBench = 1;

    // `resources`: the ones the window shows its texts from.
    HeadlessRun(DemoBench& bench, const Resources& resources, std::string serial, int timeoutMs,
                CycleOutcomeRelay& relay, QObject* parent = nullptr);
    ~HeadlessRun() override;

    // `currentStatus`: what the window shows already (the worker starts
    // before this run is connected).
    void Start(const QString& currentStatus);
    void OnStatus(const QString& text);
    void OnBarText(const QString& text);
    // Queued by the relay by name (no functor crosses the threads, whose
    // release inside Qt would look like a race to ThreadSanitizer).
    Q_INVOKABLE void TakeNews();

    // Called with "during-write" once the write is well under way and with
    // "upgrade-successful" when the success text shows (before the unplug).
    void SetSnapshot(std::function<void(const char* moment)> snapshot) { snapshot_ = std::move(snapshot); }
    // After a failed cycle: unplug the Orvo, plug it in again and judge the
    // second cycle instead.
    void SetRetry(bool retry) { retry_ = retry; }
    // The serial of a second Orvo, plugged in while the first still is.
    void SetSecond(std::string serial) { second_ = std::move(serial); }

Q_SIGNALS:
    void finished(int exitCode);

private:
    void OnCycleEnded(const std::string& serial, CycleOutcome outcome);
    void OnWaitingForDevice();
    void Finish(int exitCode);
    void Reconnect();
    void OnUpdated();
    void UnplugNow(const std::string& serial, const char* why = "");
    bool AllUpdated() const;

    QString Text(int stringId) const;

    CycleOutcomeRelay& relay_;
    DemoBench& bench_;
    const Resources& resources_;
    std::string serial_;
    std::string second_;
    // The Orvo the updater is expected to work on, and the serial the
    // status text named last.
    std::string current_;
    std::set<std::string> updated_;
    QTimer timeout_;
    QString lastStatus_;
    bool writeShot_ = false;
    // Every Orvo is updated and the worker is back at waiting: the run ends
    // once the window has shown that.
    bool idle_ = false;
    std::function<void(const char*)> snapshot_;
    bool done_ = false;
    bool retry_ = false;
    bool retried_ = false;
};
