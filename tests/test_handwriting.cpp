// A signature written by hand: the ink its points make, the files it is kept as, the pad it is
// written on (driven through its window), and the renderer drawing and stamping it.
#include "app/startup.h"
#include "fakeplatform.h"
#include "kit.h"
#include "pdftools.h"
#include "pixels.h"
#include "plainpdf.h"
#include "rendercli.h"
#include "output/handwritingfiles.h"
#include "output/saveimage.h"
#include "render/handwriting.h"
#include "render/scannedink.h"
#include "ui/drawpad.h"
#include "ui/drawwindow.h"
#include "ui/mainwindow.h"
#include "ui/signwindow.h"
#include "ui/stylelist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTabletEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A horizontal line of `n` points `step` apart, `ms` between them, pressed `pressure`.
PenStroke line(double y, int n, double step, double ms, double pressure = -1)
{
    PenStroke s;
    for (int i = 0; i < n; ++i)
        s.push_back({100 + i * step, y, i * ms, pressure});
    return s;
}

// How wide the ink is across a horizontal stroke, at `x` or its middle.
double widthAcross(const QPainterPath& ink, double x = qQNaN())
{
    const QRectF box = ink.boundingRect();
    if (std::isnan(x))
        x = box.center().x();
    double top = box.bottom(), bottom = box.top();
    for (double y = box.top(); y <= box.bottom(); y += 0.05)
        if (ink.contains(QPointF(x, y))) {
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    return bottom - top;
}

QImage drawn(const Handwriting& w)
{
    return handwritingImage(w, 1).convertToFormat(QImage::Format_ARGB32);
}

// Pixels whose ink differs by more than antialiasing can.
int differing(const QImage& a, const QImage& b)
{
    int n = 0;
    forEachPixelPair(a, b, [&n](int, int, QRgb p, QRgb q) {
        n += std::max(std::abs(qAlpha(p) - qAlpha(q)), std::abs(qGray(p) - qGray(q))) > 96;
    });
    return n;
}

Handwriting sample()
{
    Handwriting w;
    w.size = DrawPad::Size;
    w.ink = qRgb(0x1a, 0x23, 0x7e);
    w.penWidth = 6;
    PenStroke wave, loop;
    for (int i = 0; i < 120; ++i)
        wave.push_back({100 + i * 3.3, 200 + 60 * std::sin(i / 6.0), i * 10.0, -1});
    for (int i = 0; i <= 60; ++i)
        loop.push_back({150 + 80 * std::cos(i / 9.55), 120 + 50 * std::sin(i / 9.55), i * 6.0, -1});
    w.strokes = {wave, loop, {{600, 100, 0, -1}}};
    return w;
}

// The ink follows the pen: a tap is a dot of the pen's width, pressure and slowness make a
// line heavier, a sharp turn leaves no hair beyond the pen's reach, a line crossing itself
// stays ink where it crosses, and the same points make the same outline every time.
TEST(Handwriting, TheInkFollowsThePen)
{
    const QRectF dot = strokeInk({{50, 50, 0, -1}}, 6).boundingRect();
    EXPECT_NEAR(dot.width(), 6, 0.01);
    EXPECT_NEAR(dot.height(), 6, 0.01);
    EXPECT_EQ(strokeInk({{50, 50, 0, -1}, {50.1, 50, 20, -1}}, 6).boundingRect(), dot)
        << "a tap that slid a tenth of a pixel";

    const double heavy = widthAcross(strokeInk(line(100, 60, 3, 8, 1.0), 8));
    const double light = widthAcross(strokeInk(line(100, 60, 3, 8, 0.1), 8));
    EXPECT_NEAR(heavy, 8, 0.3);
    EXPECT_LT(light, heavy * 0.45);
    // A pen's points far apart, pressed lighter and harder in turn: the width swells and
    // narrows evenly between them, with no corner at a point.
    PenStroke sparse = line(100, 12, 38, 16);
    for (size_t i = 0; i < sparse.size(); ++i)
        sparse[i].pressure = i % 2 ? 0.9 : 0.2;
    const QPainterPath swelling = strokeInk(sparse, 12);
    double sharpest = 0;
    for (double x = 180; x <= 460; x += 1)
        sharpest = std::max(sharpest, std::abs(widthAcross(swelling, x - 3) -
                                               2 * widthAcross(swelling, x) +
                                               widthAcross(swelling, x + 3)));
    EXPECT_LT(sharpest, 0.5) << "the width's sharpest bend over 3 pixels; a corner at each point bends 0.9";

    const double slow = widthAcross(strokeInk(line(100, 60, 3, 30), 8));
    const double fast = widthAcross(strokeInk(line(100, 60, 3, 1), 8));
    EXPECT_GT(slow, fast * 1.4) << "without pressure, speed thins the line";

    // A V drawn to a point and back: nothing reaches past where the pen went.
    PenStroke v;
    for (int i = 0; i <= 20; ++i)
        v.push_back({100 + i * 2.0, 100 + i * 6.0, i * 8.0, -1});
    for (int i = 1; i <= 20; ++i)
        v.push_back({140 + i * 2.0, 220 - i * 6.0, 160 + i * 8.0, -1});
    const QRectF reach = strokeInk(v, 8).boundingRect();
    EXPECT_LE(reach.bottom(), 220 + 4.01);
    EXPECT_GE(reach.top(), 100 - 4.01);

    const Handwriting w = sample();
    const QPainterPath loop = strokeInk(w.strokes[1], 6);
    EXPECT_TRUE(loop.contains(QPointF(230, 120))) << "where the loop closes on itself";
    EXPECT_FALSE(loop.contains(QPointF(150, 120))) << "inside the loop is paper";
    EXPECT_EQ(strokeInk(w.strokes[0], 6), strokeInk(w.strokes[0], 6));
}

// Kept as JSON and read back the same; what is not ours, or no signature, is refused with its
// reason, nothing read for long.
TEST(Handwriting, ReadsBackWhatItKeptAndRefusesTheRest)
{
    const Handwriting w = sample();
    const auto back = readHandwriting(handwritingJson(w));
    ASSERT_TRUE(std::holds_alternative<Handwriting>(back));
    EXPECT_EQ(handwritingJson(std::get<Handwriting>(back)), handwritingJson(w));
    EXPECT_EQ(differing(drawn(std::get<Handwriting>(back)), drawn(w)), 0);

    QByteArray many = R"({"format":"sorvex-handwriting","version":1,"penWidth":5,"ink":"#000000","size":[10,10],"strokes":[[)";
    for (int i = 0; i <= MostPenPoints; ++i)
        many += "[1,1,0,-1],";
    many.chop(1);
    many += "]]}";
    const struct
    {
        const char* what;
        QByteArray json;
        HandwritingError error;
    } rows[] = {
        {"not JSON", "\x89PNG\r\n", HandwritingError::Unreadable},
        {"another program's", R"({"strokes":[]})", HandwritingError::NotOurs},
        {"a later version", R"({"format":"sorvex-handwriting","version":2})", HandwritingError::NewerVersion},
        {"a point far off", R"({"format":"sorvex-handwriting","version":1,"penWidth":5,"ink":"#000000","size":[10,10],"strokes":[[[1e300,1,0,-1]]]})",
         HandwritingError::Malformed},
        {"no pen", R"({"format":"sorvex-handwriting","version":1,"penWidth":0,"ink":"#000000","size":[10,10],"strokes":[]})",
         HandwritingError::Malformed},
        {"no strokes", R"({"format":"sorvex-handwriting","version":1,"penWidth":5,"ink":"#000000","size":[10,10],"strokes":[[]]})",
         HandwritingError::NoInk},
        {"a million points", many, HandwritingError::TooManyPoints},
    };
    for (const auto& row : rows) {
        const auto read = readHandwriting(row.json);
        ASSERT_TRUE(std::holds_alternative<HandwritingError>(read)) << row.what;
        EXPECT_EQ(std::get<HandwritingError>(read), row.error) << row.what;
    }
}

class DrawnFiles : public testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    void written(const QString& file)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(twoPages());
    }
    QString kept()
    {
        const QString file = path("sig.json");
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(handwritingJson(sample()));
        return file;
    }
};

