// Data from anywhere: broken fonts and pictures, odd names, huge folders, odd sizes and names.
// Each gets a clear message or a sound drawing; none may crash or hang.
#include "app/startup.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "drawsignature.h"
#include "fakeplatform.h"
#include "kit.h"
#include "output/saveimage.h"
#include "pixels.h"
#include "render/imagesurface.h"
#include "render/names.h"
#include "rendercli.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray randomBytes(qsizetype n)
{
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator rng(7);
    rng.fillRange(reinterpret_cast<quint32*>(b.data()), n / 4);
    return b;
}

quint32 crc32(const QByteArray& data)
{
    quint32 c = 0xFFFFFFFF;
    for (const char byte : data) {
        c ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
    }
    return ~c;
}

// Draws every style of the folder with every name, centred and far away; counts the drawings.
int drawEveryStyle(Platform& platform, const QString& folder, const QStringList& names,
                   double size)
{
    const ProgramValues values = startProgram(folder, platform);
    const Catalogue catalogue = loadCatalogue(values.appPath);
    AppFontTable fonts;
    ImageSurface surface;
    int drawings = 0;
    for (int i = 0; i < catalogue.styles.size(); ++i) {
        for (const QString& name : names) {
            SignatureSpec in;
            in.chineseName = in.latinName = name;
            in.style = catalogue.styles.value(i);
            in.points = size;
            drawSignature(surface, fonts, values, in);
            drawSignature(surface, fonts, values,
                          at(in, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()));
            drawings += 2;
        }
    }
    return drawings;
}

// A folder laid out like the kit, filled by each test.
class HostileData : public testing::Test
{
protected:
    QTemporaryDir dir;
    FakePlatform platform;
    QString app() const { return dir.path() + u'/'; }
    QString kitFont(const QString& style) const
    {
        const Catalogue c = loadCatalogue(kitDir());
        return c.styles.value(c.indexOfStyle(style)).files.value(0);
    }
    void fileStyle(const QString& fileName, const QByteArray& bytes)
    {
        writeBytes(app() + QStringLiteral("fonts/电脑字/") + fileName, bytes);
    }

    int drawEverything(const QStringList& names)
    {
        return drawEveryStyle(platform, app(), names, 72);
    }
};

TEST_F(HostileData, BrokenFontFilesDrawInASubstituteFace)
{
    const QByteArray real = readBytes(kitFont(DefaultStyle));
    ASSERT_GT(real.size(), 100000);
    fileStyle(QStringLiteral("空(Empty).dat"), QByteArray());
    fileStyle(QStringLiteral("文本(Text).DAT"), "this is not a font\n");
    fileStyle(QStringLiteral("截断(Cut).dat"), real.left(real.size() / 3));
    fileStyle(QStringLiteral("头部(Head).dat"), real.left(2000));
    fileStyle(QStringLiteral("巨大(Huge).dat"), randomBytes(50 * 1024 * 1024));
    fileStyle(QStringLiteral("拉丁(svc1).dat"),
              readBytes(kitDir() + QStringLiteral("fonts/英文签-流畅/svc1.dat")));
    fileStyle(QStringLiteral("没有括号.dat"), real.left(5000));
    fileStyle(QStringLiteral("多余(A))B).dat"), QByteArray());
    // A folder style with only its first file, and one whose files are not fonts.
    writeBytes(app() + QStringLiteral("fonts/单文件/abc1.dat"), real);
    writeBytes(app() + QStringLiteral("fonts/假字体/xyz1.dat"), "nope");
    const int styles = 10;
    EXPECT_EQ(drawEverything({QStringLiteral("王晓明"), QStringLiteral("Ab")}), styles * 2 * 2);
}

