#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <thread>
#include <mutex>
#include <vector>

#include "support/recording_events.h"
#include "support/recording_ports.h"
#include "simulated_view.h"
#include "common/cycle_signals.h"
#include "update/cycle_requests.h"
#include "update/engine_clock.h"
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

// The worker may start the same timer again as soon as it is woken: the
// release stops it first, or it would stop the next wait's timer.
TEST(ViewTimerRelease, StopsTheTimerBeforeWakingTheWorker) {
    struct StopRecordingView : ViewPort {
        explicit StopRecordingView(CycleSignals& s) : signals(s) {}
        void StartTimer(int, int) override {}
        void StopTimer(int) override { wokenAtStop.push_back(signals.StepEvent.IsSet()); }
        void RepaintAll() override {}
        void ShowMessageBox(const std::string&) override {}
        void ShowErrorBox(const std::string&, const std::string&) override {}
        bool AskYesNo(const std::string&, const std::string&) override { return false; }
        CycleSignals& signals;
        std::vector<bool> wokenAtStop;
    };
    CycleSignals signals;
    StopRecordingView view(signals);
    RecordingProgressBar bar;
    std::atomic<std::int32_t> counter{0};
    ViewTimerRules rules{{view, bar, signals, counter, [] { return true; }, {}, [](const std::string&) { return false; }}};
    rules.OnTimer(ArrivalTimer);
    signals.StepEvent.Reset();
    rules.OnTimer(RemovalTimer);
    EXPECT_EQ(view.wokenAtStop, (std::vector<bool>{false, false}));
    EXPECT_TRUE(signals.StepEvent.IsSet());
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

// --- the engine's clock: the monitor and the presence checks on a thread of
// its own; the drawing timers stay with the view.

class ClockTicks {
public:
    void Add(int id) {
        {
            std::lock_guard lock(mutex_);
            ids_.push_back(id);
        }
        added_.notify_all();
    }
    // Runs `action` and waits for the tick of `id` that follows it: true
    // when it came within a minute.
    template <class Action>
    bool AwaitTickAfter(int id, Action action) {
        const int before = Count(id);
        action();
        return AwaitCount(id, before + 1);
    }
    bool AwaitCount(int id, int count) {
        std::unique_lock lock(mutex_);
        return added_.wait_for(lock, std::chrono::minutes(1), [&] { return CountLocked(id) >= count; });
    }
    int Count(int id) const {
        std::lock_guard lock(mutex_);
        return CountLocked(id);
    }

private:
    int CountLocked(int id) const { return static_cast<int>(std::count(ids_.begin(), ids_.end(), id)); }

    mutable std::mutex mutex_;
    std::condition_variable added_;
    std::vector<int> ids_;
};

// With an hour between the monitor's ticks only a wake-up can tick it: the
// end of an operation is seen at once, not at the next period.
TEST(EngineClock, AWakeUpTicksTheMonitorAtOnceAndTheViewKeepsTheDrawingTimers) {
    SimulatedView view;
    ClockTicks ticks;
    EngineClock clock(view, [&](int id) { ticks.Add(id); });
    clock.Start(60 * 60 * 1000);
    EXPECT_TRUE(ticks.AwaitTickAfter(MonitorTimer, [&] { clock.Wake(); }));
    EXPECT_TRUE(ticks.AwaitTickAfter(MonitorTimer, [&] { clock.Wake(); }));

    clock.StartTimer(ProgressTimer, 80);
    EXPECT_TRUE(view.TimerArmed(ProgressTimer));
    EXPECT_EQ(view.TimerPeriod(ProgressTimer), 80);
    clock.StopTimer(ProgressTimer);
    EXPECT_FALSE(view.TimerArmed(ProgressTimer));
    clock.Stop();
    EXPECT_EQ(ticks.Count(MonitorTimer), 2);
    EXPECT_EQ(ticks.Count(ProgressTimer), 0);
}

// The presence checks tick on the clock's thread; a tick that releases the
// worker stops its timer, and no tick of it follows.
TEST(EngineClock, APresenceTimerTicksUntilItsTickStopsIt) {
    SimulatedView view;
    ClockTicks ticks;
    EngineClock* running = nullptr;
    int arrivals = 0;
    EngineClock clock(view, [&](int id) {
        if (id == ArrivalTimer && ++arrivals == 3)
            running->StopTimer(ArrivalTimer);
        ticks.Add(id);
    });
    running = &clock;
    clock.Start(60 * 60 * 1000);
    clock.StartTimer(ArrivalTimer, 1);
    ASSERT_TRUE(ticks.AwaitCount(ArrivalTimer, 3));
    // A round of the clock after the stop: the arrival timer is gone from it.
    EXPECT_TRUE(ticks.AwaitTickAfter(MonitorTimer, [&] { clock.Wake(); }));
    clock.Stop();
    EXPECT_EQ(ticks.Count(ArrivalTimer), 3);
    EXPECT_FALSE(view.TimerArmed(ArrivalTimer)) << "the view never ran it";
}

}  // namespace

