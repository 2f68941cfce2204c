// Real pixels with the kit's fonts, through the real font table.
#include "app/startup.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "drawsignature.h"
#include "fakeplatform.h"
#include "kit.h"
#include "pixels.h"
#include "render/imagesurface.h"
#include "render/names.h"

#include <QFile>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

namespace {

// A rectangle in twips, in whole pixels of a surface at `scale`, widened by `slack` pixels.
QRect moverPixels(const QRectF& m, double scale, int slack)
{
    const double k = scale / TwipsPerPixel;
    return QRectF(m.left() * k, m.top() * k, m.width() * k, m.height() * k)
        .toAlignedRect()
        .adjusted(-slack, -slack, slack, slack);
}

class RealDrawing : public testing::Test
{
protected:
    ProgramValues values;
    Catalogue catalogue = loadCatalogue(kitDir());
    AppFontTable fonts;
    Layout layout;
    SignatureSpec in;
    QString background;

    void SetUp() override
    {
        FakePlatform platform;
        values = startProgram(kitDir(), platform);
        in.chineseName = QStringLiteral("王晓明");
        in.latinName = QStringLiteral("Xiaoming");
        in.points = 72;
        in.ink = qRgb(0, 0, 0);
    }

    void draw(ImageSurface& surface, const QString& style, int x = -1, int y = -1)
    {
        ASSERT_GE(catalogue.indexOfStyle(style), 0) << style.toStdString();
        in.style = catalogue.styles.value(catalogue.indexOfStyle(style));
        layout = drawSignature(surface, fonts, values, at(in, x, y), background);
    }
};

// At twice the scale the same drawing, twice as large: nothing else is drawn, and the text's
// box keeps its width whatever the output scale.
TEST_F(RealDrawing, TwiceTheScaleDrawsTheSameInkTwiceAsLarge)
{
    ImageSurface one(1), two(2);
    draw(one, DefaultStyle);
    const QRectF atOne = layout.textBox;
    draw(two, DefaultStyle);
    const QRect a = inkBox(one.image(), darkInk), b = inkBox(two.image(), darkInk);
    ASSERT_FALSE(a.isEmpty());
    EXPECT_NEAR(b.left(), 2 * a.left(), 2);
    EXPECT_NEAR(b.top(), 2 * a.top(), 2);
    EXPECT_NEAR(b.width(), 2 * a.width(), 3);
    EXPECT_NEAR(b.height(), 2 * a.height(), 3);
    EXPECT_EQ(layout.textBox.width(), atOne.width());
    EXPECT_GT(a.width(), 0.6 * layout.textBox.width() / TwipsPerPixel);
    EXPECT_EQ(two.image().width(), 776);
}

TEST_F(RealDrawing, DraggedTextMovesByTheDragInPixels)
{
    ImageSurface surface;
    draw(surface, DefaultStyle, 300, 450);
    const QRect a = inkBox(surface.image(), darkInk);
    draw(surface, DefaultStyle, 300 + 30 * 15, 450 + 20 * 15);
    const QRect b = inkBox(surface.image(), darkInk);
    EXPECT_EQ(b.topLeft() - a.topLeft(), QPoint(30, 20));
    EXPECT_EQ(b.size(), a.size());
}

TEST_F(RealDrawing, SealFrameIsDarkRedWhateverTheInk)
{
    in.ink = qRgb(0, 0, 255);
    in.points = 48;
    auto isFrame = [](QRgb c) {
        return c == qRgb(192, 0, 0);
    };
    auto isBlue = [](QRgb c) {
        return qBlue(c) > 160 && qRed(c) < 100 && qGreen(c) < 100;
    };
    for (const QString& style : {SealStyle, SealStyleIntaglio}) {
        SCOPED_TRACE(style.toStdString());
        ImageSurface surface;
        in.chineseName = QStringLiteral("王明");
        draw(surface, style);
        const QImage& image = surface.image();
        const QRect frame = inkBox(image, isFrame);
        const QRectF& box = layout.textBox;
        const QRect cells = moverPixels(box, 1, 0);
        // The frame reaches 100 twips left of and 60 above cell 1, and to cell 4's far corner.
        EXPECT_NEAR(frame.left(), (box.left() - 100) / 15, 1);
        EXPECT_NEAR(frame.top(), (box.top() - 60) / 15, 1);
        EXPECT_NEAR(frame.right(), box.right() / 15, 1);
        const QRect blue = inkBox(image, isBlue);
        ASSERT_FALSE(blue.isEmpty()) << "characters take the ink";
        EXPECT_TRUE(cells.adjusted(-2, -2, 2, 2).contains(blue));
        const int red = countPixels(image, isFrame);
        const int area = frame.width() * frame.height();
        if (style == SealStyleIntaglio)
            EXPECT_GT(red, area / 2) << "the intaglio square is filled";
        else
            EXPECT_LT(red, area / 3) << "the relief frame is an outline";
    }
}

// A worn seal wears inside its frame only, the same way for the same name at every drawing,
// another way for another name; its frame is broken in places, where the paper shows.
TEST_F(RealDrawing, AWornSealWearsInsideItsFrameTheSameWayForTheSameName)
{
    in.points = 48;
    for (const QString& style : {SealStyle, SealStyleIntaglio}) {
        SCOPED_TRACE(style.toStdString());
        const auto drawn = [&](const QString& name, bool worn) {
            ImageSurface surface(2);
            in.chineseName = name;
            in.worn = worn;
            draw(surface, style);
            return surface.image();
        };
        const QImage clean = drawn(QStringLiteral("王晓明"), false);
        const QImage worn = drawn(QStringLiteral("王晓明"), true);
        EXPECT_EQ(drawn(QStringLiteral("王晓明"), true), worn);
        const QRect frame = inkBox(clean, [](QRgb c) { return c == qRgb(192, 0, 0); });
        int changed = 0, outside = 0;
        for (int y = 0; y < clean.height(); ++y)
            for (int x = 0; x < clean.width(); ++x)
                if (clean.pixel(x, y) != worn.pixel(x, y))
                    ++(frame.contains(x, y) ? changed : outside);
        EXPECT_EQ(outside, 0);
        EXPECT_GT(changed, frame.width() * frame.height() / 100);
        // The frame's outer line, a pixel in, is broken: the paper shows there.
        const QImage paper = drawn(QString(), false);
        int breaks = 0;
        for (int x = frame.left(); x <= frame.right(); ++x)
            for (const int y : {frame.top() + 1, frame.bottom() - 1})
                breaks += worn.pixel(x, y) == paper.pixel(x, y);
        for (int y = frame.top(); y <= frame.bottom(); ++y)
            for (const int x : {frame.left() + 1, frame.right() - 1})
                breaks += worn.pixel(x, y) == paper.pixel(x, y);
        EXPECT_GE(breaks, 4);
        const QImage other = drawn(QStringLiteral("李晓明"), true);
        const QImage otherClean = drawn(QStringLiteral("李晓明"), false);
        int differ = 0;
        for (int y = frame.top(); y <= frame.bottom(); ++y)
            for (int x = frame.left(); x <= frame.right(); ++x)
                if (!frame.adjusted(3, 3, -3, -3).contains(x, y))
                    differ += (worn.pixel(x, y) == clean.pixel(x, y)) !=
                              (other.pixel(x, y) == otherClean.pixel(x, y));
        EXPECT_GT(differ, 0) << "another name wears its frame elsewhere";
    }
    in.worn = false;
}

TEST_F(RealDrawing, CompoundSurnameIsOneHeadGlyph)
{
    // 欧阳 drawn as one glyph: its two characters narrowed and close together, wider than one
    // character's room and narrower than two at 0.85 of theirs. Without the list, 阳 is a piece
    // of its own.
    ImageSurface surface;
    in.chineseName = QStringLiteral("王");
    draw(surface, QStringLiteral("艺术签"));
    const double headCharacter = layout.textBox.width();
    in.chineseName = QStringLiteral("欧阳");
    draw(surface, QStringLiteral("艺术签"));
    ASSERT_EQ(layout.runs.size(), 1u);
    EXPECT_GT(layout.textBox.width(), 1.2 * headCharacter);
    EXPECT_LE(layout.textBox.width(), 1.7 * headCharacter + 1);
    in.chineseName = QStringLiteral("欧阳娜娜");
    draw(surface, QStringLiteral("艺术签"));
    EXPECT_GT(inkBox(surface.image(), darkInk).width(), 2.5 * 96) << "the glyph draws";
    values.compoundSurnames.clear();
    in.chineseName = QStringLiteral("欧阳");
    draw(surface, QStringLiteral("艺术签"));
    EXPECT_EQ(layout.runs.size(), 2u);
}

// Keeping registrations, the decoded background and rendered text must not change a pixel.
TEST_F(RealDrawing, ReusingWorkDrawsTheSamePixelsAsDrawingAfresh)
{
    background = catalogue.backgrounds.value(DefaultBackground).path;
    const std::pair<int, int> moves[] = {{-1, -1},   {600, 400}, {615, 430},  {-1, 700},
                                         {1201, -1}, {600, 400}, {-300, -200}};
    for (double scale : {1.0, 2.0}) {
        for (const Style& kind : catalogue.styles) {
            const QString& style = kind.name;
            SCOPED_TRACE(style.toStdString() + " at " + std::to_string(scale));
            in.chineseName = QStringLiteral("欧阳娜娜");
            if (kind.kind == Style::Kind::LatinFolder || kind.isSeal())
                in.chineseName = QStringLiteral("王晓明");
            ImageSurface fast(scale, true);
            ImageSurface uncached(scale, false);
            AppFontTable uncachedFonts(0);
            for (const auto& [x, y] : moves) {
                draw(fast, style, x, y);
                const QRectF fastMover = layout.textBox;
                const Layout again =
                    drawSignature(uncached, uncachedFonts, values, at(in, x, y), background);
                const QImage& a = fast.image();
                const QImage& b = uncached.image();
                QRect diff;
                int worst = 0;
                if (a != b) // where they differ, and by how much
                    forEachPixelPair(a, b, [&](int px, int py, QRgb p, QRgb q) {
                        if (p != q) {
                            diff |= QRect(px, py, 1, 1);
                            worst = std::max(worst, std::abs(qGray(p) - qGray(q)));
                        }
                    });
                EXPECT_TRUE(diff.isEmpty()) << "at " << x << "," << y << ": pixels differ in "
                                            << diff.x() << "," << diff.y() << " " << diff.width()
                                            << "x" << diff.height() << " by up to " << worst;
                EXPECT_EQ(fastMover, again.textBox);
            }
        }
    }
}

TEST(ImageSurfaceBackground, LoadsDrawsAndNoticesAChangedFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bg.png"));
    QImage big(800, 600, QImage::Format_RGB32);
    big.fill(qRgb(10, 200, 30));
    ASSERT_TRUE(big.save(path));
    ImageSurface surface;
    EXPECT_TRUE(surface.setBackground(path));
    EXPECT_EQ(surface.image().pixel(387, 260), qRgb(10, 200, 30));

    QImage small(100, 50, QImage::Format_RGB32);
    small.fill(qRgb(0, 0, 200));
    ASSERT_TRUE(small.save(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    f.close();
    surface.clear();
    EXPECT_TRUE(surface.setBackground(path));
    EXPECT_EQ(surface.image().pixel(10, 10), qRgb(0, 0, 200));
    EXPECT_EQ(surface.image().pixel(200, 200), qRgb(255, 255, 255))
        << "a smaller picture sits top-left on white";

    EXPECT_FALSE(surface.setBackground(dir.filePath(QStringLiteral("missing.jpg"))));
    EXPECT_FALSE(surface.backgroundError().isEmpty());
    EXPECT_EQ(surface.image().pixel(10, 10), qRgb(255, 255, 255));
}

// A glyph's coverage over every shade and opacity of a picture: each channel of the blend is
// ink * c + picture * (255 - c) over 255, rounded once, and never further than one step from what
// the painter gives for the same glyph (it rounds twice).
TEST(CoverageBlend, RoundsEachChannelOnceAndAgreesWithThePainter)
{
    const QRgb ink = qRgb(0x20, 0x9B, 0xE1);
    QImage picture(96, 96, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            picture.setPixel(x, y,
                             qPremultiply(qRgba(x * 37 % 256, y * 53 % 256, (x + y) * 29 % 256,
                                                y < 48 ? 255 : (x * 11 + y) % 256)));
    const QRawFont font(kitDir() + QStringLiteral("data/faces/xingshu.dat"), 48);
    ASSERT_TRUE(font.isValid());
    const auto channels = [](QRgb c) {
        return std::array<int, 4>{qRed(c), qGreen(c), qBlue(c), qAlpha(c)};
    };
    for (const quint32 glyph : font.glyphIndexesForString(QStringLiteral("王晓明欧阳娜"))) {
        SCOPED_TRACE(glyph);
        QImage painted = picture;
        {
            QPainter p(&painted);
            p.setPen(QColor(ink));
            QGlyphRun run;
            run.setRawFont(font);
            run.setGlyphIndexes({glyph});
            run.setPositions({QPointF(20, 70)});
            p.drawGlyphRun(QPointF(), run);
        }
        const QImage coverage = font.alphaMapForGlyph(glyph, QRawFont::PixelAntialiasing)
                                    .convertToFormat(QImage::Format_Alpha8);
        const QRect glyphBox = inkBox(coverage, [](QRgb c) { return qAlpha(c) > 0; });
        QRect paintedBox;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x)
                if (painted.pixel(x, y) != picture.pixel(x, y))
                    paintedBox |= QRect(x, y, 1, 1);
        ASSERT_EQ(paintedBox.size(), glyphBox.size());
        const QPoint at = paintedBox.topLeft() - glyphBox.topLeft();

        QImage blended = picture;
        for (int y = 0; y < coverage.height(); ++y)
            blendCoverageRow(reinterpret_cast<quint32*>(blended.scanLine(at.y() + y)) + at.x(),
                             coverage.constScanLine(y), coverage.width(), ink);
        int wrong = 0;
        int apart = 0;
        for (int y = 0; y < coverage.height(); ++y)
            for (int x = 0; x < coverage.width(); ++x) {
                const int c = coverage.constScanLine(y)[x];
                const QPoint p = at + QPoint(x, y);
                const auto ours = channels(blended.pixel(p));
                const auto theirs = channels(painted.pixel(p));
                const auto under = channels(picture.pixel(p));
                const auto in = channels(ink);
                for (int k = 0; k < 4; ++k) {
                    wrong += ours[k] != qRound((in[k] * c + under[k] * (255 - c)) / 255.0);
                    apart += std::abs(ours[k] - theirs[k]) > 1;
                }
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(apart, 0);
    }
}

} // namespace
