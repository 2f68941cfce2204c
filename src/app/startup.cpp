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
        platform.showMessage(QStringLiteral("不存在该文件或该文件不能访问！"), AppTitle,
                             Platform::Icon::Warning);
        return {};
    }
    return textOfFileBytes(*bytes);
}

ProgramValues startProgram(const QString& appFolder, Platform& platform)
{
    ProgramValues values;
    values.appPath = withTrailingSlash(appFolder);
    values.compoundSurnames = parseCompoundSurnames(
        readTextFile(values.appPath + QStringLiteral("data/fuxing.dat"), platform));
    return values;
}
