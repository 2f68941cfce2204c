// The command-line companion: same drawing as the window, other outputs, clear errors.
#include "app/startup.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "fakeplatform.h"
#include "kit.h"
#include "output/filewrite.h"
#include "pixels.h"
#include "plainpdf.h"
#include "rendercli.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRawFont>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include <dirent.h>
#include <cmath>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

QJsonObject reportOf(const Outcome& r)
{
    return QJsonDocument::fromJson(r.out.trimmed().toUtf8()).object();
}

class RenderCommand : public testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    // A document of one A4 page to put signatures on.
    QString onePageDocument()
    {
        QFile f(path("document.pdf"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pdfOf({"<< /Type /Catalog /Pages 2 0 R >>",
                       "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>"}));
        return f.fileName();
    }
};

TEST_F(RenderCommand, DefaultPictureEqualsTheWindowsPixelForPixel)
{
    FakePlatform platform;
    const ProgramValues values = startProgram(kitDir(), platform);
    MainWindow w(values, platform);
    const Outcome r = render({QStringLiteral("-o"), path("sig.png")});
    ASSERT_EQ(r.code, ExitOk) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_EQ(QImage(path("sig.png")).convertToFormat(QImage::Format_RGB32),
              w.picture(1).convertToFormat(QImage::Format_RGB32));
}

