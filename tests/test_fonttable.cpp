// Registering font files for the program alone: what is kept, what is selected, the fallback.
#include "base/programvalues.h"
#include "base/temporaries.h"
#include "catalogue/catalogue.h"
#include "catalogue/fontnames.h"
#include "catalogue/fonttable.h"
#include "drawsignature.h"
#include "kit.h"
#include "render/imagesurface.h"
#include "render/names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <QPainterPath>
#include <QProcess>
#include <QRawFont>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

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
    const QStringList before = QFontDatabase::families();
    AppFontTable fonts(0);
    fonts.addFont(file);
    const QString family = fonts.familyFor(file, Gongwen);
    EXPECT_EQ(QFontDatabase::families(), QStringList(before) << family)
        << "one family more, and a name of its own";
    EXPECT_NE(family, Gongwen);
    fonts.removeFont(file);
    EXPECT_EQ(QFontDatabase::families(), before) << "removed at once without keep-alive";
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
    EXPECT_NE(fonts.familyFor(files[0], QStringLiteral("x")), "x");
    fonts.removeFont(files[0]);
}

TEST(FontTable, SelectsTheRegisteredFamilyWhateverTheFaceIsCalled)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("别名(NotTheFamily).dat"));
    ASSERT_TRUE(QFile::copy(kitFontFile(DefaultStyle), copy));
    AppFontTable fonts;
    fonts.addFont(copy);
    EXPECT_TRUE(
        QFontDatabase::families().contains(fonts.familyFor(copy, QStringLiteral("NotTheFamily"))));
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
        SignatureSpec in;
        in.latinName = QStringLiteral("Anna Lee");
        in.style = catalogue.styles.value(style);
        drawSignature(surface, fonts, values, in);
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
    // As a batch keeps them: every style's files registered before the first row, and trusted.
    AppFontTable batch;
    for (const Style& style : catalogue.styles)
        for (const QString& file : style.files)
            batch.addFont(file);
    batch.setTrusted(true);
    EXPECT_EQ(draw(batch, 0), second);
    EXPECT_EQ(draw(batch, 1), first);
}

// A font the person installed under a kit face's name (公文签's face under 行书签's) changes
// nothing: the renderer program draws the same picture with it in ~/.fonts as without.
TEST(FontTable, AnInstalledFontUnderAKitFacesNameDoesNotReplaceIt)
{
    QTemporaryDir home;
    const QString impostorFile = home.filePath(QStringLiteral(".fonts/impostor.ttf"));
    QDir().mkpath(QFileInfo(impostorFile).path());
    const std::optional<RenamedFont> impostor =
        withFamilyName(unpackedFont(kitFontFile(DefaultStyle)), QStringLiteral("SorvexXingshu"));
    ASSERT_TRUE(impostor);
    QFile f(impostorFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(impostor->bytes) == impostor->bytes.size());
    f.close();
    const auto picture = [&](bool installed) {
        const QString conf = home.filePath(QStringLiteral("fonts.conf"));
        QFile c(conf);
        c.open(QIODevice::WriteOnly);
        c.write(QStringLiteral("<fontconfig><cachedir>%1</cachedir>%2</fontconfig>")
                    .arg(home.filePath(QStringLiteral("cache")),
                         installed ? QStringLiteral("<dir>~/.fonts</dir>") : QString())
                    .toUtf8());
        c.close();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("FONTCONFIG_FILE"), conf);
        p.setProcessEnvironment(env);
        const QString out =
            home.filePath(installed ? QStringLiteral("with.png") : QStringLiteral("without.png"));
        p.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                {QStringLiteral("--data"), kitDir(), QStringLiteral("--style"),
                 QStringLiteral("行书签"), QStringLiteral("--cn"), QStringLiteral("王晓明"),
                 QStringLiteral("-o"), out});
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0)
            << p.readAllStandardError().toStdString();
        return QImage(out);
    };
    const QImage without = picture(false);
    ASSERT_FALSE(without.isNull());
    EXPECT_EQ(picture(true), without);
}

// A WOFF2 face (the kit's are TrueType, as a style of one's own may not be) is unpacked once
// and taken from the cache folder after; a file changed since, under the same name, is
// unpacked afresh.
TEST(FontTable, AFaceUnpackedBeforeIsKeptUntilItsFileChanges)
{
    QTemporaryDir dir;
    const auto compressed = [&](const QString& face, const QString& name) {
        const QString copy = dir.filePath(name + QStringLiteral(".ttf"));
        QFile::copy(kitDir() + QStringLiteral("fonts/") + face, copy);
        EXPECT_EQ(QProcess::execute(QStringLiteral("woff2_compress"), {copy}), 0);
        return dir.filePath(name + QStringLiteral(".woff2"));
    };
    const QString a = compressed(QStringLiteral("英文签-流畅/svc1.dat"), QStringLiteral("a"));
    const QString b = compressed(QStringLiteral("英文签-书法/svh1.dat"), QStringLiteral("b"));
    const QString file = dir.filePath(QStringLiteral("face.dat"));
    const auto put = [&](const QString& from) {
        QFile::remove(file);
        ASSERT_TRUE(QFile::copy(from, file));
    };
    // A cache folder of its own: other tests keep faces in the shared one at the same time.
    const QByteArray shared = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
    const auto restore = qScopeGuard([&] { qputenv("XDG_CACHE_HOME", shared); });
    const QString cache = dir.filePath(QStringLiteral("cache/sorvex-sign/faces"));
    put(a);
    const QByteArray first = unpackedFont(file);
    ASSERT_TRUE(first.startsWith(QByteArray("\0\1\0\0", 4)) || first.startsWith("ttcf"));
    EXPECT_EQ(QDir(cache).entryList(QDir::Files).size(), 1) << "kept in " << cache.toStdString();
    EXPECT_EQ(unpackedFont(file), first);
    put(b);
    const QByteArray second = unpackedFont(file);
    EXPECT_NE(second, first);
    EXPECT_EQ(second, unpackedFont(b));
}

