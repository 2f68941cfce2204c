#include "base/temporaries.h"
#include "base/text.h"
#include "cli/rendercommand.h"

#include <QGuiApplication>
#include <QMutex>
#include <QSet>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <unistd.h>

int main(int argc, char** argv)
{
    // The application object takes options it knows (--style among them) out of argv. A file
    // name keeps its bytes, UTF-8 or not.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << decodeFileName(argv[i]);
    // Drawing text needs a GUI application but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's warnings are said once each, marked as this program's: a batch of thousands of rows
    // would otherwise repeat one for every row. Its debug lines only with SORVEX_DEBUG.
    if (qEnvironmentVariableIsEmpty("SORVEX_DEBUG"))
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            static QMutex lock;
            static QSet<QString> said;
            const QMutexLocker guard(&lock); // a batch writes its files from several threads
            // QStandardPaths speaks of the session (a missing runtime folder), not the drawing.
            if (type == QtDebugMsg || type == QtInfoMsg || said.contains(msg) ||
                (type == QtWarningMsg && msg.startsWith(QLatin1String("QStandardPaths:"))))
                return;
            said.insert(msg);
            std::fprintf(stderr, "sorvex-sign-render: %s%s\n",
                         type == QtFatalMsg ? "" : "warning: ", qPrintable(msg));
        });
    // Checking signatures draws nothing: without the graphics layer, no font is looked at.
    const bool drawsNothing = arguments.contains(QStringLiteral("--verify"));
    std::unique_ptr<QCoreApplication> app(drawsNothing ? new QCoreApplication(argc, argv)
                                                       : new QGuiApplication(argc, argv));
    // Ctrl-C, a closed pipe (--report | head -1) or SIGTERM leave no font copies behind.
    removeRunFoldersOnSignals();
    QCoreApplication::setApplicationName(QStringLiteral("sorvex-sign-render"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SORVEX_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runRenderCommand(arguments, out, err, isatty(STDERR_FILENO) != 0,
                            QCoreApplication::applicationFilePath());
}
