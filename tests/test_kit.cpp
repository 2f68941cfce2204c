// The data kit as the program sees it.
#include "app/startup.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "drawsignature.h"
#include "fakeplatform.h"
#include "kit.h"
#include "pixels.h"
#include "render/appfaces.h"
#include "render/fitting.h"
#include "render/imagesurface.h"
#include "render/names.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <optional>
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
    for (char16_t c = 0x1EA0; c <= 0x1EF9; ++c)
        all += QChar(c);
    return all + QStringLiteral("ǍǎǏǐǑǒǓǔǕǖǗǘǙǚǛǜȘșȚțƠơƯưƏəǦǧǴǵẞ");
}

// A kit face as the program reads it: stored compressed, several faces of one source in one
// collection; the first face of it.
QRawFont rawFont(const QString& file, qreal pixels)
{
    return QRawFont(unpackedFont(file), pixels);
}

// How many separate pieces of ink a character is drawn in, pieces touching at a corner one.
int inkPieces(const QRawFont& raw, QChar ch)
{
    const QPainterPath path = raw.pathForGlyph(raw.glyphIndexesForString(ch).value(0));
    const QRectF box = path.boundingRect();
    QImage image(int(box.width()) + 4, int(box.height()) + 4, QImage::Format_Grayscale8);
    image.fill(0);
    QPainter p(&image);
    p.fillPath(path.translated(2 - box.left(), 2 - box.top()), Qt::white);
    p.end();
    int pieces = 0;
    std::vector<QPoint> todo;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (image.constScanLine(y)[x] < 64)
                continue;
            ++pieces;
            todo.push_back({x, y});
            image.scanLine(y)[x] = 0;
            while (!todo.empty()) {
                const QPoint at = todo.back();
                todo.pop_back();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint next = at + QPoint(dx, dy);
                        if (image.rect().contains(next) &&
                            image.constScanLine(next.y())[next.x()] >= 64) {
                            image.scanLine(next.y())[next.x()] = 0;
                            todo.push_back(next);
                        }
                    }
            }
        }
    return pieces;
}

QRectF glyphBox(const QRawFont& raw, QChar ch)
{
    return raw.pathForGlyph(raw.glyphIndexesForString(ch).value(0)).boundingRect();
}

