// The data kit as the program sees it.
#include "app/startup.h"
#include "base/text.h"
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

#include <span>

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
        for (const Style& style : c.styles)
            if (style.kind == (latin ? Style::Kind::LatinFolder : Style::Kind::Folder))
                out << style.name;
        return out;
    }
};

TEST_F(Kit, HoldsEveryKindOfStyleAndTheStartingChoices)
{
    for (const char* style : {"公文签", "毛体", "篆印体", "篆印体-阴文", "楷书签", "行书签"})
        EXPECT_EQ(c.styles.value(c.indexOfStyle(QString::fromUtf8(style))).files.size(), 1)
            << style;
    EXPECT_GE(c.styles.size(), 12);
    EXPECT_GE(folderStyles(false).size(), 2);
    EXPECT_GE(folderStyles(true).size(), 4);
    EXPECT_GE(c.indexOfStyle(DefaultStyle), 0);
    EXPECT_GT(c.backgrounds.size(), DefaultBackground);
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

// ASCII, the letters of Latin-1 and Latin Extended-A, and those of pinyin and Romanian names:
// the letters of European and pinyin names.
QString latinLetters()
{
    QString all;
    for (char16_t c = 0x21; c < 0x7F; ++c)
        all += QChar(c);
    for (char16_t c = 0xC0; c <= 0x17F; ++c)
        if (c != 0xD7 && c != 0xF7)
            all += QChar(c);
    return all + QStringLiteral("ǍǎǏǐǑǒǓǔǕǖǗǘǙǚǛǜȘșȚț");
}

// A kit face as the program reads it: stored compressed, several faces of one source in one
// collection; the first face of it.
QRawFont rawFont(const QString& file, qreal pixels)
{
    return QRawFont(unpackedFont(file), pixels);
}

// Every face draws every character its style promises: a glyph with an outline, not a gap.
TEST_F(Kit, EveryFaceDrawsEveryCharacterItsStylePromises)
{
    const QString hanzi = gb2312Hanzi();
    ASSERT_EQ(hanzi.size(), 6763);
    const QString latin = latinLetters();
    int faces = 0;
    for (int i = 0; i < c.styles.size(); ++i) {
        const bool latinStyle = c.styles[i].name.contains(LatinStyleMark);
        const QStringList files = c.styles.value(i).files;
        for (const QString& file : files) {
            const QRawFont raw = rawFont(file, 32);
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

// A face keeps the rare name characters it draws itself: they match the rest of the name.
TEST_F(Kit, RareCharactersComeFromTheStylesOwnFaceWhereItHasThem)
{
    const QRawFont seal = rawFont(c.styles.value(c.indexOfStyle(SealStyle)).files.first(), 32);
    for (const QChar ch : QStringLiteral("堃昇喆赟玥琇镕珺瑄"))
        EXPECT_TRUE(seal.supportsCharacter(ch)) << QString(ch).toStdString();
}

// At the size a picture starts with, ordinary names stay inside it, in every style.
TEST_F(Kit, OrdinaryNamesFitThePictureAt72Points)
{
    const char* chinese[] = {"王晓明", "张三丰", "欧阳娜娜", "司马相如", "上官婉儿"};
    const char* latin[] = {"Anna Lee", "Zhang Wei", "José Müller", "Xiaoming Wang",
                           "Mary Ann Smith"};
    AppFontTable fonts;
    for (int i = 0; i < c.styles.size(); ++i) {
        const bool latinStyle = c.styles[i].name.contains(LatinStyleMark);
        for (const char* name : latinStyle ? std::span(latin) : std::span(chinese)) {
            SCOPED_TRACE(c.styles[i].name.toStdString() + " " + name);
            ImageSurface surface(1, false, true);
            Mover mover;
            DrawInputs in;
            (latinStyle ? in.latinName : in.chineseName) = QString::fromUtf8(name);
            in.style = c.styles.value(i);
            in.sizeText = QStringLiteral("72");
            RenderContext ctx{values, fonts, surface, mover};
            ASSERT_EQ(drawSignature(ctx, in, -1, -1), DrawOutcome::Drawn);
            const QRect ink = inkBox(surface.image(), [](QRgb p) { return qAlpha(p) > 0; });
            ASSERT_FALSE(ink.isEmpty());
            EXPECT_TRUE(surface.image().rect().adjusted(2, 2, -2, -2).contains(ink))
                << "ink at " << ink.x() << "," << ink.y() << " " << ink.width() << "x"
                << ink.height();
        }
    }
}

// The three faces of a Chinese folder style draw common name characters as tall as each other
// and as high on the line.
TEST_F(Kit, FolderStyleFacesMatchTheirHeadFace)
{
    const QString common = QStringLiteral("王李张刘陈杨黄赵吴周伟芳娜敏静丽强明华军");
    for (const QString& style : folderStyles(false)) {
        double height[3], centre[3];
        const QStringList files = c.styles.value(c.indexOfStyle(style)).files;
        AppFontTable fonts;
        for (int k = 0; k < 3; ++k) {
            // The face itself, not the first of the collection its file may be.
            fonts.addFont(files[k]);
            QFont font(fonts.familyFor(files[k], faceNameOfFolderFont(files[k])));
            font.setPixelSize(1000);
            font.setHintingPreference(QFont::PreferNoHinting);
            const QRawFont raw = QRawFont::fromFont(font);
            std::vector<double> heights, centres;
            for (const QChar ch : common) {
                const QRectF box =
                    raw.pathForGlyph(raw.glyphIndexesForString(ch).value(0)).boundingRect();
                heights.push_back(box.height());
                centres.push_back(raw.ascent() + box.center().y());
            }
            std::nth_element(heights.begin(), heights.begin() + 10, heights.end());
            std::nth_element(centres.begin(), centres.begin() + 10, centres.end());
            height[k] = heights[10];
            centre[k] = centres[10];
            fonts.removeFont(files[k]);
        }
        for (int k = 1; k < 3; ++k) {
            SCOPED_TRACE(style.toStdString() + " face " + std::to_string(k + 1));
            EXPECT_NEAR(height[k] / height[0], 1.0, 0.05);
            EXPECT_NEAR(centre[k], centre[0], 30) << "within 0.03 em";
        }
    }
}

// Records where each character of each piece of text is drawn, in output pixels.
class CellSurface : public ImageSurface
{
public:
    CellSurface() : ImageSurface(1, false, true) {}
    std::vector<std::pair<QString, QRectF>> cells;

    void drawText(const QString& s) override
    {
        double x = cursorX;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const QString ch = s.mid(i, s.at(i).isHighSurrogate() ? 2 : 1);
            const double w = textWidth(ch);
            cells.emplace_back(ch, QRectF(x, cursorY, w, textHeight(ch)));
            x += w;
            i += ch.size() - 1;
        }
        ImageSurface::drawText(s);
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
    for (int i = 0; i < c.styles.size(); ++i) {
        for (const auto& name : names) {
            SCOPED_TRACE(c.styles[i].name.toStdString() + " " + name.chinese);
            CellSurface surface;
            Mover mover;
            DrawInputs in;
            in.chineseName = QString::fromUtf8(name.chinese);
            in.latinName = QString::fromUtf8(name.latin);
            in.style = c.styles.value(i);
            // Script letters are small for their size: thin strokes want room.
            in.sizeText = c.styles[i].name.contains(LatinStyleMark) ? QStringLiteral("72")
                                                                    : QStringLiteral("36");
            in.ink = qRgb(0, 0, 255);
            RenderContext ctx{values, fonts, surface, mover};
            ASSERT_EQ(drawSignature(ctx, in, 300, 300), DrawOutcome::Drawn);
            const QImage& image = surface.image();
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

TEST_F(Kit, EveryFaceIsSelectableRightAfterRegistration)
{
    AppFontTable fonts(0);
    for (int i = 0; i < c.styles.size(); ++i) {
        const QStringList files = c.styles.value(i).files;
        QStringList faces;
        for (const QString& file : files) {
            SCOPED_TRACE(file.toStdString());
            const QString face = file.contains(FontFileFolder) ? faceNameOfFontFile(file)
                                                               : faceNameOfFolderFont(file);
            fonts.addFont(file);
            EXPECT_TRUE(QFontDatabase::families().contains(fonts.familyFor(file, face)));
            fonts.removeFont(file);
            faces << face;
        }
        faces.removeDuplicates();
        EXPECT_EQ(faces.size(), files.size());
    }
}

TEST_F(Kit, EveryCompoundSurnameIsFoundAndDrawsInEveryChineseHeadFont)
{
    const QStringList surnames = values.compoundSurnames.keys();
    ASSERT_GE(surnames.size(), 60);

    for (const QString& style : folderStyles(false)) {
        const QString head = c.styles.value(c.indexOfStyle(style)).files.value(0);
        const QRawFont raw = rawFont(head, 64);
        ASSERT_TRUE(raw.isValid()) << head.toStdString();
        AppFontTable fonts(0);
        fonts.addFont(head);
        QFont font(faceNameOfFolderFont(head));
        font.setPixelSize(64);
        for (const QString& surname : surnames) {
            SCOPED_TRACE(surname.toStdString());
            const std::optional<QString> glyph =
                compoundSurnameGlyph(values.compoundSurnames, surname + QStringLiteral("娜"));
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
        fonts.removeFont(head);
    }
}

TEST_F(Kit, BackgroundsLoadInEveryFormatAndCoverThePicture)
{
    QStringList formats;
    for (const Background& background : c.backgrounds) {
        const QString& path = background.path;
        SCOPED_TRACE(path.toStdString());
        QImageReader reader(path);
        EXPECT_GE(reader.size().width(), SurfaceWidthPx);
        EXPECT_GE(reader.size().height(), SurfaceHeightPx);
        formats << QString::fromLatin1(reader.format());
        ImageSurface surface;
        EXPECT_TRUE(surface.setBackground(path));
    }
    for (const char* format : {"jpeg", "png", "bmp"})
        EXPECT_TRUE(formats.contains(QString::fromLatin1(format))) << format;
    EXPECT_GE(c.backgrounds.size(), 6);
}

TEST_F(Kit, LicencesTravelWithTheFonts)
{
    EXPECT_GE(QDir(kitDir() + QStringLiteral("licenses")).entryList(QDir::Files).size(), 5);
}

} // namespace
