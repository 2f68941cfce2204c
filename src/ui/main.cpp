#include "app/startup.h"
#include "mainwindow.h"
#include "picturebox.h"
#include "qtplatform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // No display name: Qt would append it to every title the window system shows.
    QApplication::setApplicationName(QStringLiteral("sorvex-sign"));
    QApplication::setApplicationVersion(QStringLiteral(SORVEX_VERSION));
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Opens the Sorvex签名设计 window, where a signature is designed."));
    options.addHelpOption();
    options.addVersionOption();
    options.process(app);
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
