// Draws the window's skin (a 720 x 460, 24-bit BMP) and its icon (a 32 x 32, 24-bit ICO and a
// PNG). The pictures are committed; run this after changing the artwork:
//   build/bin/make-skin src/ui/assets /usr/share/fonts/truetype/lxgw-wenkai/LXGWWenKai-Regular.ttf
#include <QDataStream>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QString face;

QFont cjk(double px, bool bold = false)
{
    QFont f(face);
    f.setPixelSize(qRound(px));
    f.setBold(bold);
    return f;
}

void text(QPainter& p, const QRectF& r, const QString& s, QColor c, double px,
          int flags = Qt::AlignCenter, bool bold = false)
{
    p.setFont(cjk(px, bold));
    p.setPen(c);
    p.drawText(r, flags, s);
}

// A red quill: a curved vane with a dark shaft.
void quill(QPainter& p, QPointF tip, double size)
{
    p.save();
    p.translate(tip);
    p.rotate(-35);
    QPainterPath vane;
    vane.moveTo(0, 0);
    vane.cubicTo(size * 0.25, -size * 0.35, size * 0.9, -size * 0.35, size * 1.1, -size * 0.05);
    vane.cubicTo(size * 0.8, size * 0.2, size * 0.3, size * 0.15, 0, 0);
    QLinearGradient g(0, -size * 0.3, 0, size * 0.2);
    g.setColorAt(0, QColor(236, 64, 52));
    g.setColorAt(1, QColor(150, 18, 24));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(vane);
    p.setPen(QPen(QColor(60, 20, 20), std::max(1.0, size / 30)));
    p.drawLine(QPointF(-size * 0.12, size * 0.02), QPointF(size * 1.05, -size * 0.06));
    p.restore();
}

void ball(QPainter& p, QPointF c, QColor color)
{
    QRadialGradient g(c - QPointF(2, 2), 7);
    g.setColorAt(0, color.lighter(170));
    g.setColorAt(1, color);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, 6, 6);
}

void button(QPainter& p, const QRectF& r, QColor color, const QString& label)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, color.lighter(135));
    g.setColorAt(1, color.darker(115));
    p.setPen(QPen(color.darker(160), 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 6, 6);
    const double px = r.height() > 46 ? 15 : 14;
    text(p, r.adjusted(2, 2, -2, -2), label, Qt::white, px, Qt::AlignCenter | Qt::TextWordWrap,
         true);
}

// Spreads a two-character label to the width of a three-character one.
void spread(QPainter& p, double x, double y, const QString& s, QColor c)
{
    const double px = 14;
    const double width = 3 * px;
    for (int i = 0; i < s.size(); ++i) {
        const double step = s.size() == 1 ? 0 : (width - px) / (s.size() - 1);
        text(p, QRectF(x + i * step, y, px, 20), s.mid(i, 1), c, px, Qt::AlignCenter, true);
    }
}

