// The event channel that the worker and the device publish on, the phase
// timer that brackets each phase on it, and the window's display of it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "common/auto_reset_event.h"
#include "common/cycle_events.h"
#include "common/phase_timer.h"
#include "common/text_ids.h"
#include "ui/language_library.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "simulated_view.h"
#include "support/recording_events.h"
#include "support/recording_ports.h"

namespace {

using namespace std::chrono_literals;

class NamedListener final : public CycleEventListener {
public:
    NamedListener(std::string name, std::string& log) : name_(std::move(name)), log_(log) {}
    void OnCycleEvent(const CycleEvent&) override { log_ += name_; }

private:
    std::string name_;
    std::string& log_;
};

TEST(CycleEventChannel, CallsListenersInTheOrderTheySubscribedUntilTheyUnsubscribe) {
    CycleEventChannel channel;
    std::string log;
    NamedListener a("a", log);
    NamedListener b("b", log);
    channel.Publish(CycleEvents::Notice{"nobody hears this"});
    channel.Subscribe(b);
    channel.Subscribe(a);
    channel.Publish(CycleEvents::StateEntered{3});
    channel.Unsubscribe(b);
    channel.Publish(CycleEvents::StateEntered{4});
    EXPECT_EQ(log, "baa");
}

// A listener that blocks its publisher (a modal box does) holds no lock:
// another thread publishes, subscribes and unsubscribes meanwhile.
class BlockingListener final : public CycleEventListener {
public:
    void OnCycleEvent(const CycleEvent& event) override {
        if (!std::holds_alternative<CycleEvents::Error>(event))
            return;
        entered.Set();
        release.Wait();
    }
    AutoResetEvent entered;
    AutoResetEvent release;
};

TEST(CycleEventChannel, AListenerThatBlocksItsPublisherBlocksNoOtherPublisher) {
    CycleEventChannel channel;
    BlockingListener blocking;
    channel.Subscribe(blocking);
    std::thread monitor([&] { channel.Publish(CycleEvents::Error{CycleErrorKind::Device, "report", "lines"}); });
    blocking.entered.Wait();

    auto other = std::async(std::launch::async, [&] {
        RecordingEvents late(channel);
        channel.Publish(CycleEvents::PhaseStarted{CyclePhase::Write});
        return late.PhasesStarted();
    });
    const bool returned = other.wait_for(30s) == std::future_status::ready;
    blocking.release.Set();
    monitor.join();
    ASSERT_TRUE(returned) << "the second publisher waited for the blocked one";
    EXPECT_EQ(other.get(), std::vector<CyclePhase>{CyclePhase::Write});
}

TEST(PhaseTimer, BracketsItsPhaseOnceAndNamesItWhileItRuns) {
    CycleEventChannel channel;
    RecordingEvents events(channel);
    std::atomic<int> running{PhaseTimer::NoPhase};
    {
        PhaseTimer write(channel, running, CyclePhase::Write);
        EXPECT_EQ(running.load(), static_cast<int>(CyclePhase::Write));
        {
            PhaseTimer verify(channel, running, CyclePhase::Verify);
            std::this_thread::sleep_for(20ms);
            EXPECT_TRUE(verify.End(true));
            EXPECT_FALSE(verify.End(false)) << "returns what it is given";
            EXPECT_EQ(running.load(), static_cast<int>(CyclePhase::Write)) << "the outer phase runs again";
        }
        // Left without End: the phase failed.
    }
    EXPECT_EQ(running.load(), PhaseTimer::NoPhase);

    EXPECT_EQ(events.PhasesStarted(), (std::vector<CyclePhase>{CyclePhase::Write, CyclePhase::Verify}));
    const auto ended = events.Of<CycleEvents::PhaseEnded>();
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].phase, CyclePhase::Verify);
    EXPECT_TRUE(ended[0].succeeded);
    EXPECT_GE(ended[0].duration, 20ms) << "measured on the steady clock";
    EXPECT_EQ(ended[1].phase, CyclePhase::Write);
    EXPECT_FALSE(ended[1].succeeded);
    EXPECT_GE(ended[1].duration, ended[0].duration);
}

