#include "appendeddevice.h"

#include <cstring>

AppendedDevice::AppendedDevice(const QString& path, QByteArray tail, QObject* parent)
    : QIODevice(parent), file_(path), tail_(std::move(tail))
{
}

bool AppendedDevice::open(OpenMode mode)
{
    if ((mode & WriteOnly) || !file_.open(QIODevice::ReadOnly))
        return false;
    return QIODevice::open(mode | Unbuffered);
}

void AppendedDevice::close()
{
    file_.close();
    QIODevice::close();
}

qint64 AppendedDevice::size() const
{
    return file_.size() + tail_.size();
}

qint64 AppendedDevice::readData(char* data, qint64 length)
{
    const qint64 at = pos();
    qint64 done = 0;
    if (at < file_.size()) {
        if (!file_.seek(at))
            return -1;
        done = file_.read(data, std::min(length, file_.size() - at));
        if (done < 0)
            return -1;
    }
    const qint64 inTail = std::max<qint64>(0, at + done - file_.size());
    const qint64 more = std::min<qint64>(length - done, tail_.size() - inTail);
    if (more > 0) {
        std::memcpy(data + done, tail_.constData() + inTail, size_t(more));
        done += more;
    }
    return done;
}