// The window says which font file cannot be read, once, when its style is chosen.
TEST_F(HostileData, TheWindowSaysWhichFontFileCannotBeRead)
{
    fileStyle(QStringLiteral("公文签(SorvexGongwen).dat"), readBytes(kitFont(DefaultStyle)));
    fileStyle(QStringLiteral("截断(Cut).dat"), readBytes(kitFont(DefaultStyle)).left(2000));
    writeBytes(app() + QStringLiteral("data/fuxing.dat"), " 欧阳-欧X\r\n");
    const ProgramValues values = startProgram(app(), platform);
    MainWindow w(values, platform);
    EXPECT_TRUE(platform.messages.empty());
    auto* styles = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    for (int pick = 0; pick < 2; ++pick) {
        const int cut = styles->findText(QStringLiteral("截断"));
        styles->setCurrentIndex(cut);
        Q_EMIT styles->activated(cut);
    }
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.contains(QStringLiteral("截断(Cut).dat")));
    EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
    // And for as long as it is drawn so, the line below the buttons says it; and which
    // characters no face draws.
    auto* status = w.findChild<QLabel*>(QStringLiteral("lblStatus"));
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->text().contains(QStringLiteral("别的字体"))) << status->text().toStdString();
    const int good = styles->findText(DefaultStyle);
    styles->setCurrentIndex(good);
    Q_EMIT styles->activated(good);
    EXPECT_TRUE(status->text().isEmpty());
    w.findChild<QLineEdit*>(QStringLiteral("txtCN"))->setText(QStringLiteral("王\U00020000"));
    EXPECT_TRUE(status->text().contains(QStringLiteral("\U00020000"))) << status->text().toStdString();
}

TEST_F(HostileData, AFontThatVanishesAfterListingDrawsInASubstitute)
{
    fileStyle(QStringLiteral("公文签(SorvexGongwen).dat"), readBytes(kitFont(DefaultStyle)));
    const ProgramValues values = startProgram(app(), platform);
    const Catalogue catalogue = loadCatalogue(values.appPath);
    ASSERT_TRUE(QFile::remove(catalogue.styles.first().files.first()));
    AppFontTable fonts;
    ImageSurface surface;
    SignatureSpec in;
    in.chineseName = SampleChineseName;
    in.style = catalogue.styles.value(0);
    EXPECT_FALSE(drawSignature(surface, fonts, values, in).inkBox.isEmpty())
        << "drawn in a substitute face";
}