TEST_F(RenderCommand, LargerScaleKeepsTheLayoutAndDrawsSharper)
{
    const QStringList common = {QStringLiteral("--style"), QStringLiteral("艺术签"),
                                QStringLiteral("--cn"), QStringLiteral("欧阳娜娜"),
                                QStringLiteral("--report")};
    const Outcome one = render(common + QStringList{QStringLiteral("-o"), path("one.png")});
    const Outcome four = render(common + QStringList{QStringLiteral("--scale"), QStringLiteral("4"),
                                                     QStringLiteral("-o"), path("four.png")});
    ASSERT_EQ(four.code, ExitOk) << four.err.toStdString();
    EXPECT_EQ(reportOf(one)[QStringLiteral("mover")], reportOf(four)[QStringLiteral("mover")]);
    const QImage small(path("one.png"));
    const QImage big(path("four.png"));
    ASSERT_EQ(big.size(), small.size() * 4);
    const QRect a = inkBox(small, darkInk);
    const QRect b = inkBox(big, darkInk);
    EXPECT_NEAR(b.left(), 4 * a.left(), 6);
    EXPECT_NEAR(b.width(), 4 * a.width(), 10);
    // Not the small picture enlarged: its edges are sharper than any enlargement of it.
    auto grey = [](const QImage& im) {
        return countPixels(im, [](QRgb c) { return qGray(c) > 40 && qGray(c) < 200; });
    };
    const QImage enlarged =
        small.scaled(big.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(grey(big) * 2, grey(enlarged));
}

struct FitCase
{
    const char* style;
    const char* name;
    const char* size; // asked
    bool smaller;     // whether the name needs a smaller size than asked
};

class Fit : public RenderCommand, public testing::WithParamInterface<FitCase>
{
};

// A name is drawn at the size asked when its ink keeps 6 pixels from every edge, else at the
// largest half point below it that does; --report says which, and --exact-size draws it at
// the size asked, cut or not.
TEST_P(Fit, DrawsTheLargestSizeThatKeepsTheInkInside)
{
    const FitCase& c = GetParam();
    const auto draw = [&](const QString& size, const QStringList& more, const char* file) {
        return render(QStringList{QStringLiteral("--style"), QString::fromUtf8(c.style),
                                  QStringLiteral("--cn"), QString::fromUtf8(c.name),
                                  QStringLiteral("--en"), QString::fromUtf8(c.name),
                                  QStringLiteral("--size"), size, QStringLiteral("--transparent"),
                                  QStringLiteral("--report"), QStringLiteral("-o"), path(file)} +
                      more);
    };
    const QString asked = QString::fromUtf8(c.size);
    // The style's own cap, as the window applies it: a seal is never drawn above 48 points.
    const double capped =
        std::min(asked.toDouble(), double(styleRuleFor(QString::fromUtf8(c.style)).largestSize));
    const Outcome r = draw(asked, {}, "fit.png");
    ASSERT_EQ(r.code, ExitOk) << r.err.toStdString();
    // Sizes are numbers in the report.
    const QString used = QString::number(reportOf(r)[QStringLiteral("size")].toDouble());
    EXPECT_EQ(reportOf(r)[QStringLiteral("sizeAsked")].toDouble(), asked.toDouble());
    if (!c.smaller)
        EXPECT_EQ(used.toDouble(), capped) << "a name that fits is drawn as asked, to the twip";
    else
        EXPECT_LT(used.toDouble(), capped);
    EXPECT_GE(used.toDouble(), 8);
    EXPECT_EQ(std::fmod(used.toDouble() * 2, 1.0), 0) << "half points";
    const auto inkOf = [this](const char* file) {
        return inkBox(QImage(path(file)), [](QRgb p) { return qAlpha(p) > 0; });
    };
    const QRect picture(0, 0, SurfaceWidthPx, SurfaceHeightPx);
    EXPECT_TRUE(picture.adjusted(5, 5, -5, -5).contains(inkOf("fit.png")));
    if (c.smaller && used.toDouble() > 8) {
        // Half a point larger comes too near an edge; --exact-size draws what was asked.
        const QString larger = QString::number(used.toDouble() + 0.5);
        ASSERT_EQ(draw(larger, {QStringLiteral("--exact-size")}, "larger.png").code,
                  ExitOk);
        EXPECT_FALSE(picture.adjusted(7, 7, -7, -7).contains(inkOf("larger.png")));
        const Outcome exact = draw(asked, {QStringLiteral("--exact-size")}, "e.png");
        EXPECT_EQ(reportOf(exact)[QStringLiteral("size")].toDouble(), capped);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, Fit,
    testing::Values(FitCase{"公文签", "王晓明", "72", false},
                    FitCase{"公文签", "王晓明", "30", false},
                    FitCase{"公文签", "买提艾力江·吐尔逊", "72", true},
                    FitCase{"艺术签", "爱新觉罗溥仪明亮", "72", true},
                    FitCase{"英文签-流畅", "Maximilian Alexander von Habsburg", "72", true},
                    // Asked above the style's cap: drawn at the cap, where they fit.
                    FitCase{"英文签-书法", "Anna Lee", "190", false},
                    FitCase{"行书签", "阿不都热合曼", "72", true},
                    FitCase{"篆印体", "爱新觉罗溥仪", "190", false},
                    FitCase{"英文签-流畅", "Christopher Johnson", "72", true}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(RenderCommand, TransparentPngHoldsOnlyTheDrawing)
{
    const Outcome r = render({QStringLiteral("--transparent"), QStringLiteral("--color"),
                              QStringLiteral("#0000ff"), QStringLiteral("-o"), path("t.png")});
    ASSERT_EQ(r.code, ExitOk) << r.err.toStdString();
    const QImage image = QImage(path("t.png")).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(387, 260)), 0);
    const int opaqueBlue = countPixels(image, [](QRgb c) {
        return qAlpha(c) == 255 && qBlue(c) == 255 && qRed(c) == 0 && qGreen(c) == 0;
    });
    EXPECT_GT(opaqueBlue, 500);
    EXPECT_EQ(countPixels(image, [](QRgb c) { return qAlpha(c) > 0 && qBlue(c) < 200; }), 0)
        << "no background shows through";
}

TEST_F(RenderCommand, SvgKeepsTextAsOutlines)
{
    const Outcome r = render({QStringLiteral("--style"), QStringLiteral("篆印体"),
                              QStringLiteral("-o"), path("seal.svg")});
    ASSERT_EQ(r.code, ExitOk) << r.err.toStdString();
    QFile f(path("seal.svg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray svg = f.readAll();
    EXPECT_TRUE(svg.contains("<path"));
    EXPECT_FALSE(svg.contains("<text"));
    QSvgRenderer renderer(svg);
    ASSERT_TRUE(renderer.isValid());
    QImage image(388, 261, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    renderer.render(&p);
    p.end();
    render({QStringLiteral("--style"), QStringLiteral("篆印体"), QStringLiteral("-o"),
            path("seal.png")});
    auto red = [](QRgb c) {
        return qRed(c) > 150 && qGreen(c) < 80 && qBlue(c) < 80;
    };
    const QRect vector = inkBox(image, red);
    const QRect raster = inkBox(QImage(path("seal.png")), red);
    EXPECT_NEAR(vector.left(), raster.left(), 2);
    EXPECT_NEAR(vector.right(), raster.right(), 2);
    EXPECT_NEAR(vector.bottom(), raster.bottom(), 2);
    // The background shows in the file as in the raster picture, away from the seal.
    const QImage png(path("seal.png"));
    for (const QPoint at : {QPoint(5, 5), QPoint(380, 250), QPoint(350, 20)})
        EXPECT_LE(std::abs(qGray(image.pixel(at)) - qGray(png.pixel(at))), 2)
            << at.x() << "," << at.y();
    EXPECT_EQ(svg.count("<image"), 1) << "the background, once";
}

TEST_F(RenderCommand, ABackgroundThatCannotBeShownIsSaidOnceAndDrawnOnWhite)
{
    // The kit's fonts and list, and one picture that is not a picture.
    QDir().mkpath(path("kit/images"));
    for (const char* folder : {"fonts", "data"})
        ASSERT_TRUE(
            QFile::link(kitDir() + QLatin1String(folder), path("kit/") + QLatin1String(folder)));
    QFile broken(path("kit/images/01-坏.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG but not really");
    broken.close();
    QStringList args = {QStringLiteral("--background"), QStringLiteral("0"),
                        QStringLiteral("--report"), QStringLiteral("-o"), path("sig.png")};
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = runRenderCommand(
        QStringList{QStringLiteral("sorvex-sign-render"), QStringLiteral("--data"), path("kit")} +
            args,
        o, e, false);
    o.flush();
    e.flush();
    EXPECT_EQ(code, ExitOk) << "the picture is still drawn";
    EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("01-坏.png"))) << err.toStdString();
    EXPECT_EQ(QImage(path("sig.png")).pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_FALSE(reportOf({code, out, err})
                     .value(QStringLiteral("background"))
                     .toObject()
                     .value(QStringLiteral("error"))
                     .toString()
                     .isEmpty());
}

// A TrueType font (not a collection) with its tables laid out again, the outlines last.
QByteArray outlinesLast(const QByteArray& font)
{
    const auto be = [&font](qsizetype at, int bytes) {
        quint32 v = 0;
        for (int k = 0; k < bytes; ++k)
            v = (v << 8) | uchar(font[at + k]);
        return v;
    };
    const qsizetype tables = be(4, 2);
    QByteArray out = font.left(12 + tables * 16);
    QList<qsizetype> order;
    for (qsizetype t = 0; t < tables; ++t)
        (font.mid(12 + t * 16, 4) == "glyf" ? order.append(t) : order.prepend(t));
    for (const qsizetype t : order) {
        out.append((4 - out.size() % 4) % 4, '\0');
        const quint32 at = quint32(out.size());
        out += font.mid(be(12 + t * 16 + 8, 4), be(12 + t * 16 + 12, 4));
        for (int k = 0; k < 4; ++k)
            out[12 + t * 16 + 8 + k] = char(at >> (24 - 8 * k));
    }
    return out;
}

// A style whose font file cannot be read draws in a substitute face, and says so once, in the
// report too; --strict writes no such picture and exits with 3.
TEST_F(RenderCommand, AnUnreadableFontFileIsSaidAndStrictRefusesIt)
{
    QDir().mkpath(path("kit/fonts/电脑字"));
    QDir().mkpath(path("kit/fonts/英文签-空"));
    QFile cut(kitDir() + QStringLiteral("fonts/电脑字/公文签(SorvexGongwen).dat"));
    ASSERT_TRUE(cut.open(QIODevice::ReadOnly));
    QFile half(path("kit/fonts/电脑字/截断(SorvexGongwen).dat"));
    ASSERT_TRUE(half.open(QIODevice::WriteOnly));
    half.write(cut.read(cut.size() / 2));
    half.close();
    QFile(path("kit/fonts/英文签-空/abc1.dat")).open(QIODevice::WriteOnly);
    // A TrueType file cut short inside its outlines, the last of its tables: its names and
    // characters read, so it registers, and then it draws nothing.
    const QByteArray trueType = outlinesLast(unpackedFont(cut.fileName()));
    ASSERT_FALSE(trueType.isEmpty());
    QFile shortened(path("kit/fonts/电脑字/截短(SorvexGongwen).dat"));
    ASSERT_TRUE(shortened.open(QIODevice::WriteOnly));
    shortened.write(trueType.left(trueType.size() * 2 / 5));
    shortened.close();
    // A face of bitmaps alone, as a terminal's .otb font: it would draw at its bitmaps' size.
    QByteArray bitmaps = trueType;
    for (qsizetype t = 0; t < ((uchar(bitmaps[4]) << 8) | uchar(bitmaps[5])); ++t) {
        const QByteArray tag = bitmaps.mid(12 + t * 16, 4);
        if (tag == "glyf" || tag == "loca")
            bitmaps.replace(12 + t * 16, 4, tag == "glyf" ? "EBDT" : "EBLC");
    }
    QFile bitmapFile(path("kit/fonts/电脑字/点阵(SorvexGongwen).dat"));
    ASSERT_TRUE(bitmapFile.open(QIODevice::WriteOnly));
    bitmapFile.write(bitmaps);
    bitmapFile.close();
    // A face of bitmaps with a table of outlines beside them that are all empty, as some .otb
    // files carry: it would draw the name at its bitmaps' size, or nothing.
    QByteArray empty = trueType;
    for (qsizetype t = 0; t < ((uchar(empty[4]) << 8) | uchar(empty[5])); ++t) {
        const qsizetype record = 12 + t * 16;
        if (empty.mid(record, 4) != "loca")
            continue;
        const auto number = [&](qsizetype at) {
            return (qsizetype(uchar(empty[at])) << 24) | (uchar(empty[at + 1]) << 16) |
                   (uchar(empty[at + 2]) << 8) | uchar(empty[at + 3]);
        };
        empty.replace(number(record + 8), number(record + 12), QByteArray(number(record + 12), '\0'));
    }
    QFile emptyFile(path("kit/fonts/电脑字/空形(SorvexGongwen).dat"));
    ASSERT_TRUE(emptyFile.open(QIODevice::WriteOnly));
    emptyFile.write(empty);
    emptyFile.close();
    const struct
    {
        const char* style;
        const char* file;
        const char* said;
    } styles[] = {{"截断", "截断(SorvexGongwen).dat", "cannot be read"},
                  {"截短", "截短(SorvexGongwen).dat", "cannot be read"},
                  {"英文签-空", "abc1.dat", "cannot be read"},
                  {"点阵", "点阵(SorvexGongwen).dat", "no outlines"},
                  {"空形", "空形(SorvexGongwen).dat", "no outlines"}};
    // Drawn as a picture or put on a document, the same checks and the same report.
    for (const bool stamp : {false, true})
    for (const auto& [style, file, said] : styles) {
        SCOPED_TRACE(std::string(style) + (stamp ? " stamped" : " drawn"));
        const QString output = path(stamp ? "x.pdf" : "x.png");
        QStringList args{QStringLiteral("--data"),       path("kit"),
                         QStringLiteral("--style"),      QString::fromUtf8(style),
                         QStringLiteral("--report"),     QStringLiteral("-o"),
                         output};
        args << (stamp ? QStringList{QStringLiteral("--stamp"), onePageDocument(),
                                     QStringLiteral("--at"), QStringLiteral("10,10")}
                       : QStringList{QStringLiteral("--background"), QStringLiteral("none")});
        const Outcome r = render(args);
        EXPECT_EQ(r.code, ExitOk) << r.err.toStdString();
        EXPECT_EQ(r.err.count(QString::fromUtf8(file)), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(said))) << r.err.toStdString();
        const QJsonArray substituted = reportOf(r)[QStringLiteral("substituted")].toArray();
        ASSERT_FALSE(substituted.isEmpty());
        EXPECT_TRUE(substituted[0].toString().endsWith(QString::fromUtf8(file)));
        QFile::remove(output);
        const Outcome strict = render(args + QStringList{QStringLiteral("--strict")});
        EXPECT_EQ(strict.code, ExitDegraded) << strict.err.toStdString();
        EXPECT_TRUE(strict.err.contains(QStringLiteral("not written")));
        EXPECT_FALSE(QFile::exists(output));
    }
}

TEST_F(RenderCommand, SheetShowsEveryStyleInItsOwnCell)
{
    const Outcome r = render({QStringLiteral("--sheet"), QStringLiteral("--background"),
                              QStringLiteral("none"), QStringLiteral("-o"), path("sheet.png")});
    ASSERT_EQ(r.code, ExitOk) << r.err.toStdString();
    const QImage sheet(path("sheet.png"));
    const int styles = int(loadCatalogue(kitDir()).styles.size());
    const int rows = (styles + 2) / 3;
    ASSERT_EQ(sheet.size(), QSize(3 * (388 + 8) + 8, rows * (261 + 30 + 8) + 8));
    for (int i = 0; i < styles; ++i) {
        const QRect cell(8 + (i % 3) * 396, 8 + (i / 3) * 299 + 30, 388, 261);
        const QImage picture = sheet.copy(cell);
        EXPECT_GT(countPixels(picture, [](QRgb c) { return c != qRgb(255, 255, 255); }), 200)
            << "cell " << i << " is empty";
    }
    // Too large to make: said before anything is drawn, and nothing written.
    const Outcome huge = render({QStringLiteral("--sheet"), QStringLiteral("--scale"),
                                 QStringLiteral("8"), QStringLiteral("-o"), path("huge.png")});
    EXPECT_EQ(huge.code, ExitFailure);
    EXPECT_TRUE(huge.err.contains(QStringLiteral("megapixels"))) << huge.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("huge.png")));
}

// Three shards of a batch, each into a folder of its own, write between them exactly the files
// of the whole batch, byte for byte.
TEST_F(RenderCommand, ShardsOfABatchWriteTheWholeBatch)
{
    QFile csv(path("names.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("王晓明,Xiaoming\n李白,Li Bai,艺术签\n杜甫,Du Fu,篆印体,dufu.png\n张三,Zhang\n"
              "李四,Li Si\n王五,Wang Wu,英文签-流畅\n赵六,Zhao\n");
    csv.close();
    const auto files = [](const QString& folder) {
        std::map<QString, QByteArray> found;
        for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files)) {
            QFile file(f.filePath());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            found[f.fileName()] = file.readAll();
        }
        return found;
    };
    ASSERT_EQ(render({QStringLiteral("--batch"), path("names.csv"), QStringLiteral("-o"),
                      path("whole")})
                  .code,
              ExitOk);
    std::map<QString, QByteArray> joined;
    for (int k = 1; k <= 3; ++k) {
        const QString folder = path("shard") + QString::number(k);
        const Outcome r = render({QStringLiteral("--batch"), path("names.csv"), QStringLiteral("--shard"),
                                  QStringLiteral("%1/3").arg(k), QStringLiteral("-o"), folder});
        ASSERT_EQ(r.code, ExitOk) << r.err.toStdString();
        for (const auto& [name, bytes] : files(folder))
            EXPECT_TRUE(joined.emplace(name, bytes).second) << name.toStdString() << " twice";
    }
    EXPECT_EQ(joined, files(path("whole")));
    EXPECT_EQ(joined.size(), 7u);

    // Drawn by worker processes of the program itself: the same files, and the same report in
    // row order; a shard drawn by two workers, the shard's files.
    const auto program = [&](const QStringList& args) {
        QProcess p;
        p.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                QStringList{QStringLiteral("--batch"), path("names.csv"), QStringLiteral("--report")} + args);
        EXPECT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), ExitOk) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    const QString one = program({QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("-o"), path("one")});
    const QString three = program({QStringLiteral("--jobs"), QStringLiteral("3"), QStringLiteral("-o"), path("three")});
    EXPECT_EQ(files(path("three")), files(path("whole")));
    EXPECT_EQ(three.count(u'\n'), 8) << three.toStdString();
    EXPECT_EQ(QString(three).replace(path("three"), path("one")), one);
    program({QStringLiteral("--shard"), QStringLiteral("2/3"), QStringLiteral("--jobs"), QStringLiteral("2"),
             QStringLiteral("-o"), path("part")});
    EXPECT_EQ(files(path("part")), files(path("shard2")));
}

