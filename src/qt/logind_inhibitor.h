#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <mutex>

#include "update/sleep_guard.h"

// The system's sleep inhibitor through logind on the system bus: Hold asks
// for a "sleep" lock in "block" mode and keeps the descriptor it returns;
// Release closes it. Called from any thread without waiting: the calls go to
// the UI thread, and the request to logind is asynchronous. Without a system
// bus or logind nothing happens and nothing is reported.
class LogindInhibitor : public QObject, public SleepInhibitorPort {
    Q_OBJECT
public:
    static constexpr int CallTimeoutMs = 5000;

    // Lives on the thread that makes it, the UI thread.
    explicit LogindInhibitor(QObject* parent = nullptr);

    void Hold() override;
    void Release() override;

    // UI thread: whether logind's lock is held now.
    bool HoldsLock() const { return lock_.isValid(); }

private:
    // Queued by name, so no functor crosses the threads: its release inside
    // Qt would look like a race to ThreadSanitizer.
    Q_INVOKABLE void FollowRequest();
    void HoldOnUiThread();
    void ReleaseOnUiThread();

    // What the last Hold or Release asked for, from any thread.
    std::mutex mutex_;
    bool requested_ = false;
    bool wanted_ = false;
    // Counts the requests: an answer to one that was released since is dropped.
    unsigned request_ = 0;
    QDBusUnixFileDescriptor lock_;
};
