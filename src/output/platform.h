#pragma once

#include "printerror.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <optional>

class QPainter;

// Everything that blocks on a person or reaches outside the program (message boxes, file and
// colour dialogs, the printer, the browser) goes through this interface, so that tests can
// answer in advance and nothing waits for a human.
class Platform
{
public:
    enum class Icon { None, Information, Warning };

    struct SaveAnswer
    {
        QString path;        // as typed and confirmed, before any completion
        int filterIndex = 1; // 1-based, as the dialog reports it
    };

    struct ColorAnswer
    {
        int resultCode = 0; // nonzero: a colour was confirmed
        QRgb color = 0;
    };

    using PrintError = ::PrintError;

    virtual ~Platform() = default;

    virtual void showMessage(const QString& text, const QString& caption, Icon icon) = 0;

    // An empty answer means the person cancelled. Never adds a suffix of its own. `suggested`,
    // where given, is the file the dialog starts at.
    virtual std::optional<SaveAnswer> askSaveFileName(const QString& title,
                                                      const QStringList& filters,
                                                      const QString& suggested) = 0;

    // A file to open; none when the person cancelled.
    virtual std::optional<QString> askOpenFileName(const QString& title,
                                                   const QStringList& filters) = 0;

    // Several files to open; none when the person cancelled.
    virtual QStringList askOpenFileNames(const QString& title, const QStringList& filters) = 0;

    // customColors is filled afresh by the caller at every opening.
    virtual ColorAnswer chooseColor(QRgb initial, const QList<QRgb>& customColors) = 0;

    // Prints one page on the default printer: the picture is drawn by `paint` onto a painter whose
    // coordinates are twips from the top-left of the printable area.
    virtual std::optional<PrintError> printTwips(const std::function<void(QPainter&)>& paint) = 0;

    // False when nothing on this machine could open it.
    virtual bool openUrl(const QUrl& url) = 0;

    // Asks, in a box titled `caption`, whether the existing file at `path` may be replaced;
    // true for "是".
    virtual bool confirmReplace(const QString& path, const QString& caption) = 0;

    // A password, not shown as it is typed; none when the person cancelled.
    virtual std::optional<QString> askPassword(const QString& text, const QString& caption) = 0;

    // Asks a question that may cost the person something; true for "是", No being the default.
    virtual bool askYesNo(const QString& text, const QString& caption) = 0;
};

// A password typed, overwritten once its bytes are taken: no copy of it stays in freed memory.
inline void wiped(std::optional<QString>& typed)
{
    if (typed && typed->isDetached())
        std::fill(typed->begin(), typed->end(), QChar(u'\0'));
    typed.reset();
}