TEST_F(HostileData, BrokenPicturesAreRefusedWithAReason)
{
    const QByteArray jpeg = readBytes(loadCatalogue(kitDir()).backgrounds.value(1).path);
    ASSERT_TRUE(jpeg.startsWith("\xff\xd8"));
    QImage png(64, 64, QImage::Format_RGB32);
    png.fill(Qt::green);
    png.save(dir.filePath(QStringLiteral("ok.png")));
    QByteArray badCrc = readBytes(dir.filePath(QStringLiteral("ok.png")));
    badCrc[badCrc.indexOf("IDAT") + 6] = char(badCrc[badCrc.indexOf("IDAT") + 6] ^ 0x55);
    // A header that claims 30000 x 30000 pixels: a few bytes on disk, gigabytes decoded.
    QByteArray bomb = readBytes(dir.filePath(QStringLiteral("ok.png")));
    const qsizetype ihdr = bomb.indexOf("IHDR") + 4;
    for (int i = 0; i < 2; ++i) {
        bomb[ihdr + i * 4 + 0] = 0;
        bomb[ihdr + i * 4 + 1] = 0;
        bomb[ihdr + i * 4 + 2] = char(30000 >> 8);
        bomb[ihdr + i * 4 + 3] = char(30000 & 0xFF);
    }
    const quint32 crc = crc32(bomb.mid(ihdr - 4, 4 + 13));
    for (int i = 0; i < 4; ++i)
        bomb[ihdr + 13 + i] = char(crc >> (24 - 8 * i));
    // BMPs whose header promises pixels the file does not hold: decoded, they would show memory
    // that was never written.
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(Qt::green);
    small.save(dir.filePath(QStringLiteral("ok.bmp")));
    const QByteArray bmp = readBytes(dir.filePath(QStringLiteral("ok.bmp")));
    QByteArray offsetPastEnd = bmp;
    const quint32 past = quint32(bmp.size() + 4096);
    for (int i = 0; i < 4; ++i)
        offsetPastEnd[10 + i] = char(past >> (8 * i));
    const QByteArray pixelsCut = bmp.left(bmp.size() - 1200);
    const std::pair<const char*, QByteArray> broken[] = {{"bad-crc.png", badCrc},
                                                         {"offset-past-end.bmp", offsetPastEnd},
                                                         {"pixels-cut.bmp", pixelsCut},
                                                         {"text.jpg", "GIF89a? no, just text"},
                                                         {"empty.png", {}},
                                                         {"bomb.png", bomb},
                                                         {"folder.jpg/inner", "x"}};
    for (const auto& [name, bytes] : broken) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeBytes(path, bytes);
        ImageSurface surface;
        const QString target = QByteArray(name).contains('/') ? QFileInfo(path).path() : path;
        EXPECT_FALSE(surface.setBackground(target));
        EXPECT_FALSE(surface.backgroundError().isEmpty());
        EXPECT_EQ(surface.image().pixel(5, 5), qRgb(255, 255, 255));
    }
    ImageSurface surface;
    EXPECT_FALSE(surface.setBackground(dir.filePath(QStringLiteral("bomb.png"))));
    EXPECT_TRUE(surface.backgroundError().contains(QStringLiteral("30000")));

    // A truncated JPEG shows what could be decoded; tiny and huge pictures sit top-left.
    writeBytes(dir.filePath(QStringLiteral("cut.jpg")), jpeg.left(jpeg.size() / 2));
    EXPECT_TRUE(surface.setBackground(dir.filePath(QStringLiteral("cut.jpg"))));
    QImage tiny(3, 2, QImage::Format_RGB32);
    tiny.fill(Qt::blue);
    tiny.save(dir.filePath(QStringLiteral("tiny.bmp")));
    EXPECT_TRUE(surface.setBackground(dir.filePath(QStringLiteral("tiny.bmp"))));
    EXPECT_EQ(surface.image().pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(surface.image().pixel(3, 1), qRgb(255, 255, 255));
    QImage large(5000, 4000, QImage::Format_RGB32);
    large.fill(Qt::red);
    large.save(dir.filePath(QStringLiteral("large.jpg")));
    EXPECT_TRUE(surface.setBackground(dir.filePath(QStringLiteral("large.jpg"))));
    EXPECT_GT(qRed(surface.image().pixel(387, 260)), 200);
    // Under the program's own limit, above what Qt decodes by default (128 MB).
    QImage huge(5800, 5800, QImage::Format_RGB888);
    huge.fill(Qt::blue);
    ASSERT_TRUE(huge.save(dir.filePath(QStringLiteral("huge.png")), "PNG", 100));
    EXPECT_TRUE(surface.setBackground(dir.filePath(QStringLiteral("huge.png"))))
        << surface.backgroundError().toStdString();
    EXPECT_EQ(surface.image().pixel(387, 260), qRgb(0, 0, 255));
}

TEST_F(HostileData, TheWindowTellsWhichBackgroundCannotBeShownAndGoesOn)
{
    fileStyle(QStringLiteral("公文签(SorvexGongwen).dat"), readBytes(kitFont(DefaultStyle)));
    writeBytes(app() + QStringLiteral("images/01-好.png"),
               readBytes(kitDir() + QStringLiteral("images/01-纯白.png")));
    writeBytes(app() + QStringLiteral("images/02-坏.jpg"), "broken");
    writeBytes(app() + QStringLiteral("data/fuxing.dat"), " 欧阳-欧X\r\n");
    const ProgramValues values = startProgram(app(), platform);
    MainWindow w(values, platform);
    EXPECT_TRUE(platform.messages.empty()) << "the starting background is not reported";
    auto* images = w.findChild<QComboBox*>(QStringLiteral("cboImg"));
    images->setCurrentIndex(1);
    Q_EMIT images->activated(1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.contains(QStringLiteral("02-坏.jpg")));
    EXPECT_FALSE(inkBox(w.picture(), darkInk).isEmpty()) << "the name is still drawn";
    EXPECT_TRUE(w.findChild<QLabel*>(QStringLiteral("lblStatus"))->text().contains(
        QStringLiteral("白底")));
}

