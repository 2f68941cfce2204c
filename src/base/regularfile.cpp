#include "regularfile.h"

#include "text.h"

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<QByteArray> refuse(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

OpenedFile::~OpenedFile()
{
    if (fd >= 0)
        ::close(fd);
}

QByteArray OpenedFile::read(qint64 offset, qint64 length) const
{
    QByteArray bytes(qsizetype(std::clamp<qint64>(std::min(length, size - offset), 0, length)),
                     Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(bytes.size() - done),
                                  off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        done += n;
    }
    return bytes;
}

bool OpenedFile::isStill(const QString& path) const
{
    struct stat st = {};
    return ::stat(encodeFileName(path).constData(), &st) == 0 && st.st_dev == device &&
           st.st_ino == inode && st.st_size == size &&
           qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec == modifiedNs;
}

std::shared_ptr<OpenedFile> openRegularFile(const QString& path, qint64 cap, QString* error)
{
    auto file = std::make_shared<OpenedFile>();
    file->fd =
        ::open(encodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file->fd < 0) {
        refuse(error, QStringLiteral("文件不存在或不能访问"));
        return nullptr;
    }
    struct stat st = {};
    if (::fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        refuse(error, QStringLiteral("这不是一个普通文件"));
        return nullptr;
    }
    if (st.st_size > cap) {
        refuse(error, QStringLiteral("文件太大"));
        return nullptr;
    }
    file->size = st.st_size;
    file->device = st.st_dev;
    file->inode = st.st_ino;
    file->modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return file;
}

namespace {

// Reads `fd` to its end, at most `cap` bytes. What passes through the buffer may be a secret:
// it is wiped, and the bytes are read into room made once.
std::optional<QByteArray> readToEnd(int fd, qint64 sizeHint, qint64 cap, QString* error)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(std::clamp<qint64>(sizeHint, 0, cap)));
    char buffer[64 * 1024];
    const struct Wiper
    {
        char* at;
        size_t size;
        ~Wiper() { ::explicit_bzero(at, size); }
    } wiper{buffer, sizeof buffer};
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return bytes;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(error, QStringLiteral("文件不能读取"));
        if (bytes.size() + n > cap)
            return refuse(error, QStringLiteral("文件太大"));
        bytes.append(buffer, n);
    }
}

std::optional<QByteArray> readFile(const QString& path, qint64 cap, QString* error, bool pipes)
{
    const int fd =
        ::open(encodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return refuse(error, QStringLiteral("文件不存在或不能访问"));
    const struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return refuse(error, QStringLiteral("文件不能读取"));
    const bool pipe = pipes && S_ISFIFO(st.st_mode);
    if (!S_ISREG(st.st_mode) && !pipe)
        return refuse(error, QStringLiteral("这不是一个普通文件"));
    // A pipe is waited on for what its writer sends.
    if (pipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return readToEnd(fd, pipe ? cap : st.st_size, cap, error);
}

} // namespace

std::optional<QByteArray> readRegularFile(const QString& path, qint64 cap, QString* error)
{
    return readFile(path, cap, error, false);
}

std::optional<QByteArray> readFileOrPipe(const QString& path, qint64 cap, QString* error)
{
    return readFile(path, cap, error, true);
}
