// The demos' unattended run, apart from either window: its verdicts, its
// plugs and unplugs, its retry and second Orvo, its pictures. Its waits are
// run by hand, so nothing here depends on time.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "demo_support/demo_bench.h"
#include "demo_support/headless_cycle_run.h"
#include "device/dfu_device.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

// Records what the run does with the Orvos.
class RecordingBench final : public DemoBench {
public:
    bool available = true;
    bool plugFails = false;
    std::vector<std::string> actions;

    bool Available() const override { return available; }
    std::string Missing() const override { return "no bench"; }
    bool Plug(const std::string& serial) override {
        actions.push_back("plug " + serial);
        return !plugFails;
    }
    void Unplug(const std::string& serial) override { actions.push_back("unplug " + serial); }
    std::vector<std::string> Plugged() const override { return {}; }
    void SetNextFault(DemoFault) override {}
    DemoFault NextFault() const override { return DemoFault::None; }
    void KeepFlashIn(const std::string&, const std::string&) override {}
    std::function<void()> ArmingFaults(std::function<void()> save) override { return save; }
    std::function<std::string()> ServerHost() override { return {}; }
    std::unique_ptr<CDfuDevice> MakeDevice(const std::string&) override { return nullptr; }
    void Poll() override {}
};

class HeadlessRunTest : public ::testing::Test {
protected:
    HeadlessCycleRun& Run(const std::string& serial = "0012345") {
        HeadlessRunHost host;
        host.later = [this](int, std::function<void()> call) { waits_.push_back(std::move(call)); };
        host.finished = [this](int code) { verdicts_.push_back(code); };
        host.snapshot = [this](const char* moment) { pictures_.push_back(moment); };
        run_.emplace(bench_, texts_, serial, std::move(host));
        return *run_;
    }
    // The waits the run asked for, as if their time had come.
    void RunWaits() {
        for (auto waits = std::exchange(waits_, {}); auto& wait : waits)
            wait();
    }
    static CycleOutcomeRelay::News Ended(const std::string& serial, CycleOutcome outcome) {
        return {false, serial, outcome};
    }
    static CycleOutcomeRelay::News Waiting() { return {true, {}, CycleOutcome::Succeeded}; }
    std::string Text(int id) const { return texts_.String(id); }

    RecordingBench bench_;
    const Resources texts_;
    std::vector<std::function<void()>> waits_;
    std::vector<int> verdicts_;
    std::vector<std::string> pictures_;
    std::optional<HeadlessCycleRun> run_;
};

}  // namespace

TEST_F(HeadlessRunTest, SucceedsOnlyOnceTheWaitingTextShowsAfterTheUpdate) {
    HeadlessCycleRun& run = Run();
    const std::string waiting = Text(ResourceId::ConnectDeviceText);
    run.Start(waiting);
    EXPECT_EQ(bench_.actions, std::vector<std::string>{"plug 0012345"});
    // The worker is at waiting before the Orvo is seen: no verdict.
    run.OnNews(Waiting());
    run.OnStatus("Orvo s/n : 0012345");
    run.OnNews(Ended("0012345", CycleOutcome::Succeeded));
    EXPECT_EQ(bench_.actions.back(), "unplug 0012345");
    run.OnNews(Waiting());
    EXPECT_TRUE(verdicts_.empty()) << "the window has not shown the waiting text yet";
    run.OnStatus(waiting);
    EXPECT_EQ(verdicts_, std::vector<int>{HeadlessCycleRun::ExitSucceeded});
    // Whatever comes after the verdict changes nothing.
    run.OnNews(Ended("0012345", CycleOutcome::Failed));
    run.TimedOut();
    EXPECT_EQ(verdicts_.size(), 1u);
}

