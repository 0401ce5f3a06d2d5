#include "orvo_demo/headless_run.h"

#include <cstdio>

#include "orvo_demo/demo_bench.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

constexpr int WaitingStringId = ResourceId::ConnectDeviceText;
constexpr int FailedStringId = ResourceId::FailedText;
constexpr int SuccessStringId = ResourceId::UpgradeSuccessfulText;
constexpr int WritingStringId = ResourceId::WritingText;
constexpr int SerialStringId = ResourceId::SerialPrefixText;
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

HeadlessRun::HeadlessRun(DemoBench& bench, const Resources& resources, std::string serial, int timeoutMs,
                         QObject* parent)
    : QObject(parent), bench_(bench), resources_(resources), serial_(std::move(serial)), current_(serial_) {
    timeout_.setSingleShot(true);
    timeout_.setInterval(timeoutMs);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        std::fprintf(stderr, "orvo-demo: the cycle did not finish within --timeout\n");
        Finish(ExitTimedOut);
    });
}

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
    if (text.startsWith(Text(SerialStringId)))
        // The serial ends its line; what the Orvo holds may follow below.
        statusSerial_ = text.mid(Text(SerialStringId).size()).section(QLatin1Char('\n'), 0, 0).toStdString();
    if (text == Text(FailedStringId)) {
        if (retry_ && !retried_)
            Reconnect();
        else
            Finish(ExitFailed);
    }
    else if (AllUpdated() && text == Text(WaitingStringId))
        Finish(ExitSucceeded);
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
    if (text == Text(SuccessStringId) && updated_.insert(statusSerial_).second) {
        if (snapshot_ && updated_.size() == 1)
            snapshot_("upgrade-successful");
        OnUpdated();
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