// How heavy a character's strokes are: twice its ink over the length of its ink's edge, which
// is a stroke's width for strokes much longer than wide.
double strokeWidth(const QRawFont& raw, QChar ch)
{
    QPainterPath path = raw.pathForGlyph(raw.glyphIndexesForString(ch).value(0));
    const QRectF box = path.boundingRect();
    QImage image(int(box.width()) + 4, int(box.height()) + 4, QImage::Format_Grayscale8);
    image.fill(0);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillPath(path.translated(2 - box.left(), 2 - box.top()), Qt::white);
    p.end();
    int ink = 0, edge = 0;
    for (int y = 1; y + 1 < image.height(); ++y)
        for (int x = 1; x + 1 < image.width(); ++x) {
            const auto on = [&](int cx, int cy) { return image.constScanLine(cy)[cx] != 0; };
            if (!on(x, y))
                continue;
            ++ink;
            edge += !on(x - 1, y) || !on(x + 1, y) || !on(x, y - 1) || !on(x, y + 1);
        }
    return edge ? 2.0 * ink / edge : 0;
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
            // An accented lowercase letter is as wide as its letter, not as its capital (a face
            // once drew ǚ as Ǚ), and the other way round.
            const auto width = [&raw](QChar ch) {
                return raw.boundingRect(raw.glyphIndexesForString(ch).value(0)).width();
            };
            for (const QString& triple : {QStringLiteral("ǒoO"), QStringLiteral("ǔuU"),
                                          QStringLiteral("ǚuU"), QStringLiteral("ǜuU"),
                                          QStringLiteral("ờoO"), QStringLiteral("ỞoO")}) {
                if (!latinStyle || std::abs(width(triple[1]) - width(triple[2])) < 3)
                    continue;
                const QChar own = triple[0].isLower() ? triple[1] : triple[2];
                const QChar other = triple[0].isLower() ? triple[2] : triple[1];
                EXPECT_LT(std::abs(width(triple[0]) - width(own)),
                          std::abs(width(triple[0]) - width(other)))
                    << file.toStdString() << " " << QString(triple[0]).toStdString();
            }
            // A comma below or an apostrophe beside its letter stands apart from it: one
            // more piece of ink than the letter alone.
            const QRawFont large = rawFont(file, 160);
            for (const QString& pair : {QStringLiteral("șs"), QStringLiteral("țt"),
                                        QStringLiteral("Șs"), QStringLiteral("ďd"),
                                        QStringLiteral("ťt"), QStringLiteral("ľl")}) {
                if (!latinStyle)
                    break;
                const QChar base = pair[0].isUpper() ? pair[1].toUpper() : pair[1];
                EXPECT_EQ(inkPieces(large, pair[0]), inkPieces(large, base) + 1)
                    << file.toStdString() << " " << QString(pair[0]).toStdString();
            }
            // A cedilla hangs just below its letter and is smaller than its x-height (a face
            // once hung ç a third of an em under the c).
            for (const QString& pair : {QStringLiteral("çc"), QStringLiteral("ÇC"),
                                        QStringLiteral("şs"), QStringLiteral("ŞS")}) {
                if (!latinStyle)
                    break;
                const double depth = glyphBox(large, pair[0]).bottom() - glyphBox(large, pair[1]).bottom();
                EXPECT_LE(depth, 0.03 * 160 + 0.45 * glyphBox(large, 'x').height() + 1)
                    << file.toStdString() << " " << QString(pair[0]).toStdString();
            }
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

// Every style draws ordinary names whole: at the size a picture starts with where they fit,
// smaller where they would be cut, their ink 6 pixels from every edge; names of three
// characters and Latin names of a dozen letters centred.
TEST_F(Kit, OrdinaryNamesAreDrawnWholeAndCentred)
{
    struct Name
    {
        const char* text;
        bool fits;    // drawn at the size asked in every style
        bool centred; // unused: every name's ink is centred
    };
    const Name chinese[] = {{"王", true, false},           {"王晓明", true, true},
                            {"张三丰", true, true},        {"欧阳娜娜", true, false},
                            {"司马相如", true, false},     {"买提艾力江", false, false},
                            {"阿不都热合曼", false, false}, {"爱新觉罗溥仪", false, false}};
    const Name latin[] = {{"Anna Lee", true, true},
                          {"Zhang Wei", false, true},
                          {"Xiaoming Wang", false, true},
                          {"José Müller", false, true},
                          {"Christopher Johnson", false, false},
                          {"Maximilian Alexander", false, false}};
    AppFontTable fonts;
    const QPointF centre(SurfaceWidthPx / 2.0, SurfaceHeightPx / 2.0);
    for (const Style& style : c.styles) {
        const bool latinStyle = style.kind == Style::Kind::LatinFolder;
        for (const Name& name : latinStyle ? std::span<const Name>(latin) : std::span<const Name>(chinese)) {
            SCOPED_TRACE(style.name.toStdString() + " " + name.text);
            SignatureSpec in;
            (latinStyle ? in.latinName : in.chineseName) = QString::fromUtf8(name.text);
            in.style = style;
            in.points = std::min(72, styleRuleFor(style.name).largestSize);
            AppFaces faces(fonts);
            const double used = fittedSize(in, faces, values.compoundSurnames);
            if (name.fits) {
                EXPECT_EQ(used, in.points);
            }
            in.points = used;
            ImageSurface surface(1, false, true);
            const Layout layout = drawSignature(surface, fonts, values, in);
            const QRect ink = inkBox(surface.image(), [](QRgb p) { return qAlpha(p) > 0; });
            ASSERT_FALSE(ink.isEmpty());
            EXPECT_TRUE(surface.image().rect().adjusted(5, 5, -5, -5).contains(ink))
                << "ink at " << ink.x() << "," << ink.y() << " " << ink.width() << "x"
                << ink.height() << " drawn at " << used;
            // Every name's ink is centred, whatever the style and size: a seal's by its frame.
            const QPointF off = QRectF(ink).center() - centre;
            EXPECT_LE(std::abs(off.x()), 1) << "off by " << off.x() << "," << off.y();
            EXPECT_LE(std::abs(off.y()), 1) << "off by " << off.x() << "," << off.y();
            // The layout's ink box is the ink painted, within a pixel: the ink a person sees,
            // not the faintest edge of antialiasing.
            const QRect seen = inkBox(surface.image(), [](QRgb p) { return qAlpha(p) > 32; });
            const QRectF box(layout.inkBox.topLeft() / TwipsPerPixel,
                             layout.inkBox.size() / TwipsPerPixel);
            EXPECT_NEAR(box.left(), seen.left(), 1);
            EXPECT_NEAR(box.top(), seen.top(), 1);
            EXPECT_NEAR(box.right(), seen.right() + 1, 1);
            EXPECT_NEAR(box.bottom(), seen.bottom() + 1, 1);
        }
    }
}

// The three faces of a Chinese folder style draw common name characters as tall as each other,
// as high on the line and with strokes as heavy: a name reads as one hand.
TEST_F(Kit, FolderStyleFacesMatchTheirHeadFace)
{
    const QString common = QStringLiteral("王李张刘陈杨黄赵吴周伟芳娜敏静丽强明华军");
    for (const QString& style : folderStyles(false)) {
        double height[3], centre[3], stroke[3];
        const QStringList files = c.styles.value(c.indexOfStyle(style)).files;
        AppFontTable fonts;
        for (int k = 0; k < 3; ++k) {
            // The face itself, not the first of the collection its file may be.
            fonts.addFont(files[k]);
            QFont font(fonts.familyFor(files[k], faceNameOfFolderFont(files[k])));
            font.setPixelSize(1000);
            font.setHintingPreference(QFont::PreferNoHinting);
            const QRawFont raw = QRawFont::fromFont(font);
            std::vector<double> heights, centres, strokes;
            for (const QChar ch : common) {
                const QRectF box =
                    raw.pathForGlyph(raw.glyphIndexesForString(ch).value(0)).boundingRect();
                heights.push_back(box.height());
                centres.push_back(raw.ascent() + box.center().y());
                strokes.push_back(strokeWidth(QRawFont::fromFont([&] {
                    QFont small = font;
                    small.setPixelSize(200);
                    return small;
                }()), ch));
            }
            std::nth_element(heights.begin(), heights.begin() + 10, heights.end());
            std::nth_element(centres.begin(), centres.begin() + 10, centres.end());
            std::nth_element(strokes.begin(), strokes.begin() + 10, strokes.end());
            height[k] = heights[10];
            centre[k] = centres[10];
            stroke[k] = strokes[10];
            fonts.removeFont(files[k]);
        }
        for (int k = 1; k < 3; ++k) {
            SCOPED_TRACE(style.toStdString() + " face " + std::to_string(k + 1));
            EXPECT_NEAR(height[k] / height[0], 1.0, 0.05);
            EXPECT_NEAR(centre[k], centre[0], 30) << "within 0.03 em";
            EXPECT_NEAR(stroke[k] / stroke[0], 1.0, 0.2) << "stroke " << stroke[k] << " beside "
                                                         << stroke[0] << " pixels";
        }
    }
}

// The median ink height and stroke width of the characters of `text` a face has, in pixels at
// 200 pixels to the em; nothing where it has none of them.
std::optional<std::pair<double, double>> inkShape(const QRawFont& raw, const QString& text)
{
    std::vector<double> heights, strokes;
    for (const QChar ch : text) {
        if (!raw.supportsCharacter(ch))
            continue;
        heights.push_back(
            raw.pathForGlyph(raw.glyphIndexesForString(ch).value(0)).boundingRect().height());
        strokes.push_back(strokeWidth(raw, ch));
    }
    if (heights.empty())
        return std::nullopt;
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + qsizetype(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    return std::pair{median(heights), median(strokes)};
}

// A rare character of a name is drawn as close to the style's hand as the kit can: built from
// the face's own strokes where it can be, else by the face's own fallback, each as tall as the
// face's characters and with strokes as heavy.
TEST_F(Kit, RareCharactersAreWrittenLikeTheFacesOwn)
{
    // A built character beside characters built alike (a radical on the left), a fallback's
    // beside the face's common ones.
    const QString alike = QStringLiteral("现珊球理玩珍班琳祥祖钱铭晴培婉");
    const QString common = QStringLiteral("王李张刘陈杨黄赵吴周伟芳娜敏静丽强明华军");
    const QString rare = QStringLiteral("喆堃赟犇昇琇珺祎瑄玥镕晞玹璟");
    AppFontTable fonts;
    int fallbacks = 0;
    for (const Style& style : c.styles) {
        if (style.kind == Style::Kind::LatinFolder)
            continue;
        const bool seal =
            style.kind == Style::Kind::Seal || style.kind == Style::Kind::IntaglioSeal;
        for (qsizetype k = 0; k < style.files.size(); ++k) {
            const QString family = style.kind == Style::Kind::Folder
                                       ? faceNameOfFolderFont(style.files[k])
                                       : style.faces[k];
            // The face itself, not the first of the collection its file may be.
            fonts.addFont(style.files[k]);
            QFont font(fonts.familyFor(style.files[k], family));
            font.setPixelSize(200);
            font.setHintingPreference(QFont::PreferNoHinting);
            const QRawFont face = QRawFont::fromFont(font);
            QString built;
            for (const QChar ch : rare)
                if (face.supportsCharacter(ch))
                    built += ch;
            // A hand varies its characters' sizes more than a fallback may stray from it.
            struct Drawn
            {
                QString what;
                std::optional<std::pair<double, double>> shape, beside;
                double heightWithin;
            };
            std::vector<Drawn> drawn{{QStringLiteral("its own ") + built, inkShape(face, built),
                                      inkShape(face, alike), 0.15}};
            const QString fallbackFile =
                kitDir() + QStringLiteral("data/fallback(%1).dat").arg(family);
            if (!seal && QFileInfo(fallbackFile).isFile()) {
                drawn.push_back({QStringLiteral("its fallback"),
                                 inkShape(rawFont(fallbackFile, 200), rare),
                                 inkShape(face, common), 0.12});
                ++fallbacks;
            }
            fonts.removeFont(style.files[k]);
            for (const Drawn& d : drawn) {
                if (!d.shape)
                    continue;
                SCOPED_TRACE(style.name.toStdString() + " " + family.toStdString() + " " +
                             d.what.toStdString());
                ASSERT_TRUE(d.beside);
                EXPECT_NEAR(d.shape->first / d.beside->first, 1.0, d.heightWithin) << "as tall";
                EXPECT_NEAR(d.shape->second / d.beside->second, 1.0, 0.2) << "as heavy";
            }
        }
    }
    EXPECT_GE(fallbacks, 9) << "every brush face has a fallback of its own";
}

// Records where each character of each piece of text is drawn, in output pixels.
// Draws a text a character at a time, each at its place along the line, and keeps how many
// pixels each one inked that were not inked before: a character that draws as a gap inks none.
class CharacterInkSurface : public ImageSurface
{
public:
    CharacterInkSurface() : ImageSurface(1, false, true) {}
    std::vector<std::pair<QString, int>> inked;
    std::vector<QRect> boxes; // where each character's own ink lies

    void drawRun(const PlacedRun& run, QRgb ink) override
    {
        double x = run.at.x();
        for (const QString& ch : characters(run.text)) {
            const QImage before = image().convertToFormat(QImage::Format_ARGB32);
            PlacedRun one = run;
            one.text = ch;
            one.at.setX(x);
            ImageSurface::drawRun(one, ink);
            const QImage& after = image();
            // Ink gained less ink lost, and the box of the pixels this character inked.
            int gained = 0;
            QRect box;
            forEachPixelPair(after, before, [&](int col, int row, QRgb a, QRgb b) {
                gained += int(isInk(a)) - int(isInk(b));
                if (a != b && isInk(a))
                    box |= QRect(col, row, 1, 1);
            });
            inked.emplace_back(ch, gained);
            boxes.push_back(box);
            use(run, ink);
            x += face_.advancePx(ch) * TwipsPerPixel;
        }
    }

private:
    static bool isInk(QRgb p) { return qAlpha(p) > 128 && qBlue(p) > 128; }
};

// A name drawn in every style inks every character: characters that drew as gaps in earlier
// kits, and characters beyond GB2312 that only a fallback face has.
TEST_F(Kit, EveryStyleInksEveryCharacterOfAName)
{
    const struct
    {
        const char* chinese;
        const char* latin;
    } names[] = {{"吧爸帮阳", "José Müller"},
                 {"堃昇龑喆", "Zoë Ångström"},
                 {"䶮琇赟玥", "Ñuñez Çelik"},
                 {"吉𠮷明", "Łukasz"},
                 {"王晓明", "Nguyễn Vũ"},
                 {"吕晓明", "Lǚ Xiǎo"}};
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    for (int i = 0; i < c.styles.size(); ++i) {
        for (const auto& name : names) {
            SCOPED_TRACE(c.styles[i].name.toStdString() + " " + name.chinese);
            CharacterInkSurface surface;
            SignatureSpec in;
            in.chineseName = QString::fromUtf8(name.chinese);
            in.latinName = QString::fromUtf8(name.latin);
            in.style = c.styles.value(i);
            in.points = 36;
            in.ink = qRgb(0, 0, 255);
            drawSignature(surface, fonts, values, at(in, 300, 300));
            ASSERT_FALSE(surface.inked.empty());
            for (const auto& [ch, ink] : surface.inked) {
                if (ch != u" ") {
                    EXPECT_GT(ink, 4) << ch.toStdString() << " draws nothing";
                }
            }
        }
    }
}

// A character beyond a folder face's own, drawn by a fallback, stands on the line of the piece
// it is in and is as large as the face's own characters there.
TEST_F(Kit, RareCharactersKeepToTheirPiecesLine)
{
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    const QString rare = QStringLiteral("堃喆赟");
    const QString common = QStringLiteral("坤明华林杰");
    for (const QString& style : folderStyles(false)) {
        for (int piece = 0; piece < 3; ++piece) {
            SCOPED_TRACE(style.toStdString() + " piece " + std::to_string(piece + 1));
            std::vector<QRect> rareBoxes, commonBoxes;
            for (const QString& ch : characters(rare + common)) {
                QString name = QStringLiteral("王晓明");
                name[piece] = ch.at(0);
                CharacterInkSurface surface;
                SignatureSpec in;
                in.chineseName = name;
                in.style = c.styles.value(c.indexOfStyle(style));
                in.ink = qRgb(0, 0, 255);
                drawSignature(surface, fonts, values, at(in, 300, 300));
                ASSERT_EQ(surface.boxes.size(), 3u);
                (rare.contains(ch) ? rareBoxes : commonBoxes).push_back(surface.boxes[piece]);
            }
            const auto median = [](std::vector<double> v) {
                std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
                return v[v.size() / 2];
            };
            std::vector<double> centres, heights;
            for (const QRect& box : commonBoxes) {
                centres.push_back(QRectF(box).center().y());
                heights.push_back(box.height());
            }
            for (const QRect& box : rareBoxes) {
                EXPECT_NEAR(QRectF(box).center().y(), median(centres), 5);
                EXPECT_NEAR(box.height() / median(heights), 1.0, 0.2);
            }
        }
    }
}

// Neighbouring characters never run into each other: pairs whose inks overlapped when the
// tightening pulled them together, a middle dot that vanished under the character before it,
// Latin letters among Chinese ones, pieces of a folder style. Each run is drawn alone and its
// ink, grown by most of a hair, must not reach its neighbour's.
TEST_F(Kit, NeighbouringCharactersKeepAHairApart)
{
    const struct
    {
        const char* style;
        const char* name;
    } rows[] = {{"毛体", "刘德"},        {"毛体", "阳娜"},         {"毛体", "娜娜"},
                {"公文签", "欧阳"},      {"公文签", "新觉"},       {"公文签", "提艾"},
                {"楷书签", "婉儿"},      {"毛体", "买提·艾力"},    {"楷书签", "买提・艾力"},
                {"行书签", "买提•艾力"}, {"行书签", "张Mike伟"},   {"艺术签", "司马相如"},
                {"潇洒签", "爱新觉罗溥仪"}};
    constexpr int Scale = 2;
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.style) + " " + row.name);
        SignatureSpec in;
        in.chineseName = QString::fromUtf8(row.name);
        in.style = c.styles.value(c.indexOfStyle(QString::fromUtf8(row.style)));
        in.points = std::min(72, styleRuleFor(in.style->name).largestSize);
        AppFaces faces(fonts);
        const Layout layout = layOut(in, faces, values.compoundSurnames);
        ASSERT_GE(layout.runs.size(), 2u);
        std::vector<QImage> inks;
        for (const PlacedRun& run : layout.runs) {
            Layout one = layout;
            one.runs = {run};
            ImageSurface surface(Scale, false, true);
            drawPicture(surface, {}, one);
            inks.push_back(surface.image().convertToFormat(QImage::Format_ARGB32));
        }
        const int grow = int(hairAt(in.points) / TwipsPerPixel * Scale * 0.75);
        for (size_t i = 0; i + 1 < inks.size(); ++i) {
            const QString pair = layout.runs[i].text + layout.runs[i + 1].text;
            // The first run's ink grown by `grow` pixels every way, then what of it the second
            // run inks.
            const QImage& a = inks[i];
            std::vector<uchar> near(size_t(a.width()) * size_t(a.height()), 0);
            forEachPixel(a, [&](int x, int y, QRgb p) {
                if (qAlpha(p) <= 128)
                    return;
                for (int dy = std::max(0, y - grow); dy <= std::min(a.height() - 1, y + grow); ++dy)
                    for (int dx = std::max(0, x - grow); dx <= std::min(a.width() - 1, x + grow); ++dx)
                        near[size_t(dy) * size_t(a.width()) + size_t(dx)] = 1;
            });
            int touching = 0;
            forEachPixel(inks[i + 1], [&](int x, int y, QRgb p) {
                touching += int(qAlpha(p) > 128 && near[size_t(y) * size_t(a.width()) + size_t(x)]);
            });
            EXPECT_EQ(touching, 0) << pair.toStdString() << " closer than a hair";
        }
    }
}

