#include "qt/picture_file.h"

#include <QFileInfo>
#include <QString>

#include "ui/status_painting.h"

PictureFile::PictureFile(std::vector<std::string> resourceFolders, QObject* parent)
    : QObject(parent), folders_(std::move(resourceFolders)) {
    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    connect(&settle_, &QTimer::timeout, this, [this] {
        Read();
        Q_EMIT changed();
    });
    // A folder changes when a picture is added, removed or renamed into
    // place; the file itself when it is written over. The program folder
    // also holds the working files, which come and go with every cycle: a
    // folder's notice counts only when the picture itself did.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (Stamp(PictureFilePath(folders_)) != stamp_)
            settle_.start();
    });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { settle_.start(); });
    for (const std::string& folder : folders_) {
        const QString path = QString::fromStdString(folder);
        if (!path.isEmpty() && QFileInfo::exists(path) && !watcher_.directories().contains(path))
            watcher_.addPath(path);
    }
}

const QImage& PictureFile::Current() {
    if (!read_)
        Read();
    return picture_;
}

void PictureFile::Read() {
    read_ = true;
    ++reads_;
    const std::string path = PictureFilePath(folders_);
    picture_ = path.empty() ? QImage() : QImage(QString::fromStdString(path));
    stamp_ = Stamp(path);
    Watch(path);
}

PictureFile::FileStamp PictureFile::Stamp(const std::string& path) {
    if (path.empty())
        return {};
    const QFileInfo info(QString::fromStdString(path));
    return {path, info.lastModified().toMSecsSinceEpoch(), info.size(),
            info.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch()};
}

// A file replaced by a rename drops out of the watch: it is watched afresh
// after every read.
void PictureFile::Watch(const std::string& path) {
    const QStringList watched = watcher_.files();
    if (!watched.isEmpty())
        watcher_.removePaths(watched);
    if (!path.empty())
        watcher_.addPath(QString::fromStdString(path));
}
