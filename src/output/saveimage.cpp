#include "saveimage.h"

#include "base/programvalues.h"
#include "platform.h"
#include "pngwriter.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSaveFile>

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
    if (last.contains(u'.'))
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

namespace {

// Why a write failed, in words for the user, from the system's error number.
QString reasonFor(int error, const QFileDevice& file)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case EROFS:
        return QStringLiteral("这个磁盘是只读的，不能写入");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有在这里写入文件的权限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件夹不存在");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EISDIR:
        return QStringLiteral("这是一个文件夹");
    case EIO:
        return QStringLiteral("读写磁盘时出错");
    default:
        return file.error() == QFileDevice::OpenError || error == 0
                   ? QStringLiteral("文件不能写入")
                   : QStringLiteral("文件不能写入（错误号 %1）").arg(error);
    }
}

} // namespace

std::optional<QString> writeFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo existing(path);
    if (existing.isDir())
        return QStringLiteral("这是一个文件夹");
    // A new file takes the old one's place by name: a device or a pipe, or a link to one,
    // would be replaced by a file, not written to.
    if (existing.exists() && !existing.isFile())
        return QStringLiteral("这不是普通文件，不能替换");
    QSaveFile file(path);
    errno = 0;
    // Unbuffered: a buffered write that fails only when commit() flushes it is reported as
    // success, and an empty file replaces the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return reasonFor(errno, file);
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int error = errno;
        file.cancelWriting();
        return reasonFor(error, file);
    }
    errno = 0;
    if (!file.commit())
        return reasonFor(errno, file);
    return std::nullopt;
}

std::optional<QString> writeImage(const QImage& image, const QString& path, const char* format)
{
    if (!format)
        format = imageFormatFor(path);
    // Written at the picture's own pixels, whatever density it is shown at; encoded first, so
    // that every picture reaches the disk through the one safe write.
    QImage out = image;
    out.setDevicePixelRatio(1);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const bool encoded = qstrcmp(format, "PNG") == 0
                             ? writeFastPng(out, buffer)
                             : out.save(&buffer, format, qstrcmp(format, "JPG") == 0 ? 95 : -1);
    if (!encoded)
        return QStringLiteral("图片数据不能编码");
    return writeFile(path, buffer.data());
}

std::optional<QString> writePngOver(const PngBackground& background, const QImage& changed,
                                    int firstChanged, const QString& path)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!writeFastPng(background, changed, firstChanged, buffer))
        return QStringLiteral("图片数据不能编码");
    return writeFile(path, buffer.data());
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
        error = document.isEmpty() ? QStringLiteral("图片数据不能编码") : writeFile(path, document);
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
