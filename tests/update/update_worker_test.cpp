#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>

#include "database/download_request.h"
#include "device/dfu_device.h"
#include "fake_cycle_operations.h"
#include "history/cycle_log.h"
#include "support/scratch_files.h"
#include "support/virtual_bus_engine.h"
#include "support/recording_events.h"
#include "support/recording_ports.h"
#include "simulated_view.h"
#include "common/text_ids.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "common/cycle_signals.h"
#include "update/status_text_display.h"
#include "update/update_engine.h"
#include "update/update_worker.h"
#include "update/view_timer_rules.h"

namespace {

class UpdateCycle : public ::testing::Test {
protected:
    void SetUp() override {
        ops.downloadSizeKb = 20;
        view.SetTickHandler([this](int id) { rules.OnTimer(id); });
        view.SetWorkerFinished([this] { return worker.Finished(); });
    }

    // As the view's initial update does it: timer 0, then the worker, with
    // the progress shown from the start.
    void StartWorker() {
        view.StartTimer(MonitorTimer, 100);
        signals.ShowProgress = 1;
        worker.Start();
    }

    std::string Text(int id) const { return resources.String(id); }
    std::string Status() const { return statusText.Get(); }
    bool RunUntilStatus(int id) {
        return view.RunUntil([this, id] { return Status() == Text(id); });
    }
    // The worker waits for the Orvo to go after a good cycle.
    bool RunUntilSucceeded() {
        return view.RunUntil([this] { return Status() == Text(ResourceId::CompleteText) && view.TimerArmed(RemovalTimer); });
    }
    bool RunUntilFinished() {
        return view.RunUntil([this] { return worker.Finished(); });
    }
    // A failed cycle shows its text and waits for the Orvo to be unplugged.
    bool RunUntilFailed() {
        return view.RunUntil([this] {
            return worker.LastCycleFailed() && Status() == Text(ResourceId::FailedText) &&
                   (view.TimerArmed(RemovalTimer) || WaitingForArrival());
        });
    }
    bool WaitingForArrival() const { return view.TimerArmed(ArrivalTimer); }
    bool StartedTimer(int id) const {
        const auto starts = view.Starts();
        return std::any_of(starts.begin(), starts.end(), [id](const auto& s) { return s.id == id; });
    }

    // What the cycle published: the outcomes, and the kinds of its errors.
    std::vector<CycleOutcome> Outcomes() const {
        std::vector<CycleOutcome> outcomes;
        for (const auto& ended : events.Of<CycleEvents::CycleEnded>())
            outcomes.push_back(ended.outcome);
        return outcomes;
    }
    std::vector<CycleErrorKind> ErrorKinds() const {
        std::vector<CycleErrorKind> kinds;
        for (const auto& error : events.Of<CycleEvents::Error>())
            kinds.push_back(error.kind);
        return kinds;
    }

    CDfuDevice device{"/nonexistent/orvo-updater"};
    RecordingEvents events{device.Events};
    CycleSignals signals;
    Resources resources;
    SimulatedView view;
    RecordingProgressBar bar;
    FakeCycleOperations ops{device, view, signals};
    ViewTimerRules rules{{view, bar, signals, device.ProgressCounter, [this] { return ops.FindDevice(); }, {},
                          [this](const std::string& path) { return ops.IsAttached(path); }}};
    // Last, so that it is stopped and joined before anything it uses goes.
    // The window's listeners: the bar and boxes, and the status text.
    CycleDisplay display{device.Events, bar, view, signals,
                         [this] { return resources.String(ResourceId::ErrorCaption); }};
    StatusTextHolder statusText;
    StatusTextDisplay status{device.Events, statusText, resources, view};
    UpdateWorker worker{device, ops, view, signals, resources};
};

TEST_F(UpdateCycle, DeviceAlreadyAttachedRunsAWholeCycleAndWaitsForTheUnplug) {
    ops.Plug({"7654321"});
    ops.downloadResult.bytes = 123456;
    StartWorker();
    ASSERT_TRUE(RunUntilSucceeded());

    EXPECT_FALSE(StartedTimer(ArrivalTimer));
    const auto calls = ops.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().name, "identify");
    EXPECT_EQ(calls.front().at, 0) << "identified at once, without a timer";
    EXPECT_EQ(calls.front().detail, "7654321 showProgress=0");
    EXPECT_EQ(ops.Details("download"), std::vector<std::string>{"7654321"});
    EXPECT_EQ(ops.Details("prepare"), std::vector<std::string>{"/nonexistent/tesselDB"});
    EXPECT_EQ(ops.Details("upgrade"), std::vector<std::string>{"7654321"});
    EXPECT_EQ(ops.Count("datestamp"), 1);
    EXPECT_EQ(bar.Text(), "Upgrade successful !");
    EXPECT_EQ(signals.ShowProgress.load(), 1);
    EXPECT_EQ(signals.UpdateState.load(), 6);

