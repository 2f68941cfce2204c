#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

class Platform;

inline const QString SaveDialogTitle = QStringLiteral("保存签名图片");
QStringList saveFilters(); // BMP first: filter index 1

// A last path component without any "." gets ".bmp" (filter 1) or ".jpg"; any other name is
// returned as it is.
QString completeSavePath(const QString& path, int filterIndex);

// The save dialog; the chosen path completed, or empty when the person cancelled.
QString ShowSaveDialog(Platform& platform, const QString& title, const QStringList& filters);

// The file format a name's extension asks for: "JPG", "PNG", or "BMP" for any other.
const char* imageFormatFor(const QString& path);

// Writes bytes to a file: an existing file is replaced only once the new one is complete, and
// a failed write leaves nothing behind. Returns the reason on failure.
std::optional<QString> writeFile(const QString& path, const QByteArray& bytes);

// Writes the picture in the format its extension asks for. An existing file is replaced only
// once the new one is complete. Returns the reason on failure.
std::optional<QString> writeImage(const QImage& image, const QString& path);

// The whole click on the save button: dialog, writing, and the message that follows.
void saveSignature(Platform& platform, const QImage& image);