QImage drawSkin()
{
    QImage img(720, 460, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient bg(0, 0, 0, 460);
    bg.setColorAt(0, QColor(28, 40, 44));
    bg.setColorAt(1, QColor(16, 24, 27));
    p.fillRect(img.rect(), bg);
    p.setPen(QPen(QColor(88, 120, 112), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(2.5, 2.5, 713, 453));

    // Title banner under imgLogo (40, 40, 385 x 49).
    QLinearGradient banner(40, 40, 425, 40);
    banner.setColorAt(0, QColor(0, 61, 57));
    banner.setColorAt(1, QColor(20, 32, 35));
    p.setPen(Qt::NoPen);
    p.setBrush(banner);
    p.drawRoundedRect(QRectF(40, 40, 385, 49), 8, 8);
    quill(p, QPointF(56, 80), 44);
    text(p, QRectF(108, 40, 300, 49), QStringLiteral("Sorvex签名设计"), QColor(255, 236, 200), 30,
         Qt::AlignVCenter | Qt::AlignLeft, true);

    // Name fields.
    text(p, QRectF(48, 102, 38, 34), QStringLiteral("姓名"), QColor(255, 214, 64), 16,
         Qt::AlignCenter, true);
    p.fillRect(QRectF(88, 102, 116, 34), Qt::white);
    text(p, QRectF(252, 102, 38, 34), QStringLiteral("英文"), Qt::white, 16, Qt::AlignCenter, true);
    p.fillRect(QRectF(293, 102, 135, 34), Qt::white);

    // The picture field with its teal frame, covered exactly by picMain.
    p.fillRect(QRectF(35, 149, 396, 269), QColor(0, 61, 57));
    p.fillRect(QRectF(39, 153, 388, 261), Qt::white);

    // Right panel.
    p.setBrush(QColor(10, 16, 18));
    p.setPen(QPen(QColor(0, 61, 57), 1));
    p.drawRoundedRect(QRectF(446.5, 40.5, 228, 376), 8, 8);
    text(p, QRectF(446, 52, 228, 32), QStringLiteral("签名设置"), QColor(255, 236, 200), 20,
         Qt::AlignCenter, true);
    p.setPen(QPen(QColor(0, 90, 84), 1));
    p.drawLine(QPointF(466, 88), QPointF(654, 88));
    struct Row
    {
        double top;
        QColor color;
        const char* label;
    };
    const Row rows[] = {{101, QColor(140, 70, 200), "款式"},
                        {143.7, QColor(40, 110, 220), "背景"},
                        {184, QColor(240, 140, 30), "字颜色"},
                        {224, QColor(40, 170, 80), "字大小"}};
    for (const Row& r : rows) {
        ball(p, QPointF(470, r.top + 12), r.color);
        spread(p, 482, r.top + 2, QString::fromUtf8(r.label), QColor(230, 230, 230));
    }

    // Painted buttons under their image areas.
    button(p, QRectF(528, 272, 49, 43), QColor(130, 60, 180), QStringLiteral("保存\n签名"));
    button(p, QRectF(584, 256, 65, 52), QColor(200, 40, 40), QStringLiteral("打印\n签名"));
    button(p, QRectF(488, 320, 89, 47), QColor(230, 130, 20), QStringLiteral("手写签名"));
    button(p, QRectF(456, 262, 66, 52), QColor(20, 150, 130), QStringLiteral("手绘\n签名"));
    button(p, QRectF(584, 312, 81, 63), QColor(40, 100, 200), QStringLiteral("使用必读"));

    text(p, QRectF(446, 384, 228, 22), QStringLiteral("拖动文字可调整位置 · 免费版"),
         QColor(140, 170, 160), 12);

    // Decoration at the right edge: an orchid leaf and a line of calligraphy.
    p.setPen(QPen(QColor(60, 130, 90), 2));
    p.setBrush(Qt::NoBrush);
    QPainterPath leaf;
    leaf.moveTo(700, 440);
    leaf.cubicTo(690, 360, 705, 300, 686, 240);
    p.drawPath(leaf);
    QPainterPath leaf2;
    leaf2.moveTo(704, 440);
    leaf2.cubicTo(712, 380, 680, 340, 692, 300);
    p.drawPath(leaf2);
    p.setBrush(QColor(220, 170, 230));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(686, 236), 5, 3);
    p.drawEllipse(QPointF(692, 298), 4, 3);
    for (int i = 0; i < 4; ++i)
        text(p, QRectF(680, 48 + i * 40, 34, 40), QString(QStringLiteral("翰墨留香").at(i)),
             QColor(200, 180, 140), 22);
    text(p, QRectF(40, 424, 390, 24), QStringLiteral("按住文字可以拖动到你想要的位置"),
         QColor(120, 150, 140), 12, Qt::AlignLeft | Qt::AlignVCenter);
    return img;
}

QImage drawIcon()
{
    QImage img(32, 32, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(img.rect(), QColor(0, 110, 102));
    p.setPen(QPen(QColor(240, 240, 230), 2, Qt::SolidLine, Qt::RoundCap));
    QPainterPath stroke;
    stroke.moveTo(4, 25);
    stroke.cubicTo(9, 17, 12, 30, 17, 23);
    stroke.cubicTo(21, 18, 23, 27, 28, 24);
    p.drawPath(stroke);
    quill(p, QPointF(7, 22), 26);
    return img;
}

void put16(QByteArray& b, quint16 v)
{
    b.append(char(v & 0xFF)).append(char(v >> 8));
}
void put32(QByteArray& b, quint32 v)
{
    put16(b, quint16(v & 0xFFFF));
    put16(b, quint16(v >> 16));
}

// Bottom-up 24-bit rows, each padded to four bytes.
QByteArray pixels24(const QImage& img)
{
    QByteArray data;
    const int pad = (4 - (img.width() * 3) % 4) % 4;
    for (int y = img.height() - 1; y >= 0; --y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            data.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        }
        data.append(pad, '\0');
    }
    return data;
}

void infoHeader(QByteArray& b, int w, int h, quint32 imageSize, int ppm)
{
    put32(b, 40);
    put32(b, quint32(w));
    put32(b, quint32(h));
    put16(b, 1);
    put16(b, 24);
    put32(b, 0);
    put32(b, imageSize);
    put32(b, quint32(ppm));
    put32(b, quint32(ppm));
    put32(b, 0);
    put32(b, 0);
}

QByteArray bmp(const QImage& img)
{
    // Two bytes of padding after the pixels, as most BMP writers do.
    const QByteArray px = pixels24(img) + QByteArray(2, '\0');
    QByteArray b("BM");
    put32(b, quint32(54 + px.size()));
    put32(b, 0);
    put32(b, 54);
    infoHeader(b, img.width(), img.height(), quint32(px.size()), 2834);
    return b + px;
}

QByteArray ico(const QImage& img)
{
    const QByteArray px = pixels24(img);
    const QByteArray mask(32 * 4, '\0'); // every pixel opaque
    QByteArray dib;
    infoHeader(dib, 32, 64, quint32(px.size() + mask.size()), 0); // height counts the mask
    dib += px + mask;
    QByteArray b;
    put16(b, 0);
    put16(b, 1);
    put16(b, 1);
    b.append(char(32)).append(char(32)).append(char(0)).append(char(0));
    put16(b, 1);
    put16(b, 24);
    put32(b, quint32(dib.size()));
    put32(b, 22);
    return b + dib;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: make-skin OUTPUT_DIR CJK_FONT_FILE\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int id = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(argv[2]));
    if (id < 0) {
        std::fprintf(stderr, "make-skin: cannot load the font %s\n", argv[2]);
        return 1;
    }
    face = QFontDatabase::applicationFontFamilies(id).value(0);
    const QImage icon = drawIcon();
    const bool ok = writeFile(out + QStringLiteral("/skin.bmp"), bmp(drawSkin())) &&
                    writeFile(out + QStringLiteral("/sorvex-sign.ico"), ico(icon)) &&
                    icon.scaled(256, 256, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .save(out + QStringLiteral("/sorvex-sign.png"));
    if (!ok) {
        std::fprintf(stderr, "make-skin: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