    std::vector<std::string> order;
    for (const auto& call : calls)
        order.push_back(call.name);
    const std::vector<std::string> expected{"identify", "holdings", "save",     "delete",   "download",
                                            "prepare",  "identify", "upgrade",  "datestamp", "holdings",
                                            "delete"};
    EXPECT_EQ(order, expected);

    std::vector<std::int32_t> states;
    for (const auto& entered : events.Of<CycleEvents::StateEntered>())
        states.push_back(entered.state);
    EXPECT_EQ(states, (std::vector<std::int32_t>{0, 3, 1, 2, 4, 5, 6}));
    EXPECT_EQ(events.PhasesStarted(), (std::vector<CyclePhase>{CyclePhase::Identify, CyclePhase::Download,
                                                               CyclePhase::Convert, CyclePhase::Identify}));
    const auto identified = events.Of<CycleEvents::DeviceIdentified>();
    ASSERT_EQ(identified.size(), 2u);
    EXPECT_EQ(identified[0].serial, "7654321");
    EXPECT_TRUE(identified[0].accepted);
    const auto notices = events.Of<CycleEvents::Notice>();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "Upgrade successful !");
    const auto ended = events.Of<CycleEvents::CycleEnded>();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].outcome, CycleOutcome::Succeeded);
    EXPECT_EQ(ended[0].serial, "7654321");
    EXPECT_EQ(ended[0].cause, "");
    EXPECT_EQ(ended[0].bytesDownloaded, 123456u);
    EXPECT_TRUE(events.Of<CycleEvents::Error>().empty());
    // The outcome sums what each phase took, as its PhaseEnded said.
    std::chrono::milliseconds identifying{0};
    for (const auto& phase : events.Of<CycleEvents::PhaseEnded>())
        if (phase.phase == CyclePhase::Identify)
            identifying += phase.duration;
    EXPECT_EQ(ended[0].durations[static_cast<std::size_t>(CyclePhase::Identify)], identifying);

    ops.Unplug();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    EXPECT_EQ(Status(), Text(ResourceId::ConnectDeviceText));
    EXPECT_EQ(ops.Count("identify"), 2) << "nothing runs until the next Orvo";
}

// A language library that knows two of the cycle's texts.
class PartialLanguage : public ResourceSource {
public:
    std::optional<std::string> Find(ResourceKind kind, int id, int) const override {
        if (kind == ResourceKind::String && id == ResourceId::SerialPrefixText)
            return "Orvo n° : ";
        if (kind == ResourceKind::String && id == ResourceId::CompleteText)
            return "Mise à jour terminée";
        return std::nullopt;
    }
};

TEST_F(UpdateCycle, LooksUpEachTextInTheLanguageInForceWhenItIsShown) {
    ops.Plug({"7654321"});
    std::vector<std::string> statuses;
    ops.onCall = [&](const std::string&) { statuses.push_back(statusText.Get()); };
    resources.Switch(std::make_shared<PartialLanguage>());
    StartWorker();
    const bool succeeded = RunUntilSucceeded();
    resources.Switch(nullptr);
    ASSERT_TRUE(succeeded);

    EXPECT_EQ(statuses.front(), Text(ResourceId::ConnectDeviceText)) << "a text the language lacks is English";
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Orvo n° : 7654321"), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), Text(ResourceId::WritingText)), statuses.end());
    EXPECT_EQ(Status(), "Mise à jour terminée");
}

TEST_F(UpdateCycle, ADeviceArrivingLaterIsTakenOnTheFirstTickThatFindsIt) {
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    EXPECT_EQ(Status(), Text(ResourceId::ConnectDeviceText));
    EXPECT_EQ(view.TimerPeriod(ArrivalTimer), 500);

    view.RunFor(1200);
    EXPECT_EQ(ops.Count("identify"), 0);
    ops.Plug({});
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Calls().front().at, 1500);
    EXPECT_FALSE(view.TimerArmed(ArrivalTimer)) << "the tick that releases the worker stops its timer";
}

TEST_F(UpdateCycle, AStaleStepEventDoesNotReleaseTheWaitForADevice) {
    signals.StepEvent.Set();
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    view.RunFor(2000);
    EXPECT_EQ(ops.Count("identify"), 0);
    EXPECT_TRUE(WaitingForArrival());
}

