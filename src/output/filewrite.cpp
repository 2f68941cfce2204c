#include "filewrite.h"

#include "base/temporaries.h"
#include "base/text.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray TemporaryPrefix = ".sorvex-sign-";
const QByteArray TemporarySuffix = ".part";

// Why a write failed, in words for a person, from the system's error number.
QString reasonFor(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case EROFS:
        return QStringLiteral("这个磁盘是只读的，不能写入");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有在这里写入文件的权限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件夹不存在");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EISDIR:
        return QStringLiteral("这是一个文件夹");
    case EIO:
        return QStringLiteral("读写磁盘时出错");
    default:
        return QStringLiteral("文件不能写入");
    }
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// Why a staged file could not take its place. Its temporary gone from a folder that is there
// means another program removed it: not that the folder is missing.
QString renameFailure(const StagedFile& file)
{
    const int error = errno;
    struct stat folder = {};
    if (error == ENOENT && ::stat(folderOf(file.target).constData(), &folder) == 0 &&
        S_ISDIR(folder.st_mode) && ::access(file.temporary.constData(), F_OK) != 0)
        return QStringLiteral("写入中的临时文件被别的程序删除了");
    return reasonFor(error);
}

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// A file in place whose folder could not be synced: there now, but maybe not after a crash.
QString unsyncedFolder(int error)
{
    return QStringLiteral("文件已写入，但所在文件夹没能保存到磁盘（%1），断电后可能丢失")
        .arg(reasonFor(error));
}

// The first `length` bytes of `from` at the start of `to`: in the kernel where the file systems
// allow it, through a buffer where they do not.
bool copyPrefix(int from, int to, qint64 length)
{
    loff_t in = 0;
    while (in < length) {
        const ssize_t n = ::copy_file_range(from, &in, to, nullptr, size_t(length - in), 0);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            errno = EIO; // the file became shorter
            return false;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return false;
        char buffer[256 * 1024];
        while (in < length) {
            const ssize_t got = ::pread(from, buffer, size_t(std::min<qint64>(sizeof buffer,
                                                                           length - in)), in);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                if (got == 0)
                    errno = EIO;
                return false;
            }
            if (!writeAll(to, QByteArray::fromRawData(buffer, qsizetype(got))))
                return false;
            in += got;
        }
    }
    return true;
}