// The renderer draws it as PNG, SVG and PDF that look alike; on a document its ink's corner
// is where it was asked; a file that is not a drawn signature is one sentence and no output.
TEST_F(DrawnFiles, TheRendererDrawsAndStampsItAsThePadShowsIt)
{
    const QString json = kept();
    for (const char* out : {"sig.png", "sig.svg", "sig.pdf"}) {
        const Outcome made = render({QStringLiteral("--drawn"), json, QStringLiteral("-o"), path(out)});
        ASSERT_EQ(made.code, 0) << made.err.toStdString();
    }
    const QImage png = QImage(path("sig.png")).convertToFormat(QImage::Format_ARGB32);
    Handwriting trimmedSample = trimmed(sample(), 6);
    EXPECT_EQ(png.size(), handwritingImage(trimmedSample, 1).size());
    EXPECT_GT(countPixels(png, [](QRgb p) { return qAlpha(p) > 128 && qBlue(p) > qRed(p); }), 1500);

    QImage svg(png.size(), QImage::Format_ARGB32);
    svg.fill(Qt::transparent);
    {
        QPainter p(&svg);
        QSvgRenderer reader(path("sig.svg"));
        reader.render(&p, QRectF(QPointF(0, 0), reader.viewBoxF().size()));
    }
    EXPECT_LT(differing(svg, png), 20) << "SVG against PNG";
    // The PDF at 96 dpi, its paper white: ink where the PNG has it.
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-singlefile"),
                                     path("sig.pdf"), path("page")});
    const QImage page = QImage(path("page.ppm")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_LE((page.size() - png.size()).width() + (page.size() - png.size()).height(), 2)
        << "the page the ink's size, to the pixel";
    QImage asInk(page.size(), QImage::Format_ARGB32);
    forEachPixel(page, [&](int x, int y, QRgb p) { asInk.setPixel(x, y, qRgba(0, 0, 0, 255 - qGray(p))); });
    EXPECT_LT(differing(asInk, png), 20) << "PDF against PNG";

    written(path("contract.pdf"));
    const Outcome stamped = render({QStringLiteral("--drawn"), json, QStringLiteral("--stamp"),
                                    path("contract.pdf"), QStringLiteral("--at"), QStringLiteral("30,50"),
                                    QStringLiteral("--width"), QStringLiteral("60"),
                                    QStringLiteral("-o"), path("signed.pdf")});
    ASSERT_EQ(stamped.code, 0) << stamped.err.toStdString();
    // Ten pixels a millimetre; the blue bars of the page are not ink of ours.
    const QImage signedPage = pageImage(path("signed.pdf"), 1, path("signed"));
    const QRect ink = inkBox(signedPage, [](QRgb p) { return qRed(p) < 120 && qGreen(p) < 120 && qBlue(p) < 200; });
    EXPECT_NEAR(ink.left(), 300, 3);
    EXPECT_NEAR(ink.top(), 500, 3);
    EXPECT_NEAR(ink.width(), 600, 4);

    QFile notOurs(path("notes.json"));
    ASSERT_TRUE(notOurs.open(QIODevice::WriteOnly));
    notOurs.write(R"({"name":"王晓明"})");
    notOurs.close();
    const Outcome refused = render({QStringLiteral("--drawn"), path("notes.json"), QStringLiteral("-o"), path("no.png")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err.count(u'\n'), 1) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("not a drawn signature of this program")));
    EXPECT_FALSE(QFile::exists(path("no.png")));
}

