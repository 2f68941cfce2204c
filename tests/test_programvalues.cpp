#include "app/startup.h"
#include "base/text.h"
#include "fakeplatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

struct TextCase
{
    const char* name;
    QByteArray bytes;
    QString text;
};

class ReadTextFileCases : public testing::TestWithParam<TextCase>
{
};

TEST_P(ReadTextFileCases, DecodesGbkAndDropsOneTrailingCrLf)
{
    QTemporaryDir dir;
    FakePlatform platform;
    const QString path = writeFile(dir, QStringLiteral("f.dat"), GetParam().bytes);
    EXPECT_EQ(readTextFile(path, platform), GetParam().text);
    EXPECT_TRUE(platform.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadTextFileCases,
    testing::Values(
        // " 欧阳-欧" in GBK, then the user-defined area code AAA1, which GB18030 maps to U+E000
        TextCase{"GbkWithUserDefinedGlyph", QByteArray::fromHex("20c5b7d1f42dc5b7aaa1"),
                 QStringLiteral(" 欧阳-欧") + QChar(0xE000)},
        TextCase{"OneCrLfDropped", "ab\r\n", "ab"},
        TextCase{"TwoCrLfKeepOne", "ab\r\n\r\n", "ab\r\n"}, TextCase{"LoneLfKept", "ab\n", "ab\n"},
        TextCase{"OnlyCrLf", "\r\n", ""}, TextCase{"EmptyFile", "", ""},
        TextCase{"InnerBreaksKept", "a\r\nb", "a\r\nb"},
        TextCase{"InvalidBytesMarkedNotLost",
                 QByteArray("a\xff"
                            "b"),
                 QStringLiteral("a\uFFFDb")},
        TextCase{"TruncatedSequenceAtTheEnd", QByteArray("a\xc5"), QStringLiteral("a\uFFFD")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(readTextFile, MissingFileOrFolderWarnsAndGivesEmptyText)
{
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath(QStringLiteral("missing.dat")), dir.path()}) {
        FakePlatform platform;
        EXPECT_EQ(readTextFile(path, platform), QString());
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text,
                  QStringLiteral("不存在该文件或该文件不能访问！\r\n") + path);
        EXPECT_EQ(platform.messages[0].caption, QStringLiteral("Sorvex签名设计"));
        EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
    }
}

TEST(StartProgram, SetsTheValuesAndGoesOnWithoutTheList)
{
    QTemporaryDir dir;
    FakePlatform platform;
    const ProgramValues v = startProgram(dir.path(), platform);
    EXPECT_EQ(v.appPath, dir.path() + u'/');
    EXPECT_TRUE(v.compoundSurnames.isEmpty());
    EXPECT_EQ(platform.messages.size(), 1u);

    QDir(dir.path()).mkdir(QStringLiteral("data"));
    writeFile(dir, QStringLiteral("data/fuxing.dat"),
              QByteArray::fromHex("20c5b7d1f42dc5b7aaa10d0a"));
    FakePlatform quiet;
    EXPECT_EQ(startProgram(dir.path() + u'/', quiet).compoundSurnames,
              CompoundSurnames({{QStringLiteral("欧阳"), QStringLiteral("\uE000")}}));
    EXPECT_TRUE(quiet.messages.empty());
}

TEST(WithTrailingSlash, RootKeepsItsSlash)
{
    EXPECT_EQ(withTrailingSlash(QStringLiteral("/")), "/");
    EXPECT_EQ(withTrailingSlash(QStringLiteral("/opt/sorvex")), "/opt/sorvex/");
    EXPECT_EQ(withTrailingSlash(QStringLiteral("/opt/sorvex/")), "/opt/sorvex/");
}

} // namespace