TEST_F(HeadlessRunTest, FailuresTimeOutsAndAMissingBenchEndWithOne) {
    struct Case {
        const char* name;
        std::function<void(HeadlessCycleRun&, RecordingBench&)> act;
    };
    const Case cases[] = {
        {"failed cycle", [](HeadlessCycleRun& run, RecordingBench&) {
             run.Start("");
             run.OnNews(Ended("0012345", CycleOutcome::Failed));
         }},
        {"time-out", [](HeadlessCycleRun& run, RecordingBench&) {
             run.Start("");
             run.TimedOut();
         }},
        {"no bench", [](HeadlessCycleRun& run, RecordingBench& bench) {
             bench.available = false;
             run.Start("");
         }},
        {"plug refused", [](HeadlessCycleRun& run, RecordingBench& bench) {
             bench.plugFails = true;
             run.Start("");
         }},
        // An interrupted cycle is no update: the waiting text ends nothing.
        {"interrupted, then a time-out", [](HeadlessCycleRun& run, RecordingBench&) {
             run.Start("");
             run.OnNews(Ended("0012345", CycleOutcome::Interrupted));
             run.OnNews(Waiting());
             run.OnStatus("waiting");
             run.TimedOut();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bench_ = RecordingBench();
        verdicts_.clear();
        HeadlessCycleRun& run = Run();
        c.act(run, bench_);
        EXPECT_EQ(verdicts_, std::vector<int>{HeadlessCycleRun::ExitFailed});
    }
}

TEST_F(HeadlessRunTest, ARetryReplugsOnceAndTheSecondCycleDecides) {
    HeadlessCycleRun& run = Run();
    run.SetRetry(true);
    run.Start("");
    run.OnNews(Ended("0012345", CycleOutcome::Failed));
    EXPECT_TRUE(verdicts_.empty());
    EXPECT_EQ(bench_.actions.back(), "unplug 0012345");
    RunWaits();
    EXPECT_EQ(bench_.actions.back(), "plug 0012345");
    run.OnNews(Ended("0012345", CycleOutcome::Failed));
    EXPECT_EQ(verdicts_, std::vector<int>{HeadlessCycleRun::ExitFailed}) << "one retry only";
}

TEST_F(HeadlessRunTest, ASecondOrvoGoesInBeforeTheFirstIsPulledAndBothMustBeUpdated) {
    HeadlessCycleRun& run = Run();
    run.SetSecond("7654321");
    run.Start("");
    run.OnNews(Ended("0012345", CycleOutcome::Succeeded));
    EXPECT_EQ(bench_.actions, (std::vector<std::string>{"plug 0012345", "plug 7654321"}));
    RunWaits();
    EXPECT_EQ(bench_.actions.back(), "unplug 0012345");
    run.OnNews(Waiting());
    run.OnStatus("waiting");
    EXPECT_TRUE(verdicts_.empty()) << "the second Orvo is not updated yet";
    run.OnNews(Ended("7654321", CycleOutcome::Succeeded));
    EXPECT_EQ(bench_.actions.back(), "unplug 7654321");
    run.OnNews(Waiting());
    run.OnStatus("waiting again");
    EXPECT_EQ(verdicts_, std::vector<int>{HeadlessCycleRun::ExitSucceeded});
}

TEST_F(HeadlessRunTest, PicturesAreTakenWellIntoTheWriteAndAtTheSuccessOnce) {
    HeadlessCycleRun& run = Run();
    run.Start("");
    run.OnBarText("55%");  // not the write yet
    run.OnStatus(Text(ResourceId::WritingText));
    for (const char* bar : {"39%", "%", "4x%", "40", "99999999999%"})
        run.OnBarText(bar);
    EXPECT_TRUE(pictures_.empty());
    run.OnBarText("40%");
    run.OnBarText("80%");
    run.OnNews(Ended("0012345", CycleOutcome::Succeeded));
    run.OnNews(Ended("0012345", CycleOutcome::Succeeded));
    EXPECT_EQ(pictures_, (std::vector<std::string>{"during-write", "upgrade-successful"}));
}
