#pragma once

#include <functional>
#include <string>

#include <QObject>
#include <QString>
#include <QTimer>

#include "demo_support/headless_cycle_run.h"

// The unattended run (HeadlessCycleRun) on Qt's event loop: the window's
// status and bar texts come in by signal, the cycle's news through the relay,
// the run's waits are single-shot timers, and the verdict goes out as
// finished().
class HeadlessRun : public QObject {
    Q_OBJECT
public:
    static constexpr int ExitFailed = HeadlessCycleRun::ExitFailed;

    // `resources`: the ones the window shows its texts from.
    HeadlessRun(DemoBench& bench, const Resources& resources, std::string serial, int timeoutMs,
                CycleOutcomeRelay& relay, QObject* parent = nullptr);
    ~HeadlessRun() override;

    void Start(const QString& currentStatus);
    void OnStatus(const QString& text);
    void OnBarText(const QString& text);
    // Queued by the relay by name (no functor crosses the threads, whose
    // release inside Qt would look like a race to ThreadSanitizer).
    Q_INVOKABLE void TakeNews();

    void SetSnapshot(std::function<void(const char* moment)> snapshot) { snapshot_ = std::move(snapshot); }
    void SetRetry(bool retry) { run_.SetRetry(retry); }
    void SetSecond(std::string serial) { run_.SetSecond(std::move(serial)); }

Q_SIGNALS:
    void finished(int exitCode);

private:
    HeadlessRunHost Host();

    CycleOutcomeRelay& relay_;
    QTimer timeout_;
    std::function<void(const char*)> snapshot_;
    HeadlessCycleRun run_;
};
