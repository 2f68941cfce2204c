#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Platform;
class PngBackground;

inline const QString SaveDialogTitle = QStringLiteral("保存签名图片");
// The types of the save dialog, by 1-based filter index.
enum SaveType {
    BmpType = 1,
    JpgType = 2,
    PngType = 3,
    TransparentPngType = 4,
    PdfType = 5,
    SharpPngType = 6,            // four times the size, drawn afresh
    SharpTransparentPngType = 7, // the same, the drawing alone
};
inline constexpr int SharpPictureScale = 4;
QStringList saveFilters();

// A last path component without any "." gets the chosen type's extension: ".bmp", ".png" for
// any PNG type, ".pdf", ".jpg" for any other; any other name is returned as it is.
QString completeSavePath(const QString& path, int filterIndex);

// The save dialog; the chosen path completed, or empty when the person cancelled. A completed
// name that names an existing file is asked about first, as the dialog asks about a typed one;
// `filterIndex` receives the chosen type.
QString showSaveDialog(Platform& platform, const QString& title, const QStringList& filters,
                       int* filterIndex = nullptr);

// The file format a name asks for: "JPG", "PNG", "BMP" or "PDF" by its extension, and for any
// other extension the format of the type chosen in the save dialog.
const char* imageFormatFor(const QString& path, int filterIndex = BmpType);

// Writes the picture in the format its extension asks for. An existing file is replaced only
// once the new one is complete. Returns the reason on failure.
std::optional<QString> writeImage(const QImage& image, const QString& path,
                                  const char* format = nullptr);

// The picture's bytes in `format` ("PNG", "JPG", "BMP"); none when it cannot be encoded.
std::optional<QByteArray> encodeImage(const QImage& image, const char* format);
inline const QString CannotEncode = QStringLiteral("图片数据不能编码");

// A PNG of `background` but for the rows in `changed`, from row `firstChanged` on, reusing the
// background's compressed rows.
std::optional<QByteArray> encodePngOver(const PngBackground& background, const QImage& changed,
                                        int firstChanged);

// The picture as shown, or with `transparent` the drawing alone, on nothing; at `scale` times
// its size.
using PictureSource = std::function<QImage(bool transparent, int scale)>;

// The picture as one page of PDF.
using PdfSource = std::function<QByteArray()>;

// The whole click on the save button: dialog, writing, and the message that follows. The
// format follows the name's extension: a ".pdf" name is written from `pdf`.
void saveSignature(Platform& platform, const PictureSource& picture, const PdfSource& pdf = {});
