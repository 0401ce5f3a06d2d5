#pragma once

#include <string>
#include <vector>

#include <QFileSystemWatcher>
#include <QImage>
#include <QObject>
#include <QTimer>

// The view's background picture: read at the first paint and again only when
// the file changes on disk (or appears in, or leaves, one of the resource
// folders), never at every paint, so a repaint does no file I/O. The picture
// can still be exchanged while the program runs.
class PictureFile : public QObject {
    Q_OBJECT
public:
    // A change is read this long after the last notice of it: a file being
    // written sends several, and only the finished one is worth reading.
    static constexpr int SettleMs = 50;

    explicit PictureFile(std::vector<std::string> resourceFolders, QObject* parent = nullptr);

    // The picture as last read; null when there is none. The first call reads it.
    const QImage& Current();
    // How many times the file has been read, for tests.
    int Reads() const { return reads_; }

Q_SIGNALS:
    // The picture on disk has changed and has been read again.
    void changed();

private:
    struct FileStamp {
        std::string path;
        qint64 modified = 0;
        qint64 size = 0;
        qint64 changed = 0;  // metadata: a file renamed into place
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp Stamp(const std::string& path);
    void Read();
    void Watch(const std::string& path);

    const std::vector<std::string> folders_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    QImage picture_;
    FileStamp stamp_;
    bool read_ = false;
    int reads_ = 0;
};
