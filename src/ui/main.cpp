#include "app/startup.h"
#include "base/temporaries.h"
#include "mainwindow.h"
#include "picturebox.h"
#include "qtplatform.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QTranslator>

#include <cstdio>

int main(int argc, char** argv)
{
    // Answered before the application exists, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        const QByteArray option(argv[i]);
        if (option == "--version" || option == "-v") {
            std::printf("sorvex-sign %s\n", SORVEX_VERSION);
            return 0;
        }
        if (option == "--help" || option == "-h") {
            std::printf("Usage: sorvex-sign [--version] [--help]\n"
                        "Opens the Sorvex签名设计 window, where a signature is designed.\n");
            return 0;
        }
    }
    QApplication app(argc, argv);
    // No display name: Qt would append it to every title the window system shows.
    QApplication::setApplicationName(QStringLiteral("sorvex-sign"));
    // The program writes nothing but the pictures a person saves. Qt's own dialogs keep their
    // last folder and custom colours in a settings file; that file goes nowhere.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sorvex.SorvexSign"));
    // The window's controls ask for 宋体 and Courier New by name; these faces stand in for them.
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("AR PL UMing CN")});
    QFont::insertSubstitutions(QStringLiteral("Courier New"), {QStringLiteral("Liberation Mono"),
                                                               QStringLiteral("AR PL UMing CN")});

    // The interface is Chinese; so are Qt's own dialogs and buttons.
    QTranslator qtChinese;
    if (qtChinese.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                       QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtChinese);

    // Stopped by a signal (a logout's SIGTERM among them), the window leaves no font copies.
    removeRunFoldersOnSignals();
    QtPlatform platform;
    const ProgramValues values =
        startProgram(dataFolderFor(QCoreApplication::applicationDirPath()), platform);

    MainWindow window(values, platform);
    platform.setOwner(&window);
    centreWhenShown(window);
    window.show();
    // For measuring start-up: the time from process start until the first picture is on screen.
    if (qEnvironmentVariableIsSet("SORVEX_QUIT_AFTER_FIRST_PICTURE"))
        QObject::connect(window.findChild<PictureBox*>(QStringLiteral("picMain")),
                         &PictureBox::painted, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
}
