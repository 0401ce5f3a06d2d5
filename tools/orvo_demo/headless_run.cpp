#include "orvo_demo/headless_run.h"

#include <cstdio>
#include <utility>

#include "orvo_demo/demo_bench.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "update/update_state.h"

namespace {

constexpr int SuccessStringId = ResourceId::UpgradeSuccessfulText;
constexpr int WritingStringId = ResourceId::WritingText;
// Long enough for the updater's removal check (every 500 ms) to see the
// change, as with a person handling the leads.
constexpr int ReconnectDelayMs = 1500;

void PrintLine(const char* prefix, const QString& text) {
    // Multi-line status texts stay one printed line each, so the output can be compared line by line.
    QString oneLine = text;
    oneLine.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    oneLine.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    std::printf("%s%s\n", prefix, oneLine.toUtf8().constData());
    std::fflush(stdout);
}

}  // namespace

void CycleOutcomeRelay::Attach(HeadlessRun* run) {
    std::lock_guard lock(mutex_);
    run_ = run;
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
    if (run_ == nullptr)
        return;
    news_.push_back(std::move(news));
    QMetaObject::invokeMethod(run_, "TakeNews", Qt::QueuedConnection);
}

std::deque<CycleOutcomeRelay::News> CycleOutcomeRelay::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(news_, {});
}

HeadlessRun::HeadlessRun(DemoBench& bench, const Resources& resources, std::string serial, int timeoutMs,
                         CycleOutcomeRelay& relay, QObject* parent)
    : QObject(parent), relay_(relay), bench_(bench), resources_(resources), serial_(std::move(serial)),
      current_(serial_) {
    relay_.Attach(this);
    timeout_.setSingleShot(true);
    timeout_.setInterval(timeoutMs);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        std::fprintf(stderr, "orvo-demo: the cycle did not finish within --timeout\n");
        Finish(ExitTimedOut);
    });
}

HeadlessRun::~HeadlessRun() { relay_.Attach(nullptr); }

QString HeadlessRun::Text(int stringId) const { return QString::fromStdString(resources_.String(stringId)); }

void HeadlessRun::Start(const QString& currentStatus) {
    timeout_.start();
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
    std::printf("plugged in virtual Orvo %s\n", serial_.c_str());
    std::fflush(stdout);
}

void HeadlessRun::OnStatus(const QString& text) {
    if (text == lastStatus_ || done_)
        return;
    lastStatus_ = text;
    PrintLine("status: ", text);
    // The worker said it is back at waiting before it showed the waiting
    // text: the output ends with that text.
    if (idle_)
        Finish(ExitSucceeded);
}

void HeadlessRun::TakeNews() {
    for (const CycleOutcomeRelay::News& news : relay_.Take()) {
        if (news.waiting)
            OnWaitingForDevice();
        else
            OnCycleEnded(news.serial, news.outcome);
    }
}

void HeadlessRun::OnCycleEnded(const std::string& serial, CycleOutcome outcome) {
    if (done_)
        return;
    if (outcome == CycleOutcome::Failed) {
        if (retry_ && !retried_)
            Reconnect();
        else
            Finish(ExitFailed);
    } else if (outcome != CycleOutcome::Interrupted && updated_.insert(serial).second) {
        if (snapshot_ && updated_.size() == 1)
            snapshot_("upgrade-successful");
        OnUpdated();
    }
}

void HeadlessRun::OnWaitingForDevice() {
    if (!done_ && AllUpdated())
        idle_ = true;
}

void HeadlessRun::OnBarText(const QString& text) {
    if (done_)
        return;
    PrintLine("bar: ", text);
    if (snapshot_ && !writeShot_ && lastStatus_ == Text(WritingStringId) && text.endsWith(QLatin1Char('%')) &&
        text.chopped(1).toInt() >= 40) {
        writeShot_ = true;
        snapshot_("during-write");
    }
}

// The first Orvo stays in for a while beside the second: the updater must
// wait for it to go and then take the second.
void HeadlessRun::OnUpdated() {
    if (second_.empty() || current_ == second_) {
        UnplugNow(current_);
        return;
    }
    if (!bench_.Plug(second_)) {
        std::fprintf(stderr, "orvo-demo: could not plug in the virtual Orvo %s\n", second_.c_str());
        Finish(ExitFailed);
        return;
    }
    std::printf("plugged in virtual Orvo %s beside %s\n", second_.c_str(), current_.c_str());
    std::fflush(stdout);
    QTimer::singleShot(ReconnectDelayMs, this, [this] {
        if (done_)
            return;
        UnplugNow(current_);
        current_ = second_;
    });
}

void HeadlessRun::UnplugNow(const std::string& serial, const char* why) {
    bench_.Unplug(serial);
    std::printf("unplugged virtual Orvo %s%s\n", serial.c_str(), why);
    std::fflush(stdout);
}

bool HeadlessRun::AllUpdated() const {
    return updated_.count(serial_) != 0 && (second_.empty() || updated_.count(second_) != 0);
}

void HeadlessRun::Reconnect() {
    retried_ = true;
    UnplugNow(current_, " to retry");
    QTimer::singleShot(ReconnectDelayMs, this, [this] {
        if (done_)
            return;
        if (!bench_.Plug(current_)) {
            std::fprintf(stderr, "orvo-demo: could not plug in the virtual Orvo %s again\n", current_.c_str());
            Finish(ExitFailed);
            return;
        }
        std::printf("plugged in virtual Orvo %s again\n", current_.c_str());
        std::fflush(stdout);
    });
}

void HeadlessRun::Finish(int exitCode) {
    if (done_)
        return;
    done_ = true;
    timeout_.stop();
    Q_EMIT finished(exitCode);
}