TEST_F(RenderCommand, BatchMakesOnePicturePerRowAndNamesTheRowsThatFail)
{
    QDir().mkpath(path("out"));
    QFile notes(path("out/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("my notes");
    notes.close();
    QFile csv(path("names.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("王晓明,Xiaoming\n"
              "\"欧阳,娜娜\",Nana,艺术签,nana.jpg\n"
              "李白,Li Bai,没有这个,li.png\n"
              "杜甫,Du Fu,公文签,../escape.png\n");
    // A file name with a NUL or another control character is refused before its extension
    // decides anything: "notes.txt<NUL>.svg" must not become notes.txt.
    csv.write(QByteArray("王晓明,Nana,公文签,notes.txt") + '\0' + ".svg\n");
    csv.write("王晓明,Nana,公文签,bell\x07.png\n");
    // A link planted where row 7's picture goes points out of the folder.
    csv.write("王晓明,Nana\n");
    csv.close();
    QFile victim(path("victim.png"));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("keep me");
    victim.close();
    ASSERT_TRUE(QFile::link(QStringLiteral("../victim.png"), path("out/0007.png")));
    const Outcome r = render({QStringLiteral("--batch"), path("names.csv"),
                              QStringLiteral("--report"), QStringLiteral("-o"), path("out")});
    EXPECT_EQ(r.code, ExitFailure);
    EXPECT_TRUE(QFile::exists(path("out/0001.png")));
    // The report says which pictures were written, after they were.
    QMap<QString, bool> written;
    for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject row = QJsonDocument::fromJson(line.toUtf8()).object();
        if (row.contains(QStringLiteral("written")))
            written.insert(QFileInfo(row.value(QStringLiteral("output")).toString()).fileName(),
                           row.value(QStringLiteral("written")).toBool());
    }
    EXPECT_EQ(written, (QMap<QString, bool>{{QStringLiteral("0001.png"), true},
                                            {QStringLiteral("nana.jpg"), true},
                                            {QStringLiteral("0007.png"), false}}));
    EXPECT_EQ(QImageReader(path("out/nana.jpg")).format(), "jpeg");
    EXPECT_FALSE(QFile::exists(path("out/li.png")));
    EXPECT_FALSE(QFile::exists(path("escape.png")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("row 3: no style named")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("row 4:")));
    EXPECT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), "my notes");
    EXPECT_TRUE(r.err.contains(QStringLiteral("row 5: the file name holds a control character")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("row 6: the file name holds a control character")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("row 7: cannot write"))) << r.err.toStdString();
    EXPECT_TRUE(victim.open(QIODevice::ReadOnly));
    EXPECT_EQ(victim.readAll(), "keep me");
    EXPECT_EQ(QDir(path("out")).entryList(QDir::Files).size(), 4) << "three pictures and the link";
}

