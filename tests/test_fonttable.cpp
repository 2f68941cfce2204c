// Registering font files for the program alone: what is kept, what is selected, the fallback.
#include "base/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "kit.h"
#include "render/imagesurface.h"
#include "render/renderer.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Gongwen = QStringLiteral("SorvexGongwen");

QString kitFontFile(const QString& style)
{
    const Catalogue c = loadCatalogue(kitDir());
    return c.styles.value(c.indexOfStyle(style)).files.value(0);
}

TEST(FontTable, ProgramFontsAreTheOnlyFontsTestsSee)
{
    const QString file = kitFontFile(DefaultStyle);
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFontDatabase::families().contains(Gongwen));
    AppFontTable fonts(0);
    fonts.addFont(file);
    EXPECT_TRUE(QFontDatabase::families().contains(Gongwen));
    EXPECT_EQ(fonts.familyFor(file, Gongwen), Gongwen);
    fonts.removeFont(file);
    EXPECT_FALSE(QFontDatabase::families().contains(Gongwen))
        << "removed at once without keep-alive";
}

TEST(FontTable, KeepsAFewReleasedFilesAndDropsTheOldest)
{
    const Catalogue c = loadCatalogue(kitDir());
    AppFontTable fonts(2);
    QStringList files;
    for (const Style& style : c.styles)
        if (!style.isFolder())
            files << style.files.first();
    ASSERT_GE(files.size(), 3);
    for (int i = 0; i < 3; ++i) {
        fonts.addFont(files[i]);
        fonts.removeFont(files[i]);
    }
    EXPECT_EQ(fonts.registeredCount(), 2);
    EXPECT_EQ(fonts.familyFor(files[0], QStringLiteral("x")), "x") << "the oldest was dropped";
    // A file in use is never dropped, however many are released meanwhile.
    fonts.addFont(files[0]);
    for (int i = 1; i < 3; ++i) {
        fonts.addFont(files[i]);
        fonts.removeFont(files[i]);
    }
    EXPECT_EQ(fonts.familyFor(files[0], QStringLiteral("x")), Gongwen);
    fonts.removeFont(files[0]);
}

TEST(FontTable, SelectsTheFilesOwnFamilyWhenTheFaceNameDiffers)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("别名(NotTheFamily).dat"));
    ASSERT_TRUE(QFile::copy(kitFontFile(DefaultStyle), copy));
    AppFontTable fonts;
    fonts.addFont(copy);
    EXPECT_EQ(fonts.familyFor(copy, QStringLiteral("NotTheFamily")), Gongwen);
    fonts.removeFont(copy);

    // Not a font at all: the face is asked for as named and a substitute draws.
    const QString text = dir.filePath(QStringLiteral("坏(Broken).dat"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a font");
    f.close();
    fonts.addFont(text);
    EXPECT_EQ(fonts.familyFor(text, QStringLiteral("Broken")), "Broken");
    fonts.removeFont(text);
}

// Two styles whose font files claim the same family names: kept registrations must not let
// the second draw with the first one's glyphs.
TEST(FontTable, StylesWhoseFontsShareAFamilyEachDrawTheirOwn)
{
    QTemporaryDir dir;
    const QString kit = kitDir() + QStringLiteral("fonts/");
    QDir().mkpath(dir.filePath(QStringLiteral("fonts/英文签-甲")));
    QDir().mkpath(dir.filePath(QStringLiteral("fonts/英文签-乙")));
    for (int k = 1; k <= 3; ++k) {
        const QString name = QStringLiteral("svc%1.dat").arg(k);
        ASSERT_TRUE(QFile::copy(kit + QStringLiteral("英文签-流畅/svc%1.dat").arg(k),
                                dir.filePath(QStringLiteral("fonts/英文签-甲/") + name)));
        // Another face, its family names rewritten to the first one's.
        QByteArray bytes = unpackedFont(kit + QStringLiteral("英文签-书法/svh%1.dat").arg(k));
        ASSERT_FALSE(bytes.isEmpty());
        bytes.replace(QByteArray("\0s\0v\0h", 6), QByteArray("\0s\0v\0c", 6)).replace("svh", "svc");
        QFile copy(dir.filePath(QStringLiteral("fonts/英文签-乙/") + name));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(bytes);
    }
    ProgramValues values;
    values.appPath = dir.path() + u'/';
    const Catalogue catalogue = loadCatalogue(values.appPath);
    ASSERT_EQ(catalogue.styleNames(),
              QStringList({QStringLiteral("英文签-乙"), QStringLiteral("英文签-甲")}));
    const auto draw = [&](AppFontTable& fonts, int style) {
        ImageSurface surface;
        Mover mover;
        DrawInputs in;
        in.latinName = QStringLiteral("Anna Lee");
        in.style = catalogue.styles.value(style);
        in.sizeText = QStringLiteral("72");
        RenderContext ctx{values, fonts, surface, mover};
        EXPECT_EQ(drawSignature(ctx, in, -1, -1), DrawOutcome::Drawn);
        return surface.image().copy();
    };
    // Each alone first, its table gone before the next: Qt's fonts are the process's.
    const QImage second = [&] {
        AppFontTable alone;
        return draw(alone, 0);
    }();
    AppFontTable kept;
    const QImage first = draw(kept, 1);
    EXPECT_NE(first, second) << "the two faces differ";
    EXPECT_EQ(draw(kept, 0), second);
    EXPECT_EQ(draw(kept, 1), first);
}

// Rare characters draw in the face's own fallback where the kit has one beside the common one.
TEST(FontTable, AFaceWithAFallbackOfItsOwnDrawsRareCharactersInIt)
{
    ProgramValues values;
    values.appPath = kitDir();
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    EXPECT_TRUE(fonts.fallbackFamilies(QStringLiteral("王明"), Gongwen).isEmpty())
        << "nothing to draw beyond the faces";
    EXPECT_EQ(fonts.fallbackFamilies(QStringLiteral("王堃"), Gongwen),
              QStringList{QStringLiteral("SorvexFallbackGongwen")});
    EXPECT_EQ(fonts.fallbackFamilies(QStringLiteral("王堃"), QStringLiteral("sva1")),
              QStringList{QStringLiteral("SorvexFallback")});
}

} // namespace