// Without the default style the window opens on the first, with that style's size and ink, and
// a picture drawn again for saving or printing is the one shown.
TEST_F(HostileData, AKitWithoutTheDefaultStyleOpensOnItsFirst)
{
    fileStyle(QStringLiteral("篆印体(SorvexZhuanyin).dat"), readBytes(kitFont(SealStyle)));
    const ProgramValues values = startProgram(app(), platform);
    MainWindow w(values, platform);
    EXPECT_EQ(w.findChild<QComboBox*>(QStringLiteral("cboFont"))->currentText(), SealStyle);
    EXPECT_EQ(w.findChild<QComboBox*>(QStringLiteral("cboSize"))->currentText(), "48");
    EXPECT_EQ(w.inkColor(), SealFrameColor);
    const auto red = [](QRgb c) {
        return qRed(c) > 150 && qGreen(c) < 80;
    };
    const QRect shown = inkBox(w.picture(), red), twice = inkBox(w.picture(2), red);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_NEAR(twice.left(), 2 * shown.left(), 2);
    EXPECT_NEAR(twice.width(), 2 * shown.width(), 3);
}

TEST_F(HostileData, OddCompoundSurnameListsFindWhatTheyCan)
{
    fileStyle(QStringLiteral("公文签(SorvexGongwen).dat"), readBytes(kitFont(DefaultStyle)));
    const QString head = kitDir() + QStringLiteral("fonts/艺术签/sva");
    for (int k = 1; k <= 3; ++k)
        writeBytes(app() + QStringLiteral("fonts/艺术签/sva%1.dat").arg(k),
                   readBytes(head + QString::number(k) + ".dat"));
    const QByteArray utf8 = QStringLiteral(" 欧阳-欧\uE000").toUtf8();
    const QByteArray lists[] = {QByteArray("\xff\xfe\x80 \xc5\xb7\xd1\xf4-"), utf8,
                                QByteArray("\r\n"), QByteArray(" \xc5\xb7\xd1\xf4-\xc5\xb7"),
                                QByteArray(10 * 1024 * 1024, ' ') +
                                    " \xc5\xb7\xd1\xf4-\xc5\xb7\xaa\xa1"};
    for (const QByteArray& list : lists) {
        writeBytes(app() + QStringLiteral("data/fuxing.dat"), list);
        EXPECT_EQ(drawEverything({QStringLiteral("欧阳娜娜"), QStringLiteral("欧")}), 8);
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(HostileData, HugeAndOddlyNamedFoldersList)
{
    for (int i = 0; i < 5000; ++i) {
        // Each folder with a file of its own: one without any is not listed.
        QDir().mkpath(app() + QStringLiteral("fonts/s%1").arg(i, 4, 10, QLatin1Char('0')));
        writeBytes(app() + QStringLiteral("fonts/s%1/sss1.dat").arg(i, 4, 10, QLatin1Char('0')),
                   {});
        writeBytes(app() + QStringLiteral("images/%1-背景%1.png").arg(i), {});
    }
    const QStringList odd = {QStringLiteral("带 空格(F).dat"), QStringLiteral("引\"号'(F).dat"),
                             QStringLiteral("百分%s%n(F).dat"), QStringLiteral("表情😀(F).dat"),
                             QString(80, u'长') + QStringLiteral("(F).dat")};
    for (const QString& name : odd)
        fileStyle(name, {});
    // A name that is not UTF-8, and a symbolic link that points at itself.
    const QByteArray raw =
        QFile::encodeName(app() + QStringLiteral("fonts/电脑字/")) + "bad\xff\xfe(F).dat";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(
        ::symlink("loop", QFile::encodeName(app() + QStringLiteral("fonts/loop")).constData()), 0);
    ASSERT_EQ(
        ::symlink("loop2", QFile::encodeName(app() + QStringLiteral("images/loop2")).constData()),
        0);

    const Catalogue c = loadCatalogue(app());
    ::unlink(raw.constData()); // the temporary folder cannot remove what it cannot name
    // The name that is not UTF-8 is not listed: no path could reach the file.
    EXPECT_EQ(c.styles.size(), 5000 + 5) << c.styleNames().mid(5000).join(u'|').toStdString();
    EXPECT_EQ(c.backgrounds.size(), 5000);
    EXPECT_TRUE(c.styleNames().contains(QStringLiteral("表情😀")));
    EXPECT_TRUE(c.styleNames().contains(QStringLiteral("百分%s%n")));

    const ProgramValues values = startProgram(app(), platform);
    MainWindow w(values, platform);
    EXPECT_EQ(w.findChild<QComboBox*>(QStringLiteral("cboFont"))->count(), 5005);
}

TEST_F(HostileData, MissingFoldersGiveAnEmptyWindowThatStillWorks)
{
    const ProgramValues values = startProgram(app(), platform);
    ASSERT_EQ(platform.messages.size(), 1u) << "the missing list is reported once";
    MainWindow w(values, platform);
    platform.saveAnswers.push_back(Platform::SaveAnswer{dir.filePath(QStringLiteral("blank")), 1});
    QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("imgSave")), Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("blank.bmp"))));
}

