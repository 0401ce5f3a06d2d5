#include "qt/ui_invoker.h"

#include <QMetaObject>
#include <QThread>

UiInvokerDrainer::UiInvokerDrainer(std::shared_ptr<UiInvoker::Shared> shared, QObject* parent)
    : QObject(parent), shared_(std::move(shared)) {}

void UiInvokerDrainer::Drain() {
    for (;;) {
        std::shared_ptr<UiInvoker::Call> call;
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->shutDown || shared_->pending.empty())
                return;
            call = std::move(shared_->pending.front());
            shared_->pending.pop_front();
        }
        call->run();
        {
            std::lock_guard lock(shared_->mutex);
            call->done = true;
        }
        shared_->changed.notify_all();
    }
}

UiInvoker::UiInvoker(QObject* context)
    : context_(context), drainer_(context != nullptr ? new UiInvokerDrainer(shared_, context) : nullptr) {}

UiInvoker::~UiInvoker() { Shutdown(); }

bool UiInvoker::OnUiThread() const {
    return context_ != nullptr && QThread::currentThread() == context_->thread();
}

void UiInvoker::Enqueue(std::shared_ptr<Call> call) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->pending.push_back(std::move(call));
    }
    // One drain per call; a drain that finds the queue already empty does nothing.
    QMetaObject::invokeMethod(drainer_, "Drain", Qt::QueuedConnection);
}

bool UiInvoker::RunAndWait(std::function<void()> call) {
    if (IsShutDown())
        return false;
    if (OnUiThread()) {
        call();
        return true;
    }
    if (drainer_ == nullptr)
        return false;
    auto queued = std::make_shared<Call>();
    queued->run = std::move(call);
    Enqueue(queued);
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [&] { return queued->done || shared_->shutDown; });
    return queued->done;
}

void UiInvoker::Post(std::function<void()> call) {
    if (IsShutDown())
        return;
    if (OnUiThread()) {
        call();
        return;
    }
    if (drainer_ == nullptr)
        return;
    auto queued = std::make_shared<Call>();
    queued->run = std::move(call);
    Enqueue(std::move(queued));
}

void UiInvoker::Shutdown() {
    std::deque<std::shared_ptr<Call>> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->shutDown = true;
        dropped.swap(shared_->pending);
    }
    shared_->changed.notify_all();
}

bool UiInvoker::IsShutDown() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->shutDown;
}
