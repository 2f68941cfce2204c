// The data kit as the program sees it.
#include "app/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "fakeplatform.h"
#include "kit.h"
#include "pixels.h"
#include "render/imagesurface.h"
#include "render/renderer.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class Kit : public testing::Test
{
protected:
    Catalogue c = loadCatalogue(kitDir());
    FakePlatform platform;
    ProgramValues values = startProgram(kitDir(), platform);

    QStringList folderStyles(bool latin) const
    {
        QStringList out;
        for (int i = 0; i < c.styleNames.size(); ++i)
            if (!c.FontPaths[i].endsWith(QLatin1String(".dat")) &&
                c.styleNames[i].contains(LatinStyleMark) == latin)
                out << c.styleNames[i];
        return out;
    }
};

TEST_F(Kit, HoldsEveryKindOfStyleAndTheStartingChoices)
{
    for (const char* style : {"公文签", "毛体", "篆印体", "篆印体-阴文", "楷书签", "行书签"})
        EXPECT_TRUE(c.StyleList.contains(u',' + QString::fromUtf8(style) + u',')) << style;
    EXPECT_GE(c.styleNames.size(), 12);
    EXPECT_GE(folderStyles(false).size(), 2);
    EXPECT_GE(folderStyles(true).size(), 4);
    EXPECT_GE(c.indexOfStyle(DefaultStyle), 0);
    EXPECT_GT(c.backgroundNames.size(), DefaultBackground);
    EXPECT_TRUE(platform.messages.empty()) << "fuxing.dat is readable";
    EXPECT_TRUE(QFileInfo(fallbackFontPath(values)).isFile());
}

// The 6,763 characters of GB2312, decoded from their codes.
QString gb2312Hanzi()
{
    QString all;
    for (int hi = 0xB0; hi <= 0xF7; ++hi)
        for (int lo = 0xA1; lo <= 0xFE; ++lo) {
            const QString ch = decodeGbk(QByteArray().append(char(hi)).append(char(lo)));
            if (ch.size() == 1 && ch[0] >= QChar(0x4E00) && ch[0] <= QChar(0x9FFF))
                all += ch;
        }
    return all;
}

QString latinLetters()
{
    QString all;
    for (char16_t c = 0x21; c < 0x7F; ++c)
        all += QChar(c);
    for (char16_t c = 0xC0; c <= 0xFF; ++c)
        if (c != 0xD7 && c != 0xF7)
            all += QChar(c);
    return all;
}

// Every face draws every character its style promises: a glyph with an outline, not a gap.
TEST_F(Kit, EveryFaceDrawsEveryCharacterItsStylePromises)
{
    const QString hanzi = gb2312Hanzi();
    ASSERT_EQ(hanzi.size(), 6763);
    const QString latin = latinLetters();
    int faces = 0;
    for (int i = 0; i < c.styleNames.size(); ++i) {
        const bool latinStyle = c.styleNames[i].contains(LatinStyleMark);
        const QStringList files = fontFilesOf(c, i);
        for (const QString& file : files) {
            const QRawFont raw(file, 32);
            ASSERT_TRUE(raw.isValid()) << file.toStdString();
            QString gaps;
            for (const QChar ch : latinStyle ? latin : hanzi) {
                const QList<quint32> glyph = raw.glyphIndexesForString(ch);
                if (glyph.value(0) == 0 || raw.pathForGlyph(glyph[0]).isEmpty())
                    gaps += ch;
            }
            EXPECT_TRUE(gaps.isEmpty()) << file.toStdString() << " draws nothing for "
                                        << gaps.size() << ": " << gaps.left(40).toStdString();
            ++faces;
        }
    }
    EXPECT_GE(faces, 20);
}

// Records where each character of each piece of text is drawn, in output pixels.
class CellSurface : public ImageSurface
{
public:
    CellSurface() : ImageSurface(1, false, true) {}
    std::vector<std::pair<QString, QRectF>> cells;

    void DrawText(const QString& s) override
    {
        double x = CursorX;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const QString ch = s.mid(i, s.at(i).isHighSurrogate() ? 2 : 1);
            const double w = TextWidth(ch);
            cells.emplace_back(ch, QRectF(x, CursorY, w, TextHeight(ch)));
            x += w;
            i += ch.size() - 1;
        }
        ImageSurface::DrawText(s);
    }
};

