#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// The whole content of a regular file, at most `cap` bytes. A FIFO, a device, a folder or a
// larger file is refused with the reason in `error`: the file is opened without blocking and
// checked on its descriptor, so a name swapped for a FIFO after a listing cannot block the
// program, and nothing is read past the cap whatever size the file claims.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 cap,
                                          QString* error = nullptr);

// A regular file held open, for reading the parts of it that are needed; checked as above.
struct OpenedFile
{
    int fd = -1;
    qint64 size = 0;
    // What the file was when it was opened, to tell whether its name still leads to it as it was.
    quint64 device = 0, inode = 0;
    qint64 modifiedNs = 0;
    OpenedFile() = default;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile();
    // `length` bytes from `offset`, fewer at the file's end; empty where it cannot be read.
    QByteArray read(qint64 offset, qint64 length) const;
    // Whether `path` names this file still, unchanged since it was opened.
    bool isStill(const QString& path) const;
};
std::shared_ptr<OpenedFile> openRegularFile(const QString& path, qint64 cap,
                                            QString* error = nullptr);

// The content of a regular file or of a pipe (a FIFO, or bash's <(…)), at most `cap` bytes:
// for what a person may rather not keep on disk. A device or a folder is refused.
std::optional<QByteArray> readFileOrPipe(const QString& path, qint64 cap, QString* error = nullptr);
