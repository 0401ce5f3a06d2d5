#include "demo_support/headless_cycle_run.h"

#include <cstdio>
#include <utility>

#include "demo_support/demo_bench.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "update/update_state.h"

namespace {

// Long enough for the updater's removal check (every 500 ms) to see the
// change, as with a person handling the leads.
constexpr int ReconnectDelayMs = 1500;
// The write shows in the picture from this far on.
constexpr int WriteShotPercent = 40;

void PrintLine(const char* prefix, const std::string& text) {
    // Multi-line status texts stay one printed line each, so the output can
    // be compared line by line.
    std::string oneLine;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            oneLine += "\\n";
            ++i;
        } else if (text[i] == '\n') {
            oneLine += "\\n";
        } else {
            oneLine += text[i];
        }
    }
    std::printf("%s%s\n", prefix, oneLine.c_str());
    std::fflush(stdout);
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace

void CycleOutcomeRelay::Attach(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void CycleOutcomeRelay::OnCycleEvent(const CycleEvent& event) {
    if (const auto* ended = std::get_if<CycleEvents::CycleEnded>(&event))
        Queue({false, ended->serial, ended->outcome});
    else if (const auto* state = std::get_if<CycleEvents::StateEntered>(&event);
             state != nullptr && state->state == static_cast<std::int32_t>(UpdateState::WaitForDevice))
        Queue({true, {}, CycleOutcome::Succeeded});
}

void CycleOutcomeRelay::Queue(News news) {
    std::lock_guard lock(mutex_);
    if (!wake_)
        return;
    news_.push_back(std::move(news));
    wake_();
}

std::deque<CycleOutcomeRelay::News> CycleOutcomeRelay::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(news_, {});
}

HeadlessCycleRun::HeadlessCycleRun(DemoBench& bench, const Resources& resources, std::string serial,
                                   HeadlessRunHost host)
    : bench_(bench), resources_(resources), host_(std::move(host)), serial_(std::move(serial)), current_(serial_) {}

void HeadlessCycleRun::Start(const std::string& currentStatus) {
    OnStatus(currentStatus);
    if (!bench_.Available()) {
        std::fprintf(stderr, "orvo-demo: not in this build: %s\n", bench_.Missing().c_str());
        Finish(ExitNoBench);
        return;
    }
    if (!bench_.Plug(serial_)) {
        std::fprintf(stderr, "orvo-demo: could not plug in the virtual Orvo %s (a serial is 7 characters)\n",
                     serial_.c_str());
        Finish(ExitFailed);
        return;
    }
    Say("plugged in virtual Orvo " + serial_);
}

void HeadlessCycleRun::OnStatus(const std::string& text) {
    if (text == lastStatus_ || done_)
        return;
    lastStatus_ = text;
    PrintLine("status: ", text);
    // The worker said it is back at waiting before it showed the waiting
    // text: the output ends with that text.
    if (idle_)
        Finish(ExitSucceeded);
}

void HeadlessCycleRun::OnNews(const CycleOutcomeRelay::News& news) {
    if (news.waiting)
        OnWaitingForDevice();
    else
        OnCycleEnded(news.serial, news.outcome);
}

void HeadlessCycleRun::TimedOut() {
    if (done_)
        return;
    std::fprintf(stderr, "orvo-demo: the cycle did not finish within --timeout\n");
    Finish(ExitTimedOut);
}

void HeadlessCycleRun::OnCycleEnded(const std::string& serial, CycleOutcome outcome) {
    if (done_)
        return;
    if (outcome == CycleOutcome::Failed) {
        if (retry_ && !retried_)
            Reconnect();
        else
            Finish(ExitFailed);
    } else if (outcome != CycleOutcome::Interrupted && updated_.insert(serial).second) {
        if (host_.snapshot && updated_.size() == 1)
            host_.snapshot("upgrade-successful");
        OnUpdated();
    }
}

void HeadlessCycleRun::OnWaitingForDevice() {
    if (!done_ && AllUpdated())
        idle_ = true;
}

bool HeadlessCycleRun::WriteWellUnderWay(const std::string& barText) const {
    if (lastStatus_ != resources_.String(ResourceId::WritingText) || barText.size() < 2 || barText.back() != '%')
        return false;
    int percent = 0;
    for (std::size_t i = 0; i + 1 < barText.size(); ++i) {
        if (barText[i] < '0' || barText[i] > '9' || percent > 1000)
            return false;
        percent = percent * 10 + (barText[i] - '0');
    }
    return percent >= WriteShotPercent;
}

void HeadlessCycleRun::OnBarText(const std::string& text) {
    if (done_)
        return;
    PrintLine("bar: ", text);
    if (host_.snapshot && !writeShot_ && WriteWellUnderWay(text)) {
        writeShot_ = true;
        host_.snapshot("during-write");
    }
}

// The first Orvo stays in for a while beside the second: the updater must
// wait for it to go and then take the second.
void HeadlessCycleRun::OnUpdated() {
    if (second_.empty() || current_ == second_) {
        UnplugNow(current_);
        return;
    }
    if (!bench_.Plug(second_)) {
        std::fprintf(stderr, "orvo-demo: could not plug in the virtual Orvo %s\n", second_.c_str());
        Finish(ExitFailed);
        return;
    }
    Say("plugged in virtual Orvo " + second_ + " beside " + current_);
    host_.later(ReconnectDelayMs, [this] {
        if (done_)
            return;
        UnplugNow(current_);
        current_ = second_;
    });
}

void HeadlessCycleRun::UnplugNow(const std::string& serial, const char* why) {
    bench_.Unplug(serial);
    Say("unplugged virtual Orvo " + serial + why);
}

bool HeadlessCycleRun::AllUpdated() const {
    return updated_.count(serial_) != 0 && (second_.empty() || updated_.count(second_) != 0);
}

void HeadlessCycleRun::Reconnect() {
    retried_ = true;
    UnplugNow(current_, " to retry");
    host_.later(ReconnectDelayMs, [this] {
        if (done_)
            return;
        if (!bench_.Plug(current_)) {
            std::fprintf(stderr, "orvo-demo: could not plug in the virtual Orvo %s again\n", current_.c_str());
            Finish(ExitFailed);
            return;
        }
        Say("plugged in virtual Orvo " + current_ + " again");
    });
}

void HeadlessCycleRun::Finish(int exitCode) {
    if (done_)
        return;
    done_ = true;
    host_.finished(exitCode);
}
