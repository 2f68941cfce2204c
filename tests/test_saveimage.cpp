#include "fakeplatform.h"
#include "output/pngwriter.h"
#include "output/filewrite.h"
#include "output/saveimage.h"
#include "ui/qtplatform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct PathCase
{
    const char* typed;
    int filter;
    const char* saved;
};

class SavePathCompletion : public testing::TestWithParam<PathCase>
{
};

TEST_P(SavePathCompletion, OnlyABareLastComponentGetsAnExtension)
{
    EXPECT_EQ(completeSavePath(QString::fromUtf8(GetParam().typed), GetParam().filter),
              QString::fromUtf8(GetParam().saved));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SavePathCompletion,
    testing::Values(PathCase{"/tmp/sig", 1, "/tmp/sig.bmp"},
                    PathCase{"/tmp/sig", 2, "/tmp/sig.jpg"},
                    PathCase{"/tmp/sig.png", 1, "/tmp/sig.png"},
                    PathCase{"/tmp/sig.png", 2, "/tmp/sig.png"},
                    PathCase{"/tmp/release.2/sig", 1, "/tmp/release.2/sig.bmp"},
                    PathCase{"/tmp/sig.", 2, "/tmp/sig."}, PathCase{"sig", 3, "sig.png"},
                    PathCase{"sig", 4, "sig.png"}, PathCase{"sig", 7, "sig.png"},
                    PathCase{"sig", 8, "sig.jpg"}));

QImage samplePicture()
{
    QImage image(388, 261, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    return image;
}

// The picture as shown, or with `transparent` the drawing alone.
QImage samplePictures(bool transparent, int)
{
    if (!transparent)
        return samplePicture();
    QImage image(388, 261, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setPixel(100, 100, qRgb(0, 0, 0));
    return image;
}

struct BandCase
{
    const char* name;
    bool transparent;
    int changedTop, changedBottom; // rows drawn over the background
};

class PngBands : public testing::TestWithParam<BandCase>
{
};

// A PNG that reuses a background's compressed rows decodes to exactly the picture: the rows
// taken from the background, the rows compressed afresh, and the seams between them.
TEST_P(PngBands, DecodeToThePictureExactly)
{
    const BandCase& c = GetParam();
    QImage background = samplePictures(false, 1);
    if (c.transparent) {
        background = QImage(388, 261, QImage::Format_ARGB32_Premultiplied);
        background.fill(Qt::transparent);
    }
    QImage picture = background.copy();
    for (int y = std::max(c.changedTop, 0); y <= std::min(c.changedBottom, 260); ++y)
        for (int x = 40; x < 300; x += 3)
            picture.setPixel(x, y, qRgba(0, 0, 200, 255));
    const PngBackground bands(background);
    const int top = std::max(c.changedTop, 0);
    const QImage changed = c.changedBottom < c.changedTop
                               ? QImage()
                               : picture.copy(0, top, 388, c.changedBottom - top + 1);
    const std::optional<QByteArray> bytes = encodePngOver(bands, changed, top);
    ASSERT_TRUE(bytes);
    const QImage decoded = QImage::fromData(*bytes, "PNG");
    ASSERT_FALSE(decoded.isNull());
    const QImage::Format format =
        c.transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    EXPECT_EQ(decoded.convertToFormat(format), picture.convertToFormat(format));
}

INSTANTIATE_TEST_SUITE_P(Table, PngBands,
                         testing::Values(BandCase{"Middle", false, 100, 140},
                                         BandCase{"OnABandEdge", false, 16, 31},
                                         BandCase{"FirstAndLastRows", false, 0, 260},
                                         BandCase{"NothingDrawn", false, 0, -1},
                                         BandCase{"TransparentMiddle", true, 50, 120}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SaveSignature, EachFormatDecodesAsItsExtensionSays)
{
    QTemporaryDir dir;
    const QImage picture = samplePicture();
    // Any other extension gets the data of the type chosen in the dialog, under the name typed;
    // another picture type's gets the chosen type's suffix after it.
    const std::tuple<const char*, int, const char*> cases[] = {{"a.bmp", PngType, "bmp"},
                                                               {"b.jpg", BmpType, "jpeg"},
                                                               {"c.JPEG", BmpType, "jpeg"},
                                                               {"d.png", BmpType, "png"},
                                                               {"e.sig", BmpType, "bmp"},
                                                               {"f.tiff.png", PngType, "png"},
                                                               {"my.signature", JpgType, "jpeg"}};
    for (const auto& [name, type, format] : cases) {
        FakePlatform platform;
        const QString path = dir.filePath(QString::fromLatin1(name));
        const QString typed = path.endsWith(QLatin1String(".tiff.png")) ? path.chopped(4) : path;
        platform.saveAnswers.push_back(Platform::SaveAnswer{typed, type});
        saveSignature(platform, [&picture](bool, int) { return picture; });
        ASSERT_EQ(platform.messages.size(), 1u) << name;
        EXPECT_EQ(platform.messages[0].text, QStringLiteral("保存完毕！\r\n") + path);
        EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Information);
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), QByteArray(format)) << name;
        const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(back.size(), picture.size());
        if (QByteArray(format) == "jpeg") {
            int worst = 0;
            for (int y = 0; y < back.height(); y += 7)
                for (int x = 0; x < back.width(); x += 7)
                    worst = std::max(
                        worst, std::abs(qGray(back.pixel(x, y)) - qGray(picture.pixel(x, y))));
            EXPECT_LT(worst, 40);
        } else {
            EXPECT_EQ(back, picture) << name;
        }
    }
    QFile bmp(dir.filePath(QStringLiteral("a.bmp")));
    ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
    EXPECT_EQ(bmp.read(30).mid(28, 2), QByteArray("\x18\x00", 2)) << "24 bits per pixel";
}