// How each error reaches the window, by what went wrong and how far it
// reaches: the bar, a plain box with the report, the error box with its
// caption, or nothing but the outcome.
TEST(CycleDisplay, ShowsEachErrorWhereTheTableSaysAndNowhereElse) {
    struct Case {
        ErrorCause cause;
        ErrorSeverity severity;
        bool onBar;
        std::string box;      // the box's text, empty for none
        std::string caption;  // the error box's caption, empty for a plain box
    };
    const Case cases[] = {
        {ErrorCause::DeviceStep, ErrorSeverity::Step, true, "", ""},
        {ErrorCause::OperationFailed, ErrorSeverity::Step, true, "the report", ""},
        {ErrorCause::ReadBackDiffers, ErrorSeverity::Step, true, "the report", ""},
        {ErrorCause::UnsupportedFeature, ErrorSeverity::Step, false, "the text", ""},
        {ErrorCause::WorkingFile, ErrorSeverity::Step, false, "the text", ""},
        {ErrorCause::WorkingFile, ErrorSeverity::Cycle, false, "the text", "Error caption"},
        {ErrorCause::DownloadUnusable, ErrorSeverity::Cycle, false, "the text", "Error caption"},
        {ErrorCause::RequestUnusable, ErrorSeverity::Cycle, false, "", ""},
        {ErrorCause::OtherDevice, ErrorSeverity::Cycle, false, "", ""},
    };
    for (const Case& expected : cases) {
        SCOPED_TRACE(static_cast<int>(expected.cause) * 10 + static_cast<int>(expected.severity));
        CycleEventChannel channel;
        RecordingProgressBar bar;
        SimulatedView view;
        CycleSignals signals;
        CycleDisplay display(channel, bar, view, signals, [] { return std::string("Error caption"); });
        channel.Publish(CycleEvents::Notice{"before"});
        bar.SetPos(60);

        channel.Publish(
            CycleEvents::Error{CycleErrorKind::Device, "the text", "the report", expected.cause, expected.severity});

        EXPECT_EQ(bar.Text(), expected.onBar ? "the text" : "before");
        EXPECT_EQ(bar.BarColour(), expected.onBar ? Rgb(255, 0, 0) : Colour{0});
        EXPECT_EQ(bar.Pos(), expected.caption.empty() ? 60 : 0) << "the error box empties the bar";
        const auto boxes = view.Boxes();
        ASSERT_EQ(boxes.size(), expected.box.empty() ? 0u : 1u);
        if (!boxes.empty()) {
            EXPECT_EQ(boxes[0].text, expected.box);
            EXPECT_EQ(boxes[0].caption, expected.caption);
        }
    }
}

// Errors from below the language resources come in English with an id: the
// window shows them in the language in force, with their values; an error
// box keeps the worker's own text, already in that language.
TEST(CycleDisplay, ShowsErrorsWithAnIdInTheLanguageInForce) {
    Resources resources;
    resources.Switch(LanguageLibrary::Load(std::string(ORVO_TEST_BIN_DIR) + "/", "Lang_GER.Dll"));
    ASSERT_NE(resources.InForce(), nullptr);
    CycleEventChannel channel;
    RecordingProgressBar bar;
    SimulatedView view;
    CycleSignals signals;
    CycleDisplay display(channel, bar, view, signals, {}, resources.StringLookup());

    channel.Publish(CycleEvents::Error{CycleErrorKind::Verify, "Verify failed: … 0x00010000.", {},
                                       ErrorCause::ReadBackDiffers, ErrorSeverity::Step, TextId::VerifyFailed,
                                       {"0x00010000"}});
    EXPECT_EQ(bar.Text(), "Überprüfung fehlgeschlagen: Der Orvo weicht an Adresse 0x00010000 von der Datenbank ab.");
    ASSERT_EQ(view.Boxes().size(), 1u);
    EXPECT_EQ(view.Boxes()[0].text, bar.Text());

    channel.Publish(CycleEvents::Error{CycleErrorKind::Download, "Der ganze Text", {}, ErrorCause::DownloadUnusable,
                                       ErrorSeverity::Cycle, ResourceId::DownloadCauseTimedOut});
    ASSERT_EQ(view.Boxes().size(), 2u);
    EXPECT_EQ(view.Boxes()[1].text, "Der ganze Text");

    channel.Publish(CycleEvents::Notice{"vorher"});
    channel.Publish(CycleEvents::DeviceAccess{"no permission"});
    EXPECT_EQ(bar.Text(), resources.String(ResourceId::NoUsbPermissionText));
    EXPECT_NE(bar.Text(), DeviceAccessBarText);
    channel.Publish(CycleEvents::DeviceAccess{});
    EXPECT_EQ(bar.Text(), "vorher");
}

