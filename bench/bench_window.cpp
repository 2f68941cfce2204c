// Memory of the window over long drags: every style of the kit, MOVES drag moves each, then
// the peak and current resident size.
//
//   /usr/bin/time -v build/bench/bench-window 1000
#include "app/startup.h"
#include "output/platform.h"
#include "quietplatform.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMouseEvent>

#include <cstdio>

namespace {

long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// A mouse event at a place inside the handle, as the window system delivers it.
void mouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button,
           Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(local), target->mapToGlobal(QPointF(local)), button, held,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int moves = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    QuietPlatform platform;
    const ProgramValues values = startProgram(QStringLiteral(SORVEX_KIT_DIR), platform);
    MainWindow w(values, platform);
    auto* styles = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    auto* handle = w.findChild<QWidget*>(QStringLiteral("imgMove"));
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < styles->count(); ++i) {
            styles->setCurrentIndex(i);
            Q_EMIT styles->activated(i);
            mouse(handle, QEvent::MouseButtonPress, {2, 2}, Qt::LeftButton, Qt::LeftButton);
            for (int m = 0; m < moves; ++m)
                mouse(handle, QEvent::MouseMove, {2 + (m % 9) - 4, 2 + (m % 7) - 3}, Qt::NoButton,
                      Qt::LeftButton);
            mouse(handle, QEvent::MouseButtonRelease, {2, 2}, Qt::LeftButton, Qt::NoButton);
        }
        std::printf("after %d moves over %d styles: peak resident %ld kB, resident %ld kB\n",
                    (round + 1) * moves * int(styles->count()), int(styles->count()),
                    statusKb("VmHWM:"), statusKb("VmRSS:"));
    }
    return 0;
}