TEST_F(UpdateCycle, ARejectedDeviceIsWaitedOutAndTheNextOneIsUpdated) {
    ops.Plug({"0000000", /*isOrvo=*/false});
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return view.TimerArmed(RemovalTimer); }));
    EXPECT_EQ(Status(), Text(ResourceId::ConnectDeviceText));
    view.RunFor(3000);
    EXPECT_EQ(ops.Count("download"), 0);
    EXPECT_EQ(ops.Count("identify"), 1);
    const auto identified = events.Of<CycleEvents::DeviceIdentified>();
    ASSERT_EQ(identified.size(), 1u);
    EXPECT_FALSE(identified[0].accepted);
    EXPECT_EQ(identified[0].serial, "");
    EXPECT_TRUE(Outcomes().empty()) << "no cycle for a device that is not an Orvo";

    ops.Unplug();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    EXPECT_EQ(Status(), Text(ResourceId::ConnectDeviceText));
    ops.Plug({"1111111"});
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Details("upgrade"), std::vector<std::string>{"1111111"});
}

TEST_F(UpdateCycle, AnUnreadableIdentityIsWaitedOutLikeAForeignDevice) {
    ops.Plug({"1234567", true, /*identityReadable=*/false});
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return view.TimerArmed(RemovalTimer); }));
    EXPECT_FALSE(worker.Finished());
    EXPECT_EQ(Status(), Text(ResourceId::ConnectDeviceText));
    EXPECT_EQ(ops.Count("download"), 0);

    ops.Unplug();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    ops.Plug({"1234567"});
    ASSERT_TRUE(RunUntilSucceeded());
}

TEST_F(UpdateCycle, TheSameOrvoPluggedBackBeforeTheWriteGetsThePreparedDatabase) {
    ops.Plug({"1234567"});
    ops.onCall = [this](const std::string& name) {
        if (name == "prepare")
            ops.Unplug();
    };
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    EXPECT_EQ(Status(), Text(ResourceId::ReconnectText));

    view.RunFor(2000);
    ops.Plug({"1234567"});
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Count("download"), 1) << "no second download";
    EXPECT_EQ(ops.Details("upgrade"), std::vector<std::string>{"1234567"});
}

TEST_F(UpdateCycle, AnotherOrvoPluggedInBeforeTheWriteGetsAFreshCycle) {
    ops.Plug({"1234567"});
    ops.onCall = [this](const std::string& name) {
        if (name == "prepare")
            ops.Unplug();
    };
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    ops.onCall = nullptr;  // the worker waits: no call runs the hook meanwhile
    ops.Plug({"7777777"});
    ASSERT_TRUE(RunUntilSucceeded());

    EXPECT_EQ(ops.Details("upgrade"), std::vector<std::string>{"7777777"});
    EXPECT_EQ(ops.Details("download"), (std::vector<std::string>{"1234567", "7777777"}));
    EXPECT_EQ(ops.Count("datestamp"), 1);
}

TEST_F(UpdateCycle, ADeviceSwappedWithoutBeingSeenToLeaveIsNotWrittenWithTheOldDatabase) {
    ops.Plug({"1234567"});
    ops.onCall = [this](const std::string& name) {
        if (name == "prepare") {
            ops.onCall = nullptr;
            ops.Plug({"7777777"});
        }
    };
    StartWorker();
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Details("upgrade"), std::vector<std::string>{"7777777"});
    EXPECT_EQ(ops.Details("download"), (std::vector<std::string>{"1234567", "7777777"}));
    const auto ended = events.Of<CycleEvents::CycleEnded>();
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].serial, "1234567");
    EXPECT_EQ(ended[0].outcome, CycleOutcome::Failed);
    EXPECT_EQ(ErrorKinds(), std::vector<CycleErrorKind>{CycleErrorKind::Identity});
    EXPECT_EQ(ended[1].serial, "7777777");
    EXPECT_EQ(ended[1].outcome, CycleOutcome::Succeeded);
    // The identification before the write finds the other serial: the first
    // database goes at once, before anything else happens.
    std::vector<std::string> order;
    for (const auto& call : ops.Calls())
        order.push_back(call.name);
    const std::vector<std::string> firstCycle{"identify", "holdings", "save",     "delete",
                                              "download", "prepare",  "identify", "delete"};
    ASSERT_GE(order.size(), firstCycle.size());
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 8), firstCycle);
}

