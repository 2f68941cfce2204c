#pragma once

#include "output/platform.h"

#include <QPointer>
#include <QWidget>

// The real edge: Qt's own dialogs (never the native ones), the default printer, the browser.
class QtPlatform : public Platform
{
public:
    void setOwner(QWidget* owner);

    void showMessage(const QString& text, const QString& caption, Icon icon) override;
    std::optional<SaveAnswer> askSaveFileName(const QString& title, const QStringList& filters,
                                              const QString& suggested) override;
    std::optional<QString> askOpenFileName(const QString& title,
                                           const QStringList& filters) override;
    QStringList askOpenFileNames(const QString& title, const QStringList& filters) override;
    ColorAnswer chooseColor(QRgb initial, const QList<QRgb>& customColors) override;
    std::optional<PrintError> printTwips(const std::function<void(QPainter&)>& paint) override;
    bool openUrl(const QUrl& url) override;
    bool confirmReplace(const QString& path, const QString& caption) override;
    std::optional<QString> askPassword(const QString& text, const QString& caption) override;
    bool askYesNo(const QString& text, const QString& caption) override;

private:
    QWidget* dialogParent() const;
    QWidget* owner_ = nullptr;
    // The window last worked in: between one dialog closing and the next opening no window is
    // active, and a dialog then would raise the main window over the signing window.
    QPointer<QWidget> workedIn_;
    // Where the last picture was saved in this run; nothing is kept between runs.
    QString lastSaveFolder_;
    QString lastSaveFilter_;
    QString lastOpenFolder_;
};

// Moves a window (the main window, or the colour dialog as it opens) so that its frame sits
// centred on the whole primary screen.
void centerDialogHook(QWidget& window);

// Centres a window's frame on the primary screen once it is shown and framed.
void centreWhenShown(QWidget& window);

// `wanted`, no larger than the room of the screen a window of `parent` opens on, its frame
// included: every control in reach.
QSize withinScreen(QSize wanted, const QWidget* parent);

// One page on the default printer, no dialog, in colour; `paint` draws in twips from the
// top-left of the printable area.
std::optional<Platform::PrintError>
printOnDefaultPrinter(const std::function<void(QPainter&)>& paint);
