#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>
#include <QPointer>

// Hands calls from other threads to the UI thread. A call made on the UI
// thread itself runs at once: the operation monitor opens message boxes from
// inside a UI-thread timer tick, and a blocking post to one's own thread
// would never return.
//
// After Shutdown() every waiting caller is released and later calls return
// at once without running: a worker blocked in a hand-over must not keep the
// program from ending while the UI thread waits for that worker.
//
// The calls themselves travel in a queue of our own under our own lock; the
// toolkit only carries a "drain the queue" signal. So every hand-over of data
// between the threads goes through a lock the thread sanitizer can see.
class UiInvoker {
public:
    // `context` lives on the UI thread; the calls run in its event loop.
    explicit UiInvoker(QObject* context);
    ~UiInvoker();
    UiInvoker(const UiInvoker&) = delete;
    UiInvoker& operator=(const UiInvoker&) = delete;

    bool OnUiThread() const;

    // Runs `call` on the UI thread and returns once it has run. False when
    // the invoker was shut down before the call finished (or ran).
    bool RunAndWait(std::function<void()> call);

    // Queues `call` for the UI thread without waiting (runs at once there).
    void Post(std::function<void()> call);

    void Shutdown();
    bool IsShutDown() const;

    struct Call {
        std::function<void()> run;
        bool done = false;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::shared_ptr<Call>> pending;
        bool shutDown = false;
    };

private:
    void Enqueue(std::shared_ptr<Call> call);

    QPointer<QObject> context_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    QObject* drainer_ = nullptr;  // child of the context, on the UI thread
};

// Runs the queued calls on the UI thread.
class UiInvokerDrainer : public QObject {
    Q_OBJECT
public:
    UiInvokerDrainer(std::shared_ptr<UiInvoker::Shared> shared, QObject* parent);

public Q_SLOTS:
    void Drain();

private:
    std::shared_ptr<UiInvoker::Shared> shared_;
};
