// Geometry of every kind of style, to the twip, against faces whose measures are known: the
// placement rules' own layout, and where layOut then centres it.
#include "base/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/stylerules.h"
#include "recordingsurface.h"
#include "render/geometry.h"
#include "render/layout.h"
#include "render/names.h"
#include "render/stylelayouts.h"


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
    RecordingFontTable fonts{&log};
    RecordingFaces surface{fonts};
    Layout layout;
    ProgramValues values;
    Catalogue catalogue;
    SignatureSpec in;

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
        in.points = 72;

        surface.charWidth[QStringLiteral("Gw")] = {{u'甲', 1000}, {u'乙', 1098.5}, {u'丙', 900}};
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

    // The rules' layout of `cn` in `style`, at x, y or, on an axis given as -1, the rules' own
    // place for a centred name. The faces it registers stay registered while it lives.
    void draw(const QString& style, const QString& cn, int x = -1, int y = -1)
    {
        const int index = catalogue.indexOfStyle(style);
        in.style = index >= 0 ? std::optional(catalogue.styles[index]) : std::nullopt;
        in.chineseName = cn;
        layout = Layout();
        EXPECT_TRUE(fonts.balanced()) << "the last layout gave back every face it held";
        RulesPlace place;
        if (x != -1)
            place.x = x;
        if (y != -1)
            place.y = y;
        layout = rulesLayout(in, surface, values.compoundSurnames, place);
    }

    // What layout.runs draws, skipping texts that are empty.
    std::vector<PlacedRun> texts() const
    {
        std::vector<PlacedRun> drawn;
        for (const PlacedRun& run : layout.runs)
            if (!run.text.isEmpty())
                drawn.push_back(run);
        return drawn;
    }

    void expectTexts(const std::vector<Expected>& expected)
    {
        const std::vector<PlacedRun> drawn = texts();
        ASSERT_EQ(drawn.size(), expected.size()) << log.join(u'\n').toStdString();
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(drawn[i].face.family, expected[i].face);
            EXPECT_DOUBLE_EQ(drawn[i].at.x(), expected[i].x);
            EXPECT_DOUBLE_EQ(drawn[i].at.y(), expected[i].y);
            EXPECT_EQ(drawn[i].text, expected[i].text);
        }
    }

    void expectMover(double l, double t, double w, double h)
    {
        EXPECT_DOUBLE_EQ(layout.textBox.left(), l);
        EXPECT_DOUBLE_EQ(layout.textBox.top(), t);
        EXPECT_DOUBLE_EQ(layout.textBox.width(), w);
        EXPECT_DOUBLE_EQ(layout.textBox.height(), h);
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
    draw(Ordinary, QStringLiteral("甲乙丙"));
    // whole name 1000 + 1098.5 + 900 - 2 * 7.25 = 2984: x = nearest(1418 - 250); y =
    // nearest(1107.5) third character: nearest(1098.5 + 1968 - 200) = nearest(2866.5), to the even
    // 2866
    expectTexts({{"Gw", 1168, 1108, "甲"}, {"Gw", 1968, 1108, "乙"}, {"Gw", 2866, 1108, "丙"}});
    expectMover(1168, 1108, 2984 - 2 * 200, 700);
    EXPECT_EQ(log, QStringList({"addFont " + OrdinaryFile}));
    layout = Layout();
    EXPECT_EQ(log.last(), "removeFont " + OrdinaryFile);
}

TEST_F(Renderer, OrdinaryStyleEdgeCases)
{
    draw(Ordinary, QStringLiteral("甲"));
    expectTexts({{"Gw", 2160, 1108, "甲"}});
    expectMover(2160, 1108, 1000, 700);

    // An empty name: the box 200 wide at nearest(innerWidth / 2 - 250), nothing drawn.
    draw(Ordinary, QString());
    expectTexts({});
    expectMover(2660, 1108, 200, 700);

    // A position on one axis only.
    draw(Ordinary, QStringLiteral("甲乙"), 300, -1);
    expectTexts({{"Gw", 300, 1108, "甲"}, {"Gw", 1100, 1108, "乙"}});
    draw(Ordinary, QStringLiteral("甲"), -1, -40);
    expectTexts({{"Gw", 2160, -40, "甲"}});

    // A character beyond the Basic Multilingual Plane is one character: drawn whole, counted
    // once in the tightening. 𠮷 is 500 wide: whole name 1000 + 500 - 7.25.
    draw(Ordinary, QStringLiteral("甲𠮷"), 300, 0);
    expectTexts({{"Gw", 300, 0, "甲"}, {"Gw", 1100, 0, "𠮷"}});
    expectMover(300, 0, 1492.75 - 200, 700);

    // Letters, digits and spaces keep the face's spacing on both sides: 甲 is 1000 wide, the
    // rest 500.
    draw(Ordinary, QStringLiteral("甲A 1乙"), 300, 0);
    expectTexts({{"Gw", 300, 0, "甲"},
                 {"Gw", 1300, 0, "A"},
                 {"Gw", 1800, 0, " "},
                 {"Gw", 2300, 0, "1"},
                 {"Gw", 2800, 0, "乙"}});
}

