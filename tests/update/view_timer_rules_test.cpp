#include <gtest/gtest.h>

#include <atomic>

#include "support/recording_ports.h"
#include "simulated_view.h"
#include "common/cycle_signals.h"
#include "update/view_timer_rules.h"

namespace {

class ViewTimers : public ::testing::Test {
protected:
    SimulatedView view;
    RecordingProgressBar bar;
    CycleSignals signals;
    std::atomic<std::int32_t> counter{0};
    bool present = false;
    int monitorCalls = 0;
    ViewTimerRules rules{{view, bar, signals, counter, [this] { return present; }, [this] { ++monitorCalls; },
                          [this](const std::string& path) { return present && path == "PORT_1"; }}};
};

TEST_F(ViewTimers, ArrivalReleasesTheWorkerOnceADeviceIsPresent) {
    view.StartTimer(ArrivalTimer, 500);
    rules.OnTimer(ArrivalTimer);
    EXPECT_FALSE(signals.StepEvent.IsSet());
    EXPECT_TRUE(view.TimerArmed(ArrivalTimer));

    present = true;
    rules.OnTimer(ArrivalTimer);
    EXPECT_TRUE(signals.StepEvent.IsSet());
    EXPECT_FALSE(view.TimerArmed(ArrivalTimer));
}

TEST_F(ViewTimers, RemovalReleasesTheWorkerOnceTheAwaitedDeviceIsGone) {
    present = true;
    signals.UnplugPath.Set("PORT_1");
    view.StartTimer(RemovalTimer, 500);
    rules.OnTimer(RemovalTimer);
    EXPECT_FALSE(signals.StepEvent.IsSet());
    EXPECT_TRUE(view.TimerArmed(RemovalTimer));

    present = false;
    rules.OnTimer(RemovalTimer);
    EXPECT_TRUE(signals.StepEvent.IsSet());
    EXPECT_FALSE(view.TimerArmed(RemovalTimer));
}

TEST_F(ViewTimers, AnimationWrapsAfter99) {
    signals.ShowProgress = 1;
    counter = 98;
    rules.OnTimer(ProgressTimer);
    EXPECT_EQ(bar.Text(), "99%");
    EXPECT_EQ(bar.Pos(), 99);
    rules.OnTimer(ProgressTimer);
    EXPECT_EQ(counter.load(), 0);
    EXPECT_EQ(bar.Text(), "0%");
    EXPECT_EQ(bar.Pos(), 0);
}

TEST_F(ViewTimers, AnimationAdvancesButShowsNothingWhileProgressIsHidden) {
    signals.ShowProgress = 0;
    counter = 41;
    rules.OnTimer(ProgressTimer);
    EXPECT_EQ(counter.load(), 42);
    EXPECT_TRUE(bar.Texts().empty());
    EXPECT_TRUE(bar.Positions().empty());
}

TEST_F(ViewTimers, ACounterOutOfRangeRestartsAtZero) {
    EXPECT_EQ(ViewTimerRules::NextCounter(-3), 0);
    EXPECT_EQ(ViewTimerRules::NextCounter(250), 0);
    EXPECT_EQ(ViewTimerRules::NextCounter(0), 1);
}

TEST_F(ViewTimers, MonitorTimerPollsTheOperationAndOtherIdsDoNothing) {
    rules.OnTimer(MonitorTimer);
    rules.OnTimer(3);
    rules.OnTimer(99);
    EXPECT_EQ(monitorCalls, 1);
    EXPECT_FALSE(signals.StepEvent.IsSet());
    EXPECT_TRUE(bar.Texts().empty());
}

}  // namespace