// A name that leads to a pipe (or a device) is not replaced by a file.
TEST_F(RenderCommand, OnlyRegularFilesAreReplaced)
{
    ASSERT_EQ(::mkfifo(path("pipe").toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(path("pipe"), path("sig.png")));
    const Outcome r = render({QStringLiteral("-o"), path("sig.png")});
    EXPECT_EQ(r.code, ExitFailure);
    EXPECT_TRUE(QFileInfo(path("sig.png")).isSymLink());
    struct stat info = {};
    ASSERT_EQ(::stat(path("pipe").toLocal8Bit().constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// A name's bytes as the shell hands them over, UTF-8 or not, are the name of the file read,
// the folder made and the file written.
TEST_F(RenderCommand, NamesKeepTheirBytes)
{
    QProcess shell;
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"), QStringLiteral(R"sh(set -e; cd "$1"; r="$0"
"$r" -o "$(printf 'bad\377name.png')"
"$r" -o "$(printf 'doc\377.pdf')"
printf '张三,Zhang\n' > "$(printf 'list\377.csv')"
"$r" --batch "$(printf 'list\377.csv')" -o "$(printf 'out\377/sub')"
"$r" --stamp "$(printf 'doc\377.pdf')" --page 1 --at 10,10 -o "$(printf 'signed\377.pdf')")sh"),
                 kitDir() + QStringLiteral("sorvex-sign-render"), dir.path()});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), ExitOk) << shell.readAllStandardError().toStdString();
    const auto names = [](const QByteArray& path) {
        std::set<std::string> found;
        if (DIR* folder = ::opendir(path.constData())) {
            while (const dirent* entry = ::readdir(folder))
                if (entry->d_name[0] != '.')
                    found.emplace(entry->d_name);
            ::closedir(folder);
        }
        return found;
    };
    const QByteArray top = QFile::encodeName(dir.path());
    EXPECT_EQ(names(top), (std::set<std::string>{"bad\377name.png", "doc\377.pdf",
                                                 "list\377.csv", "out\377", "signed\377.pdf"}));
    EXPECT_EQ(names(top + "/out\377/sub"), std::set<std::string>{"0001.png"});
    // QTemporaryDir cannot name what is not UTF-8 to remove it.
    std::filesystem::remove_all(top.constData());
}