TEST_F(Renderer, FontFileStyleIsKnownByItsExtensionInAnyCaseAndNeverUsesTheLatinName)
{
    surface.faceWidth[QStringLiteral("Dx")] = 600;
    in.latinName = QStringLiteral("Latin");
    draw(QStringLiteral("大写"), QStringLiteral("AB"));
    ASSERT_EQ(texts().size(), 2u);
    EXPECT_EQ(texts()[0].face.family, "Dx");
    EXPECT_EQ(texts()[0].text + texts()[1].text, "AB");
}

TEST_F(Renderer, SizeScalesEveryMeasure)
{
    in.points = 36;
    draw(Ordinary, QStringLiteral("甲"));
    // 500 wide, 350 high: x = nearest(2660 - 250), y = nearest(1782.5 - 500) to the even 1282
    expectTexts({{"Gw", 2410, 1282, "甲"}});
}

// Below 72 points the tightening shrinks with the characters, so the tightened text keeps its
// width per point; from 72 up it stays 200 twips. "甲乙丙" is 2984 twips wide untightened at 72.
TEST_F(Renderer, TightenedWidthPerPointHoldsBelow72)
{
    for (const double points : {8.0, 12.0, 36.5, 48.0, 71.0, 72.0, 100.0, 190.0}) {
        SCOPED_TRACE(points);
        in.points = points;
        draw(Ordinary, QStringLiteral("甲乙丙"), 0, 0);
        const double tightened = points < 72 ? (2984 - 400) / 72.0 * points : 2984 * points / 72 - 400;
        EXPECT_NEAR(layout.textBox.width(), tightened, 0.01);
        ASSERT_EQ(texts().size(), 3u);
        EXPECT_LT(texts()[0].at.x(), texts()[1].at.x()) << "every character after the one before";
        EXPECT_LT(texts()[1].at.x(), texts()[2].at.x());
    }
    EXPECT_EQ(texts()[1].at.x(), nearest(1000 * 190 / 72.0 - 200));
}

// A drawing never chooses a style itself: with none chosen, the background alone.
TEST_F(Renderer, NoStyleDrawsTheBackgroundAlone)
{
    in.style.reset();
    in.chineseName = QStringLiteral("甲乙");
    RecordingSurface picture;
    drawPicture(picture, QStringLiteral("/kit/images/02-宣纸.jpg"),
                layOut(in, surface, values.compoundSurnames));
    EXPECT_EQ(picture.log, QStringList({"clear", "setBackground /kit/images/02-宣纸.jpg"}));
}

