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
#include <QFontDatabase>
#include <QImageReader>
#include <QPainter>
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
    for (const char* style : {"公文签", "毛体", "篆印体", "篆印体-阴文"})
        EXPECT_TRUE(c.StyleList.contains(u',' + QString::fromUtf8(style) + u','));
    EXPECT_GE(c.StyleList.count(u',') - 1, 6) << "four named styles and at least two more";
    EXPECT_GE(folderStyles(false).size(), 2);
    EXPECT_GE(folderStyles(true).size(), 2);
    EXPECT_GE(c.indexOfStyle(DefaultStyle), 0);
    EXPECT_GT(c.backgroundNames.size(), DefaultBackground);
    EXPECT_TRUE(platform.messages.empty()) << "fuxing.dat is readable";
}

TEST_F(Kit, EveryFaceIsSelectableByItsNameRightAfterRegistration)
{
    AppFontTable fonts(0);
    for (int i = 0; i < c.styleNames.size(); ++i) {
        QStringList files;
        if (c.FontPaths[i].endsWith(QLatin1String(".dat")))
            files << c.FontPaths[i];
        else
            for (int k = 1; k <= 3; ++k)
                files << c.FontPaths[i] + QString::number(k) + QStringLiteral(".dat");
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