// A second Orvo is enumerated last, so discovery alone would pick it: the
// first keeps its write, and the second is updated once the first has gone.
TEST_F(UpdateCycle, ASecondOrvoPluggedInMeanwhileIsUpdatedOnceTheFirstIsPulled) {
    ops.Plug({"1111111"});
    ops.onCall = [this](const std::string& name) {
        if (name == "prepare") {
            ops.onCall = nullptr;
            ops.Plug({"2222222", true, true, "PORT_2"});
        }
    };
    StartWorker();
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Details("upgrade"), std::vector<std::string>{"1111111"});
    view.RunFor(3000);
    EXPECT_EQ(ops.Count("download"), 1) << "the second waits until the first is pulled";
    EXPECT_EQ(bar.Text(), "Upgrade successful !");

    ops.Unplug("PORT_1");
    ASSERT_TRUE(view.RunUntil([this] { return ops.Count("datestamp") == 2 && view.TimerArmed(RemovalTimer); }));
    EXPECT_EQ(ops.Details("upgrade"), (std::vector<std::string>{"1111111", "2222222"}));
    EXPECT_EQ(Status(), Text(ResourceId::CompleteText));
    EXPECT_EQ(signals.UnplugPath.Get(), "PORT_2");
}

TEST_F(UpdateCycle, AForeignDeviceBeforeTheWriteIsWaitedOutInAFreshCycle) {
    ops.Plug({"1234567"});
    ops.onCall = [this](const std::string& name) {
        if (name == "prepare") {
            ops.onCall = nullptr;
            ops.Plug({"1234567", /*isOrvo=*/false});
        }
    };
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return view.TimerArmed(RemovalTimer); }));
    EXPECT_EQ(ops.Count("upgrade"), 0);
    EXPECT_EQ(Status(), Text(ResourceId::ConnectDeviceText));
}

TEST_F(UpdateCycle, TheDownloadAnimationWrapsFrom99To0AndTheConversionGoesOnAt80Ms) {
    ops.downloadSizeKb = 10;
    ops.downloadMs = 1500;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilSucceeded());

    const auto texts = bar.Texts();
    const auto wrap = std::find(texts.begin(), texts.end(), "99%");
    ASSERT_NE(wrap, texts.end());
    EXPECT_EQ(*std::next(wrap), "0%");
    const auto positions = bar.Positions();
    const auto firstHundred = std::find(positions.begin(), positions.end(), 100);
    const auto pos99 = std::find(positions.begin(), positions.end(), 99);
    ASSERT_NE(pos99, positions.end());
    EXPECT_EQ(*std::next(pos99), 0) << "the counter wraps instead of reaching 100";
    EXPECT_LT(pos99, firstHundred);

    std::vector<int> periods;
    for (const auto& start : view.Starts())
        if (start.id == ProgressTimer)
            periods.push_back(start.periodMs);
    EXPECT_EQ(periods, (std::vector<int>{10, 80}));
    EXPECT_FALSE(view.TimerArmed(ProgressTimer)) << "stopped once the conversion has returned";
}

TEST_F(UpdateCycle, TheDownloadAnimationNeverRunsFasterThanEvery10Ms) {
    for (const int sizeKb : {0, -5, 3}) {
        SCOPED_TRACE(sizeKb);
        CDfuDevice otherDevice{"/nonexistent/orvo-updater"};
        CycleSignals otherSignals;
        SimulatedView otherView;
        FakeCycleOperations otherOps{otherDevice, otherView, otherSignals};
        otherOps.downloadSizeKb = sizeKb;
        otherOps.Plug({});
        UpdateWorker otherWorker{otherDevice, otherOps, otherView, otherSignals, resources};
        otherView.SetWorkerFinished([&] { return otherWorker.Finished(); });
        otherWorker.Start();
        ASSERT_TRUE(otherView.RunUntil([&] { return otherOps.Count("download") == 1; }));
        EXPECT_EQ(otherView.TimerPeriod(ProgressTimer), 10);
        otherWorker.RequestStop();
        otherWorker.Join();
    }
}

struct ConversionFailure {
    PrepareOutcome result;
    int boxTextId;
    CycleErrorKind kind;
    const char* name;
};

void PrintTo(const ConversionFailure& failure, std::ostream* out) { *out << failure.name; }

class FailedConversion : public UpdateCycle, public ::testing::WithParamInterface<ConversionFailure> {};

