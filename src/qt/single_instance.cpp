#include "qt/single_instance.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

namespace {

constexpr const char* RaiseRequest = "raise\n";
constexpr const char* RaisedAnswer = "raised\n";
// The first start may hold the lock a moment before it listens.
constexpr int ConnectForMs = 3000;
constexpr int ConnectRetryMs = 100;
constexpr int AnswerWithinMs = 3000;

void BringToFront(QWidget* window) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

// Every window that shows, and the dialog that waits for an answer last, so
// that it ends up on top.
void BringWindowsToFront() {
    QWidget* modal = QApplication::activeModalWidget();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window != modal)
            BringToFront(window);
    }
    if (modal != nullptr)
        BringToFront(modal);
}

}  // namespace

SingleInstance::SingleInstance(std::string dataFolder, QObject* parent)
    : QObject(parent), dataFolder_(std::move(dataFolder)), lockPath_(InstanceLockPath(dataFolder_)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::ServerName(const std::string& dataFolder) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256).toHex().left(24);
    // Never the shared temporary folder, where another user could have put a
    // socket under the name first: without a runtime folder, the data folder.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir(QString::fromStdString(dataFolder.empty() ? "." : dataFolder)).absolutePath();
    return folder + QStringLiteral("/orvo-updater-") + QString::fromLatin1(digest);
}

SingleInstance::Claim SingleInstance::ClaimFolder() {
    switch (lock_.Acquire(lockPath_, error_)) {
    case InstanceLock::Result::Acquired: Listen(); return Claim::First;
    case InstanceLock::Result::HeldElsewhere: return AskFirstToRaise() ? Claim::Raised : Claim::NotReachable;
    case InstanceLock::Result::NotAFile: return Claim::Blocked;
    case InstanceLock::Result::Failed: break;
    }
    return Claim::Unchecked;
}

// Holding the lock, any socket left under the name is a crashed updater's.
void SingleInstance::Listen() {
    const QString name = ServerName(dataFolder_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        QLocalServer::removeServer(name);
        if (!server_->listen(name)) {
            error_ = "cannot listen on " + name.toStdString() + ": " + server_->errorString().toStdString();
            return;
        }
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == RaiseRequest) {
                BringWindowsToFront();
                socket->write(RaisedAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool SingleInstance::AskFirstToRaise() {
    const QString name = ServerName(dataFolder_);
    QLocalSocket socket;
    const QDeadlineTimer connectDeadline(ConnectForMs);
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(ConnectRetryMs))
            break;
        if (connectDeadline.hasExpired())
            return false;
        QThread::msleep(ConnectRetryMs);
    }
    socket.write(RaiseRequest);
    if (!socket.waitForBytesWritten(AnswerWithinMs))
        return false;
    const QDeadlineTimer answerDeadline(AnswerWithinMs);
    while (!socket.canReadLine()) {
        if (answerDeadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(answerDeadline.remainingTime())))
            return false;
    }
    return socket.readLine() == RaisedAnswer;
}