// The bar gets its text back when the access problem goes, unless something
// else was shown over it meanwhile: by the display itself, or by the
// download's animation, which writes the bar directly. The display never
// reads the bar to know.
TEST(CycleDisplay, AccessProblemGivesBackOnlyTheTextItCovered) {
    CycleEventChannel channel;
    RecordingProgressBar bar;
    RecordingMessageBox box;
    CycleSignals signals;
    CycleDisplay display(channel, bar, box, signals);
    channel.Publish(CycleEvents::Notice{"Upgrade successful !"});
    bar.SetText("what the display never wrote");
    channel.Publish(CycleEvents::DeviceAccess{"no permission"});
    channel.Publish(CycleEvents::DeviceAccess{"no permission, another device"});
    EXPECT_EQ(bar.Text(), DeviceAccessBarText);
    channel.Publish(CycleEvents::DeviceAccess{});
    EXPECT_EQ(bar.Text(), "Upgrade successful !");

    channel.Publish(CycleEvents::DeviceAccess{"no permission"});
    channel.Publish(CycleEvents::OperationFinished{DeviceOperation::Write, true});
    channel.Publish(CycleEvents::DeviceAccess{});
    EXPECT_EQ(bar.Text(), "100%");

    channel.Publish(CycleEvents::PhaseStarted{CyclePhase::Convert});
    channel.Publish(CycleEvents::DeviceAccess{"no permission"});
    bar.SetText("42%");  // the animation's tick
    channel.Publish(CycleEvents::DeviceAccess{});
    EXPECT_EQ(bar.Text(), "42%");
    channel.Publish(CycleEvents::PhaseEnded{CyclePhase::Convert, true, {}});
    channel.Publish(CycleEvents::DeviceAccess{"no permission"});
    channel.Publish(CycleEvents::DeviceAccess{});
    EXPECT_EQ(bar.Text(), "100%") << "the animation has ended";
}

// A read inside the write (compare, backup, verify, the holdings after the
// date stamp) keeps the write's green; outside it a read shows teal.
TEST(CycleDisplay, ReadsDuringTheWriteKeepTheWritesColours) {
    CycleEventChannel channel;
    RecordingProgressBar bar;
    RecordingMessageBox box;
    CycleSignals signals;
    signals.ShowProgress = 1;
    CycleDisplay display(channel, bar, box, signals);
    const auto colourAfter = [&](DeviceOperation operation) {
        channel.Publish(CycleEvents::OperationStarted{operation});
        return bar.BarColour();
    };
    const Colour teal = Rgb(0, 128, 128);
    const Colour green = Rgb(0, 128, 0);
    EXPECT_EQ(colourAfter(DeviceOperation::IdentityRead), teal);
    channel.Publish(CycleEvents::StatusChanged{CycleStatus::Writing, {}, {}});
    for (const DeviceOperation operation :
         {DeviceOperation::Read, DeviceOperation::Erase, DeviceOperation::Write, DeviceOperation::Read})
        EXPECT_EQ(colourAfter(operation), green) << static_cast<int>(operation);
    channel.Publish(CycleEvents::StatusChanged{CycleStatus::Complete, {}, {}});
    EXPECT_EQ(bar.BarColour(), green) << "the cycle ends on the write's colours";
    EXPECT_EQ(colourAfter(DeviceOperation::Read), teal);
}

}  // namespace