TEST_P(FailedConversion, ShowsItsBoxAndStartsAfreshOnceTheOrvoIsReconnected) {
    const auto [result, textId, kind, name] = GetParam();
    ops.prepareResult = result;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilFailed());

    EXPECT_TRUE(worker.LastCycleFailed());
    EXPECT_FALSE(worker.Finished());
    EXPECT_EQ(Status(), Text(ResourceId::FailedText));
    const auto boxes = view.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text(textId));
    EXPECT_EQ(boxes[0].caption, "Orvo Updater Error");
    EXPECT_EQ(bar.Pos(), 0);
    EXPECT_FALSE(view.TimerArmed(ProgressTimer));
    EXPECT_EQ(ops.Count("upgrade"), 0);
    EXPECT_EQ(ops.Calls().back().name, "delete");
    const auto errors = events.Of<CycleEvents::Error>();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, kind);
    EXPECT_EQ(errors[0].text, boxes[0].text);
    const auto failed = events.Of<CycleEvents::CycleEnded>();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].outcome, CycleOutcome::Failed);
    EXPECT_EQ(failed[0].cause, boxes[0].text);
    EXPECT_EQ(failed[0].causeId, textId) << "the history shows the cause in the language in force";

    // The failure text stays while the Orvo is attached and after it has
    // gone, until an Orvo is connected again.
    view.RunFor(2000);
    EXPECT_EQ(ops.Count("identify"), 1);
    EXPECT_TRUE(view.TimerArmed(RemovalTimer));
    ops.Unplug();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    EXPECT_EQ(Status(), Text(ResourceId::FailedText));

    // Reconnecting starts a fresh cycle, which may now succeed.
    ops.prepareResult.reset();
    ops.Plug({"7777777"});
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Count("identify"), 3) << "identified again, and once more before the write";
    EXPECT_EQ(ops.Details("upgrade"), std::vector<std::string>{"7777777"});
    EXPECT_FALSE(worker.LastCycleFailed());
    EXPECT_EQ(Outcomes(), (std::vector<CycleOutcome>{CycleOutcome::Failed, CycleOutcome::Succeeded}));
}

INSTANTIATE_TEST_SUITE_P(Results, FailedConversion,
                         ::testing::Values(ConversionFailure{PrepareOutcome::TextUnreadable, ResourceId::DownloadErrorText,
                                                             CycleErrorKind::Download, "Unreadable"},
                                           ConversionFailure{PrepareOutcome::NoValidRecord, ResourceId::DownloadErrorText,
                                                             CycleErrorKind::Conversion, "NoValidRecord"},
                                           ConversionFailure{PrepareOutcome::WorkingFilesFailed,
                                                             ResourceId::WorkingFilesErrorText,
                                                             CycleErrorKind::WorkingFiles, "WorkingFilesNotWritable"}),
                         [](const auto& param) { return std::string(param.param.name); });

// The box keeps text 113 and adds a line with what the download failed on;
// the status and the cycle's course stay those of any unreadable download.
TEST_F(UpdateCycle, AFailedDownloadsBoxAddsItsCause) {
    ops.downloadResult.outcome = DownloadOutcome::HttpError;
    ops.downloadResult.httpStatus = 503;
    ops.prepareResult = PrepareOutcome::TextUnreadable;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilFailed());

    EXPECT_TRUE(worker.LastCycleFailed());
    EXPECT_EQ(Status(), Text(ResourceId::FailedText));
    const auto boxes = view.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    const std::string general = Text(ResourceId::DownloadErrorText) + "\n\n";
    ASSERT_EQ(boxes[0].text.rfind(general, 0), 0u) << boxes[0].text;
    const std::string cause = boxes[0].text.substr(general.size());
    EXPECT_NE(cause.find("503"), std::string::npos) << cause;
    EXPECT_EQ(cause.find('\n'), std::string::npos) << cause;
    EXPECT_EQ(boxes[0].caption, Text(ResourceId::ErrorCaption));
}

TEST_F(UpdateCycle, AFailedWriteEndsInFailedWithoutDateStampOrSuccess) {
    ops.upgradeResult = DatabaseWriteResult::Failed;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilFailed());
    EXPECT_EQ(Status(), Text(ResourceId::FailedText));
    EXPECT_EQ(ops.Count("datestamp"), 0);
    EXPECT_TRUE(events.Of<CycleEvents::Notice>().empty());
    EXPECT_TRUE(view.Boxes().empty()) << "the operation shows its own error";
    EXPECT_EQ(ops.Calls().back().name, "delete");
    const auto ended = events.Of<CycleEvents::CycleEnded>();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].outcome, CycleOutcome::Failed);
    EXPECT_FALSE(ended[0].cause.empty()) << "a failure always says what failed";
}

TEST_F(UpdateCycle, AFailedDateStampEndsInFailedWithoutSuccess) {
    ops.dateStampSucceeds = false;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilFailed());
    EXPECT_TRUE(events.Of<CycleEvents::Notice>().empty());
    EXPECT_NE(Status(), Text(ResourceId::CompleteText));
    EXPECT_EQ(Outcomes(), std::vector<CycleOutcome>{CycleOutcome::Failed});
}