TEST(HostileNames, LongAndStrangeNamesDrawInEveryKitStyle)
{
    QString surrogates;
    for (int i = 0; i < 10; ++i)
        surrogates += QChar(0xD800 + i);
    const QStringList names = {QString(10000, u'字'),
                               QString(10000, u'A'),
                               surrogates,
                               QStringLiteral("\u0301\u0301\u0301"),
                               QStringLiteral("\uFFFD\u200B"),
                               QStringLiteral("😀😀")};
    FakePlatform platform;
    const int styles = int(loadCatalogue(kitDir()).styles.size());
    EXPECT_EQ(drawEveryStyle(platform, kitDir(), names, 190),
              styles * names.size() * 2);
}

// A name of 10,000 characters rasterises only the glyphs that can show, in every style, centred
// or dragged: the picture holds a few dozen at 72 points, never thousands.
// A batch's faces live and die on the thread that draws with them: the program ends as it
// should, run after run (it died at exit four runs in five when they did not).
TEST(HostileNames, ABatchEndsCleanlyEveryTime)
{
    QTemporaryDir dir;
    QFile list(dir.filePath(QStringLiteral("m.csv")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("王晓明,,潇洒签,a.png\n王玥,,潇洒签,b.png\n");
    list.close();
    for (int run = 0; run < 6; ++run) {
        SCOPED_TRACE(run);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                {QStringLiteral("--batch"), list.fileName(), QStringLiteral("--data"), kitDir(),
                 QStringLiteral("-o"), dir.filePath(QStringLiteral("out%1").arg(run))});
        ASSERT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("out%1/b.png").arg(run))));
    }
}

TEST(HostileNames, AVeryLongNameRasterisesOnlyWhatShows)
{
    FakePlatform platform;
    const ProgramValues values = startProgram(kitDir(), platform);
    const Catalogue catalogue = loadCatalogue(values.appPath);
    AppFontTable fonts;
    for (int i = 0; i < catalogue.styles.size(); ++i) {
        for (const auto& [x, y] : {std::pair(-1, -1), std::pair(0, 0), std::pair(-300000, 600)}) {
            SCOPED_TRACE(catalogue.styles[i].name.toStdString() + " at " + std::to_string(x));
            ImageSurface surface;
            SignatureSpec in;
            in.chineseName = QString(10000, u'王');
            in.latinName = QString(10000, u'm');
            in.style = catalogue.styles.value(i);
            drawSignature(surface, fonts, values, at(in, x, y));
            EXPECT_LE(surface.glyphsRasterised(), 64);
        }
    }
}

// Centred, a folder style's middle piece of 17,000 characters at 190 points starts millions of
// pixels to the left, and crosses the picture all the same.
TEST(HostileNames, ANameThatStartsFarOffShowsWhereItCrossesThePicture)
{
    FakePlatform platform;
    const ProgramValues values = startProgram(kitDir(), platform);
    const Catalogue catalogue = loadCatalogue(values.appPath);
    AppFontTable fonts;
    ImageSurface surface;
    SignatureSpec in;
    in.chineseName = QString(17000, u'王');
    in.style = catalogue.styles.value(catalogue.indexOfStyle(QStringLiteral("艺术签")));
    in.points = 190;
    drawSignature(surface, fonts, values, in);
    EXPECT_GT(countPixels(surface.image(), darkInk), 2000);
}

