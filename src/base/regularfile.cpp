#include "regularfile.h"

#include "text.h"

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

std::optional<QByteArray> readRegularFile(const QString& path, qint64 cap, QString* error)
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
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return refuse(error, QStringLiteral("这不是一个普通文件"));
    QByteArray bytes;
    bytes.reserve(qsizetype(std::clamp<qint64>(st.st_size, 0, cap)));
    char buffer[64 * 1024];
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
