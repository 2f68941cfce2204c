// Registering font files for the program alone: what is kept, what is selected, the fallback.
#include "app/programvalues.h"
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

// Two styles whose font files claim the same family names: kept registrations must not let
// the second draw with the first one's glyphs.
TEST(FontTable, StylesWhoseFontsShareAFamilyEachDrawTheirOwn)
{
    QTemporaryDir dir;
    const QString kit = kitDir() + QStringLiteral("fonts/");
    for (int k = 1; k <= 3; ++k) {
        const QString name = QStringLiteral("xyz%1.dat").arg(k);
        QDir().mkpath(dir.filePath(QStringLiteral("fonts/甲")));
        QDir().mkpath(dir.filePath(QStringLiteral("fonts/乙")));
        ASSERT_TRUE(QFile::copy(kit + QStringLiteral("艺术签/sva%1.dat").arg(k),
                                dir.filePath(QStringLiteral("fonts/甲/") + name)));
        // Another face, its family names rewritten to the first one's.
        QFile source(kit + QStringLiteral("潇洒签/svb%1.dat").arg(k));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        const QByteArray from = QStringLiteral("svb%1").arg(k).toLatin1();
        const QByteArray to = QStringLiteral("sva%1").arg(k).toLatin1();
        QByteArray from16, to16;
        for (int i = 0; i < from.size(); ++i) {
            from16 += '\0' + QByteArray(1, from[i]);
            to16 += '\0' + QByteArray(1, to[i]);
        }
        bytes.replace(from16, to16).replace(from, to);
        QFile copy(dir.filePath(QStringLiteral("fonts/乙/") + name));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(bytes);
    }
    ProgramValues values;
    values.AppPath = dir.path() + u'/';
    const Catalogue catalogue = loadCatalogue(values.AppPath);
    ASSERT_EQ(catalogue.styleNames, QStringList({QStringLiteral("乙"), QStringLiteral("甲")}));
    const auto draw = [&](AppFontTable& fonts, int style) {
        ImageSurface surface;
        Mover mover;
        DrawInputs in;
        in.txtCN = QStringLiteral("王晓明");
        in.styleIndex = style;
        in.styleCurrentText = catalogue.styleNames[style];
        in.sizeText = QStringLiteral("72");
        RenderContext ctx{values, catalogue, fonts, surface, mover, {}};
        EXPECT_EQ(DrawSignature(ctx, in, -1, -1), DrawOutcome::Drawn);
        return surface.PersistentImage().copy();
    };
    AppFontTable alone;
    const QImage second = draw(alone, 0);
    AppFontTable kept;
    const QImage first = draw(kept, 1);
    EXPECT_NE(first, second) << "the two faces differ";
    EXPECT_EQ(draw(kept, 0), second);
    EXPECT_EQ(draw(kept, 1), first);
}

} // namespace