// Drawn files at the limits: the most points a file may hold, zig-zagging across a page of a
// metre, give files of bounded size; a picture larger than memory allows is refused before it
// is made, and nothing is written.
TEST_F(DrawnFiles, TheirWorkIsBoundedAtTheLimits)
{
    Handwriting zigzag;
    zigzag.size = QSizeF(4000, 4000);
    PenStroke stroke;
    for (int i = 0; i < MostPenPoints - 1; ++i)
        stroke.push_back({i % 2 ? 3990.0 : 10.0, 10 + i * 3980.0 / MostPenPoints, i * 8.0, -1});
    zigzag.strokes = {stroke};
    Handwriting page;
    page.size = QSizeF(4000, 4000);
    page.strokes = {{{10, 10, 0, -1}, {3990, 3990, 8, -1}}};
    const struct
    {
        const char* name;
        const Handwriting& writing;
        const char* out;
        const char* scale;
        int exitCode;
        qint64 mostBytes;
    } rows[] = {
        {"every point, as SVG", zigzag, "zigzag.svg", "1", 0, 40 << 20},
        {"every point, as PDF", zigzag, "zigzag.pdf", "1", 0, 12 << 20},
        {"a metre at eight times", page, "page.png", "8", 2, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile f(path("w.json"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(handwritingJson(row.writing));
        f.close();
        const Outcome r = render({QStringLiteral("--drawn"), path("w.json"), QStringLiteral("--scale"),
                                  QString::fromLatin1(row.scale), QStringLiteral("-o"), path(row.out)});
        EXPECT_EQ(r.code, row.exitCode) << r.err.toStdString();
        EXPECT_LE(r.err.count(u'\n'), 1);
        EXPECT_EQ(QFile::exists(path(row.out)), row.exitCode == 0);
        if (row.exitCode == 0) {
            EXPECT_GT(QFileInfo(path(row.out)).size(), 1000);
            EXPECT_LE(QFileInfo(path(row.out)).size(), row.mostBytes);
        }
    }
}

// A made-up photograph of a sheet: grey paper lit unevenly (darker to the left and the top),
// grain, and where `ink`, a blue signature written on it; `where` receives its ink alone.
QImage photographOfPaper(bool ink, QImage* where = nullptr)
{
    QImage photo(1200, 700, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            const int light = 140 + 90 * x / photo.width() + 20 * y / photo.height() + grain;
            photo.setPixel(x, y, qRgb(light, light - 4, light - 12));
        }
    QPainterPath signature;
    signature.moveTo(200, 420);
    signature.cubicTo(260, 200, 330, 200, 360, 420);
    signature.cubicTo(420, 560, 520, 260, 600, 380);
    signature.cubicTo(700, 520, 850, 300, 980, 360);
    QImage alone(photo.size(), QImage::Format_ARGB32);
    alone.fill(Qt::transparent);
    for (QImage* target : {&photo, &alone}) {
        if (!ink)
            break;
        QPainter p(target);
        p.setRenderHint(QPainter::Antialiasing);
        p.strokePath(signature, QPen(QColor(30, 40, 120), 7, Qt::SolidLine, Qt::RoundCap));
    }
    if (where)
        *where = alone;
    return photo;
}

// A photograph of a signature on paper gives its ink alone: the paper's grey, its shading and
// grain gone, the ink's shape and colour kept, cropped close; a blank sheet, a picture far too
// large or no picture at all is said, and nothing drawn.
TEST_F(DrawnFiles, ThePaperIsTakenAwayFromAPhotograph)
{
    QImage written;
    const auto taken = inkFromScan(photographOfPaper(true, &written));
    ASSERT_TRUE(std::holds_alternative<QImage>(taken));
    const QImage& ink = std::get<QImage>(taken);
    const auto solid = [](QRgb p) { return qAlpha(p) > 128; };
    const int drawn = countPixels(written, solid), kept = countPixels(ink, solid);
    EXPECT_NEAR(kept, drawn, drawn * 0.15) << "the ink's area";
    const QRect writtenBox = inkBox(written, solid), keptBox = inkBox(ink, solid);
    EXPECT_NEAR(keptBox.width(), writtenBox.width(), 4);
    EXPECT_NEAR(keptBox.height(), writtenBox.height(), 4);
    EXPECT_LE(ink.width() - keptBox.width(), 40) << "cropped close";
    int stray = 0;
    forEachPixel(ink, [&](int x, int y, QRgb p) {
        const QPoint at = QPoint(x, y) - keptBox.topLeft() + writtenBox.topLeft();
        stray += qAlpha(p) > 64 && written.rect().contains(at) && qAlpha(written.pixel(at)) == 0 &&
                 [&] {
                     for (int dy = -2; dy <= 2; ++dy)
                         for (int dx = -2; dx <= 2; ++dx)
                             if (written.rect().contains(at + QPoint(dx, dy)) &&
                                 qAlpha(written.pixel(at + QPoint(dx, dy))) > 0)
                                 return false;
                     return true;
                 }();
    });
    EXPECT_LT(stray, 20) << "paper taken for ink";
    const QRgb middle = ink.pixel(keptBox.center());
    const QRgb inked = countPixels(ink, [](QRgb p) { return qAlpha(p) == 255; }) > 0 ? [&] {
        QRgb found = 0;
        forEachPixel(ink, [&](int, int, QRgb p) { found = qAlpha(p) == 255 ? p : found; });
        return found;
    }() : middle;
    EXPECT_GT(qBlue(inked), qRed(inked) + 50) << "the pen's blue";

    EXPECT_EQ(std::get<ScanError>(inkFromScan(photographOfPaper(false))), ScanError::NoInk);
    // A picture whose header claims 12,000 × 9,000 pixels is refused before it is read.
    QImage(2, 2, QImage::Format_RGB32).save(path("huge.bmp"));
    QFile bmp(path("huge.bmp"));
    ASSERT_TRUE(bmp.open(QIODevice::ReadWrite));
    const qint32 size[2] = {12000, 9000};
    bmp.seek(18);
    bmp.write(reinterpret_cast<const char*>(size), sizeof size);
    bmp.close();
    EXPECT_EQ(std::get<ScanError>(readScan(path("huge.bmp"))), ScanError::TooLarge);

    photographOfPaper(true).save(path("photo.jpg"), "JPEG", 90);
    const Outcome made = render({QStringLiteral("--drawn"), path("photo.jpg"), QStringLiteral("-o"), path("ink.png")});
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
    const QImage file(path("ink.png"));
    EXPECT_EQ(qAlpha(file.pixel(0, 0)), 0);
    EXPECT_NEAR(countPixels(file, solid), drawn, drawn * 0.2);
    photographOfPaper(false).save(path("blank.png"));
    const Outcome blank = render({QStringLiteral("--drawn"), path("blank.png"), QStringLiteral("-o"), path("none.png")});
    EXPECT_EQ(blank.code, 1);
    EXPECT_TRUE(blank.err.contains(QStringLiteral("shows no ink"))) << blank.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("none.png")));
}

// The pad, shown from the main window and written on through its window as a mouse and a pen
// write: undo and redo give back the very pixels, 完成 keeps the points and their pictures in
// the data folder, and the signing window can sign with it.
TEST_F(DrawnFiles, ThePadKeepsWhatIsWrittenOnIt)
{
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    FakePlatform platform;
    const ProgramValues values = startProgram(kitDir(), platform);
    MainWindow w{values, platform};
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("btnDraw")), Qt::LeftButton);
    auto* window = qobject_cast<DrawWindow*>(
        [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == QLatin1String("frmDraw"))
                    return top;
            return static_cast<QWidget*>(nullptr);
        }());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    DrawPad* pad = window->pad();
    const QImage blank = pad->grab().toImage();
    const auto at = [pad](QPointF padPoint) { return pad->mapTo(pad->window(), pad->toWidget().map(padPoint).toPoint()); };
    QWindow* handle = window->windowHandle();

    // A mouse stroke, paced as a hand moves.
    QTest::mousePress(handle, Qt::LeftButton, {}, at({200, 300}));
    for (int i = 1; i <= 40; ++i)
        QTest::mouseMove(handle, at({200.0 + i * 10, 300 + 40 * std::sin(i / 5.0)}), 8);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, at({600, 300 + 40 * std::sin(8.0)}));
    // A pen's stroke, pressed harder as it goes.
    const auto pen = [&](QEvent::Type type, QPointF padPoint, double pressure) {
        const QPointF local = at(padPoint);
        QTabletEvent e(type, QPointingDevice::primaryPointingDevice(), local, handle->mapToGlobal(local),
                       pressure, 0, 0, 0, 0, 0, {}, Qt::LeftButton,
                       type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton);
        QGuiApplication::sendEvent(handle, &e);
    };
    pen(QEvent::TabletPress, {200, 500}, 0.1);
    for (int i = 1; i <= 30; ++i)
        pen(QEvent::TabletMove, {200.0 + i * 12, 500}, 0.1 + i * 0.03);
    pen(QEvent::TabletRelease, {560, 500}, 1);
    ASSERT_EQ(pad->writing().strokes.size(), 2u);
    const PenStroke& penned = pad->writing().strokes[1];
    EXPECT_NEAR(penned.front().pressure, 0.1, 1e-6);
    const QPainterPath penInk = strokeInk(penned, pad->writing().penWidth);
    const auto heightAt = [&penInk](double x) {
        double top = 1e9, bottom = -1e9;
        for (double y = 480; y <= 520; y += 0.05)
            if (penInk.contains(QPointF(x, y))) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        return bottom - top;
    };
    EXPECT_GT(heightAt(500), heightAt(260) * 1.6) << "pressed harder, written heavier";

    const QImage both = pad->grab().toImage();
    EXPECT_GT(differing(both, blank), 300);
    QTest::keyClick(handle, Qt::Key_Z, Qt::ControlModifier);
    const QImage one = pad->grab().toImage();
    EXPECT_GT(differing(one, both), 100);
    QTest::keyClick(handle, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pad->grab().toImage(), both) << "redone: the very pixels";
    // Clearing is one step undo takes back.
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnClear")), Qt::LeftButton);
    EXPECT_EQ(differing(pad->grab().toImage(), blank), 0) << "cleared";
    QTest::keyClick(handle, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pad->grab().toImage(), both) << "the clear undone";
    // A photograph imported is shown on the pad in place of the strokes, until undone.
    photographOfPaper(true).save(path("photo.png"));
    platform.openAnswers = {path("photo.png")};
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnImport")), Qt::LeftButton);
    EXPECT_TRUE(pad->showsScan());
    EXPECT_TRUE(pad->writing().strokes.empty());
    EXPECT_GT(differing(pad->grab().toImage(), both), 300) << "the photograph's ink shown";
    EXPECT_FALSE(QDir(drawnFolder()).exists(QStringLiteral("drawn-ink.png"))) << "kept only by 完成";
    QTest::keyClick(handle, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pad->grab().toImage(), both) << "the import undone";

    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnDone")), Qt::LeftButton);
    const QDir folder(drawnFolder());
    ASSERT_TRUE(folder.path().startsWith(dir.path())) << folder.path().toStdString();
    for (const char* name : {"drawn.json", "drawn.png", "drawn@4x.png", "drawn.svg", "drawn.pdf"})
        EXPECT_TRUE(folder.exists(QString::fromLatin1(name))) << name;
    const QImage small(folder.filePath(QStringLiteral("drawn.png"))), large(folder.filePath(QStringLiteral("drawn@4x.png")));
    EXPECT_NEAR(large.width(), small.width() * 4, 4);
    EXPECT_EQ(qAlpha(small.pixel(0, 0)), 0) << "transparent around the ink";

    // The main window shows it in a style of its own, 手绘, as large as a picture's width is
    // to the pad's at 72 points, in the window's ink, and saves it as it shows it.
    auto* style = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    EXPECT_EQ(style->currentText(), QStringLiteral("手绘"));
    style->showPopup();
    const auto preview = [style] {
        return style->itemData(style->currentIndex(), StyleComboBox::PreviewRole).value<QImage>();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview().isNull(); }));
    EXPECT_GT(countPixels(preview(), [](QRgb c) { return qAlpha(c) > 128; }), 60)
        << "the pen's lines seen in the list, however far brought down";
    style->hidePopup();
    const QRectF ink = w.layout().inkBox;
    const QRectF onPad = inkBounds(handwritingInk(pad->writing()));
    EXPECT_NEAR(ink.width() / TwipsPerPixel, onPad.width() * 388 / 1164, 1.5);
    EXPECT_NEAR(ink.height() / TwipsPerPixel, onPad.height() * 388 / 1164, 1.5);
    platform.saveAnswers.push_back(Platform::SaveAnswer{path("picture"), TransparentPngType});
    w.activateWindow();
    QTest::keyClick(w.windowHandle(), Qt::Key_S, Qt::ControlModifier);
    const QImage saved(path("picture.png"));
    const auto dark = [](QRgb p) {
        return qAlpha(p) > 16 && qRed(p) < 90 && qGreen(p) < 90 && qBlue(p) < 90;
    };
    const QRect shown = inkBox(saved, dark);
    EXPECT_NEAR(shown.width(), ink.width() / TwipsPerPixel, 3) << "saved as shown";
    EXPECT_GT(countPixels(saved, dark), 200);

    // The signing window signs with it when asked.
    written(path("contract.pdf"));
    platform.openAnswers = {path("contract.pdf")};
    EXPECT_FALSE(window->isVisible()) << "put away once kept";
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.windowHandle(), Qt::Key_O, Qt::ControlModifier);
    SignWindow* sign = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("frmSign"))
            sign = qobject_cast<SignWindow*>(top);
    ASSERT_NE(sign, nullptr);
    auto* byHand = sign->findChild<QCheckBox*>(QStringLiteral("chkDrawn"));
    ASSERT_TRUE(byHand->isEnabled());
    byHand->setChecked(true);
    platform.saveAnswers = {Platform::SaveAnswer{path("signed.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    // Black ink on a page whose only mark is a blue bar.
    const auto black = [](QRgb p) { return qRed(p) < 90 && qGreen(p) < 90 && qBlue(p) < 90; };
    EXPECT_GT(countPixels(pageImage(path("signed.pdf"), 1, path("signed")), black), 200)
        << "the drawn signature's ink on the page";

    // A photograph imported, a line written under it, kept by 完成: one picture of both,
    // the photograph's pixels as they were, and no longer called too large a name.
    sign->close();
    w.activateWindow();
    QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("btnDraw")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    platform.openAnswers = {path("photo.png")};
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnImport")), Qt::LeftButton);
    ASSERT_TRUE(pad->showsScan());
    QTest::mousePress(handle, Qt::LeftButton, {}, at({150, 740}));
    for (int i = 1; i <= 30; ++i)
        QTest::mouseMove(handle, at({150.0 + i * 30, 740}), 8);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, at({1050, 740}));
    const auto scanned = std::get<QImage>(readScan(path("photo.png")));
    QTest::keyClick(handle, Qt::Key_Return);
    EXPECT_FALSE(folder.exists(QStringLiteral("drawn.json"))) << "the strokes' file replaced";
    const QImage kept(folder.filePath(QStringLiteral("drawn-ink.png")));
    EXPECT_GE(kept.width(), scanned.width() * 900 / scanSize(scanned).width()) << "the line's length too";
    EXPECT_GT(kept.height(), scanned.height()) << "the line under it";
    EXPECT_FALSE(w.findChild<QLabel*>(QStringLiteral("lblStatus"))->text().contains(QStringLiteral("名字")));
}

} // namespace
