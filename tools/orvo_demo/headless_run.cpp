#include "orvo_demo/headless_run.h"

#include <utility>

HeadlessRun::HeadlessRun(DemoBench& bench, const Resources& resources, std::string serial, int timeoutMs,
                         CycleOutcomeRelay& relay, QObject* parent)
    : QObject(parent), relay_(relay), run_(bench, resources, std::move(serial), Host()) {
    relay_.Attach([this] { QMetaObject::invokeMethod(this, "TakeNews", Qt::QueuedConnection); });
    timeout_.setSingleShot(true);
    timeout_.setInterval(timeoutMs);
    connect(&timeout_, &QTimer::timeout, this, [this] { run_.TimedOut(); });
}

HeadlessRun::~HeadlessRun() { relay_.Attach({}); }

HeadlessRunHost HeadlessRun::Host() {
    HeadlessRunHost host;
    host.later = [this](int delayMs, std::function<void()> call) { QTimer::singleShot(delayMs, this, std::move(call)); };
    host.finished = [this](int exitCode) {
        timeout_.stop();
        Q_EMIT finished(exitCode);
    };
    host.snapshot = [this](const char* moment) {
        if (snapshot_)
            snapshot_(moment);
    };
    return host;
}

void HeadlessRun::Start(const QString& currentStatus) {
    timeout_.start();
    run_.Start(currentStatus.toStdString());
}

void HeadlessRun::OnStatus(const QString& text) { run_.OnStatus(text.toStdString()); }

void HeadlessRun::OnBarText(const QString& text) { run_.OnBarText(text.toStdString()); }

void HeadlessRun::TakeNews() {
    for (const CycleOutcomeRelay::News& news : relay_.Take())
        run_.OnNews(news);
}
