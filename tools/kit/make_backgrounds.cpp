// Draws the kit's backgrounds into a folder, named prefix-显示名.ext so that the list shows
// their Chinese names, in JPEG, PNG and BMP.
//   make-backgrounds OUTPUT_DIR
#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <cstdio>
#include <functional>

namespace {

constexpr int W = 388;
constexpr int H = 261;

void plainWhite(QPainter& p, QSize)
{
    p.fillRect(0, 0, W, H, Qt::white);
}

// Warm paper with fibres; seeded, so every build gives the same picture.
void ricePaper(QPainter& p, QSize s)
{
    p.fillRect(QRect(QPoint(0, 0), s), QColor(246, 239, 222));
    QRandomGenerator rng(1234);
    for (int i = 0; i < 2600; ++i) {
        const double x = rng.bounded(double(s.width()));
        const double y = rng.bounded(double(s.height()));
        const int shade = 200 + rng.bounded(40);
        p.setPen(QPen(QColor(shade, shade - 12, shade - 40, 60), 0.6));
        p.drawLine(QPointF(x, y), QPointF(x + rng.bounded(8.0) - 4, y + rng.bounded(8.0) - 4));
    }
}

// A 米字格 practice grid: red squares with their diagonals and midlines dashed.
void practiceGrid(QPainter& p, QSize s)
{
    p.fillRect(QRect(QPoint(0, 0), s), QColor(255, 253, 248));
    const double cell = 64;
    const double left = (s.width() - 6 * cell) / 2;
    const double top = (s.height() - 4 * cell) / 2;
    QPen dashed(QColor(220, 90, 80, 150), 1, Qt::DashLine);
    QPen solid(QColor(200, 50, 40), 1.5);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 6; ++c) {
            const QRectF q(left + c * cell, top + r * cell, cell, cell);
            p.setPen(dashed);
            p.drawLine(q.topLeft(), q.bottomRight());
            p.drawLine(q.topRight(), q.bottomLeft());
            p.drawLine(QPointF(q.center().x(), q.top()), QPointF(q.center().x(), q.bottom()));
            p.drawLine(QPointF(q.left(), q.center().y()), QPointF(q.right(), q.center().y()));
            p.setPen(solid);
            p.drawRect(q);
        }
    }
}

void softGradient(QPainter& p, QSize s)
{
    QLinearGradient g(0, 0, s.width(), s.height());
    g.setColorAt(0, QColor(232, 244, 250));
    g.setColorAt(0.5, QColor(250, 246, 236));
    g.setColorAt(1, QColor(246, 230, 240));
    p.fillRect(QRect(QPoint(0, 0), s), g);
}

void festiveCard(QPainter& p, QSize s)
{
    QLinearGradient g(0, 0, 0, s.height());
    g.setColorAt(0, QColor(200, 30, 30));
    g.setColorAt(1, QColor(150, 10, 20));
    p.fillRect(QRect(QPoint(0, 0), s), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(240, 200, 90), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(10, 10, s.width() - 20, s.height() - 20));
    p.setPen(QPen(QColor(240, 200, 90), 1));
    p.drawRect(QRectF(16, 16, s.width() - 32, s.height() - 32));
    for (QPointF c :
         {QPointF(16, 16), QPointF(s.width() - 16.0, 16), QPointF(16, s.height() - 16.0),
          QPointF(s.width() - 16.0, s.height() - 16.0)}) {
        p.setBrush(QColor(240, 200, 90));
        p.drawEllipse(c, 6, 6);
    }
}

// Larger than the picture: only its top-left part shows.
void certificate(QPainter& p, QSize s)
{
    p.fillRect(QRect(QPoint(0, 0), s), QColor(252, 250, 240));
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(30, 90, 120), i == 1 ? 2.5 : 1));
        p.drawRect(QRectF(8 + i * 5, 8 + i * 5, W - 16 - i * 10, H - 16 - i * 10));
    }
    QPainterPath wave;
    wave.moveTo(30, H - 40);
    for (int x = 30; x <= W - 30; x += 10)
        wave.lineTo(x, H - 40 + 4 * ((x / 10) % 2 ? 1 : -1));
    p.setPen(QPen(QColor(30, 90, 120, 120), 1));
    p.drawPath(wave);
}

void bambooSlips(QPainter& p, QSize s)
{
    for (int x = 0; x < s.width(); x += 26) {
        QLinearGradient g(x, 0, x + 26, 0);
        g.setColorAt(0, QColor(214, 186, 128));
        g.setColorAt(0.5, QColor(236, 214, 160));
        g.setColorAt(1, QColor(196, 164, 104));
        p.fillRect(QRect(x, 0, 25, s.height()), g);
        p.fillRect(QRect(x + 25, 0, 1, s.height()), QColor(120, 90, 50));
    }
    p.fillRect(QRect(0, 30, s.width(), 3), QColor(110, 70, 40, 150));
    p.fillRect(QRect(0, s.height() - 33, s.width(), 3), QColor(110, 70, 40, 150));
}

struct Background
{
    const char* file;
    QSize size;
    std::function<void(QPainter&, QSize)> draw;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-backgrounds OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    const Background backgrounds[] = {
        {"01-纯白.png", {W, H}, plainWhite},      {"02-宣纸.jpg", {W, H}, ricePaper},
        {"03-米字格.png", {W, H}, practiceGrid},  {"04-淡彩渐变.jpg", {W, H}, softGradient},
        {"05-红色贺卡.bmp", {W, H}, festiveCard}, {"06-证书边框.png", {2 * W, 2 * H}, certificate},
        {"07-竹简.jpg", {W, H}, bambooSlips},
    };
    for (const Background& b : backgrounds) {
        QImage image(b.size, QImage::Format_RGB32);
        QPainter p(&image);
        b.draw(p, b.size);
        p.end();
        const QString path = out + u'/' + QString::fromUtf8(b.file);
        // 92 is a JPEG quality; PNG takes zlib's default level.
        const int quality = path.endsWith(QLatin1String(".jpg")) ? 92 : -1;
        if (!image.save(path, nullptr, quality)) {
            std::fprintf(stderr, "make-backgrounds: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