std::variant<StagedFile, QString> stage(const QString& path, const FileStep& fill, bool sync,
                                        const FileStep& check = {},
                                        std::shared_ptr<OpenFolder> folder = {})
{
    QByteArray target = encodeFileName(path);
    QByteArray name = target.mid(target.lastIndexOf('/') + 1);
    struct stat info = {};
    bool exists = false;
    if (folder) {
        // Only a file of the folder's own: never a link planted under its name.
        exists = ::fstatat(folder->fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        if (exists && S_ISLNK(info.st_mode))
            return QStringLiteral("这是一个链接，批量只在文件夹里写文件");
        target = folder->path + '/' + name;
    } else {
        exists = ::stat(target.constData(), &info) == 0;
    }
    if (exists && S_ISDIR(info.st_mode))
        return QStringLiteral("这是一个文件夹");
    // A new file takes the old one's place by name: a device or a pipe, or a link to one, would
    // be replaced by a file, not written to.
    if (exists && !S_ISREG(info.st_mode))
        return QStringLiteral("这不是普通文件，不能替换");
    // A link to a file: the file it points to is replaced, and the link stays.
    struct stat link = {};
    if (!folder && exists && ::lstat(target.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char real[PATH_MAX];
        if (!::realpath(target.constData(), real))
            return reasonFor(errno);
        target = real;
        name = target.mid(target.lastIndexOf('/') + 1);
    }
    // The folder is opened once: what is written goes where it was when the writing began.
    QString why;
    if (!folder && !(folder = openFolder(folderOf(target), &why)))
        return why;
    StagedFile staged{{}, target, folder, {}, name};
    // A run stopped by a signal while it writes leaves no part file behind.
    removePartFilesOnSignals(folder->path, TemporaryPrefix);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        // Named for this process: another run into the same folder leaves it alone while this
        // one lives.
        staged.temporaryName = TemporaryPrefix + QByteArray::number(qint64(::getpid())) + '-' +
                               QByteArray::number(QRandomGenerator::global()->generate64(), 36) +
                               TemporarySuffix;
        staged.temporary = folder->path + '/' + staged.temporaryName;
        fd = ::openat(folder->fd, staged.temporaryName.constData(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return reasonFor(errno);
    }
    if (fd < 0)
        return reasonFor(EEXIST);
    const auto fail = [&](const QString& why) {
        ::close(fd);
        ::unlinkat(folder->fd, staged.temporaryName.constData(), 0);
        return why;
    };
    // A replaced file keeps who may read it: one that would become readable by others is not
    // written.
    if (exists && ::fchmod(fd, info.st_mode & 07777) != 0)
        return fail(reasonFor(errno));
    if (auto why = fill(fd))
        return fail(*why);
    if (sync && ::fdatasync(fd) != 0)
        return fail(reasonFor(errno));
    if (check)
        if (auto why = check(fd))
            return fail(*why);
    // A file synced later with many others starts for the disk now, without waiting for it:
    // the one sync at the end of a batch then finds little left to write.
    if (!sync)
        ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (::close(fd) != 0) {
        const int why = errno;
        ::unlinkat(folder->fd, staged.temporaryName.constData(), 0);
        return reasonFor(why);
    }
    return staged;
}

// The staged file put in place, in its folder as it was opened.
int placeStaged(const StagedFile& f)
{
    return ::renameat(f.folder->fd, f.temporaryName.constData(), f.folder->fd,
                      f.targetName.constData());
}

FileStep writing(const QByteArray& bytes, int prefix = -1, qint64 prefixLength = 0)
{
    return [&bytes, prefix, prefixLength](int fd) {
        return writeAfterPrefix(fd, prefix, prefixLength, bytes);
    };
}

} // namespace

std::optional<QString> writeAfterPrefix(int fd, int prefix, qint64 prefixLength,
                                        const QByteArray& bytes)
{
    if ((prefix >= 0 && !copyPrefix(prefix, fd, prefixLength)) || !writeAll(fd, bytes))
        return reasonFor(errno);
    return std::nullopt;
}

std::variant<StagedFile, QString> stageFile(const QString& path, const QByteArray& bytes,
                                            std::shared_ptr<OpenFolder> folder)
{
    return stage(path, writing(bytes), false, {}, std::move(folder));
}

OpenFolder::~OpenFolder()
{
    if (fd >= 0)
        ::close(fd);
}

std::shared_ptr<OpenFolder> openFolder(const QByteArray& path, QString* error)
{
    auto folder = std::make_shared<OpenFolder>();
    folder->path = path;
    folder->fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder->fd < 0) {
        if (error)
            *error = reasonFor(errno);
        return nullptr;
    }
    return folder;
}

std::optional<QString> writeFile(const QString& path, const QByteArray& bytes, int prefix,
                                 qint64 prefixLength)
{
    return writeFileWith(path, writing(bytes, prefix, prefixLength));
}

std::optional<QString> writeFileWith(const QString& path, const FileStep& fill,
                                     const FileStep& check)
{
    const auto staged = stage(path, fill, true, check);
    if (const auto* why = std::get_if<QString>(&staged))
        return *why;
    const StagedFile& file = std::get<StagedFile>(staged);
    if (placeStaged(file) != 0) {
        const QString why = renameFailure(file);
        ::unlinkat(file.folder->fd, file.temporaryName.constData(), 0);
        return why;
    }
    const int synced = ::fsync(file.folder->fd) == 0 || errno == EINVAL ? 0 : errno;
    clearLeftoversBeside(file.target);
    if (synced != 0)
        return unsyncedFolder(synced);
    return std::nullopt;
}

QList<std::pair<qsizetype, QString>> placeStagedFiles(const QList<StagedFile>& files)
{
    QList<std::pair<qsizetype, QString>> failed;
    // One sync of each file system the files are on: everything written to it is on disk.
    QSet<QByteArray> folders;
    QHash<QByteArray, int> fds;
    for (const StagedFile& f : files)
        fds.insert(f.folder->path, f.folder->fd);
    int syncError = 0;
    for (auto it = fds.cbegin(); it != fds.cend(); ++it)
        if (::syncfs(it.value()) != 0)
            syncError = errno;
    QList<qsizetype> placed;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const StagedFile& f = files[i];
        if (syncError == 0 && placeStaged(f) == 0) {
            folders.insert(f.folder->path);
            placed.append(i);
            continue;
        }
        failed.append({i, syncError ? reasonFor(syncError) : renameFailure(f)});
        ::unlinkat(f.folder->fd, f.temporaryName.constData(), 0);
    }
    QHash<QByteArray, int> unsynced;
    for (const QByteArray& folder : std::as_const(folders))
        if (const int error = ::fsync(fds.value(folder)) == 0 || errno == EINVAL ? 0 : errno)
            unsynced.insert(folder, error);
    for (const qsizetype i : std::as_const(placed))
        if (const auto it = unsynced.constFind(files[i].folder->path); it != unsynced.constEnd())
            failed.append({i, unsyncedFolder(*it)});
    std::sort(failed.begin(), failed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return failed;
}

std::optional<QString> makeFolders(const QString& path)
{
    const QByteArray bytes = encodeFileName(path);
    for (qsizetype end = 1; end <= bytes.size(); ++end) {
        if (end < bytes.size() && bytes[end] != '/')
            continue;
        const QByteArray part = bytes.left(end);
        struct stat info = {};
        if (::stat(part.constData(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                return QStringLiteral("这不是文件夹");
            continue;
        }
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return reasonFor(errno);
    }
    return std::nullopt;
}

bool isLeftoverTemporary(const QString& fileName)
{
    const QByteArray name = encodeFileName(fileName);
    if (!name.startsWith(TemporaryPrefix) || !name.endsWith(TemporarySuffix))
        return false;
    // .sorvex-sign-PID-RANDOM.part; one without a process number is older than any running.
    const QByteArray middle = name.mid(TemporaryPrefix.size()).chopped(TemporarySuffix.size());
    const qsizetype dash = middle.indexOf('-');
    return dash < 0 || processIsGone(QString::fromLatin1(middle.left(dash)));
}

void clearLeftoversBeside(const QByteArray& target)
{
    clearLeftoversIn(folderOf(target));
}

void clearLeftoversIn(const QByteArray& folder)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        if (isLeftoverTemporary(decodeFileName(name))) {
            struct stat info = {};
            const QByteArray path = folder + '/' + name;
            if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode))
                ::unlink(path.constData());
        }
    }
    ::closedir(dir);
}