// A batch killed half-way leaves every picture under its name whole; what it was writing is
// left under a temporary name, which the next batch into the folder clears away.
TEST_F(RenderCommand, AKilledBatchLeavesOnlyWholePictures)
{
    QFile csv(path("rows.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    for (int i = 0; i < 4000; ++i)
        csv.write("王晓明,Xiaoming\n");
    csv.close();
    const QDir out(path("out"));
    const auto pictures = [&] { return out.entryList({QStringLiteral("*.png")}, QDir::Files); };
    // Runs of their own temporary folder: what each leaves there shows.
    QDir().mkpath(path("tmp"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), path("tmp"));
    const auto copies = [&] {
        return QDir(path("tmp")).entryList({QStringLiteral("sorvex-sign-*")}, QDir::Dirs);
    };
    QProcess batch;
    batch.setProcessEnvironment(env);
    batch.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                {QStringLiteral("--batch"), csv.fileName(), QStringLiteral("-o"), out.path()});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !pictures().isEmpty(); }, 120000));
    batch.kill();
    batch.waitForFinished();
    const QByteArray end = QByteArray::fromHex("0000000049454e44ae426082");
    for (const QString& name : out.entryList(QDir::Files | QDir::Hidden)) {
        QFile f(out.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(isLeftoverTemporary(name) || f.readAll().endsWith(end)) << name.toStdString();
    }
    EXPECT_EQ(copies().size(), 1) << "a killed run leaves its font copies";
    // The next run clears what runs that are gone left, beside the pictures and of fonts.
    QFile one(path("one.csv"));
    ASSERT_TRUE(one.open(QIODevice::WriteOnly) && one.write("李白,Li Bai,,0001.png\n") > 0);
    one.close();
    QProcess next;
    next.setProcessEnvironment(env);
    next.start(kitDir() + QStringLiteral("sorvex-sign-render"),
               {QStringLiteral("--batch"), path("one.csv"), QStringLiteral("-o"), out.path()});
    ASSERT_TRUE(next.waitForFinished(120000));
    EXPECT_EQ(next.exitCode(), ExitOk);
    for (const QString& name : out.entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(isLeftoverTemporary(name)) << name.toStdString();
    EXPECT_TRUE(copies().isEmpty()) << copies().join(u' ').toStdString();
    // Stopped by SIGTERM, as at a logout, a run removes its own.
    QProcess stopped;
    stopped.setProcessEnvironment(env);
    stopped.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                  {QStringLiteral("--batch"), csv.fileName(), QStringLiteral("-o"), path("out2")});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !QDir(path("out2")).entryList({QStringLiteral("*.png")}).isEmpty(); }, 120000));
    stopped.terminate();
    ASSERT_TRUE(stopped.waitForFinished(120000));
    EXPECT_EQ(stopped.exitStatus(), QProcess::CrashExit) << "the signal still ends it";
    EXPECT_TRUE(copies().isEmpty()) << copies().join(u' ').toStdString();
}

