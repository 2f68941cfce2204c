#include "saveimage.h"

#include "base/programvalues.h"
#include "filewrite.h"
#include "platform.h"
#include "pngwriter.h"

#include <QBuffer>
#include <QFileInfo>

#include <cerrno>

QStringList saveFilters()
{
    return {QStringLiteral("bmp文件(*.bmp)"),
            QStringLiteral("jpg文件(*.jpg)"),
            QStringLiteral("png文件(*.png)"),
            QStringLiteral("透明背景png文件(*.png)"),
            QStringLiteral("pdf文件(*.pdf)"),
            QStringLiteral("高清png文件，4倍大小(*.png)"),
            QStringLiteral("高清透明背景png文件，4倍大小(*.png)")};
}

QString completeSavePath(const QString& path, int filterIndex)
{
    const QString last = path.mid(path.lastIndexOf(u'/') + 1);
    // A picture type this program does not write ("sig.tiff" with PNG chosen) would be a file
    // whose name lies about its data: the chosen type's suffix follows it.
    static const QStringList otherPictureTypes{"tif", "tiff", "gif", "webp", "ico", "svg",
                                               "heic", "avif", "jp2", "jxl", "psd", "ppm"};
    const QString suffix = QFileInfo(last).suffix().toLower();
    if (last.contains(u'.') && !otherPictureTypes.contains(suffix))
        return path;
    if (filterIndex == BmpType)
        return path + QStringLiteral(".bmp");
    if (filterIndex == PngType || filterIndex == TransparentPngType ||
        filterIndex == SharpPngType || filterIndex == SharpTransparentPngType)
        return path + QStringLiteral(".png");
    if (filterIndex == PdfType)
        return path + QStringLiteral(".pdf");
    return path + QStringLiteral(".jpg");
}

QString showSaveDialog(Platform& platform, const QString& title, const QStringList& filters,
                       int* filterIndex)
{
    const std::optional<Platform::SaveAnswer> answer = platform.askSaveFileName(title, filters, {});
    if (!answer || answer->path.isEmpty())
        return {};
    if (filterIndex)
        *filterIndex = answer->filterIndex;
    // The one question before a file is replaced: the dialog asks none of its own.
    const QString path = completeSavePath(answer->path, answer->filterIndex);
    if (QFileInfo::exists(path) && !platform.confirmReplace(path, title))
        return {};
    return path;
}

const char* imageFormatFor(const QString& path, int filterIndex)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "JPG";
    if (suffix == QLatin1String("png"))
        return "PNG";
    if (suffix == QLatin1String("bmp"))
        return "BMP";
    if (suffix == QLatin1String("pdf"))
        return "PDF";
    switch (filterIndex) {
    case JpgType:
        return "JPG";
    case PngType:
    case TransparentPngType:
    case SharpPngType:
    case SharpTransparentPngType:
        return "PNG";
    case PdfType:
        return "PDF";
    default:
        return "BMP";
    }
}

std::optional<QByteArray> encodeImage(const QImage& image, const char* format)
{
    // At the picture's own pixels, whatever density it is shown at.
    QImage out = image;
    out.setDevicePixelRatio(1);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const bool encoded = qstrcmp(format, "PNG") == 0
                             ? writeFastPng(out, buffer)
                             : out.save(&buffer, format, qstrcmp(format, "JPG") == 0 ? 95 : -1);
    if (!encoded)
        return std::nullopt;
    return buffer.data();
}

std::optional<QByteArray> encodePngOver(const PngBackground& background, const QImage& changed,
                                        int firstChanged)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!writeFastPng(background, changed, firstChanged, buffer))
        return std::nullopt;
    return buffer.data();
}

std::optional<QString> writeImage(const QImage& image, const QString& path, const char* format)
{
    // Encoded first, so that every picture reaches the disk through the one safe write.
    const std::optional<QByteArray> bytes =
        encodeImage(image, format ? format : imageFormatFor(path));
    if (!bytes)
        return CannotEncode;
    return writeFile(path, *bytes);
}

void saveSignature(Platform& platform, const PictureSource& picture, const PdfSource& pdf)
{
    int type = BmpType;
    const QString path = showSaveDialog(platform, SaveDialogTitle, saveFilters(), &type);
    if (path.isEmpty())
        return;
    const char* format = imageFormatFor(path, type);
    const bool png = qstrcmp(format, "PNG") == 0;
    const bool transparent = png && (type == TransparentPngType || type == SharpTransparentPngType);
    const int scale =
        png && (type == SharpPngType || type == SharpTransparentPngType) ? SharpPictureScale : 1;
    std::optional<QString> error;
    if (qstrcmp(format, "PDF") == 0) {
        const QByteArray document = pdf ? pdf() : QByteArray();
        error = document.isEmpty() ? CannotEncode : writeFile(path, document);
    } else {
        error = writeImage(picture(transparent, scale), path, format);
    }
    if (error) {
        platform.showMessage(QStringLiteral("无法保存到 %1：\r\n%2").arg(path, *error), AppTitle,
                             Platform::Icon::Warning);
        return;
    }
    platform.showMessage(QStringLiteral("保存完毕！\r\n") + path, AppTitle,
                         Platform::Icon::Information);
}
