#include "catalogue/catalogue.h"
#include "catalogue/stylerules.h"

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
    // A folder without any of its files draws nothing and is not listed.
    EXPECT_EQ(c.styleNames(), QStringList({"A-style", "b-style", "", "A(B)", "公文签"}));
    QStringList firstFiles;
    for (const Style& style : c.styles)
        firstFiles << style.files.value(0);
    EXPECT_EQ(firstFiles,
              QStringList({f + "A-style/abc1.dat", f + "b-style/xyz1.dat", f + "电脑字/(Lonely).dat",
                           f + "电脑字/A(B)(Face).DAT", f + "电脑字/公文签(Gongwen).dat"}));
    EXPECT_EQ(c.styles[1].files.value(2), f + "b-style/xyz3.dat");
    EXPECT_EQ(c.styles[1].faces, QStringList({"xyz1", "xyz2", "xyz3"}));
    EXPECT_EQ(c.styles[3].faces, QStringList({"Face"}));
    EXPECT_EQ(c.indexOfStyle(DefaultStyle), 4);
    EXPECT_TRUE(c.problems.isEmpty());
}

// What kind a style is, decided once; a comma in a name is only a letter.
TEST_F(CatalogueFolders, EachStyleKnowsItsKind)
{
    for (const char* file :
         {"fonts/电脑字/篆印体(Z).dat", "fonts/电脑字/篆印体-阴文(Y).dat",
          "fonts/电脑字/a,b(F).dat", "fonts/电脑字/行书(F).dat", "fonts/英文签-x/svc1.dat",
          "fonts/a/saa1.dat", "fonts/b/sbb1.dat", "fonts/行书/sxx1.dat"})
        touch(QString::fromUtf8(file));
    const Catalogue c = loadCatalogue(app());
    const struct
    {
        const char* name;
        Style::Kind kind;
        qsizetype files;
    } rows[] = {{"篆印体", Style::Kind::Seal, 1},  {"篆印体-阴文", Style::Kind::IntaglioSeal, 1},
                {"a,b", Style::Kind::FontFile, 1}, {"英文签-x", Style::Kind::LatinFolder, 3},
                {"a", Style::Kind::Folder, 3},     {"b", Style::Kind::Folder, 3},
                {"行书", Style::Kind::FontFile, 1}}; // not the folder named like it
    for (const auto& row : rows) {
        const int i = c.indexOfStyle(QString::fromUtf8(row.name));
        ASSERT_GE(i, 0) << row.name;
        EXPECT_EQ(c.styles[i].kind, row.kind) << row.name;
        EXPECT_EQ(c.styles[i].files.size(), row.files) << row.name;
    }
    EXPECT_EQ(c.styleNames().count(QStringLiteral("行书")), 1) << "listed once";
    ASSERT_EQ(c.problems.size(), 1);
    EXPECT_TRUE(c.problems[0].contains(app() + QStringLiteral("fonts/行书")))
        << "both places named";
}

TEST_F(CatalogueFolders, MissingFoldersGiveEmptyLists)
{
    const Catalogue c = loadCatalogue(app());
    EXPECT_TRUE(c.styles.isEmpty());
    EXPECT_TRUE(c.backgrounds.isEmpty());
    EXPECT_EQ(c.sizes.size(), 19);
}

TEST_F(CatalogueFolders, BackgroundsAreListedByDisplayName)
{
    for (const char* name : {"02-宣纸.jpg", "01-纯白.png", "a-b-c.png", "plain.bmp", "x.y-z.jpg",
                             "ends-", ".hidden-隐藏.png"})
        touch(QStringLiteral("images/") + QString::fromUtf8(name));
    mkdir(QStringLiteral("images/folder-not.listed"));
    const Catalogue c = loadCatalogue(app());
    EXPECT_EQ(c.backgroundNames(), QStringList({"纯白", "宣纸", "b-c", "ends-", "plain", "z"}));
    EXPECT_EQ(c.backgrounds.first().path, app() + QStringLiteral("images/01-纯白.png"));
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