// A name seal as a carver cuts it, at the seal styles' largest size: square up to four
// characters and with nine, its characters filling their cells, the ink as far from the frame
// on all four sides and the gaps between characters no wider than one and a half times the
// frame's line (a white seal's: the red around its characters). Measured in the pixels drawn.
TEST_F(Kit, SealsAreCutSquareAndEven)
{
    const char* names[] = {"李", "李白", "王晓明", "欧阳娜娜", "诸葛孔明亮", "爱新觉罗溥仪",
                           "阿卜杜热合曼买买提"};
    // Drawn four times as large, measured in reference pixels: the frame's edges fall on whole
    // reference pixels, the ink's to a quarter of one.
    constexpr double Scale = 4;
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    for (const QString& styleName : {SealStyle, SealStyleIntaglio}) {
        for (const char* name : names) {
            SCOPED_TRACE(styleName.toStdString() + " " + name);
            SignatureSpec in;
            in.chineseName = QString::fromUtf8(name);
            in.style = c.styles.value(c.indexOfStyle(styleName));
            in.points = styleRuleFor(styleName).largestSize;
            AppFaces faces(fonts);
            const Layout layout = layOut(in, faces, values.compoundSurnames);
            ASSERT_TRUE(layout.frame);
            const auto drawn = [&](Layout part) {
                ImageSurface surface(Scale, false, true);
                drawPicture(surface, {}, part);
                const QRect box = inkBox(surface.image(), [](QRgb p) { return qAlpha(p) > 128; });
                return QRectF(box.left() / Scale, box.top() / Scale, box.width() / Scale,
                              box.height() / Scale);
            };
            Layout frameOnly = layout;
            frameOnly.runs.clear();
            const QRectF frame = drawn(frameOnly);
            std::vector<QRectF> inks;
            QRectF all;
            for (const PlacedRun& run : layout.runs) {
                Layout one = layout;
                one.frame.reset();
                one.runs = {run};
                inks.push_back(drawn(one));
                all |= inks.back();
            }
            const double line = layout.frame->filled ? 0 : layout.frame->linePx;
            const double margins[] = {all.left() - frame.left() - line,
                                      all.top() - frame.top() - line,
                                      frame.right() - line - all.right(),
                                      frame.bottom() - line - all.bottom()};
            const auto [least, most] = std::minmax_element(std::begin(margins), std::end(margins));
            EXPECT_LE(*most - *least, 1) << "margins " << margins[0] << " " << margins[1] << " "
                                         << margins[2] << " " << margins[3];
            EXPECT_GE(*least, layout.frame->filled ? 2 : 0) << "no character crosses the frame";
            const int characters = int(layout.runs.size());
            if (characters <= 4)
                EXPECT_LE(std::abs(frame.width() - frame.height()), 1)
                    << frame.width() << "x" << frame.height();
            if (characters == 1)
                continue;
            const double border = layout.frame->filled ? *least : line;
            const SealGrid grid = sealGridFor(characters);
            const double cellWidth = layout.textBox.width() / TwipsPerPixel / grid.columns;
            const double cellHeight = layout.textBox.height() / TwipsPerPixel / grid.rows;
            for (size_t i = 0; i < inks.size(); ++i) {
                SCOPED_TRACE(layout.runs[i].text.toStdString());
                EXPECT_GE(inks[i].width(), 0.85 * cellWidth) << "fills its cell's width";
                EXPECT_GE(inks[i].height(), 0.85 * cellHeight) << "and its height";
                for (size_t j = 0; j < inks.size(); ++j) {
                    // The next character to the left in its row, and the next below.
                    const QRectF& a = inks[i];
                    const QRectF& b = inks[j];
                    if (std::abs(a.center().y() - b.center().y()) < cellHeight / 2 &&
                        b.center().x() < a.center().x() &&
                        a.center().x() - b.center().x() < 1.5 * cellWidth)
                        EXPECT_LE(a.left() - b.right(), 1.5 * border) << "across";
                    if (std::abs(a.center().x() - b.center().x()) < cellWidth / 2 &&
                        b.center().y() > a.center().y() &&
                        b.center().y() - a.center().y() < 1.5 * cellHeight)
                        EXPECT_LE(b.top() - a.bottom(), 1.5 * border) << "down";
                }
            }
        }
    }
}