// The Orvo held the database already: only its date is renewed, and the
// outcome says so while the window shows an ordinary success.
TEST_F(UpdateCycle, ADeviceThatHeldTheDatabaseGetsItsDateRenewedAndEndsAsAlreadyCurrent) {
    ops.upgradeResult = DatabaseWriteResult::AlreadyOnDevice;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Count("datestamp"), 1);
    EXPECT_EQ(bar.Text(), "Upgrade successful !");
    EXPECT_EQ(Outcomes(), std::vector<CycleOutcome>{CycleOutcome::AlreadyCurrent});
}

// What the Orvo holds shows under its serial, follows a language change and
// goes with the outcome; a database of fewer than half its records is the
// user's call, and No erases nothing: the Orvo keeps its database, which is
// no failure.
TEST_F(UpdateCycle, ShowsTheHoldingsAndAsksBeforeWritingFarFewerRecords) {
    ops.holdings = {true, true, "01.12.26", 18532};
    ops.preparedRecords = 9265;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return Status().rfind(Text(ResourceId::SerialPrefixText), 0) == 0; }));
    EXPECT_EQ(Status(), Text(ResourceId::SerialPrefixText) + "1234567\nDatabase of 01.12.26, 18,532 cameras");
    statusText.Reresolve([this](int id) {
        return id == ResourceId::DigitGroupSeparator ? std::string(".") : Text(id);
    });
    EXPECT_NE(Status().find("18.532 cameras"), std::string::npos) << Status();
    ASSERT_TRUE(view.RunUntil([this] { return Status() == Text(ResourceId::DatabaseKeptText) && view.TimerArmed(RemovalTimer); }));
    ASSERT_EQ(view.Questions().size(), 1u);
    EXPECT_NE(view.Questions()[0].find("9,265"), std::string::npos);
    EXPECT_NE(view.Questions()[0].find("18,532"), std::string::npos);
    EXPECT_EQ(ops.Count("upgrade"), 0);
    EXPECT_FALSE(worker.LastCycleFailed());
    EXPECT_TRUE(events.Of<CycleEvents::Error>().empty());
    const auto ended = events.Of<CycleEvents::CycleEnded>();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].outcome, CycleOutcome::Kept);
    EXPECT_NE(ended[0].cause.find("fewer than half"), std::string::npos);
    EXPECT_EQ(ended[0].before.records, 18532u);
    EXPECT_EQ(ended[0].after.records, 18532u);
    EXPECT_EQ(ended[0].after.date, "01.12.26");

    view.answerYes = true;
    ops.Unplug();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    ops.Plug({});
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Count("upgrade"), 1);
}

// A restore goes only into the Orvo its backup was read from; a file is
// prepared from the request, never downloaded.
TEST_F(UpdateCycle, RequestedCyclesWriteTheirOwnDatabaseAndARestoreOnlyIntoItsOrvo) {
    ops.backupSerials[7] = "7654321";
    EXPECT_EQ(worker.RequestCycle({CycleSource::Restore, {}, 7}), CycleRequestAnswer::AtConnection);
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilFailed());
    EXPECT_EQ(ops.Count("request") + ops.Count("upgrade"), 0);
    EXPECT_EQ(events.Of<CycleEvents::CycleEnded>().back().source, CycleSource::Restore);

    ops.Unplug();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    const int identified = ops.Count("identify");
    EXPECT_EQ(worker.RequestCycle({CycleSource::File, "/home/user/db.txt", 0}), CycleRequestAnswer::AtConnection);
    view.RunFor(1000);
    EXPECT_EQ(ops.Count("identify"), identified) << "a request is no arrival";
    ops.Plug({});
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Details("request"), std::vector<std::string>{"file"});
    EXPECT_EQ(ops.Count("download"), 0);
    EXPECT_EQ(events.Of<CycleEvents::DeviceIdentified>().back().source, CycleSource::File);
    EXPECT_EQ(Outcomes().back(), CycleOutcome::Succeeded);
    EXPECT_EQ(bar.Text(), Text(ResourceId::UpgradeSuccessfulText));

    // The Orvo stays attached after its cycle: a restore starts at once and
    // ends with its own notice.
    const auto cyclesBefore = Outcomes().size();
    ops.backupSerials[8] = "1234567";
    EXPECT_EQ(worker.RequestCycle({CycleSource::Restore, {}, 8}), CycleRequestAnswer::StartsNow);
    ASSERT_TRUE(view.RunUntil([&] { return Outcomes().size() > cyclesBefore && view.TimerArmed(RemovalTimer); }));
    EXPECT_EQ(Outcomes().back(), CycleOutcome::Succeeded);
    EXPECT_EQ(events.Of<CycleEvents::CycleEnded>().back().source, CycleSource::Restore);
    EXPECT_EQ(bar.Text(), Text(ResourceId::RestoreSuccessfulText));

    // A file of the user's without a camera record is the file's fault, not
    // the connection's: no download box, the cause with its own id.
    const auto boxesBefore = view.Boxes().size();
    ops.prepareResult = PrepareOutcome::NoValidRecord;
    EXPECT_EQ(worker.RequestCycle({CycleSource::File, "/home/user/notes.txt", 0}), CycleRequestAnswer::StartsNow);
    ASSERT_TRUE(view.RunUntil([&] { return Outcomes().size() > cyclesBefore + 1; }));
    const auto ended = events.Of<CycleEvents::CycleEnded>().back();
    EXPECT_EQ(ended.outcome, CycleOutcome::Failed);
    EXPECT_EQ(ended.causeId, TextId::NotADatabaseFile);
    EXPECT_EQ(ended.causeArgs, std::vector<std::string>{"/home/user/notes.txt"});
    EXPECT_EQ(view.Boxes().size(), boxesBefore);
}

