#pragma once

#include <memory>
#include <string>

#include <QObject>
#include <QString>

#include "common/instance_lock.h"

class QLocalServer;

// One updater per data folder. The first start holds the folder's lock and
// listens on a local socket named after the folder; a later start finds the
// lock held, asks the first to bring its windows to the front, and ends.
class SingleInstance : public QObject {
public:
    enum class Claim {
        First,         // this process is the updater for the folder
        Raised,        // another one runs and has brought its window to the front
        NotReachable,  // another one holds the lock but did not answer
        Unchecked,     // the lock could not be used (see Error()); runs anyway
        Blocked,       // something that is no file holds the lock's place (see Error())
    };

    // The exit codes of a second start.
    static constexpr int ExitRaised = 0;
    static constexpr int ExitNotReachable = 1;
    static constexpr int ExitBlocked = 1;

    explicit SingleInstance(std::string dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Needs the application object. Never takes longer than a few seconds.
    Claim ClaimFolder();
    const std::string& Error() const { return error_; }
    const std::string& LockPath() const { return lockPath_; }

    // The local socket's name: the user's runtime folder (private to the
    // user; else the data folder) and a digest of the data folder.
    static QString ServerName(const std::string& dataFolder);

private:
    void Listen();
    void OnConnection();
    bool AskFirstToRaise();

    std::string dataFolder_;
    std::string lockPath_;
    std::string error_;
    InstanceLock lock_;
    std::unique_ptr<QLocalServer> server_;
};
