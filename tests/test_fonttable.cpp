// Registering font files for the program alone: what is kept, what is selected, the fallback.
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "kit.h"

#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Gongwen = QStringLiteral("SorvexGongwen");

QString kitFontFile(const QString& style)
{
    const Catalogue c = loadCatalogue(kitDir());
    return c.FontPaths.value(c.indexOfStyle(style));
}

TEST(FontTable, ProgramFontsAreTheOnlyFontsTestsSee)
{
    const QString file = kitFontFile(DefaultStyle);
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFontDatabase::families().contains(Gongwen));
    AppFontTable fonts(0);
    fonts.AddFont(file);
    EXPECT_TRUE(QFontDatabase::families().contains(Gongwen));
    EXPECT_EQ(fonts.familyFor(file, Gongwen), Gongwen);
    fonts.RemoveFont(file);
    EXPECT_FALSE(QFontDatabase::families().contains(Gongwen))
        << "removed at once without keep-alive";
}

TEST(FontTable, KeepsAFewReleasedFilesAndDropsTheOldest)
{
    const Catalogue c = loadCatalogue(kitDir());
    AppFontTable fonts(2);
    QStringList files;
    for (const QString& path : c.FontPaths)
        if (path.endsWith(QLatin1String(".dat")))
            files << path;
    ASSERT_GE(files.size(), 3);
    for (int i = 0; i < 3; ++i) {
        fonts.AddFont(files[i]);
        fonts.RemoveFont(files[i]);
    }
    EXPECT_EQ(fonts.registeredCount(), 2);
    EXPECT_EQ(fonts.familyFor(files[0], QStringLiteral("x")), "x") << "the oldest was dropped";
    // A file in use is never dropped, however many are released meanwhile.
    fonts.AddFont(files[0]);
    for (int i = 1; i < 3; ++i) {
        fonts.AddFont(files[i]);
        fonts.RemoveFont(files[i]);
    }
    EXPECT_EQ(fonts.familyFor(files[0], QStringLiteral("x")), Gongwen);
    fonts.RemoveFont(files[0]);
}

TEST(FontTable, SelectsTheFilesOwnFamilyWhenTheFaceNameDiffers)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("别名(NotTheFamily).dat"));
    ASSERT_TRUE(QFile::copy(kitFontFile(DefaultStyle), copy));
    AppFontTable fonts;
    fonts.AddFont(copy);
    EXPECT_EQ(fonts.familyFor(copy, QStringLiteral("NotTheFamily")), Gongwen);
    fonts.RemoveFont(copy);

    // Not a font at all: the face is asked for as named and a substitute draws.
    const QString text = dir.filePath(QStringLiteral("坏(Broken).dat"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a font");
    f.close();
    fonts.AddFont(text);
    EXPECT_EQ(fonts.familyFor(text, QStringLiteral("Broken")), "Broken");
    fonts.RemoveFont(text);
}

} // namespace
