#include "temporaries.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString Prefix = QStringLiteral("sorvex-sign-");

// Set before any handler is installed, read by the handler: a fixed buffer, nothing that
// allocates. It holds "<parent>/sorvex-sign-<pid>-".
char runFolders[4096];

void removeAndEnd(int signal)
{
    if (runFolders[0] != '\0') {
        // Only what a handler may call: a child that runs the shell's rm on the folders, and
        // a wait for it.
        const pid_t child = ::fork();
        if (child == 0) {
            const char* argv[] = {"sh", "-c", "rm -rf -- \"$0\"*", runFolders, nullptr};
            ::execv("/bin/sh", const_cast<char* const*>(argv));
            ::_exit(127);
        }
        if (child > 0)
            ::waitpid(child, nullptr, 0);
    }
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
    const QString mine = dir.filePath(Prefix + QString::number(::getpid()) + u'-');
    const QByteArray bytes = QFile::encodeName(mine);
    if (runFolders[0] == '\0' && size_t(bytes.size()) < sizeof runFolders)
        std::memcpy(runFolders, bytes.constData(), size_t(bytes.size()) + 1);
    return mine + QStringLiteral("XXXXXX");
}

void removeRunFoldersOnSignals()
{
    struct sigaction action = {};
    action.sa_handler = removeAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        ::sigaction(signal, &action, nullptr);
}
