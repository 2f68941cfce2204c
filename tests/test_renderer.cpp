// Geometry of every kind of style, to the twip, against a surface whose measures are known.
#include "badsizes.h"
#include "base/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/stylerules.h"
#include "recordingsurface.h"
#include "render/renderer.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QString Folder = QStringLiteral("艺术签");
const QString Latin = QStringLiteral("英文签-流畅");
const QString Ordinary = QStringLiteral("公文签");
const QString Base = QStringLiteral("/kit/fonts/艺术签/sva");
const QString LatinBase = QStringLiteral("/kit/fonts/英文签-流畅/svc");
const QString OrdinaryFile = QStringLiteral("/kit/fonts/电脑字/公文签(Gw).dat");
const QChar Glyph0(0xE000);
const QChar Glyph1(0xE001);

struct Expected
{
    QString face;
    double x, y;
    QString text;
};

class Renderer : public testing::Test
{
protected:
    QStringList log;
    RecordingSurface surface{&log};
    RecordingFontTable fonts{&log};
    TextHandleRect handle;
    ProgramValues values;
    Catalogue catalogue;
    DrawInputs in;

    void SetUp() override
    {
        catalogue.styles = {
            folderStyle(Folder, Base),
            folderStyle(Latin, LatinBase),
            fontFileStyle(Ordinary, OrdinaryFile),
            fontFileStyle(SealStyle, QStringLiteral("/kit/fonts/电脑字/篆印体(Zy).dat")),
            fontFileStyle(SealStyleIntaglio, QStringLiteral("/kit/fonts/电脑字/篆印体-阴文(Zyy).dat")),
            fontFileStyle(QStringLiteral("大写"), QStringLiteral("/kit/fonts/电脑字/大写(Dx).DAT"))};
        values.compoundSurnames =
            parseCompoundSurnames(QStringLiteral(" 欧阳-欧") + Glyph0 + QStringLiteral(" 司马-司") +
                                  Glyph1 + QStringLiteral("\r\n 上官-上"));
        in.sizeText = QStringLiteral("72");
        in.backgroundPath = QStringLiteral("/kit/images/02-宣纸.jpg");

        surface.charWidth[QStringLiteral("Gw")] = {{u'A', 1000}, {u'B', 1098.5}, {u'C', 900}};
        surface.faceHeight[QStringLiteral("Gw")] = 700;
        surface.faceWidth[QStringLiteral("Zy")] = 1200;
        surface.faceHeight[QStringLiteral("Zy")] = 1300;
        surface.faceWidth[QStringLiteral("Zyy")] = 1200;
        surface.faceHeight[QStringLiteral("Zyy")] = 1300;
        for (const QString& prefix : {QStringLiteral("sva"), QStringLiteral("svc")}) {
            surface.faceWidth[prefix + u'1'] = 1000.4;
            surface.faceWidth[prefix + u'2'] = 800.6;
            surface.faceWidth[prefix + u'3'] = 900.5;
            surface.faceHeight[prefix + u'1'] = 1100;
            surface.faceHeight[prefix + u'2'] = 800;
            surface.faceHeight[prefix + u'3'] = 950;
        }
    }

    DrawOutcome draw(const QString& style, const QString& cn, int x = -1, int y = -1)
    {
        const int index = catalogue.indexOfStyle(style);
        in.style = index >= 0 ? std::optional(catalogue.styles[index]) : std::nullopt;
        in.chineseName = cn;
        RenderContext ctx{values, fonts, surface, handle};
        const DrawOutcome outcome = drawSignature(ctx, in, x, y);
        EXPECT_TRUE(fonts.balanced()) << "every addFont has its removeFont";
        return outcome;
    }