// A name drawn in every style shows ink in the middle of every character's cell: characters
// that drew as gaps in earlier kits, and characters beyond GB2312 that only a fallback face has.
TEST_F(Kit, EveryStyleInksEveryCharacterOfAName)
{
    const struct
    {
        const char* chinese;
        const char* latin;
    } names[] = {{"吧爸帮阳", "José Müller"},
                 {"堃昇龑喆", "Zoë Ångström"},
                 {"䶮琇赟玥", "Ñuñez Çelik"},
                 {"吉𠮷明", "Łukasz"}};
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    for (int i = 0; i < c.styleNames.size(); ++i) {
        for (const auto& name : names) {
            SCOPED_TRACE(c.styleNames[i].toStdString() + " " + name.chinese);
            CellSurface surface;
            Mover mover;
            DrawInputs in;
            in.txtCN = QString::fromUtf8(name.chinese);
            in.txtEN = QString::fromUtf8(name.latin);
            in.styleIndex = i;
            in.styleCurrentText = c.styleNames[i];
            in.sizeText = QStringLiteral("36");
            in.ink = qRgb(0, 0, 255);
            RenderContext ctx{values, c, fonts, surface, mover, {}};
            ASSERT_EQ(DrawSignature(ctx, in, 300, 300), DrawOutcome::Drawn);
            const QImage& image = surface.PersistentImage();
            ASSERT_FALSE(surface.cells.empty());
            for (const auto& [ch, twips] : surface.cells) {
                if (ch == u" ")
                    continue;
                // The middle half of the cell: a neighbour's ink does not reach it.
                const QRectF px(twips.x() / TwipsPerPixel, twips.y() / TwipsPerPixel,
                                twips.width() / TwipsPerPixel, twips.height() / TwipsPerPixel);
                const QRect middle = px.adjusted(px.width() / 4, 0, -px.width() / 4, 0).toRect();
                int ink = 0;
                for (int y = middle.top(); y <= middle.bottom(); ++y)
                    for (int x = middle.left(); x <= middle.right(); ++x)
                        ink += qBlue(image.pixel(x, y)) > 128 ? 1 : 0;
                EXPECT_GT(ink, 4) << ch.toStdString() << " draws nothing";
            }
        }
    }
}

TEST_F(Kit, EveryFaceIsSelectableByItsNameRightAfterRegistration)
{
    AppFontTable fonts(0);
    for (int i = 0; i < c.styleNames.size(); ++i) {
        const QStringList files = fontFilesOf(c, i);
        QStringList faces;
        for (const QString& file : files) {
            SCOPED_TRACE(file.toStdString());
            const QString face = file.contains(FontFileFolder) ? faceNameOfFontFile(file)
                                                               : faceNameOfFolderFont(file);
            EXPECT_FALSE(QFontDatabase::families().contains(face)) << "no system font has it";
            fonts.AddFont(file);
            EXPECT_TRUE(QFontDatabase::families().contains(face));
            EXPECT_EQ(fonts.familyFor(file, face), face);
            fonts.RemoveFont(file);
            faces << face;
        }
        faces.removeDuplicates();
        EXPECT_EQ(faces.size(), files.size());
    }
}

TEST_F(Kit, EveryCompoundSurnameIsFoundAndDrawsInEveryChineseHeadFont)
{
    const QRegularExpression entry(QStringLiteral(" (..)-"));
    QStringList surnames;
    for (auto it = entry.globalMatch(values.CompoundSurnames); it.hasNext();)
        surnames << it.next().captured(1);
    ASSERT_GE(surnames.size(), 60);

    for (const QString& style : folderStyles(false)) {
        const QString head = c.FontPaths[c.indexOfStyle(style)] + QStringLiteral("1.dat");
        const QRawFont raw(head, 64);
        ASSERT_TRUE(raw.isValid()) << head.toStdString();
        AppFontTable fonts(0);
        fonts.AddFont(head);
        QFont font(faceNameOfFolderFont(head));
        font.setPixelSize(64);
        for (const QString& surname : surnames) {
            SCOPED_TRACE(surname.toStdString());
            const std::optional<QString> glyph =
                compoundSurnameGlyph(values.CompoundSurnames, surname + QStringLiteral("娜"));
            ASSERT_TRUE(glyph && glyph->size() == 1);
            EXPECT_GE(glyph->at(0).unicode(), 0xE000);
            EXPECT_TRUE(raw.supportsCharacter(glyph->at(0)));
            QImage image(80, 80, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter p(&image);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(QPointF(4, 64), *glyph);
            p.end();
            // Two characters of ink, not an empty box outline.
            EXPECT_GT(countPixels(image, darkInk), 300);
            // Its ink starts where the first character's does, at half its width: the glyph's
            // side bearing is that of its outline, so it draws where its box says.
            const auto left = [&raw](const QString& s) {
                return raw.pathForGlyph(raw.glyphIndexesForString(s).value(0))
                    .boundingRect()
                    .left();
            };
            EXPECT_NEAR(left(*glyph), left(surname.left(1)) / 2, 0.5);
        }
        fonts.RemoveFont(head);
    }
}

TEST_F(Kit, BackgroundsLoadInEveryFormatAndCoverThePicture)
{
    QStringList formats;
    for (const QString& path : c.ImagePaths) {
        SCOPED_TRACE(path.toStdString());
        QImageReader reader(path);
        EXPECT_GE(reader.size().width(), SurfaceWidthPx);
        EXPECT_GE(reader.size().height(), SurfaceHeightPx);
        formats << QString::fromLatin1(reader.format());
        ImageSurface surface;
        EXPECT_TRUE(surface.SetBackground(path));
    }
    for (const char* format : {"jpeg", "png", "bmp"})
        EXPECT_TRUE(formats.contains(QString::fromLatin1(format))) << format;
    EXPECT_GE(c.ImagePaths.size(), 6);
}

TEST_F(Kit, LicencesTravelWithTheFonts)
{
    EXPECT_GE(QDir(kitDir() + QStringLiteral("licenses")).entryList(QDir::Files).size(), 5);
}

} // namespace
