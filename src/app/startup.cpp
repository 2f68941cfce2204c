#include "startup.h"

#include "base/regularfile.h"
#include "base/text.h"
#include "output/platform.h"

#include <QDir>

QString dataFolderFor(const QString& programFolder)
{
    const QString installed =
        QDir::cleanPath(programFolder + QStringLiteral("/../share/sorvex-sign"));
    if (!QDir(programFolder + QStringLiteral("/fonts")).exists() &&
        QDir(installed + QStringLiteral("/fonts")).exists())
        return installed;
    return programFolder;
}

QString readTextFile(const QString& path, Platform& platform)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, MaxTextFileBytes);
    if (!bytes) {
        // Which file, so that the person knows what is missing.
        platform.showMessage(QStringLiteral("不存在该文件或该文件不能访问！\r\n") + path, AppTitle,
                             Platform::Icon::Warning);
        return {};
    }
    return textOfFileBytes(*bytes);
}

ProgramValues startProgram(const QString& appFolder, Platform& platform)
{
    ProgramValues values;
    values.appPath = withTrailingSlash(appFolder);
    const QString surnames = values.appPath + QStringLiteral("data/fuxing.dat");
    const std::optional<QByteArray> bytes = readRegularFile(surnames, MaxTextFileBytes);
    if (!bytes)
        platform.showMessage(QStringLiteral("不存在该文件或该文件不能访问！\r\n%1\r\n"
                                            "没有复姓表，欧阳、司马等复姓按两个字分别绘制。")
                                 .arg(surnames),
                             AppTitle, Platform::Icon::Warning);
    else
        values.compoundSurnames = parseCompoundSurnames(textOfFileBytes(*bytes));
    return values;
}