TEST(SaveSignature, BareNameTakesTheChosenType)
{
    QTemporaryDir dir;
    FakePlatform platform;
    platform.saveAnswers.push_back(Platform::SaveAnswer{dir.filePath(QStringLiteral("sig")), 2});
    saveSignature(platform, samplePictures);
    EXPECT_EQ(QImageReader(dir.filePath(QStringLiteral("sig.jpg"))).format(), "jpeg");
    EXPECT_EQ(
        platform.saveDialogFilters.at(0),
        QStringList({QStringLiteral("bmp文件(*.bmp)"), QStringLiteral("jpg文件(*.jpg)"),
                     QStringLiteral("png文件(*.png)"), QStringLiteral("透明背景png文件(*.png)"),
                     QStringLiteral("pdf文件(*.pdf)"), QStringLiteral("高清png文件，4倍大小(*.png)"),
                     QStringLiteral("高清透明背景png文件，4倍大小(*.png)")}));
}

// The transparent type saves the drawing alone, on nothing.
TEST(SaveSignature, TransparentPngHoldsTheDrawingAlone)
{
    QTemporaryDir dir;
    FakePlatform platform;
    platform.saveAnswers.push_back(Platform::SaveAnswer{dir.filePath(QStringLiteral("sig")), 4});
    saveSignature(platform, samplePictures);
    const QImage saved(dir.filePath(QStringLiteral("sig.png")));
    ASSERT_FALSE(saved.isNull());
    EXPECT_TRUE(saved.hasAlphaChannel());
    EXPECT_EQ(qAlpha(saved.pixel(0, 0)), 0);
}

// A name that is or becomes an existing file's is asked about once before the file is replaced
// (the dialog asks nothing of its own); "否" keeps the file.
TEST(SaveSignature, ACompletedNameAsksBeforeReplacing)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("sig1.bmp"));
    for (const auto& [typed, replace] : {std::pair("sig1", false), std::pair("sig1", true),
                                         std::pair("sig1.bmp", false)}) {
        QFile old(existing);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("keep me");
        old.close();
        FakePlatform platform;
        platform.saveAnswers.push_back(
            Platform::SaveAnswer{dir.filePath(QString::fromLatin1(typed)), 1});
        platform.replaceAnswers.push_back(replace);
        saveSignature(platform, samplePictures);
        ASSERT_EQ(platform.replaceQuestions, QStringList{existing});
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll() == "keep me", !replace);
        EXPECT_EQ(platform.messages.size(), replace ? 1u : 0u);
    }
    // A bare name with no file of that name is not asked about.
    FakePlatform platform;
    platform.saveAnswers.push_back(Platform::SaveAnswer{dir.filePath(QStringLiteral("sig2")), 1});
    saveSignature(platform, samplePictures);
    EXPECT_TRUE(platform.replaceQuestions.isEmpty());
}

