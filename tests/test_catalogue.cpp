#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CatalogueFolders : public testing::Test
{
protected:
    QTemporaryDir dir;
    QString app() const { return dir.path() + u'/'; }
    void touch(const QString& relative)
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    void mkdir(const QString& relative) { QDir().mkpath(dir.filePath(relative)); }
};

TEST_F(CatalogueFolders, FolderStylesComeFirstInCaseInsensitiveNameOrder)
{
    touch(QStringLiteral("fonts/b-style/xyz1.dat"));
    touch(QStringLiteral("fonts/b-style/xyz2.dat"));
    touch(QStringLiteral("fonts/A-style/abc1.dat"));
    mkdir(QStringLiteral("fonts/empty"));
    touch(QStringLiteral("fonts/plain.txt")); // a plain file in fonts/ is a folder style too
    touch(QStringLiteral("fonts/.hidden/zzz1.dat"));
    touch(QStringLiteral("fonts/电脑字/公文签(Gongwen).dat"));
    touch(QStringLiteral("fonts/电脑字/A(B)(Face).DAT"));
    touch(QStringLiteral("fonts/电脑字/(Lonely).dat"));
    touch(QStringLiteral("fonts/电脑字/sub/ignored(x).dat"));

    const Catalogue c = loadCatalogue(app());
    const QString f = app() + QStringLiteral("fonts/");
    // A file name beginning with "(" gives an empty entry; two "(" cut at the second.
    EXPECT_EQ(c.styleNames,
              QStringList({"A-style", "b-style", "empty", "plain.txt", "", "A(B)", "公文签"}));
    EXPECT_EQ(c.FontPaths,
              QStringList({f + "A-style/abc", f + "b-style/xyz", f + "empty/", f + "plain.txt/",
                           f + "电脑字/(Lonely).dat", f + "电脑字/A(B)(Face).DAT",
                           f + "电脑字/公文签(Gongwen).dat"}));
    EXPECT_EQ(c.StyleList, QStringLiteral(",,A(B),公文签,"));
    EXPECT_EQ(c.indexOfStyle(DefaultStyle), 6);
}

TEST_F(CatalogueFolders, MissingFoldersGiveEmptyLists)
{
    const Catalogue c = loadCatalogue(app());
    EXPECT_TRUE(c.styleNames.isEmpty());
    EXPECT_TRUE(c.backgroundNames.isEmpty());
    EXPECT_EQ(c.StyleList, ",");
    EXPECT_EQ(c.sizes.size(), 19);
}

TEST_F(CatalogueFolders, BackgroundsAreListedByDisplayName)
{
    for (const char* name : {"02-宣纸.jpg", "01-纯白.png", "a-b-c.png", "plain.bmp", "x.y-z.jpg",
                             "ends-", ".hidden-隐藏.png"})
        touch(QStringLiteral("images/") + QString::fromUtf8(name));
    mkdir(QStringLiteral("images/folder-not.listed"));
    const Catalogue c = loadCatalogue(app());
    EXPECT_EQ(c.backgroundNames, QStringList({"纯白", "宣纸", "b-c", "ends-", "plain", "z"}));
    EXPECT_EQ(c.ImagePaths.first(), app() + QStringLiteral("images/01-纯白.png"));
    EXPECT_EQ(c.ImagePaths.size(), c.backgroundNames.size());
}

TEST(CatalogueNames, StyleAndFaceNames)
{
    EXPECT_EQ(styleNameOfFile(QStringLiteral("篆印体-阴文(SorvexYin).dat")), "篆印体-阴文");
    EXPECT_EQ(styleNameOfFile(QStringLiteral("a(b)(c).dat")), "a(b)");
    EXPECT_EQ(styleNameOfFile(QStringLiteral("noparen.dat")), "noparen");
    EXPECT_EQ(faceNameOfFontFile(QStringLiteral("/k/电脑字/a(b)(Face).dat")), "Face");
    EXPECT_EQ(faceNameOfFontFile(QStringLiteral("/k/电脑字/a(Face.dat")), "Face.dat");
    EXPECT_EQ(faceNameOfFontFile(QStringLiteral("/k/电脑字/a(F))x.dat")), "F");
    EXPECT_EQ(faceNameOfFontFile(QStringLiteral("/k/电脑字/plain.dat")), "plain");
    EXPECT_EQ(faceNameOfFolderFont(QStringLiteral("/k/fonts/s.x/sva1.dat")), "sva1");
    EXPECT_EQ(faceNameOfFolderFont(QStringLiteral("/k/fonts/s/a.b.dat")), "a");
}

TEST(CatalogueSizes, NineteenFrom8To190)
{
    EXPECT_EQ(standardSizes(),
              QStringList({"8", "9", "10", "11", "12", "22", "24", "26", "28", "36", "48", "72",
                           "100", "115", "130", "145", "160", "175", "190"}));
}

} // namespace
