#pragma once

#include <chrono>

#include <QObject>
#include <QTimer>

// How long the UI thread went without serving its event loop: a precise
// timer on that thread ticks every PeriodMs, and the longest gap between two
// ticks, less the period, is the longest stall. A thread that never blocks
// for long scores close to 0; one that waits 200 ms for a USB read scores at
// least 200.
class UiStallMeter : public QObject {
    Q_OBJECT
public:
    static constexpr int PeriodMs = 10;

    explicit UiStallMeter(QObject* parent = nullptr);

    void Start();
    // Counts the gap up to now as well, then stops.
    void Stop();
    long long LongestStallMs() const;

private:
    void Tick();

    QTimer timer_;
    std::chrono::steady_clock::time_point lastTick_{};
    std::chrono::steady_clock::duration longestGap_{};
};
