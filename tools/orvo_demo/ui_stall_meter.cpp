#include "orvo_demo/ui_stall_meter.h"

#include <algorithm>

UiStallMeter::UiStallMeter(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(PeriodMs);
    connect(&timer_, &QTimer::timeout, this, &UiStallMeter::Tick);
}

void UiStallMeter::Start() {
    lastTick_ = std::chrono::steady_clock::now();
    longestGap_ = {};
    timer_.start();
}

void UiStallMeter::Stop() {
    if (!timer_.isActive())
        return;
    Tick();
    timer_.stop();
}

void UiStallMeter::Tick() {
    const auto now = std::chrono::steady_clock::now();
    longestGap_ = std::max(longestGap_, now - lastTick_);
    lastTick_ = now;
}

long long UiStallMeter::LongestStallMs() const {
    const auto gapMs = std::chrono::duration_cast<std::chrono::milliseconds>(longestGap_).count();
    return std::max<long long>(0, gapMs - PeriodMs);
}