// A compound surname is written as one: the gap between its two characters is narrower than
// the gap between it and the name after it.
TEST_F(Kit, ACompoundSurnameIsWrittenAsOne)
{
    AppFontTable fonts;
    for (const QString& style : folderStyles(false)) {
        for (const char* name : {"司马相如", "欧阳娜娜", "诸葛孔明", "上官婉儿", "慕容复"}) {
            SCOPED_TRACE(style.toStdString() + " " + name);
            SignatureSpec in;
            in.chineseName = QString::fromUtf8(name);
            in.style = c.styles.value(c.indexOfStyle(style));
            in.points = 72;
            AppFaces faces(fonts);
            const Layout layout = layOut(in, faces, values.compoundSurnames);
            ASSERT_GE(layout.runs.size(), 2u);
            std::vector<QImage> drawn;
            for (size_t i = 0; i < 2; ++i) {
                Layout one = layout;
                one.runs = {layout.runs[i]};
                ImageSurface surface(2, false, true);
                drawPicture(surface, {}, one);
                drawn.push_back(surface.image().convertToFormat(QImage::Format_ARGB32));
            }
            // Which columns each piece inks.
            const auto columns = [](const QImage& image) {
                std::vector<bool> inked(size_t(image.width()), false);
                forEachPixel(image, [&](int x, int, QRgb p) { inked[size_t(x)] = inked[size_t(x)] || qAlpha(p) > 128; });
                return inked;
            };
            const std::vector<bool> head = columns(drawn[0]), next = columns(drawn[1]);
            const auto first = std::find(head.begin(), head.end(), true) - head.begin();
            const auto last = head.rend() - std::find(head.rbegin(), head.rend(), true) - 1;
            // The widest run of empty columns in the middle of the surname: between its two.
            int inner = 0;
            for (auto x = first + (last - first) / 4, run = decltype(x)(0); x < last - (last - first) / 4; ++x) {
                run = head[size_t(x)] ? 0 : run + 1;
                inner = std::max(inner, int(run));
            }
            const auto after = std::find(next.begin(), next.end(), true) - next.begin();
            EXPECT_LT(inner, after - last - 1) << "within the surname " << inner
                                               << " pixels, after it " << after - last - 1;
        }
    }
}