TEST_F(UpdateCycle, AFailedWriteIsRetriedOnlyForTheSameOrvoAfterItWasReconnected) {
    ops.upgradeResult = DatabaseWriteResult::Failed;
    ops.Plug({"1111111"});
    StartWorker();
    ASSERT_TRUE(RunUntilFailed());
    EXPECT_EQ(ops.Count("upgrade"), 1);

    // Nothing is retried while the Orvo stays attached.
    view.RunFor(5000);
    EXPECT_EQ(ops.Count("upgrade"), 1);
    EXPECT_EQ(ops.Count("download"), 1);

    ops.upgradeResult = DatabaseWriteResult::Written;
    ops.Unplug();
    view.RunFor(1000);
    ops.Plug({"1111111"});
    ASSERT_TRUE(RunUntilSucceeded());
    EXPECT_EQ(ops.Count("download"), 2) << "a fresh cycle, with a fresh download";
    EXPECT_EQ(ops.Details("upgrade"), (std::vector<std::string>{"1111111", "1111111"}));
    EXPECT_EQ(ops.Count("datestamp"), 1);
}

TEST_F(UpdateCycle, ReportsWritingOnlyWhileTheDeviceIsBeingWritten) {
    std::vector<std::pair<std::string, bool>> seen;
    ops.onCall = [&](const std::string& name) { seen.emplace_back(name, worker.IsWritingDevice()); };
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilSucceeded());
    for (const auto& [name, writing] : seen)
        EXPECT_EQ(writing, name == "upgrade" || name == "datestamp") << name;
    EXPECT_FALSE(worker.IsWritingDevice());
}

// Wiring left out is one clear error at the start, never a default that
// does nothing.
TEST_F(UpdateCycle, AnEngineSetUpWithoutItsWiringIsRefusedWithOneError) {
    EngineSetup setup(device, view, signals, resources);
    std::string error;
    EXPECT_EQ(UpdateEngine::Make(setup, error), nullptr);
    EXPECT_NE(error.find("save the settings"), std::string::npos) << error;
    setup.saveSettings = [] {};
    EXPECT_NE(UpdateEngine::Check(setup).find("download's size"), std::string::npos);
    setup.downloadSizeKb = [] { return 0; };
    EXPECT_NE(UpdateEngine::Check(setup).find("update server's address"), std::string::npos);
    setup.serverHost = DefaultServerHost;
    EXPECT_NE(UpdateEngine::Check(setup).find("look for the device"), std::string::npos);
    setup.findDevice = [] { return false; };
    EXPECT_NE(UpdateEngine::Check(setup).find("folder for its log"), std::string::npos);
    setup.logFolder = "/nonexistent/log/";
    EXPECT_NE(UpdateEngine::Check(setup).find("log cannot be written"), std::string::npos);
    setup.logNotWritable = [](const std::string&) {};
    EXPECT_NE(UpdateEngine::Check(setup).find("sleep inhibitor"), std::string::npos);
    NoSleepInhibitor noInhibitor;
    setup.sleepInhibitor = &noInhibitor;
    setup.listeners = {nullptr};
    EXPECT_NE(UpdateEngine::Check(setup).find("listener"), std::string::npos);
    setup.listeners.clear();
    EXPECT_EQ(UpdateEngine::Check(setup), "");
}

// --- stopping: the window closes while the worker waits or works.

class StopRequest : public UpdateCycle {
protected:
    void ExpectStopsPromptly() {
        const auto callsBefore = ops.Calls().size();
        const auto repaintsBefore = view.Repaints();
        const auto started = std::chrono::steady_clock::now();
        worker.RequestStop();
        worker.Join();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_TRUE(worker.Finished());
        EXPECT_FALSE(worker.LastCycleFailed());
        EXPECT_EQ(view.Repaints(), repaintsBefore) << "no UI call once the UI thread waits in Join";
        for (auto i = callsBefore; i < ops.Calls().size(); ++i)
            EXPECT_EQ(ops.Calls()[i].name, "interrupt");
    }
};

