#include "cli/rendercommand.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    // The application object takes options it knows (--style among them) out of argv.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Drawing text needs a GUI application but no screen; and its warnings are not ours to
    // print: every line on stderr is one of this program's errors.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SORVEX_DEBUG"))
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            if (type == QtFatalMsg)
                std::fprintf(stderr, "sorvex-sign-render: %s\n", qPrintable(msg));
        });
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("sorvex-sign-render"));
    QGuiApplication::setApplicationVersion(QStringLiteral(SORVEX_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runRenderCommand(arguments, out, err, isatty(STDERR_FILENO) != 0);
}
