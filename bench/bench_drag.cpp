// What a drag costs where a person feels it: the real window, shown, fed mouse moves through
// the window (as the window system delivers them), each processed, painted and flushed to the
// window system before the next.
//
//   build/bench/bench-drag [--x11] [--spin] [--moves N] [--only TEXT]
//
// Offscreen by default; with --x11 on the display that DISPLAY names. With --spin the paced
// run waits by spinning instead of sleeping. Every case is dragged
// twice: paced like a 125 Hz mouse (8 ms between moves) and back to back. Each move is timed
// in CPU time of the process and in wall time, from the event to the end of the flush; the
// table gives median and p99 of all moves of a case. After each case the window's picture is
// compared with the same drawing made by the uncached path (every font registered and removed
// around each use, the background decoded afresh).
#include "app/startup.h"
#include "catalogue/fonttable.h"
#include "output/platform.h"
#include "quietplatform.h"
#include "render/appfaces.h"
#include "render/fitting.h"
#include "render/imagesurface.h"
#include "render/names.h"
#include "ui/imagearea.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

// Waits between paced moves by spinning rather than sleeping: what is left of the paced cost
// is then the drawing, not the processor waking from idle.
bool spinWhilePacing = false;

struct Case
{
    QString label;
    QString style;
    QString cn;
    QString en;
    QString size;
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double wallMs()
{
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Percentiles
{
    double median = 0, p99 = 0;
};

Percentiles percentiles(std::vector<double> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

struct Run
{
    Percentiles cpu, wall;
    int moved = 0; // moves that moved the text
};

void send(QWindow* window, QEvent::Type type, QPoint at, Qt::MouseButton button,
          Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(at), QPointF(window->mapToGlobal(at)), button, held,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(window, &e);
}

void settle()
{
    QCoreApplication::processEvents();
    QGuiApplication::sync();
}

// Presses on the text where it shows and drags it round a small circle, one move per step.
// Without `press` the pointer only passes over it: what any mouse move costs the window.
Run drag(MainWindow& w, int moves, bool paced, bool press = true)
{
    QWindow* window = w.windowHandle();
    auto* handle = w.findChild<ImageArea*>(QStringLiteral("imgMove"));
    QWidget* picture = handle->parentWidget();
    const QRect shown = handle->geometry().intersected(picture->rect());
    const QPoint grab = picture->mapTo(&w, shown.center());
    if (press)
        send(window, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    settle();
    const Qt::MouseButtons held = press ? Qt::LeftButton : Qt::NoButton;
    std::vector<double> cpu, wall;
    int moved = 0;
    cpu.reserve(size_t(moves));
    wall.reserve(size_t(moves));
    auto next = std::chrono::steady_clock::now();
    for (int i = 1; i <= moves; ++i) {
        const double angle = i * 0.15;
        const QPoint at = grab + QPoint(int(std::lround(30 * std::cos(angle))) - 30,
                                        int(std::lround(20 * std::sin(angle))));
        if (paced) {
            next += std::chrono::milliseconds(8);
            if (spinWhilePacing)
                while (std::chrono::steady_clock::now() < next) {
                }
            else
                std::this_thread::sleep_until(next);
        }
        const QPointF was = w.layout().textBox.topLeft();
        const double c0 = cpuMs(), w0 = wallMs();
        send(window, QEvent::MouseMove, at, Qt::NoButton, held);
        settle();
        cpu.push_back(cpuMs() - c0);
        wall.push_back(wallMs() - w0);
        moved += w.layout().textBox.topLeft() != was;
    }
    if (press)
        send(window, QEvent::MouseButtonRelease, grab, Qt::LeftButton, Qt::NoButton);
    settle();
    return {percentiles(cpu), percentiles(wall), moved};
}

void setUp(MainWindow& w, const Case& c)
{
    auto* cboFont = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    auto* cboSize = w.findChild<QComboBox*>(QStringLiteral("cboSize"));
    const int style = cboFont->findText(c.style);
    cboFont->setCurrentIndex(style);
    Q_EMIT cboFont->activated(style);
    w.findChild<QLineEdit*>(QStringLiteral("txtCN"))->setText(c.cn);
    w.findChild<QLineEdit*>(QStringLiteral("txtEN"))->setText(c.en);
    cboSize->setEditText(c.size);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(cboSize, &enter);
    settle();
}

// The window's picture against the same drawing by the uncached path, at the size the name was
// fitted to, as the window draws it.
bool samePixels(MainWindow& w, const ProgramValues& values)
{
    SignatureSpec in = w.signatureSpec();
    AppFontTable fonts(0);
    fonts.useFallback(fallbackFontPath(values));
    AppFaces faces(fonts);
    in.points = fittedSize(in, faces, values.compoundSurnames);
    in.position = w.layout().textBox.topLeft();
    ImageSurface uncached(w.picture().devicePixelRatio(), false);
    drawPicture(uncached, w.backgroundPath(), layOut(in, faces, values.compoundSurnames));
    const QImage a = uncached.image(), b = w.picture(w.picture().devicePixelRatio());
    int n = 0, worst = 0;
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++n;
                box |= QRect(x, y, 1, 1);
                worst = std::max(worst, std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))));
            }
    if (n) {
        fprintf(stderr, "differ: %d pixels in %d,%d %dx%d by up to %d; text at %f,%f\n", n, box.x(),
                box.y(), box.width(), box.height(), worst, w.layout().textBox.left(),
                w.layout().textBox.top());
    }
    return n == 0;
}