// A temporary folder that cannot be written is not blamed on the kit: the copies go to the
// runtime folder and the kit draws; where no place can be written, the folder is named.
TEST_F(RenderCommand, AnUnwritableTemporaryFolderIsNotBlamedOnTheKit)
{
    const auto run = [this](const QStringList& unwritable) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& variable : unwritable)
            env.insert(variable, QStringLiteral("/proc/none"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                {QStringLiteral("--cn"), QStringLiteral("王晓明"), QStringLiteral("--transparent"),
                 QStringLiteral("-o"), path("t.png")});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), ExitOk);
        return QString::fromUtf8(p.readAllStandardError());
    };
    const QString fellBack = run({QStringLiteral("TMPDIR")});
    EXPECT_FALSE(fellBack.contains(QStringLiteral("font file"))) << fellBack.toStdString();
    EXPECT_FALSE(inkBox(QImage(path("t.png")), [](QRgb p) { return qAlpha(p) > 0; }).isEmpty());
    const QString nowhere = run({QStringLiteral("TMPDIR"), QStringLiteral("XDG_RUNTIME_DIR"),
                                 QStringLiteral("XDG_CACHE_HOME"), QStringLiteral("HOME")});
    EXPECT_TRUE(nowhere.contains(QStringLiteral("the temporary folder /proc/none cannot be written")))
        << nowhere.toStdString();
    EXPECT_FALSE(nowhere.contains(QStringLiteral("cannot be read"))) << nowhere.toStdString();
}

// A character no face of the kit draws shows as an empty box: said once with its code point,
// in the report, and refused by --strict.
TEST_F(RenderCommand, ACharacterNoFaceDrawsIsSaid)
{
    // Drawn as a picture or put on a document, the same checks and the same report.
    for (const bool stamp : {false, true}) {
        SCOPED_TRACE(stamp ? "stamped" : "drawn");
        const QString output = path(stamp ? "box.pdf" : "box.png");
        QStringList args{QStringLiteral("--cn"), QStringLiteral("王\U00020000明"),
                         QStringLiteral("--report"), QStringLiteral("-o"), output};
        if (stamp)
            args << QStringLiteral("--stamp") << onePageDocument() << QStringLiteral("--at")
                 << QStringLiteral("10,10");
        const Outcome r = render(args);
        EXPECT_EQ(r.code, ExitOk) << r.err.toStdString();
        EXPECT_EQ(reportOf(r)[QStringLiteral("missingCharacters")].toArray(),
                  QJsonArray({QStringLiteral("\U00020000")}));
        EXPECT_EQ(r.err.count(QStringLiteral("U+20000")), 1) << r.err.toStdString();
        QFile::remove(output);
        EXPECT_EQ(render(args + QStringList{QStringLiteral("--strict")}).code, ExitDegraded);
        EXPECT_FALSE(QFile::exists(output));
    }
    EXPECT_TRUE(reportOf(render({QStringLiteral("--cn"), QStringLiteral("王晓明"),
                                 QStringLiteral("--report"), QStringLiteral("-o"),
                                 path("fine.png")}))[QStringLiteral("missingCharacters")]
                    .toArray()
                    .isEmpty());
}

// A character the style's face lacks, drawn by a fallback in another hand, is named in the
// report: whatever the face lacks, and nothing the face or its own source draws.
TEST_F(RenderCommand, ACharacterAFallbackDrawsIsNamed)
{
    const Catalogue catalogue = loadCatalogue(kitDir());
    const QString rare = QStringLiteral("喆犇玥龑");
    AppFontTable fonts;
    for (const Style& style : catalogue.styles) {
        if (style.kind == Style::Kind::LatinFolder)
            continue;
        SCOPED_TRACE(style.name.toStdString());
        // One file style draws the rare characters with its one face; a folder style with its
        // middle face.
        const qsizetype k = style.files.size() == 3 ? 1 : 0;
        fonts.addFont(style.files[k]);
        const QRawFont face = QRawFont::fromFont(QFont(fonts.familyFor(
            style.files[k], style.files.size() == 3 ? faceNameOfFolderFont(style.files[k])
                                                    : style.faces[k])));
        QString expected;
        if (style.name != QStringLiteral("公文签"))
            for (const QChar ch : rare)
                if (!face.supportsCharacter(ch))
                    expected += ch;
        fonts.removeFont(style.files[k]);
        const Outcome r =
            render({QStringLiteral("--style"), style.name, QStringLiteral("--cn"),
                    QStringLiteral("王") + rare + QStringLiteral("·明"), QStringLiteral("--report"),
                    QStringLiteral("-o"), path("rare.png")});
        EXPECT_EQ(r.code, ExitOk) << r.err.toStdString();
        // A seal draws its characters column by column: in what order does not matter.
        QStringList named = reportOf(r)[QStringLiteral("fallbackCharacters")].toVariant().toStringList();
        named.sort();
        QStringList wanted = expected.split(QString(), Qt::SkipEmptyParts);
        wanted.sort();
        EXPECT_EQ(named, wanted);
    }
}