// Centred means what shows is centred, whatever the size: the ink's middle, a seal's frame's,
// is the picture's, to the twip; an explicit position keeps the rules' box where it is put.
TEST_F(Renderer, CentredPutsTheInkInTheMiddleAtEverySize)
{
    const QPointF middle(SurfaceWidthPx * TwipsPerPixel / 2.0, SurfaceHeightPx * TwipsPerPixel / 2.0);
    surface.inkShift[u'A'] = QPointF(310, 350); // a face that moves its outlines in their cells
    for (const QString& style : {Ordinary, SealStyle, Folder})
        for (const double points : {8.0, 24.0, 72.0, 190.0}) {
            SCOPED_TRACE(style.toStdString() + " at " + std::to_string(points));
            in.points = points;
            in.chineseName = QStringLiteral("ABC");
            in.style = catalogue.styles[catalogue.indexOfStyle(style)];
            const Layout centred = layOut(in, surface, values.compoundSurnames);
            // The ink to half a twip; a frame, drawn in whole pixels, within a pixel.
            const QRectF shown = centred.inkBox;
            const double within = centred.frame ? TwipsPerPixel : 0.5;
            EXPECT_NEAR(shown.center().x(), middle.x(), within);
            EXPECT_NEAR(shown.center().y(), middle.y(), within);
            in.position = QPointF(300, 400);
            const Layout placed = layOut(in, surface, values.compoundSurnames);
            in.position.reset();
            EXPECT_EQ(placed.textBox.topLeft(), QPointF(300, 400));
            // The same rules at both places: every text moved alike, by whole twips. (A
            // three-face style's pieces sit on lines of their own only where centred.)
            if (style == Folder)
                continue;
            ASSERT_EQ(placed.runs.size(), centred.runs.size());
            const QPointF by = placed.runs[0].at - centred.runs[0].at;
            EXPECT_EQ(by, QPointF(std::round(by.x()), std::round(by.y())));
            for (size_t i = 0; i < placed.runs.size(); ++i)
                EXPECT_EQ(placed.runs[i].at - centred.runs[i].at, by);
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
    for (const auto& text : texts())
        EXPECT_EQ(text.points, c.points);
    ASSERT_TRUE(layout.frame);
    const SealFrame& f = *layout.frame;
    EXPECT_EQ(std::vector<double>({f.left, f.top, f.right, f.bottom}),
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
    EXPECT_EQ(texts()[3].points, 36);
    EXPECT_EQ(texts()[2].points, 72);
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
    EXPECT_EQ(texts()[3].points, 72);
}

// At twice the size, its ink centred in the frame: the frame reaches further left and up than
// the cells do.
TEST_F(Renderer, OneCharacterSealFillsTheSquareInTheMiddleOfTheFrame)
{
    draw(SealStyle, QStringLiteral("A"));
    expectTexts({{"Zy", (860 + 3360) / 2.0 - 1200, (348 + 3008) / 2.0 - 1300, "A"}});
    EXPECT_EQ(texts()[0].points, 144);
    ASSERT_TRUE(layout.frame);
    const SealFrame& f = *layout.frame;
    EXPECT_EQ(std::vector<double>({f.left, f.top, f.right, f.bottom}),
              std::vector<double>({860, 348, 3360, 3008}));
}

TEST_F(Renderer, SealOfAnEmptyNameIsAFrame100TwipsWide)
{
    draw(SealStyle, QString());
    ASSERT_TRUE(layout.frame);
    const SealFrame& f = *layout.frame;
    // TW1 = 0: x = nearest(2910 - 750); the frame runs from 100 left of x to x itself.
    EXPECT_DOUBLE_EQ(f.left, 2060);
    EXPECT_DOUBLE_EQ(f.right, 2160);
    EXPECT_DOUBLE_EQ(f.bottom - f.top, 2 * 1300 + 60);
    EXPECT_DOUBLE_EQ(layout.textBox.width(), 0);
}

TEST_F(Renderer, DraggedSealPutsCellOneExactlyAtThePosition)
{
    in.ink = qRgb(0, 0, 255);
    draw(SealStyleIntaglio, QStringLiteral("ABCD"), 500, -600);
    expectTexts({{"Zyy", 500, -600, "C"},
                 {"Zyy", 1700, -600, "A"},
                 {"Zyy", 500, 700, "D"},
                 {"Zyy", 1700, 700, "B"}});
    ASSERT_TRUE(layout.frame);
    const SealFrame& f = *layout.frame;
    EXPECT_DOUBLE_EQ(f.left, 400);
    EXPECT_DOUBLE_EQ(f.top, -660);
    EXPECT_TRUE(f.filled);
    EXPECT_EQ(f.color, SealFrameColor) << "the frame keeps its red whatever the ink";
    // Painted frame first, the characters over it in the ink.
    in.position = QPointF(500, -600);
    RecordingSurface picture;
    paint(layOut(in, surface, values.compoundSurnames), picture);
    EXPECT_EQ(picture.log.first(), "drawFrame");
    ASSERT_FALSE(picture.inks.empty());
    EXPECT_EQ(picture.inks[0], qRgb(0, 0, 255));
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
    std::array<double, 4> handle; // empty when nothing is drawn
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
                   {2210, 982.5, 900, 950}},
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
        FolderCase{"EmptyChineseName", "cn", "", -1, -1, {}, {0, 0, 0, 0}},
        FolderCase{"LatinEmpty", "en", "", -1, -1, {}, {0, 0, 0, 0}},
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
    EXPECT_DOUBLE_EQ(layout.textBox.width(), 3.0e9);
    ASSERT_EQ(texts().size(), 3u);
    EXPECT_DOUBLE_EQ(texts()[2].at.x(), 2.0e9);
}

// Each face is registered once, for as long as the layout that draws with it lives.
TEST_F(Renderer, FolderStyleHoldsEachFaceWhileItsLayoutLives)
{
    draw(Folder, QStringLiteral("王晓明"));
    EXPECT_EQ(log, QStringList({"addFont " + Base + "1.dat", "addFont " + Base + "2.dat",
                                "addFont " + Base + "3.dat"}));
    layout = Layout();
    EXPECT_TRUE(fonts.balanced());
}

TEST_F(Renderer, FolderStyleWithoutFilesDrawsNothing)
{
    catalogue.styles[0].files = catalogue.styles[0].faces = {};
    draw(Folder, QStringLiteral("王晓明"));
    EXPECT_TRUE(texts().empty());
    expectMover(0, 0, 0, 0);
    EXPECT_EQ(fonts.adds, 0);
}

} // namespace