QString repeated(const QString& text, int n)
{
    QString out;
    while (out.size() < n)
        out += text;
    return out.left(n);
}

} // namespace

int main(int argc, char** argv)
{
    bool x11 = false;
    int moves = 300;
    QString only;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--spin")
            spinWhilePacing = true;
        else if (a == "--x11")
            x11 = true;
        else if (a == "--moves" && i + 1 < argc)
            moves = std::max(10, atoi(argv[++i]));
        else if (a == "--only" && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
    }
    if (!x11)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QuietPlatform platform;
    const ProgramValues values = startProgram(QStringLiteral(SORVEX_KIT_DIR), platform);
    const Catalogue catalogue = loadCatalogue(values.appPath);

    const QString chinese = QStringLiteral("王晓明");
    const QString latin = QStringLiteral("Xiaoming");
    const QStringList kinds = {QStringLiteral("公文签"), QStringLiteral("篆印体"),
                               QStringLiteral("艺术签"), QStringLiteral("英文签-流畅")};
    std::vector<Case> cases;
    for (const QString& style : kinds)
        for (const char* size : {"72", "190"})
            cases.push_back({style + u' ' + QLatin1String(size) + QStringLiteral("pt"), style,
                             style == kinds[2] ? QStringLiteral("欧阳娜娜") : chinese, latin,
                             QLatin1String(size)});
    for (const QString& style : kinds) {
        cases.push_back(
            {style + QStringLiteral(" 8pt"), style, chinese, latin, QStringLiteral("8")});
        for (int n : {100, 1000})
            cases.push_back({style + QStringLiteral(" %1 chars").arg(n), style,
                             repeated(QStringLiteral("王晓明欧阳"), n), repeated(latin, n),
                             QStringLiteral("72")});
        for (const char* size : {"1100", "2160"})
            cases.push_back({style + u' ' + QLatin1String(size) + QStringLiteral("pt"), style,
                             chinese, latin, QLatin1String(size)});
    }
    for (const QString& style : catalogue.styleNames())
        if (!kinds.contains(style))
            cases.push_back(
                {style + QStringLiteral(" 72pt"), style, chinese, latin, QStringLiteral("72")});

    MainWindow w(values, platform);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        std::fprintf(stderr, "bench-drag: the window did not show\n");
        return 1;
    }
    std::printf("bench-drag on %s, %d moves a run; ms per move, CPU and wall\n",
                qPrintable(QGuiApplication::platformName()), moves);
    std::printf("%-26s | %-27s | %-27s | %s\n", "", "paced (125 Hz)", "back to back", "");
    std::printf("%-26s | %6s %6s %6s %6s | %6s %6s %6s %6s | %s\n", "case", "cpu", "p99", "wall",
                "p99", "cpu", "p99", "wall", "p99", "pixels");
    const char* row = "%-26s | %6.3f %6.3f %6.3f %6.3f | %6.3f %6.3f %6.3f %6.3f | %s\n";
    if (only.isEmpty() || only == QLatin1String("floor")) {
        // The pointer passing over the picture without a button: the window's cost of any
        // mouse move, the floor under every drag figure.
        setUp(w, cases.front());
        const Run paced = drag(w, moves, true, false);
        const Run back = drag(w, moves, false, false);
        std::printf(row, "no button (floor)", paced.cpu.median, paced.cpu.p99, paced.wall.median,
                    paced.wall.p99, back.cpu.median, back.cpu.p99, back.wall.median, back.wall.p99,
                    "-");
    }
    for (const Case& c : cases) {
        if (!only.isEmpty() && !c.label.contains(only))
            continue;
        setUp(w, c);
        drag(w, 20, false); // warm: the first moves load what the drag needs
        const Run paced = drag(w, moves, true);
        const Run back = drag(w, moves, false);
        const bool same = samePixels(w, values);
        const bool dragged = paced.moved > moves / 2 && back.moved > moves / 2;
        std::printf(
            row,
            qPrintable(c.label.leftJustified(26 - (c.label.toUtf8().size() - c.label.size()) / 2)),
            paced.cpu.median, paced.cpu.p99, paced.wall.median, paced.wall.p99, back.cpu.median,
            back.cpu.p99, back.wall.median, back.wall.p99,
            !dragged ? "NO DRAG"
            : same   ? "same"
                     : "DIFFER");
        std::fflush(stdout);
    }
    return 0;
}
