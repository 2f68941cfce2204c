// Memory of the window over long drags: every style of the kit, MOVES drag moves each, then
// the peak and current resident size.
//
//   /usr/bin/time -v build/bench/bench-window 1000
//
// With --style-list N: how long the style list takes to open after a name change, N times
// (wall and CPU milliseconds, each and the median), as a person opens it after typing.
// With --first-picks: how long choosing each style takes the first time it is drawn, three
// seconds after the window shows, as a person comes to it.
// With --sign FILE.pdf: how long the signing window takes from opening the document to its
// first page shown, and each move of a drag of the signature over the page, shown (wall and
// CPU milliseconds: the median and the slowest of 300 moves).
// With --pad: each move of a 2,000-move stroke on the handwriting pad, paced as a hand moves
// (8 ms apart), painted as the window paints it (wall and CPU: median, 99th percentile,
// slowest); then how long a signature of 200 strokes takes to be drawn again (undo and redo)
// and to be outlined again from its points (a new pen width).
#include "app/startup.h"
#include "output/platform.h"
#include "quietplatform.h"
#include "ui/mainwindow.h"
#include "ui/drawpad.h"
#include "ui/drawwindow.h"
#include "ui/pageview.h"
#include "ui/signwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMouseEvent>

#include <QLineEdit>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

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

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double wallMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int styleListTimes(MainWindow& w, int times)
{
    auto* styles = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    auto* name = w.findChild<QLineEdit*>(QStringLiteral("txtCN"));
    w.show();
    QApplication::processEvents();
    const QStringList names{QStringLiteral("李白"), QStringLiteral("欧阳娜娜"),
                            QStringLiteral("王晓明"), QStringLiteral("买提艾力江")};
    std::vector<double> wall, cpu;
    for (int i = 0; i < times; ++i) {
        name->setText(names[i % names.size()]);
        QApplication::processEvents();
        const double w0 = wallMs(), c0 = cpuMs();
        styles->showPopup();
        QApplication::processEvents();
        wall.push_back(wallMs() - w0);
        cpu.push_back(cpuMs() - c0);
        std::printf("open %d: %.1f ms wall, %.1f ms CPU\n", i + 1, wall.back(), cpu.back());
        styles->hidePopup();
        QApplication::processEvents();
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("style list after a name change: median %.1f ms wall, %.1f ms CPU\n",
                wall[wall.size() / 2], cpu[cpu.size() / 2]);
    return 0;
}

int firstPicks(MainWindow& w)
{
    auto* styles = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    w.show();
    for (const double shown = wallMs(); wallMs() - shown < 3000;) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
    for (int i = styles->count() - 1; i >= 0; --i) {
        const double w0 = wallMs(), c0 = cpuMs();
        styles->setCurrentIndex(i);
        Q_EMIT styles->activated(i);
        QApplication::processEvents();
        std::printf("%s: first drawing %.1f ms wall, %.1f ms CPU\n",
                    qPrintable(styles->itemText(i)), wallMs() - w0, cpuMs() - c0);
    }
    return 0;
}

int signTimes(MainWindow& w, const QString& document)
{
    w.show();
    QApplication::processEvents();
    const double w0 = wallMs(), c0 = cpuMs();
    QMetaObject::invokeMethod(&w, "signDocument", Q_ARG(QString, document));
    SignWindow* sign = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("frmSign"))
            sign = qobject_cast<SignWindow*>(top);
    if (!sign || sign->documentPath() != document) {
        std::fprintf(stderr, "the document did not open\n");
        return 1;
    }
    PageView* view = sign->pageView();
    view->grab(); // the first page, shown
    std::printf("opened and first page shown: %.1f ms wall, %.1f ms CPU\n", wallMs() - w0,
                cpuMs() - c0);
    view->place(QPointF(60, 100), 50);
    view->repaint();
    const QPoint start = (view->pageRect().topLeft() +
                          QPointF(85, 110) * view->pageRect().width() / 210.0).toPoint();
    mouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    std::vector<double> wall, cpu;
    for (int m = 0; m < 300; ++m) {
        const double mw = wallMs(), mc = cpuMs();
        mouse(view, QEvent::MouseMove, start + QPoint(m % 40, (m * 3) % 50), Qt::NoButton,
              Qt::LeftButton);
        view->grab();
        wall.push_back(wallMs() - mw);
        cpu.push_back(cpuMs() - mc);
    }
    mouse(view, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("drag move, shown: median %.2f ms wall, %.2f ms CPU; slowest %.2f ms wall\n",
                wall[wall.size() / 2], cpu[cpu.size() / 2], wall.back());
    return 0;
}

int padTimes(MainWindow& w)
{
    w.show();
    QMetaObject::invokeMethod(&w, "drawByHand");
    DrawWindow* window = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("frmDraw"))
            window = qobject_cast<DrawWindow*>(top);
    if (!window) {
        std::fprintf(stderr, "the pad did not open\n");
        return 1;
    }
    DrawPad* pad = window->pad();
    QApplication::processEvents();
    const auto on = [pad](double x, double y) { return pad->toWidget().map(QPointF(x, y)).toPoint(); };
    const auto percentile = [](std::vector<double> v, double p) {
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
    };
    mouse(pad, QEvent::MouseButtonPress, on(100, 300), Qt::LeftButton, Qt::LeftButton);
    std::vector<double> wall, cpu;
    for (int m = 0; m < 2000; ++m) {
        QThread::msleep(8);
        const double mw = wallMs(), mc = cpuMs();
        mouse(pad, QEvent::MouseMove, on(100 + m * 0.45, 300 + 120 * std::sin(m / 40.0)),
              Qt::NoButton, Qt::LeftButton);
        QApplication::processEvents();
        wall.push_back(wallMs() - mw);
        cpu.push_back(cpuMs() - mc);
    }
    mouse(pad, QEvent::MouseButtonRelease, on(1000, 300), Qt::LeftButton, Qt::NoButton);
    std::printf("pad move, shown: median %.2f ms wall, %.2f ms CPU; 99th percentile %.2f ms "
                "wall, %.2f ms CPU; slowest %.2f ms wall\n",
                percentile(wall, 0.5), percentile(cpu, 0.5), percentile(wall, 0.99),
                percentile(cpu, 0.99), percentile(wall, 1));
    for (int s = 1; s < 200; ++s) {
        const double x = 60 + (s % 20) * 52, y = 80 + (s / 20) * 65;
        mouse(pad, QEvent::MouseButtonPress, on(x, y), Qt::LeftButton, Qt::LeftButton);
        for (int m = 1; m <= 30; ++m)
            mouse(pad, QEvent::MouseMove, on(x + m * 1.5, y + 20 * std::sin(m / 4.0)), Qt::NoButton,
                  Qt::LeftButton);
        mouse(pad, QEvent::MouseButtonRelease, on(x + 45, y), Qt::LeftButton, Qt::NoButton);
    }
    QApplication::processEvents();
    double w0 = wallMs(), c0 = cpuMs();
    pad->undo();
    pad->redo();
    pad->repaint();
    std::printf("%zu strokes drawn again (undo and redo): %.1f ms wall, %.1f ms CPU\n",
                pad->writing().strokes.size(), wallMs() - w0, cpuMs() - c0);
    w0 = wallMs(), c0 = cpuMs();
    pad->setPenWidth(pad->writing().penWidth + 1);
    pad->repaint();
    std::printf("%zu strokes outlined again from their points: %.1f ms wall, %.1f ms CPU\n",
                pad->writing().strokes.size(), wallMs() - w0, cpuMs() - c0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "--style-list") == 0) {
        QuietPlatform platform;
        const ProgramValues values = startProgram(QStringLiteral(SORVEX_KIT_DIR), platform);
        MainWindow w(values, platform);
        return styleListTimes(w, std::max(1, std::atoi(argv[2])));
    }
    if (argc > 2 && qstrcmp(argv[1], "--sign") == 0) {
        QuietPlatform platform;
        const ProgramValues values = startProgram(QStringLiteral(SORVEX_KIT_DIR), platform);
        MainWindow w(values, platform);
        return signTimes(w, QString::fromLocal8Bit(argv[2]));
    }
    if (argc > 1 && qstrcmp(argv[1], "--pad") == 0) {
        QuietPlatform platform;
        const ProgramValues values = startProgram(QStringLiteral(SORVEX_KIT_DIR), platform);
        MainWindow w(values, platform);
        return padTimes(w);
    }
    if (argc > 1 && qstrcmp(argv[1], "--first-picks") == 0) {
        QuietPlatform platform;
        const ProgramValues values = startProgram(QStringLiteral(SORVEX_KIT_DIR), platform);
        MainWindow w(values, platform);
        return firstPicks(w);
    }
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
