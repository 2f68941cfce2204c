#include "saveimage.h"

#include "app/programvalues.h"
#include "platform.h"
#include "pngwriter.h"

#include <QFileInfo>
#include <QSaveFile>

QStringList saveFilters()
{
    return {QStringLiteral("bmp文件(*.bmp)"), QStringLiteral("jpg文件(*.jpg)"),
            QStringLiteral("png文件(*.png)"), QStringLiteral("透明背景png文件(*.png)")};
}

QString completeSavePath(const QString& path, int filterIndex)
{
    const QString last = path.mid(path.lastIndexOf(u'/') + 1);
    if (last.contains(u'.'))
        return path;
    if (filterIndex == BmpType)
        return path + QStringLiteral(".bmp");
    if (filterIndex == PngType || filterIndex == TransparentPngType)
        return path + QStringLiteral(".png");
    return path + QStringLiteral(".jpg");
}

QString ShowSaveDialog(Platform& platform, const QString& title, const QStringList& filters,
                       int* filterIndex)
{
    const std::optional<Platform::SaveAnswer> answer = platform.askSaveFileName(title, filters);
    if (!answer || answer->path.isEmpty())
        return {};
    if (filterIndex)
        *filterIndex = answer->filterIndex;
    const QString path = completeSavePath(answer->path, answer->filterIndex);
    if (path != answer->path && QFileInfo::exists(path) && !platform.confirmReplace(path))
        return {};
    return path;
}

const char* imageFormatFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "JPG";
    if (suffix == QLatin1String("png"))
        return "PNG";
    return "BMP";
}

std::optional<QString> writeFile(const QString& path, const QByteArray& bytes)
{
    if (QFileInfo(path).isDir())
        return QStringLiteral("这是一个文件夹");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> writeImage(const QImage& image, const QString& path)
{
    if (QFileInfo(path).isDir())
        return QStringLiteral("这是一个文件夹");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const char* format = imageFormatFor(path);
    // Written at the picture's own pixels, whatever density it is shown at.
    QImage out = image;
    out.setDevicePixelRatio(1);
    const bool written = qstrcmp(format, "PNG") == 0
                             ? writeFastPng(out, file)
                             : out.save(&file, format, qstrcmp(format, "JPG") == 0 ? 95 : -1);
    if (!written) {
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("无法写入图片数据");
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

void saveSignature(Platform& platform, const PictureSource& picture)
{
    int type = BmpType;
    const QString path = ShowSaveDialog(platform, SaveDialogTitle, saveFilters(), &type);
    if (path.isEmpty())
        return;
    const bool transparent =
        type == TransparentPngType && qstrcmp(imageFormatFor(path), "PNG") == 0;
    if (const std::optional<QString> error = writeImage(picture(transparent), path)) {
        platform.showMessage(QStringLiteral("无法保存到 %1：\r\n%2").arg(path, *error), AppTitle,
                             Platform::Icon::Warning);
        return;
    }
    platform.showMessage(QStringLiteral("保存完毕！\r\n") + path, AppTitle,
                         Platform::Icon::Information);
}
