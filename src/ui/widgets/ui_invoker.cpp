#include "ui/widgets/ui_invoker.h"

#include <QMetaObject>
#include <QThread>

UiInvoker::UiInvoker(QObject* context) : context_(context) {}

UiInvoker::~UiInvoker() { Shutdown(); }

bool UiInvoker::OnUiThread() const {
    return context_ != nullptr && QThread::currentThread() == context_->thread();
}

bool UiInvoker::RunAndWait(std::function<void()> call) {
    if (IsShutDown())
        return false;
    if (OnUiThread()) {
        call();
        return true;
    }
    QObject* context = context_.data();
    if (context == nullptr)
        return false;

    // The flag lives beside the shared state so the UI side can still mark it
    // after this caller has given up and returned.
    auto done = std::make_shared<bool>(false);
    auto shared = shared_;
    QMetaObject::invokeMethod(
        context,
        [shared, done, call = std::move(call)] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->shutDown)
                    return;
            }
            call();
            {
                std::lock_guard lock(shared->mutex);
                *done = true;
            }
            shared->changed.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(shared->mutex);
    shared->changed.wait(lock, [&] { return *done || shared->shutDown; });
    return *done;
}

void UiInvoker::Post(std::function<void()> call) {
    if (IsShutDown())
        return;
    if (OnUiThread()) {
        call();
        return;
    }
    QObject* context = context_.data();
    if (context == nullptr)
        return;
    auto shared = shared_;
    QMetaObject::invokeMethod(
        context,
        [shared, call = std::move(call)] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->shutDown)
                    return;
            }
            call();
        },
        Qt::QueuedConnection);
}

void UiInvoker::Shutdown() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->shutDown = true;
    }
    shared_->changed.notify_all();
}

bool UiInvoker::IsShutDown() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->shutDown;
}