// Files that are not regular files, where the program reads one: a FIFO would block on open for
// ever, a device would be read without end. Each gets the warning a missing file gets.
enum class Special { Fifo, Zero, Random };
enum class Reads { SurnameList, Background, Font, BatchList };

struct SpecialFileCase
{
    const char* name;
    Reads reads;
    Special special;
};

class SpecialFiles : public testing::TestWithParam<SpecialFileCase>
{
protected:
    QTemporaryDir dir;
    QString app() const { return dir.path() + u'/'; }

    // Puts the special file at `path`, in place of whatever was there.
    void makeSpecial(const QString& path) const
    {
        QFile::remove(path);
        QDir().mkpath(QFileInfo(path).path());
        const QByteArray name = QFile::encodeName(path);
        switch (GetParam().special) {
        case Special::Fifo:
            ASSERT_EQ(::mkfifo(name.constData(), 0644), 0);
            break;
        case Special::Zero:
            ASSERT_EQ(::symlink("/dev/zero", name.constData()), 0);
            break;
        case Special::Random:
            ASSERT_EQ(::symlink("/dev/urandom", name.constData()), 0);
            break;
        }
    }
};

TEST_P(SpecialFiles, AreRefusedWithTheUsualWarningAndNeverBlock)
{
    FakePlatform platform;
    switch (GetParam().reads) {
    case Reads::SurnameList: {
        makeSpecial(app() + QStringLiteral("data/fuxing.dat"));
        const ProgramValues values = startProgram(app(), platform);
        EXPECT_TRUE(values.compoundSurnames.isEmpty());
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_TRUE(platform.messages[0].text.startsWith(QStringLiteral("不存在该文件或该文件不能访问！")));
        EXPECT_TRUE(platform.messages[0].text.contains(QStringLiteral("data/fuxing.dat")))
            << "the file is named";
        EXPECT_TRUE(platform.messages[0].text.contains(QStringLiteral("复姓"))) << "and what follows";
        break;
    }
    case Reads::Background: {
        // Listed as a picture, then replaced before it is drawn.
        writeBytes(app() + QStringLiteral("images/01-甲.png"), "not yet");
        writeBytes(app() + QStringLiteral("images/02-乙.png"), "not yet");
        const ProgramValues values = startProgram(app(), platform);
        MainWindow w(values, platform);
        makeSpecial(app() + QStringLiteral("images/01-甲.png"));
        auto* cboImg = w.findChild<QComboBox*>(QStringLiteral("cboImg"));
        cboImg->setCurrentIndex(0);
        Q_EMIT cboImg->activated(0);
        ASSERT_FALSE(platform.messages.empty());
        EXPECT_TRUE(platform.messages.back().text.contains(QStringLiteral("01-甲.png")));
        break;
    }
    case Reads::Font: {
        // Listed as a font, then replaced before it is drawn with: a substitute draws.
        const QString font = app() + QStringLiteral("fonts/电脑字/特(Special).dat");
        writeBytes(font, "not yet");
        const ProgramValues values = startProgram(app(), platform);
        const Catalogue catalogue = loadCatalogue(values.appPath);
        makeSpecial(font);
        AppFontTable fonts;
        ImageSurface surface;
        SignatureSpec in;
        in.chineseName = QStringLiteral("王晓明");
        in.style = catalogue.styles.value(0);
        drawSignature(surface, fonts, values, in);
        break;
    }
    case Reads::BatchList: {
        makeSpecial(app() + QStringLiteral("rows.csv"));
        const Outcome r = render({QStringLiteral("--batch"), app() + QStringLiteral("rows.csv"),
                                  QStringLiteral("-o"), app() + QStringLiteral("out")});
        EXPECT_EQ(r.code, ExitFailure);
        EXPECT_TRUE(r.err.contains(QStringLiteral("cannot read"))) << r.err.toStdString();
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpecialFiles,
    testing::Values(SpecialFileCase{"SurnameListFifo", Reads::SurnameList, Special::Fifo},
                    SpecialFileCase{"SurnameListZero", Reads::SurnameList, Special::Zero},
                    SpecialFileCase{"SurnameListRandom", Reads::SurnameList, Special::Random},
                    SpecialFileCase{"BackgroundFifo", Reads::Background, Special::Fifo},
                    SpecialFileCase{"BackgroundZero", Reads::Background, Special::Zero},
                    SpecialFileCase{"FontFifo", Reads::Font, Special::Fifo},
                    SpecialFileCase{"FontRandom", Reads::Font, Special::Random},
                    SpecialFileCase{"BatchListFifo", Reads::BatchList, Special::Fifo},
                    SpecialFileCase{"BatchListZero", Reads::BatchList, Special::Zero}),
    [](const auto& info) { return std::string(info.param.name); });

// A full file system: every way of writing a picture keeps the file that was there, leaves no
// new one half written, and says so.
struct FullDiskCase
{
    const char* name;
    const char* file;
    bool existing;
    bool window;   // through the window's save, else the command line
    bool readOnly; // mounted read-only, else full
};

class FullDisk : public testing::TestWithParam<FullDiskCase>
{
protected:
    QTemporaryDir dir;
    QByteArray mount = QFile::encodeName(dir.path());

    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "mounting a small file system needs root";
        if (std::system(
                ("mount -t tmpfs -o size=256k sorvextest " + mount + " 2>/dev/null").constData()) !=
            0)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        if (GetParam().existing)
            writeBytes(dir.filePath(QString::fromUtf8(GetParam().file)), "old picture");
        // Fills every byte that is left.
        writeBytes(dir.filePath(QStringLiteral("filler")), QByteArray(256 * 1024, 'x'));
        if (GetParam().readOnly) {
            ASSERT_EQ(std::system(("mount -o remount,ro " + mount).constData()), 0);
        }
    }
    void TearDown() override { std::system(("umount " + mount + " 2>/dev/null").constData()); }
};

TEST_P(FullDisk, KeepsTheOldFileLeavesNoPartOneAndSaysSo)
{
    const FullDiskCase& c = GetParam();
    const QString path = dir.filePath(QString::fromUtf8(c.file));
    QString said;
    if (c.window) {
        FakePlatform platform;
        platform.saveAnswers.push_back(Platform::SaveAnswer{path, 1});
        QImage picture(388, 261, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        saveSignature(platform, [&picture](bool, int) { return picture; });
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
        said = platform.messages[0].text;
        // Every word the window says is Chinese; only the path may hold Latin letters.
        EXPECT_FALSE(
            QString(said).remove(path).contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
            << said.toStdString();
    } else {
        const Outcome r = render({QStringLiteral("-o"), path});
        EXPECT_EQ(r.code, ExitFailure);
        said = r.err;
    }
    EXPECT_TRUE(said.contains(path)) << said.toStdString();
    if (c.existing)
        EXPECT_EQ(readBytes(path), "old picture");
    else
        EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), c.existing ? 2 : 1)
        << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FullDisk,
    testing::Values(FullDiskCase{"WindowBmp", "sig.bmp", true, true, false},
                    FullDiskCase{"WindowNewPng", "new.png", false, true, false},
                    FullDiskCase{"WindowSmallPng", "sig.png", true, true, false},
                    FullDiskCase{"WindowReadOnly", "sig.bmp", true, true, true},
                    FullDiskCase{"CommandLinePng", "sig.png", true, false, false},
                    FullDiskCase{"CommandLineJpeg", "sig.jpg", true, false, false},
                    FullDiskCase{"CommandLineSvg", "keep.svg", true, false, false},
                    FullDiskCase{"CommandLineNewSvg", "new.svg", false, false, false},
                    FullDiskCase{"CommandLineReadOnly", "sig.png", true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