// A collection of `faces` faces, each a directory of its own over the tables of `font`, one
// TrueType font.
QByteArray collectionOf(const QByteArray& font, quint32 faces)
{
    const auto be = [](QByteArray& b, qsizetype at, quint32 v, int bytes) {
        for (int k = 0; k < bytes; ++k)
            b[at + k] = char(v >> (8 * (bytes - 1 - k)));
    };
    const qsizetype tables = (uchar(font[4]) << 8) | uchar(font[5]);
    const qsizetype directory = 12 + tables * 16;
    const quint32 base = 12 + 4 * faces + faces * quint32(directory);
    QByteArray out(base, '\0');
    out.replace(0, 4, "ttcf");
    be(out, 4, 0x00010000, 4);
    be(out, 8, faces, 4);
    for (quint32 i = 0; i < faces; ++i) {
        const qsizetype at = 12 + 4 * faces + i * directory;
        be(out, 12 + 4 * i, quint32(at), 4);
        out.replace(at, directory, font.left(directory));
        for (qsizetype t = 0; t < tables; ++t) {
            const qsizetype offset = at + 12 + t * 16 + 8;
            quint32 v = 0;
            for (int k = 0; k < 4; ++k)
                v = (v << 8) | uchar(out[offset + k]);
            be(out, offset, v + base, 4);
        }
    }
    return out + font;
}

// A collection of hundreds of faces is renamed face by face, as one of two: no face keeps a name
// a font in ~/.fonts could answer to.
TEST(FontTable, ACollectionOfManyFacesIsRenamedFaceByFace)
{
    const QByteArray collection = collectionOf(unpackedFont(kitFontFile(QStringLiteral("公文签"))), 300);
    ASSERT_TRUE(tablesLieWithin(collection));
    const std::optional<RenamedFont> renamed = withFamilyName(collection, QStringLiteral("Many"));
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->formerFamilies.size(), 300);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("many.ttc")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(renamed->bytes) == renamed->bytes.size());
    file.close();
    const int id = QFontDatabase::addApplicationFont(file.fileName());
    ASSERT_GE(id, 0);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    QFontDatabase::removeApplicationFont(id);
    EXPECT_EQ(families.size(), 300);
    EXPECT_TRUE(families.contains(QStringLiteral("Many 300")));
    EXPECT_FALSE(families.contains(Gongwen));
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
    // Told by the outline of 堃 each family draws.
    const auto outline = [](const QRawFont& font) {
        return font.pathForGlyph(font.glyphIndexesForString(QStringLiteral("堃")).value(0));
    };
    const auto drawnBy = [&](const QStringList& families) {
        QFont font(families.value(0));
        font.setPixelSize(50);
        return outline(QRawFont::fromFont(font));
    };
    const auto fileOutline = [&](const QString& name) {
        return outline(QRawFont(unpackedFont(kitDir() + QStringLiteral("data/") + name), 50));
    };
    const QStringList gongwen = fonts.fallbackFamilies(QStringLiteral("王堃"), Gongwen);
    EXPECT_EQ(drawnBy(gongwen), fileOutline(QStringLiteral("continued(SorvexGongwen).dat")));
    // The default face's own source continues it: what it draws is in the face's hand.
    EXPECT_TRUE(fonts.continuesFace(gongwen.value(0)));
    // A folder piece's own comes first, and what it lacks the common one draws.
    const QStringList piece = fonts.fallbackFamilies(QStringLiteral("王堃"), QStringLiteral("sva1"));
    EXPECT_EQ(drawnBy(piece), fileOutline(QStringLiteral("fallback(sva1).dat")));
    EXPECT_EQ(drawnBy(piece.mid(1)), fileOutline(QStringLiteral("fallback.dat")));
    EXPECT_FALSE(fonts.continuesFace(piece.value(0))) << "a like face, in another hand";
    EXPECT_EQ(drawnBy(fonts.fallbackFamilies(QStringLiteral("王堃"), QStringLiteral("svc1"))),
              fileOutline(QStringLiteral("fallback.dat")));
}

// A signal that lands while its thread holds a lock (malloc's, stdio's, a library's around fork)
// still removes the run's folders, nested or not, and ends the run; another run's stay.
TEST(FontTable, ASignalInsideALockStillRemovesTheCopiesAndEnds)
{
    QTemporaryDir parent;
    const QString others = parent.filePath(QStringLiteral("sorvex-sign-%1-x").arg(::getpid()));
    ASSERT_TRUE(QDir().mkpath(others));
    EXPECT_EXIT(
        {
            const QString mine = runFolderTemplate(parent.path()).chopped(6) + u'a';
            QDir().mkpath(mine + QStringLiteral("/inner"));
            QFile(mine + QStringLiteral("/inner/face.ttf")).open(QIODevice::WriteOnly);
            static std::mutex held;
            ::pthread_atfork([] { held.lock(); }, [] { held.unlock(); }, [] { held.unlock(); });
            removeRunFoldersOnSignals();
            ::alarm(20); // a handler that waits for the lock ends by SIGALRM instead
            held.lock();
            ::raise(SIGTERM);
        },
        testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(QDir(parent.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).join(u' '),
              QFileInfo(others).fileName());
}

} // namespace