    void expectTexts(const std::vector<Expected>& expected)
    {
        ASSERT_EQ(surface.texts.size(), expected.size()) << log.join(u'\n').toStdString();
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(surface.texts[i].face, expected[i].face);
            EXPECT_DOUBLE_EQ(surface.texts[i].x, expected[i].x);
            EXPECT_DOUBLE_EQ(surface.texts[i].y, expected[i].y);
            EXPECT_EQ(surface.texts[i].text, expected[i].text);
        }
    }

    void expectMover(double l, double t, double w, double h)
    {
        EXPECT_FLOAT_EQ(handle.left, float(l));
        EXPECT_FLOAT_EQ(handle.top, float(t));
        EXPECT_FLOAT_EQ(handle.width, float(w));
        EXPECT_FLOAT_EQ(handle.height, float(h));
    }
};

TEST(Nearest, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(nearest(0.5), 0);
    EXPECT_EQ(nearest(1.5), 2);
    EXPECT_EQ(nearest(2.5), 2);
    EXPECT_EQ(nearest(-0.5), 0);
    EXPECT_EQ(nearest(-1.5), -2);
    EXPECT_EQ(nearest(2866.5), 2866);
    EXPECT_EQ(nearest(2.4999), 2);
    EXPECT_EQ(nearest(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(nearest(std::nan("")), 0);
}

// --- ordinary font-file styles ---

TEST_F(Renderer, OrdinaryStyleCentresByTheWholeNameAndTightensCharacterByCharacter)
{
    ASSERT_EQ(draw(Ordinary, QStringLiteral("ABC")), DrawOutcome::Drawn);
    // whole name 1000 + 1098.5 + 900 - 2 * 7.25 = 2984: x = nearest(1418 - 250); y =
    // nearest(1107.5) third character: nearest(1098.5 + 1968 - 200) = nearest(2866.5), to the even
    // 2866
    expectTexts({{"Gw", 1168, 1108, "A"}, {"Gw", 1968, 1108, "B"}, {"Gw", 2866, 1108, "C"}});
    expectMover(1168, 1108, 2984 - 2 * 200, 700);
    EXPECT_EQ(log.first(), "clear");
    EXPECT_EQ(log.mid(1, 3), QStringList({"setBackground /kit/images/02-宣纸.jpg",
                                          "setFontName Courier New", "setFontSize 72"}));
    EXPECT_EQ(log.indexOf("addFont " + OrdinaryFile) + 1, log.indexOf("setFontName Gw"));
    EXPECT_EQ(log.last(), "removeFont " + OrdinaryFile);
}

TEST_F(Renderer, OrdinaryStyleEdgeCases)
{
    draw(Ordinary, QStringLiteral("A"));
    expectTexts({{"Gw", 2160, 1108, "A"}});
    expectMover(2160, 1108, 1000, 700);

    // An empty name: the handle 200 wide at nearest(innerWidth / 2 - 250), nothing drawn.
    draw(Ordinary, QString());
    expectTexts({});
    expectMover(2660, 1108, 200, 700);

    // A position on one axis only.
    draw(Ordinary, QStringLiteral("AB"), 300, -1);
    expectTexts({{"Gw", 300, 1108, "A"}, {"Gw", 1100, 1108, "B"}});
    draw(Ordinary, QStringLiteral("A"), -1, -40);
    expectTexts({{"Gw", 2160, -40, "A"}});

    // A character beyond the Basic Multilingual Plane is one character: drawn whole, counted
    // once in the tightening. 𠮷 is 500 wide: whole name 1000 + 500 - 7.25.
    draw(Ordinary, QStringLiteral("A𠮷"), 300, 0);
    expectTexts({{"Gw", 300, 0, "A"}, {"Gw", 1100, 0, "𠮷"}});
    expectMover(300, 0, 1492.75 - 200, 700);
}

TEST_F(Renderer, FontFileStyleIsKnownByItsExtensionInAnyCaseAndNeverUsesTheLatinName)
{
    surface.faceWidth[QStringLiteral("Dx")] = 600;
    in.latinName = QStringLiteral("Latin");
    draw(QStringLiteral("大写"), QStringLiteral("AB"));
    ASSERT_EQ(surface.texts.size(), 2u);
    EXPECT_EQ(surface.texts[0].face, "Dx");
    EXPECT_EQ(surface.texts[0].text + surface.texts[1].text, "AB");
}

TEST_F(Renderer, SizeScalesEveryMeasure)
{
    in.sizeText = QStringLiteral(" 36 ");
    draw(Ordinary, QStringLiteral("A"));
    // 500 wide, 350 high: x = nearest(2660 - 250), y = nearest(1782.5 - 500) to the even 1282
    expectTexts({{"Gw", 2410, 1282, "A"}});
}

// Below 72 points the tightening shrinks with the characters, so the tightened text keeps its
// width per point; from 72 up it stays 200 twips. "ABC" is 2984 twips wide untightened at 72.
TEST_F(Renderer, TightenedWidthPerPointHoldsBelow72)
{
    for (const double points : {8.0, 12.0, 36.5, 48.0, 71.0, 72.0, 100.0, 190.0}) {
        SCOPED_TRACE(points);
        in.sizeText = QString::number(points);
        draw(Ordinary, QStringLiteral("ABC"), 0, 0);
        const double tightened = points < 72 ? (2984 - 400) / 72.0 * points : 2984 * points / 72 - 400;
        EXPECT_NEAR(handle.width, tightened, 0.01);
        ASSERT_EQ(surface.texts.size(), 3u);
        EXPECT_LT(surface.texts[0].x, surface.texts[1].x) << "every character after the one before";
        EXPECT_LT(surface.texts[1].x, surface.texts[2].x);
    }
    EXPECT_EQ(surface.texts[1].x, nearest(1000 * 190 / 72.0 - 200));
}

TEST_F(Renderer, UnusableSizeLeavesThePictureAlone)
{
    for (const char* size : UnusableSizes) {
        in.sizeText = QString::fromUtf8(size);
        log.clear();
        EXPECT_EQ(draw(Ordinary, QStringLiteral("A")), DrawOutcome::BadSize) << size;
        EXPECT_TRUE(log.isEmpty()) << size;
    }
    in.sizeText = QStringLiteral("48.5");
    EXPECT_EQ(draw(Ordinary, QStringLiteral("A")), DrawOutcome::Drawn);
}

// A drawing never chooses a style itself: with none chosen, or none to choose, the background
// alone.
TEST_F(Renderer, NoStyleDrawsTheBackgroundAlone)
{
    for (const bool emptyKit : {false, true}) {
        if (emptyKit)
            catalogue = Catalogue{};
        in.style.reset();
        in.chineseName = QStringLiteral("AB");
        RenderContext ctx{values, fonts, surface, handle};
        EXPECT_EQ(drawSignature(ctx, in, -1, -1), DrawOutcome::Drawn);
        EXPECT_TRUE(surface.texts.empty());
        EXPECT_TRUE(log.contains("setBackground /kit/images/02-宣纸.jpg"));
    }
}

// --- seals ---

TEST(SealCompletion, CompletesTwoAndThreeCharacterNamesOnly)
{
    EXPECT_EQ(completedSealName("AB"), "AB之印");
    EXPECT_EQ(completedSealName("ABC"), "ABC印");
    EXPECT_EQ(completedSealName("ABCD"), "ABCD");
    EXPECT_EQ(completedSealName("A"), "A");
    EXPECT_EQ(completedSealName(""), "");
    EXPECT_EQ(completedSealName("𠮷明"), "𠮷明之印");
    EXPECT_EQ(completedSealName("A𠮷B"), "A𠮷B印");
}

struct SealCase
{
    const char* name;
    const char* typed;
    double x, y; // cell 1
    int columns, rows;
    const char* cells; // row by row; "." for an empty cell
    double points = 72;
};

class SealLayout : public Renderer, public testing::WithParamInterface<SealCase>
{
};

// Cells are 1200 x 1300. Two columns: x = nearest((5820 - 2400) / 2 - 750) = 960; three:
// nearest((5820 - 3600) / 2 - 750) = 360. Two rows: y = nearest((3915 - 1300) / 2 - 900) = 408;
// three rows half a cell higher: nearest(-242.5) = -242.
TEST_P(SealLayout, ReadsDownTheRightColumnFirst)
{
    const SealCase& c = GetParam();
    draw(SealStyle, QString::fromUtf8(c.typed));
    std::vector<Expected> expected;
    const QStringList cells = characters(QString::fromUtf8(c.cells));
    for (qsizetype i = 0; i < cells.size(); ++i)
        if (cells[i] != u'.')
            expected.push_back({"Zy", c.x + double(i % c.columns) * 1200,
                                c.y + double(i / c.columns) * 1300, cells[i]});
    expectTexts(expected);
    for (const auto& text : surface.texts)
        EXPECT_EQ(text.points, c.points);
    ASSERT_EQ(surface.frames.size(), 1u);
    const auto& f = surface.frames[0];
    EXPECT_EQ(std::vector<double>({f.x1, f.y1, f.x2, f.y2}),
              std::vector<double>({c.x - 100, c.y - 60, c.x + c.columns * 1200.0,
                                   c.y + c.rows * 1300.0}));
    EXPECT_FALSE(f.filled);
    expectMover(c.x, c.y, c.columns * 1200.0, c.rows * 1300.0);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SealLayout,
    testing::Values(SealCase{"TwoCharacters", "AB", 960, 408, 2, 2, "之A印B"},
                    SealCase{"ThreeCharacters", "ABC", 960, 408, 2, 2, "CA印B"},
                    SealCase{"FourCharacters", "ABCD", 960, 408, 2, 2, "CADB"},
                    SealCase{"SurrogatePairIsOneCharacter", "𠮷明", 960, 408, 2, 2, "之𠮷印明"},
                    SealCase{"MarkStaysWithItsLetter", "e\u0301B", 960, 408, 2, 2, "之e\u0301印B"},
                    SealCase{"LeadingSpaceTakesNoCell", " ABC", 960, 408, 2, 2, "CA印B"},
                    SealCase{"TrailingSpaceTakesNoCell", "ABC ", 960, 408, 2, 2, "CA印B"},
                    SealCase{"ZeroWidthSpaceIsNotTheFirstCell", "\u200BAB", 960, 408, 2, 2, "之A印B"},
                    SealCase{"IdeographicSpaceAndByteOrderMark", "A\u3000\uFEFFB", 960, 408, 2, 2,
                             "之A印B"},
                    SealCase{"FiveCharacters", "ABCDE", 960, -242, 2, 3, "DAEB印C"},
                    SealCase{"SixCharacters", "ABCDEF", 960, -242, 2, 3, "DAEBFC"},
                    SealCase{"SevenCharacters", "ABCDEFG", 360, -242, 3, 3, "GDA之EB印FC"},
                    SealCase{"EightCharacters", "ABCDEFGH", 360, -242, 3, 3, "GDAHEB印FC"},
                    SealCase{"NineCharacters", "ABCDEFGHI", 360, -242, 3, 3, "GDAHEBIFC"},
                    SealCase{"TenCharactersShowTheFirstNine", "ABCDEFGHIJ", 360, -242, 3, 3,
                             "GDAHEBIFC"}),
    [](const auto& info) { return std::string(info.param.name); });

// W is twice as wide as its cell: drawn at half the size, its ink centred in the cell.
TEST_F(Renderer, SealCharacterLargerThanItsCellIsScaledIntoIt)
{
    surface.charWidth[QStringLiteral("Zy")] = {{u'W', 2400}};
    draw(SealStyle, QStringLiteral("BW"));
    expectTexts({{"Zy", 960, 408, "之"},
                 {"Zy", 2160, 408, "B"},
                 {"Zy", 960, 1708, "印"},
                 {"Zy", 2160, 1708 + 325, "W"}});
    EXPECT_EQ(surface.texts[3].points, 36);
    EXPECT_EQ(surface.texts[2].points, 72);
}

// A character whose face puts its ink off its cell (a fallback face's rare character) is
// centred in the cell, at its size.
TEST_F(Renderer, SealCharacterWhoseInkLiesOffItsCellIsCentredInIt)
{
    surface.inkShift[u'K'] = QPointF(600, 0);
    draw(SealStyle, QStringLiteral("BK"));
    expectTexts({{"Zy", 960, 408, "之"},
                 {"Zy", 2160, 408, "B"},
                 {"Zy", 960, 1708, "印"},
                 {"Zy", 2160 - 600, 1708, "K"}});
    EXPECT_EQ(surface.texts[3].points, 72);
}

// At twice the size, its ink centred in the frame: the frame reaches further left and up than
// the cells do.
TEST_F(Renderer, OneCharacterSealFillsTheSquareInTheMiddleOfTheFrame)
{
    draw(SealStyle, QStringLiteral("A"));
    expectTexts({{"Zy", (860 + 3360) / 2.0 - 1200, (348 + 3008) / 2.0 - 1300, "A"}});
    EXPECT_EQ(surface.texts[0].points, 144);
    ASSERT_EQ(surface.frames.size(), 1u);
    const auto& f = surface.frames[0];
    EXPECT_EQ(std::vector<double>({f.x1, f.y1, f.x2, f.y2}),
              std::vector<double>({860, 348, 3360, 3008}));
}

TEST_F(Renderer, SealOfAnEmptyNameIsAFrame100TwipsWide)
{
    draw(SealStyle, QString());
    ASSERT_EQ(surface.frames.size(), 1u);
    const auto& f = surface.frames[0];
    // TW1 = 0: x = nearest(2910 - 750); the frame runs from 100 left of x to x itself.
    EXPECT_DOUBLE_EQ(f.x1, 2060);
    EXPECT_DOUBLE_EQ(f.x2, 2160);
    EXPECT_DOUBLE_EQ(f.y2 - f.y1, 2 * 1300 + 60);
    EXPECT_FLOAT_EQ(handle.width, 0);
}

TEST_F(Renderer, DraggedSealPutsCellOneExactlyAtThePosition)
{
    in.ink = qRgb(0, 0, 255);
    draw(SealStyleIntaglio, QStringLiteral("ABCD"), 500, -600);
    expectTexts({{"Zyy", 500, -600, "C"},
                 {"Zyy", 1700, -600, "A"},
                 {"Zyy", 500, 700, "D"},
                 {"Zyy", 1700, 700, "B"}});
    const auto& f = surface.frames.at(0);
    EXPECT_DOUBLE_EQ(f.x1, 400);
    EXPECT_DOUBLE_EQ(f.y1, -660);
    EXPECT_TRUE(f.filled);
    EXPECT_EQ(f.color, SealFrameColor) << "the frame keeps its red whatever the ink";
    EXPECT_EQ(surface.texts[0].ink, qRgb(0, 0, 255));
    EXPECT_LT(log.indexOf("drawFrame"), log.indexOf(QRegularExpression("drawText .+")));
}

// --- folder styles ---

TEST(CompoundSurname, FoundOnlyWithItsEntryMarkers)
{
    const CompoundSurnames list = parseCompoundSurnames(
        QStringLiteral("欧阳xx 欧阳-欧") + Glyph0 + QStringLiteral(" 司马-司") + Glyph1 +
        QStringLiteral("\r\n 欧阳-欧x 上官-上"));
    EXPECT_EQ(compoundSurnameGlyph(list, QStringLiteral("欧阳娜娜")), QString(Glyph0))
        << "its own entry's, the first, not where the two characters first occur";
    EXPECT_EQ(compoundSurnameGlyph(list, QStringLiteral("司马懿")), QString(Glyph1));
    EXPECT_EQ(compoundSurnameGlyph(list, QStringLiteral("上官")), QString()) << "the last entry";
    EXPECT_FALSE(compoundSurnameGlyph(list, QStringLiteral("马懿")));
    EXPECT_FALSE(compoundSurnameGlyph(list, QStringLiteral("阳-")));
    EXPECT_FALSE(compoundSurnameGlyph({}, QStringLiteral("欧阳")));
    EXPECT_EQ(list.size(), 3);
}

struct FolderCase
{
    const char* name;
    const char* style; // "cn" or "en"
    const char* text;
    int x, y;
    std::vector<Expected> texts;
    std::array<double, 4> handle; // unchanged when the head is empty: the fixture's 1, 2, 3, 4
};

class FolderLayout : public Renderer, public testing::WithParamInterface<FolderCase>
{
};

// Widths: face 1 1000.4 -> 1000, face 2 800.6 a character (two: 1593.95 -> 1594),
// face 3 900.5 -> 900. Heights 1100, 800, 950. A centred piece's height is that of the face
// selected before it: the head's is the last measured face's.
TEST_P(FolderLayout, PiecesSitSideBySide)
{
    const FolderCase& c = GetParam();
    const bool latin = QByteArray(c.style) == "en";
    in.latinName = latin ? QString::fromUtf8(c.text) : QStringLiteral("unused");
    handle.place(1, 2, 3, 4);
    draw(latin ? Latin : Folder, latin ? QStringLiteral("未用") : QString::fromUtf8(c.text), c.x,
         c.y);
    std::vector<Expected> expected = c.texts;
    for (Expected& e : expected) {
        e.text.replace(u'G', Glyph0);
        if (latin)
            e.face.replace(QStringLiteral("sva"), QStringLiteral("svc"));
    }
    expectTexts(expected);
    expectMover(c.handle[0], c.handle[1], c.handle[2], c.handle[3]);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FolderLayout,
    testing::Values(
        FolderCase{"ABC",
                   "cn",
                   "王晓明",
                   -1,
                   -1,
                   {{"sva1", 1309.5, 982.5, "王"},
                    {"sva2", 2309.5, 907.5, "晓"},
                    {"sva3", 3110.5, 1057.5, "明"}},
                   {1309.5, 982.5, 2701, 950}},
        FolderCase{"AB",
                   "cn",
                   "王明",
                   -1,
                   -1,
                   {{"sva1", 1710, 982.5, "王"}, {"sva3", 2710, 907.5, "明"}},
                   {1710, 982.5, 1900, 950}},
        FolderCase{
            "A", "cn", "王", -1, -1, {{"sva1", 2160, 907.5, "王"}}, {2160, 907.5, 1000, 1100}},
        FolderCase{"LongName",
                   "cn",
                   "王小晓明",
                   -1,
                   -1,
                   {{"sva1", 913, 982.5, "王"},
                    {"sva2", 1913, 907.5, "小晓"},
                    {"sva3", 3507, 1057.5, "明"}},
                   {913, 982.5, 3494, 950}},
        FolderCase{"CompoundXY",
                   "cn",
                   "欧阳",
                   -1,
                   -1,
                   {{"sva1", 2160, 907.5, "G"}},
                   {2160, 907.5, 1000, 1100}},
        FolderCase{"CompoundXYA",
                   "cn",
                   "欧阳娜",
                   -1,
                   -1,
                   {{"sva1", 1710, 982.5, "G"}, {"sva3", 2710, 907.5, "娜"}},
                   {1710, 982.5, 1900, 950}},
        FolderCase{"CompoundXYAB",
                   "cn",
                   "欧阳娜妮",
                   -1,
                   -1,
                   {{"sva1", 1309.5, 982.5, "G"},
                    {"sva2", 2309.5, 907.5, "娜"},
                    {"sva3", 3110.5, 1057.5, "妮"}},
                   {1309.5, 982.5, 2701, 950}},
        FolderCase{"CompoundXYABC",
                   "cn",
                   "欧阳娜妮丽",
                   -1,
                   -1,
                   {{"sva1", 913, 982.5, "G"},
                    {"sva2", 1913, 907.5, "娜妮"},
                    {"sva3", 3507, 1057.5, "丽"}},
                   {913, 982.5, 3494, 950}},
        FolderCase{"GlyphBeyondTheEndLeavesTheHeadEmpty",
                   "cn",
                   "上官婉",
                   -1,
                   -1,
                   {{"sva3", 2210, 982.5, "婉"}},
                   {1, 2, 3, 4}},
        FolderCase{"Dragged",
                   "cn",
                   "王晓明",
                   500,
                   600,
                   {{"sva1", 500, 600, "王"}, {"sva2", 1500, 600, "晓"}, {"sva3", 2301, 600, "明"}},
                   {500, 600, 2701, 950}},
        FolderCase{"SurrogatePairIsOneCharacter",
                   "cn",
                   "王𠮷明",
                   -1,
                   -1,
                   {{"sva1", 1309.5, 982.5, "王"},
                    {"sva2", 2309.5, 907.5, "𠮷"},
                    {"sva3", 3110.5, 1057.5, "明"}},
                   {1309.5, 982.5, 2701, 950}},
        FolderCase{"CompoundThenSurrogatePair",
                   "cn",
                   "欧阳𠮷",
                   -1,
                   -1,
                   {{"sva1", 1710, 982.5, "G"}, {"sva3", 2710, 907.5, "𠮷"}},
                   {1710, 982.5, 1900, 950}},
        FolderCase{"EmptyChineseName", "cn", "", -1, -1, {}, {1, 2, 3, 4}},
        FolderCase{"LatinEmpty", "en", "", -1, -1, {}, {1, 2, 3, 4}},
        FolderCase{
            "LatinOne", "en", "J", -1, -1, {{"sva1", 2160, 907.5, "J"}}, {2160, 907.5, 1000, 1100}},
        FolderCase{"LatinTwo",
                   "en",
                   "Jo",
                   -1,
                   -1,
                   {{"sva1", 1710, 982.5, "J"}, {"sva3", 2710, 907.5, "o"}},
                   {1710, 982.5, 1900, 950}},
        FolderCase{
            "LatinMore",
            "en",
            "John",
            -1,
            -1,
            {{"sva1", 913, 982.5, "J"}, {"sva2", 1913, 907.5, "oh"}, {"sva3", 3507, 1057.5, "n"}},
            {913, 982.5, 3494, 950}},
        FolderCase{"LatinMarkStaysWithItsLetter",
                   "en",
                   "Jose\u0301",
                   -1,
                   -1,
                   {{"sva1", 913, 982.5, "J"},
                    {"sva2", 1913, 907.5, "os"},
                    {"sva3", 3507, 1057.5, "e\u0301"}},
                   {913, 982.5, 3494, 950}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Renderer, WidthsBeyondThe32BitRangeStayWhole)
{
    // Three pieces a billion twips wide each: their sum must not wrap round to a negative width.
    surface.faceWidth[QStringLiteral("sva1")] = 1.0e9;
    surface.faceWidth[QStringLiteral("sva2")] = 1.0e9;
    surface.faceWidth[QStringLiteral("sva3")] = 1.0e9;
    surface.pairAdjust = 0;
    draw(Folder, QStringLiteral("王晓明"), 0, 0);
    EXPECT_FLOAT_EQ(handle.width, 3.0e9f);
    ASSERT_EQ(surface.texts.size(), 3u);
    EXPECT_DOUBLE_EQ(surface.texts[2].x, 2.0e9);
}

TEST_F(Renderer, FolderStyleRegistersEachFaceAroundEachUse)
{
    draw(Folder, QStringLiteral("王晓明"));
    EXPECT_EQ(fonts.adds, 6);
    const QStringList fontCalls = log.filter(QRegularExpression("^(add|remove)Font"));
    EXPECT_EQ(fontCalls.mid(0, 2),
              QStringList({"addFont " + Base + "1.dat", "removeFont " + Base + "1.dat"}));
}

TEST_F(Renderer, FolderStyleWithoutFilesDrawsNothing)
{
    catalogue.styles[0].files = catalogue.styles[0].faces = {};
    handle.place(1, 2, 3, 4);
    draw(Folder, QStringLiteral("王晓明"));
    EXPECT_TRUE(surface.texts.empty());
    expectMover(1, 2, 3, 4);
    EXPECT_EQ(fonts.adds, 0);
}

} // namespace