// A seal cuts nine characters: what it leaves out is said, never dropped silently.
TEST_F(RenderCommand, ASealSaysWhatItLeavesOut)
{
    const struct
    {
        const char* name;
        const char* leftOut;
    } rows[] = {{"阿卜杜热合曼买买提", ""}, {"阿卜杜热合曼买买提江", "江"},
                {"阿卜杜 热合曼买买提江古丽", "江古丽"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome r = render({QStringLiteral("--style"), SealStyle, QStringLiteral("--cn"),
                                  QString::fromUtf8(row.name), QStringLiteral("--report"),
                                  QStringLiteral("-o"), path("seal.png")});
        EXPECT_EQ(r.code, ExitOk) << r.err.toStdString();
        EXPECT_EQ(reportOf(r)[QStringLiteral("leftOut")].toString(),
                  QString::fromUtf8(row.leftOut));
        EXPECT_EQ(r.err.contains(QStringLiteral("left out")), *row.leftOut != 0)
            << r.err.toStdString();
    }
}

// A batch clears only what batches that are gone left: another one writing into the same
// folder keeps every picture.
TEST_F(RenderCommand, TwoBatchesIntoOneFolderLeaveEachOtherAlone)
{
    QFile many(path("many.csv")), few(path("few.csv"));
    ASSERT_TRUE(many.open(QIODevice::WriteOnly) && few.open(QIODevice::WriteOnly));
    for (int i = 0; i < 1500; ++i)
        many.write(QStringLiteral("王晓明,Xiaoming,,a%1.png\n").arg(i).toUtf8());
    for (int i = 0; i < 5; ++i)
        few.write(QStringLiteral("李白,Li Bai,,b%1.png\n").arg(i).toUtf8());
    many.close();
    few.close();
    const QDir out(path("out"));
    QProcess first;
    first.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                {QStringLiteral("--batch"), many.fileName(), QStringLiteral("-o"), out.path()});
    // The first has pictures staged, not yet in place, when the second starts.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return out.entryList(QDir::Files | QDir::Hidden).size() > 50; }, 120000));
    const Outcome second =
        render({QStringLiteral("--batch"), few.fileName(), QStringLiteral("-o"), out.path()});
    EXPECT_EQ(second.code, ExitOk) << second.err.toStdString();
    ASSERT_TRUE(first.waitForFinished(120000));
    EXPECT_EQ(first.exitCode(), ExitOk) << first.readAllStandardError().toStdString();
    EXPECT_EQ(out.entryList({QStringLiteral("*.png")}, QDir::Files).size(), 1505);
}

struct BatchCase
{
    const char* name;
    QByteArray bytes;
    const char* encoding;
    int rows;
    int code;
    QStringList files; // what the output folder holds afterwards
    const char* says = "";
};

class Batches : public testing::TestWithParam<BatchCase>
{
};

// A list saved by a spreadsheet in China is GBK more often than not; others save UTF-8, some
// with a byte-order mark, and a list edited in both may hold rows of each. Each row is read as
// what it is, and --report says how.
TEST_P(Batches, RowsReadAsTheFileIsWritten)
{
    QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("rows.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(GetParam().bytes);
    csv.close();
    const Outcome r = render({QStringLiteral("--batch"), csv.fileName(), QStringLiteral("--report"),
                              QStringLiteral("-o"), dir.filePath(QStringLiteral("out"))});
    EXPECT_EQ(r.code, GetParam().code) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(GetParam().says))) << r.err.toStdString();
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files, QDir::Name),
              GetParam().files);
    const QJsonObject first = QJsonDocument::fromJson(r.out.section(u'\n', 0, 0).toUtf8()).object();
    EXPECT_EQ(first.value(QStringLiteral("encoding")).toString(),
              QString::fromUtf8(GetParam().encoding));
    EXPECT_EQ(first.value(QStringLiteral("rows")).toInt(), GetParam().rows);
}

const QByteArray BatchRows = "王晓明,Xiaoming,艺术签,王.png\r\n李白,Li Bai,公文签,李.png\r\n";
const QByteArray GbkRow =
    QByteArray::fromHex("c0eeb0d72c4c69204261692cb9abcec4c7a92cc0ee2e706e670d0a");
const QStringList BothPictures{QStringLiteral("李.png"), QStringLiteral("王.png")};