namespace {

// The worker's boxes and questions, asked on the engine's clock, go out as
// requests and hold the asking thread until a front end answers by id,
// whenever and from wherever it likes; a stop ends every wait.
TEST(EngineRequests, HoldTheAskerUntilAnsweredByIdAndAStopEndsEveryWait) {
    CycleEventChannel channel;
    CycleRequests requests(channel);
    SimulatedView view;
    EngineClock clock(view, [](int) {});
    clock.AskThrough(&requests);
    struct Answerer final : CycleEventListener {
        void OnCycleEvent(const CycleEvent& event) override {
            if (const auto* request = std::get_if<CycleEvents::Request>(&event))
                on(*request);
        }
        std::function<void(const CycleEvents::Request&)> on;
    } answerer;
    channel.Subscribe(answerer);
    std::vector<CycleEvents::Request> seen;
    answerer.on = [&](const CycleEvents::Request& request) {
        seen.push_back(request);
        requests.Answer(request.id + 1, false);  // no such request: ignored
        requests.Answer(request.id, true);
    };
    EXPECT_TRUE(clock.AskYesNo("Write it?", "Orvo"));
    clock.ShowErrorBox("It failed.", "Error");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, CycleRequestKind::YesNo);
    EXPECT_EQ(seen[0].text, "Write it?");
    EXPECT_EQ(seen[0].caption, "Orvo");
    EXPECT_EQ(seen[1].kind, CycleRequestKind::ErrorBox);
    EXPECT_NE(seen[0].id, seen[1].id);
    EXPECT_TRUE(view.Questions().empty() && view.Boxes().empty()) << "nothing is called on the front end's view";

    std::promise<void> asked;
    answerer.on = [&](const CycleEvents::Request& request) {
        seen.push_back(request);
        asked.set_value();
    };
    std::thread stopper([&] {
        asked.get_future().wait();
        requests.Cancel();
    });
    EXPECT_FALSE(clock.AskYesNo("Nobody answers this.", {}));
    stopper.join();
    EXPECT_FALSE(clock.AskYesNo("Asked after the stop.", {}));
    EXPECT_EQ(seen.size(), 3u) << "a stopped engine asks nothing more";
}

// Closing during the write is a request too, but one that holds nobody: the
// front end learns "not yet", and only a Yes to the one question out runs
// what closes it; a stop ends the question unanswered.
TEST(EngineRequests, TheCloseQuestionHoldsNobodyAndOnlyItsYesCloses) {
    CycleEventChannel channel;
    RecordingEvents events(channel);
    CycleRequests requests(channel);
    int closes = 0;
    const auto mayClose = [&](bool writing) {
        return requests.MayClose(writing, "Close now?", "Orvo", [&] { ++closes; });
    };
    const auto questions = [&] { return events.Of<CycleEvents::Request>(); };

    EXPECT_TRUE(mayClose(false));
    EXPECT_TRUE(questions().empty()) << "nothing written, nothing asked";

    EXPECT_FALSE(mayClose(true));
    EXPECT_FALSE(mayClose(true));
    ASSERT_EQ(questions().size(), 1u) << "one question at a time";
    const CycleEvents::Request first = questions()[0];
    EXPECT_EQ(first.kind, CycleRequestKind::CloseQuestion);
    EXPECT_EQ(first.text, "Close now?");
    EXPECT_EQ(first.caption, "Orvo");
    requests.Answer(first.id, false);
    EXPECT_EQ(closes, 0);

    EXPECT_FALSE(mayClose(true));
    ASSERT_EQ(questions().size(), 2u) << "asked again after a No";
    requests.Answer(first.id, true);
    EXPECT_EQ(closes, 0) << "the answered question's id is spent";
    requests.Answer(questions()[1].id, true);
    requests.Answer(questions()[1].id, true);
    EXPECT_EQ(closes, 1);

    EXPECT_FALSE(mayClose(true));
    requests.Cancel();
    requests.Answer(questions()[2].id, true);
    EXPECT_EQ(closes, 1) << "a stop ended the question";
    EXPECT_TRUE(mayClose(true)) << "a stopped engine's write ends with it: nothing to ask";
    EXPECT_EQ(questions().size(), 3u);
}

}  // namespace