TEST_F(StopRequest, EndsTheWaitForADevice) {
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return WaitingForArrival(); }));
    ExpectStopsPromptly();
    EXPECT_TRUE(Outcomes().empty());
}

TEST_F(StopRequest, EndsTheWaitForTheUnplug) {
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(RunUntilSucceeded());
    ExpectStopsPromptly();
    EXPECT_EQ(Outcomes(), std::vector<CycleOutcome>{CycleOutcome::Succeeded}) << "the cycle had ended already";
}

TEST_F(StopRequest, EndsTheWaitForTheOrvoToComeBackBeforeTheWrite) {
    ops.Plug({});
    ops.onCall = [this](const std::string& name) {
        if (name == "prepare")
            ops.Unplug();
    };
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return Status() == Text(ResourceId::ReconnectText) && WaitingForArrival(); }));
    ExpectStopsPromptly();
}

TEST_F(StopRequest, InterruptsADownloadAndRunsNothingAfterIt) {
    ops.downloadMs = 60'000;
    ops.Plug({});
    StartWorker();
    ASSERT_TRUE(view.RunUntil([this] { return ops.Count("download") == 1; }));
    ExpectStopsPromptly();
    EXPECT_EQ(ops.Count("prepare"), 0);
    const auto ended = events.Of<CycleEvents::CycleEnded>();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].outcome, CycleOutcome::Interrupted);
    EXPECT_TRUE(std::holds_alternative<CycleEvents::CycleEnded>(events.All().back()))
        << "the interruption is the last thing said";
}

TEST_F(StopRequest, BeforeTheThreadRunsEndsItAtOnce) {
    worker.RequestStop();
    StartWorker();
    worker.Join();
    EXPECT_TRUE(worker.Finished());
    EXPECT_FALSE(worker.LastCycleFailed());
    EXPECT_TRUE(ops.Calls().empty() || ops.Calls().front().name == "interrupt");
}

}  // namespace

// The engine writes the log for support itself, each event before any front
// end's listener hears it: every front end's log says the same, and a box a
// display holds up keeps nothing from it.
TEST(UpdateEngineKeeping, WritesTheLogBeforeTheFrontEndsListenersHearAnEvent) {
    VirtualBusEngine rig;
    ScratchFolder folder("engine_log");
    CDfuDevice device(folder.File("orvo-updater"), rig.library, rig.bus);
    const std::string logFile = folder.File("log/") + CycleLog::FileName;
    struct LogReader final : CycleEventListener {
        explicit LogReader(std::string file) : path(std::move(file)) {}
        void OnCycleEvent(const CycleEvent& event) override {
            if (!std::holds_alternative<CycleEvents::StateEntered>(event))
                return;
            std::lock_guard lock(mutex);
            if (firstLogged)
                return;
            std::ifstream in(path);
            firstLogged = std::string(std::istreambuf_iterator<char>(in), {});
            heard.notify_all();
        }
        std::string path;
        std::mutex mutex;
        std::condition_variable heard;
        std::optional<std::string> firstLogged;
    } reader(logFile);
    CycleSignals signals;
    Resources resources;
    SimulatedView view;
    NoSleepInhibitor noInhibitor;
    EngineSetup setup(device, view, signals, resources);
    setup.saveSettings = [] {};
    setup.downloadSizeKb = [] { return 0; };
    setup.serverHost = DefaultServerHost;
    setup.findDevice = [&device] { return device.FindDeviceNow(); };
    setup.logFolder = folder.File("log/");
    setup.logNotWritable = [](const std::string& problem) { ADD_FAILURE() << problem; };
    setup.sleepInhibitor = &noInhibitor;
    setup.listeners = {&reader};
    std::string error;
    auto engine = UpdateEngine::Make(std::move(setup), error);
    ASSERT_TRUE(engine) << error;
    engine->Start();
    EXPECT_TRUE(engine->MayClose([] { ADD_FAILURE() << "nothing to approve"; }))
        << "nothing is being written: the window closes without a question";
    {
        std::unique_lock lock(reader.mutex);
        ASSERT_TRUE(reader.heard.wait_for(lock, std::chrono::seconds(10), [&] { return reader.firstLogged.has_value(); }));
    }
    engine->StopAndJoin();
    EXPECT_NE(reader.firstLogged->find("state restart"), std::string::npos) << *reader.firstLogged;
}