// A word space in a name drawn in a Chinese face stays a space: letters are not tightened.
TEST_F(Kit, LatinLettersInAChineseFaceKeepTheirSpacing)
{
    AppFontTable fonts;
    for (const char* style : {"行书签", "楷书签", "公文签"}) {
        SCOPED_TRACE(style);
        SignatureSpec in;
        in.chineseName = QStringLiteral("Li Bai");
        in.style = c.styles.value(c.indexOfStyle(QString::fromUtf8(style)));
        in.points = 72;
        AppFaces faces(fonts);
        const Layout layout = layOut(in, faces, values.compoundSurnames);
        ASSERT_EQ(layout.runs.size(), 6u);
        // "Li" ends where "B" begins, less its own side bearing and a space at least a sixth of
        // the size wide.
        const double gap = layout.runs[3].ink.left() - layout.runs[1].ink.right();
        EXPECT_GT(gap, in.points * 20 / 6) << gap << " twips between the words";
        for (size_t i = 1; i < layout.runs.size(); ++i)
            EXPECT_EQ(layout.runs[i].at.x() - layout.runs[i - 1].at.x(),
                      std::round(faces.width(layout.runs[i - 1].face, in.points,
                                             layout.runs[i - 1].text)));
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
            const auto drawn = [&font](const QString& text) {
                QImage image(160, 100, QImage::Format_RGB32);
                image.fill(Qt::white);
                QPainter p(&image);
                p.setFont(font);
                p.setPen(Qt::black);
                p.drawText(QPointF(4, 72), text);
                return image;
            };
            const QImage image = drawn(*glyph);
            // Two characters of ink, not an empty box outline.
            EXPECT_GT(countPixels(image, darkInk), 300);
            // Written as the two characters at the face's height, side by side, narrowed a
            // little and close together: not squeezed into one character's room.
            const QRect both = inkBox(image, darkInk);
            const QRect first = inkBox(drawn(surname.left(1)), darkInk);
            const QRect second = inkBox(drawn(surname.mid(1, 1)), darkInk);
            const QRect apart = first | second;
            EXPECT_NEAR(both.top(), apart.top(), 1);
            EXPECT_NEAR(both.bottom(), apart.bottom(), 1);
            EXPECT_GT(both.width(), 1.3 * std::max(first.width(), second.width()));
            // The glyph's side bearing is that of its outline, so it draws where its box says.
            const double left = raw.pathForGlyph(raw.glyphIndexesForString(*glyph).value(0))
                                    .boundingRect()
                                    .left();
            EXPECT_NEAR(inkBox(image, darkInk).left(), 4 + left, 1.5);
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

// The same inputs build the same kit, byte for byte: every face carries the kit's own time (or
// a packager's), not the time it was built.
TEST_F(Kit, EveryFaceCarriesTheKitsTimeNotTheBuildsTime)
{
    const quint64 macEpoch = 2082844800; // 1904 to 1970
    const quint64 expected =
        qEnvironmentVariable("SOURCE_DATE_EPOCH", QStringLiteral("1735689600")).toULongLong() +
        macEpoch;
    const auto be = [](const QByteArray& b, qsizetype at, int bytes) {
        quint64 v = 0;
        for (int k = 0; k < bytes; ++k)
            v = (v << 8) | uchar(b[at + k]);
        return v;
    };
    int faces = 0;
    for (const QString& folder : {QStringLiteral("fonts"), QStringLiteral("data")}) {
        QDirIterator files(kitDir() + folder, {QStringLiteral("*.dat")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            const QByteArray font = unpackedFont(path);
            if (font.size() < 12 || QFileInfo(path).isSymLink() || path.endsWith(QLatin1String("fuxing.dat")))
                continue;
            SCOPED_TRACE(path.toStdString());
            // A collection's first face stands for all: they share their header's time.
            const qsizetype header = font.startsWith("ttcf") ? qsizetype(be(font, 12, 4)) : 0;
            qsizetype head = -1;
            for (qsizetype t = 0; t < qsizetype(be(font, header + 4, 2)); ++t)
                if (font.mid(header + 12 + t * 16, 4) == "head")
                    head = qsizetype(be(font, header + 12 + t * 16 + 8, 4));
            ASSERT_GE(head, 0);
            EXPECT_EQ(be(font, head + 28, 8), expected);
            ++faces;
        }
    }
    EXPECT_GT(faces, 25);
}

TEST_F(Kit, LicencesTravelWithTheFonts)
{
    EXPECT_GE(QDir(kitDir() + QStringLiteral("licenses")).entryList(QDir::Files).size(), 5);
}

} // namespace