// UTF-16 little-endian, as a spreadsheet saves "Unicode text".
QByteArray utf16(const QByteArray& utf8)
{
    const QString text = QString::fromUtf8(utf8);
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Batches,
    testing::Values(
        BatchCase{"Utf8", BatchRows, "UTF-8", 2, ExitOk, BothPictures},
        BatchCase{"Utf8WithMark", "\xEF\xBB\xBF" + BatchRows, "UTF-8", 2, ExitOk, BothPictures},
        BatchCase{"Gbk",
                  QByteArray::fromHex("cdf5cffec3f72c5869616f6d696e672cd2d5caf5c7a92ccdf52e706e"
                                      "670d0a") +
                      GbkRow,
                  "GB18030", 2, ExitOk, BothPictures},
        BatchCase{"LineEndInQuotes",
                  "\"王\n晓明\",Xiaoming,艺术签,王.png\r\n李白,Li Bai,公文签,李.png\r\n", "UTF-8", 2,
                  ExitOk, BothPictures},
        BatchCase{"OneGbkRow", "王晓明,Xiaoming,艺术签,王.png\r\n" + GbkRow, "UTF-8 and GB18030", 2,
                  ExitOk, BothPictures},
        BatchCase{"RowInNeither", BatchRows + "\xFF\xFE\xFD,x,,bad.png\n", "UTF-8 and GB18030", 3,
                  ExitFailure, BothPictures, "row 3: the row is neither UTF-8 nor GB18030"},
        BatchCase{"StrayQuoteIsACharacter", "张\"三,Zhang\n李四,Li\n王五,Wang\n", "UTF-8", 3, ExitOk,
                  {QStringLiteral("0001.png"), QStringLiteral("0002.png"),
                   QStringLiteral("0003.png")}},
        BatchCase{"QuoteThatNeverCloses", "\"张三,Zhang\n李四,Li\n", "", 0, ExitFailure, {},
                  "row 1: a quoted field never closes"},
        BatchCase{"CrLineEnds", "王晓明,Xiaoming,艺术签,王.png\r李白,Li Bai,公文签,李.png\r", "UTF-8", 2,
                  ExitOk, BothPictures},
        BatchCase{"Utf16WithMark", "\xFF\xFE" + utf16(BatchRows), "UTF-8", 2, ExitOk,
                  BothPictures},
        BatchCase{"Utf16WithoutMark", utf16("Wang,Wang\r\nLi,Li\r\n"), "UTF-8", 5, ExitFailure, {},
                  "row 1: the row holds a NUL byte"},
        BatchCase{"NameTooLong", "王,Wang\n" + QByteArray(1001 * 3, 'x').replace("xxx", "王") +
                  ",Wang\n", "UTF-8", 2, ExitFailure, {QStringLiteral("0001.png")},
                  "row 2: the name is longer than 1000 characters"},
        BatchCase{"RowTooLong", "王,Wang\n李,Li,," + QByteArray(70 * 1024, 'x') + ".png\n", "UTF-8",
                  2, ExitFailure, {QStringLiteral("0001.png")}, "row 2: the row is longer than 64 KB"},
        BatchCase{"RowsNamingOneFile", "王,Wang,,a.png\n李,Li,,a.png\n张,Zhang,,a.png\n赵,Zhao\n",
                  "UTF-8", 4, ExitFailure, {}, "rows 1, 2 and 3 name the same file"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadArguments
{
    const char* name;
    QStringList args;
    const char* says;
};

class RenderCommandErrors : public testing::TestWithParam<BadArguments>
{
};

// Paths under OUT/ are in a fresh folder, which stays empty.
TEST_P(RenderCommandErrors, ExitWith2AndOneClearLineAndWriteNothing)
{
    QTemporaryDir out;
    QStringList args = GetParam().args;
    for (QString& arg : args)
        arg.replace(QLatin1String("OUT/"), out.path() + u'/');
    const Outcome r = render(args);
    EXPECT_TRUE(QDir(out.path()).isEmpty());
    EXPECT_EQ(r.code, ExitBadArguments);
    EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(GetParam().says))) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderCommandErrors,
    testing::Values(
        BadArguments{"UnknownOption", {"--bogus", "-o", "OUT/x.png"}, "bogus"},
        BadArguments{"NoOutput", {}, "no output"},
        BadArguments{"UnknownStyle", {"--style", "无", "-o", "OUT/x.png"}, "no style named"},
        BadArguments{"BadSize", {"--size", "72abc", "-o", "OUT/x.png"}, "size"},
        BadArguments{"BadColour", {"--color", "red", "-o", "OUT/x.png"}, "colour"},
        BadArguments{"BadPosition", {"--pos", "12", "-o", "OUT/x.png"}, "position"},
        BadArguments{"ScaleTooLarge", {"--scale", "9", "-o", "OUT/x.png"}, "scale"},
        BadArguments{"UnknownBackground", {"--background", "99", "-o", "OUT/x.png"}, "background"},
        BadArguments{"UnknownFormat", {"-o", "OUT/x.gif"}, "format"},
        BadArguments{"TransparentJpeg", {"--transparent", "-o", "OUT/x.jpg"}, "transparent"},
        BadArguments{"StampWithoutPlace", {"--stamp", "OUT/c.pdf", "-o", "OUT/x.pdf"}, "--at"},
        BadArguments{"StampIntoAPicture",
                     {"--stamp", "OUT/c.pdf", "--at", "1,1", "-o", "OUT/x.png"},
                     ".pdf output"},
        BadArguments{"PlaceOffThePage",
                     {"--stamp", "OUT/c.pdf", "--at", "-3,1", "-o", "OUT/x.pdf"},
                     "millimetres"},
        BadArguments{"SheetAsPdf", {"--sheet", "-o", "OUT/x.pdf"}, "raster"},
        BadArguments{"PageWithoutStamp", {"--page", "2", "-o", "OUT/x.pdf"}, "--page goes with"},
        BadArguments{"CertificateFlattened",
                     {"--stamp", "OUT/c.pdf", "--at", "1,1", "--sign-with", "OUT/id.p12",
                      "--flatten", "-o", "OUT/x.pdf"},
                     "--flatten would rewrite"},
        BadArguments{"PasswordWithoutCertificate",
                     {"--stamp", "OUT/c.pdf", "--at", "1,1", "--password-file", "OUT/pw", "-o",
                      "OUT/x.pdf"},
                     "--password-file goes with --sign-with"},
        BadArguments{"SignerLinesOnASealCutAcross",
                     {"--style", "篆印体", "--stamp", "OUT/c.pdf", "--at", "1,1", "--across-pages",
                      "--sign-with", "OUT/id.p12", "--signer-lines", "-o", "OUT/x.pdf"},
                     "would be cut with it"},
        BadArguments{"ShardPastItsCount",
                     {"--batch", "OUT/rows.csv", "--shard", "4/3", "-o", "OUT/out"}, "K/N"},
        BadArguments{"NoJobs", {"--batch", "OUT/rows.csv", "--jobs", "0", "-o", "OUT/out"},
                     "from 1 to 256"},
        BadArguments{"JobsWithoutBatch", {"--jobs", "2", "-o", "OUT/x.png"},
                     "--jobs goes with --batch"},
        BadArguments{"ReversedPageRange",
                     {"--stamp", "OUT/c.pdf", "--at", "1,1", "--page", "5-3", "-o", "OUT/x.pdf"},
                     "\"5-3\" is not a page number"},
        BadArguments{"AcrossPagesWithoutASeal",
                     {"--stamp", "OUT/c.pdf", "--at", "1,1", "--across-pages", "-o", "OUT/x.pdf"},
                     "--style 篆印体"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RenderCommandList, ListsStylesAndBackgroundsWithTheirPositions)
{
    const Outcome r = render({QStringLiteral("--list")});
    EXPECT_EQ(r.code, ExitOk);
    EXPECT_TRUE(r.out.contains(QStringLiteral("\t公文签\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("  1\t宣纸\n")));
    EXPECT_EQ(render({QStringLiteral("--help")}).code, ExitOk);
}

TEST(RenderCommandList, AFailureToWriteExitsWith1)
{
    const Outcome r = render({QStringLiteral("-o"), QStringLiteral("/nonexistent-folder/x.png")});
    EXPECT_EQ(r.code, ExitFailure);
    EXPECT_TRUE(r.err.contains(QStringLiteral("cannot write")));
}

} // namespace
