#include "temporaries.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Prefix = QStringLiteral("sorvex-sign-");

// Read by the handler: fixed buffers, nothing that allocates. The folder the copies are made
// in, and the start of this process's folders' names there ("sorvex-sign-<pid>-").
char runParent[4096];
char runPrefix[64];

// Folders part files are written in, and the start of this process's part files' names there.
// A slot is filled before it is counted, so the handler reads only whole ones.
struct PartFolder
{
    char folder[4096];
};
constexpr int PartFolders = 8;
PartFolder partFolders[PartFolders];
std::atomic<int> partFoldersUsed{0};
char partPrefix[64];
std::mutex partFoldersLock;

// Calls `visit` with the name of each entry of the open `folder` but "." and "..". System calls
// only: a signal handler may be running on a thread stopped inside malloc or stdio, so nothing
// here may take a lock (a fork would wait for ever for the malloc lock that thread holds).
template <typename Visit>
void forEachEntry(int folder, Visit visit)
{
    alignas(dirent64) char entries[2048];
    ssize_t length = 0;
    while ((length = ::getdents64(folder, entries, sizeof entries)) > 0) {
        for (ssize_t offset = 0; offset < length;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + offset);
            offset += entry->d_reclen;
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                visit(entry->d_name);
        }
    }
}

// Empties and removes `name` under the folder open as `at`.
void removeTree(int at, const char* name, int depth)
{
    if (::unlinkat(at, name, 0) == 0 || errno != EISDIR)
        return;
    const int folder = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return;
    if (depth < 4)
        forEachEntry(folder, [&](const char* entry) { removeTree(folder, entry, depth + 1); });
    ::close(folder);
    ::unlinkat(at, name, AT_REMOVEDIR);
}

void removeAndEnd(int signal)
{
    const int saved = errno;
    const int parent = runParent[0] != '\0'
                           ? ::open(runParent, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                           : -1;
    if (parent >= 0) {
        const size_t prefix = std::strlen(runPrefix);
        forEachEntry(parent, [&](const char* entry) {
            if (std::strncmp(entry, runPrefix, prefix) == 0)
                removeTree(parent, entry, 0);
        });
        ::close(parent);
    }
    const int watched = std::min(partFoldersUsed.load(), PartFolders);
    const size_t partPrefixLength = std::strlen(partPrefix);
    for (int i = 0; i < watched && partPrefixLength > 0; ++i) {
        const int folder = ::open(partFolders[i].folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0)
            continue;
        forEachEntry(folder, [&](const char* entry) {
            if (std::strncmp(entry, partPrefix, partPrefixLength) == 0)
                ::unlinkat(folder, entry, 0);
        });
        ::close(folder);
    }
    errno = saved;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace

bool processIsGone(const QString& pid)
{
    bool number = false;
    const long id = pid.toLong(&number);
    return number && id > 0 && ::kill(pid_t(id), 0) != 0 && errno == ESRCH;
}

QString runFolderTemplate(const QString& parent)
{
    QDir dir(parent);
    for (const QString& name : dir.entryList({Prefix + QStringLiteral("*")}, QDir::Dirs)) {
        // sorvex-sign-PID-XXXXXX
        const QString pid = name.mid(Prefix.size()).section(u'-', 0, 0);
        if (processIsGone(pid))
            QDir(dir.filePath(name)).removeRecursively();
    }
    const QString mine = Prefix + QString::number(::getpid()) + u'-';
    const QByteArray folder = QFile::encodeName(dir.absolutePath());
    const QByteArray prefix = QFile::encodeName(mine);
    // The last place asked for is the one the copies went to: a place that cannot be written
    // is passed over for the next.
    if (size_t(folder.size()) < sizeof runParent && size_t(prefix.size()) < sizeof runPrefix) {
        std::memcpy(runPrefix, prefix.constData(), size_t(prefix.size()) + 1);
        std::memcpy(runParent, folder.constData(), size_t(folder.size()) + 1);
    }
    return dir.filePath(mine + QStringLiteral("XXXXXX"));
}

void removeRunFoldersOnSignals()
{
    struct sigaction action = {};
    action.sa_handler = removeAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        ::sigaction(signal, &action, nullptr);
}

void removePartFilesOnSignals(const QByteArray& folder, const QByteArray& prefix)
{
    const std::lock_guard<std::mutex> hold(partFoldersLock);
    const QByteArray mine = prefix + QByteArray::number(qint64(::getpid())) + '-';
    if (size_t(folder.size()) >= sizeof PartFolder::folder || size_t(mine.size()) >= sizeof partPrefix)
        return;
    if (partPrefix[0] == '\0')
        std::memcpy(partPrefix, mine.constData(), size_t(mine.size()) + 1);
    static int added = 0;
    for (int i = 0; i < std::min(added, PartFolders); ++i)
        if (folder == partFolders[i].folder)
            return;
    // Past the last slot, the oldest is taken. A handler reading it meanwhile may find a name
    // that is neither: it removes only this process's part files wherever it looks.
    std::memcpy(partFolders[added % PartFolders].folder, folder.constData(),
                size_t(folder.size()) + 1);
    partFoldersUsed.store(std::min(++added, PartFolders));
}
