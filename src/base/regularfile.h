#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The whole content of a regular file, at most `cap` bytes. A FIFO, a device, a folder or a
// larger file is refused with the reason in `error`: the file is opened without blocking and
// checked on its descriptor, so a name swapped for a FIFO after a listing cannot block the
// program, and nothing is read past the cap whatever size the file claims.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 cap,
                                          QString* error = nullptr);
