#include "qt/logind_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

LogindInhibitor::LogindInhibitor(QObject* parent) : QObject(parent) {}

void LogindInhibitor::Hold() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    QMetaObject::invokeMethod(this, "FollowRequest", Qt::QueuedConnection);
}

void LogindInhibitor::Release() {
    {
        std::lock_guard lock(mutex_);
        requested_ = false;
    }
    QMetaObject::invokeMethod(this, "FollowRequest", Qt::QueuedConnection);
}

// Only the latest request counts: a Hold and a Release queued together end
// released.
void LogindInhibitor::FollowRequest() {
    bool requested = false;
    {
        std::lock_guard lock(mutex_);
        requested = requested_;
    }
    if (requested == wanted_)
        return;
    if (requested)
        HoldOnUiThread();
    else
        ReleaseOnUiThread();
}

void LogindInhibitor::HoldOnUiThread() {
    wanted_ = true;
    const unsigned request = ++request_;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Orvo Updater") << QStringLiteral("Writing the Orvo's database")
         << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* done) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *done;
        // No logind, or it refused: the write goes on without the lock.
        if (!reply.isError() && wanted_ && request == request_)
            lock_ = reply.value();
        done->deleteLater();
    });
}

void LogindInhibitor::ReleaseOnUiThread() {
    wanted_ = false;
    ++request_;
    // Closing our copy of the descriptor ends the lock.
    lock_ = QDBusUnixFileDescriptor();
}