TEST(SaveSignature, CancelWritesNothingAndSaysNothing)
{
    QTemporaryDir dir;
    FakePlatform platform;
    platform.saveAnswers.push_back(std::nullopt);
    saveSignature(platform, samplePictures);
    platform.saveAnswers.push_back(Platform::SaveAnswer{QString(), 1});
    saveSignature(platform, samplePictures);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(SaveSignature, AFailedWriteLeavesTheExistingFileAndSaysWhy)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("folder.png"));
    QDir().mkdir(folder);
    const QString path = dir.filePath(QStringLiteral("keep.bmp"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool rootIgnoresPermissions =
        QFile(dir.filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly);
    FakePlatform platform;
    for (const QString& target :
         {path, dir.filePath(QStringLiteral("no/such/folder/x.png")), folder}) {
        platform.saveAnswers.push_back(Platform::SaveAnswer{target, 1});
        saveSignature(platform, samplePictures);
    }
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    if (!rootIgnoresPermissions) {
        EXPECT_EQ(kept.readAll(), "precious");
    }
    const size_t failures = rootIgnoresPermissions ? 2 : 3;
    size_t warnings = 0;
    for (const auto& m : platform.messages)
        if (m.icon == Platform::Icon::Warning) {
            ++warnings;
            EXPECT_FALSE(m.text.contains(QStringLiteral("保存完毕")));
        }
    EXPECT_EQ(warnings, failures);
}

// During a run the save dialog opens where the last picture was saved.
TEST(SaveDialog, OpensInTheFolderOfTheLastSave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a")));
    QtPlatform platform;
    QStringList openedIn;
    const auto save = [&](const QString& file) {
        QTimer::singleShot(0, [&openedIn, file] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            openedIn << dialog->directory().absolutePath();
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
        });
        return platform.askSaveFileName(SaveDialogTitle, saveFilters(), {});
    };
    const auto first = save(dir.filePath(QStringLiteral("a/one.png")));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path, dir.filePath(QStringLiteral("a/one.png")));
    ASSERT_TRUE(save(QStringLiteral("two.png")));
    ASSERT_EQ(openedIn.size(), 2);
    EXPECT_EQ(openedIn[1], dir.filePath(QStringLiteral("a")));
}

} // namespace

namespace {

// A folder swapped for a link while files are written into it: what is written goes into the
// folder as it was opened, never through the link.
TEST(SaveFiles, AFolderSwappedForALinkIsNotWrittenThrough)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out")), victim = dir.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(QDir().mkpath(out) && QDir().mkpath(victim));
    const auto folder = openFolder(QFile::encodeName(out));
    ASSERT_NE(folder, nullptr);
    ASSERT_TRUE(QFile::rename(out, dir.filePath(QStringLiteral("real"))));
    ASSERT_TRUE(QFile::link(victim, out));
    const auto staged = stageFile(out + QStringLiteral("/a.png"), "picture", folder);
    ASSERT_TRUE(std::holds_alternative<StagedFile>(staged));
    EXPECT_TRUE(placeStagedFiles({std::get<StagedFile>(staged)}).isEmpty());
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("real/a.png"))));
    EXPECT_TRUE(QDir(victim).isEmpty());
    // And a link planted under a row's name is refused.
    ASSERT_TRUE(QFile::link(victim + QStringLiteral("/b.png"), dir.filePath(QStringLiteral("real/b.png"))));
    EXPECT_TRUE(std::holds_alternative<QString>(stageFile(out + QStringLiteral("/b.png"), "picture", folder)));
    EXPECT_TRUE(QDir(victim).isEmpty());
}

} // namespace
