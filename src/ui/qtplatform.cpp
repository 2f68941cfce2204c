#include "qtplatform.h"

#include "base/programvalues.h"
#include "output/placement.h"
#include "render/geometry.h"
#include "render/imagesurface.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cups/cups.h>

void centerDialogHook(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize s = screen->geometry().size();
    const QSize frame = window.frameGeometry().size();
    QPoint at = centredPosition(s.width() * double(TwipsPerPixel),
                                s.height() * double(TwipsPerPixel), TwipsPerPixel, TwipsPerPixel,
                                frame) +
                screen->geometry().topLeft();
    // Within the room panels leave; a window larger than that keeps its title bar, and the
    // close button with it, on the screen.
    const QRect room = screen->availableGeometry();
    at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - frame.width())));
    at.setY(std::max(room.top(), std::min(at.y(), room.bottom() + 1 - frame.height())));
    window.move(at);
}

namespace {

// Centres a window's frame as soon as it is known. The window manager frames a window around
// the time it first appears, sometimes just after its first exposure, and may place a dialog
// itself just after that; so for a moment after showing, the frame is centred again whenever
// it changes. After that moment a frame that changes size (a dialog laid out late on a busy
// machine) is centred again too, while one the person moved stays where they put it.
class CentreWhenFramed : public QObject
{
public:
    explicit CentreWhenFramed(QWidget& window) : QObject(&window), window_(window)
    {
        // Frame margins can change with no event to say so: they are looked at again a few
        // times a second too.
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, this, &CentreWhenFramed::check);
    }

    void check()
    {
        if (!window_.isVisible())
            return;
        if (!shown_.isValid()) {
            shown_.start();
            timer_.start();
        }
        const bool settling =
            !(framed_.isValid() && framed_.elapsed() > 1500) && shown_.elapsed() <= 10000;
        if (!settling)
            timer_.setInterval(500);
        const QRect frame = window_.frameGeometry();
        if (frame != centred_ && (settling || frame.size() != centred_.size())) {
            centerDialogHook(window_);
            centred_ = window_.frameGeometry();
            if (frame.size() != window_.size() && !framed_.isValid())
                framed_.start();
        }
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const QEvent::Type t = event->type();
        if (t == QEvent::Expose || t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show)
            check();
        if (t == QEvent::Hide)
            timer_.stop();
        return false;
    }

private:
    QWidget& window_;
    QTimer timer_;
    QElapsedTimer shown_;
    QElapsedTimer framed_; // since the window was first seen framed
    QRect centred_;        // the frame as last centred
};

} // namespace

QSize withinScreen(QSize wanted, const QWidget* parent)
{
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    return screen ? wanted.boundedTo(screen->availableGeometry().size() - QSize(16, 48)) : wanted;
}

void centreWhenShown(QWidget& window)
{
    // Centred by the window alone first, so that it appears near its place.
    centerDialogHook(window);
    window.winId();
    auto* watcher = new CentreWhenFramed(window);
    window.installEventFilter(watcher);
    if (QWindow* handle = window.windowHandle())
        handle->installEventFilter(watcher);
}

void QtPlatform::showMessage(const QString& text, const QString& caption, Icon icon)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Warning   ? QMessageBox::Warning
                                          : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

// A dialog belongs to the window the person works in: the signing window's own go over it, and
// it is that window the focus comes back to.
QWidget* QtPlatform::dialogParent() const
{
    QWidget* active = QApplication::activeWindow();
    if (active && active->isWindow() && !active->inherits("QDialog"))
        return active;
    return workedIn_ && workedIn_->isVisible() ? workedIn_.data() : owner_;
}

void QtPlatform::setOwner(QWidget* owner)
{
    owner_ = owner;
    QObject::connect(qApp, &QApplication::focusChanged, owner, [this](QWidget*, QWidget* now) {
        if (now && !now->window()->inherits("QDialog"))
            workedIn_ = now->window();
    });
}

std::optional<Platform::SaveAnswer> QtPlatform::askSaveFileName(const QString& title,
                                                                const QStringList& filters,
                                                                const QString& suggested)
{
    QFileDialog dialog(dialogParent(), title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Whether a file is replaced is asked once, after the name is completed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // The type chosen last time, as the folder, for as long as the program runs.
    dialog.selectNameFilter(filters.contains(lastSaveFilter_) ? lastSaveFilter_ : filters.value(0));
    if (!suggested.isEmpty())
        dialog.selectFile(suggested);
    else if (!lastSaveFolder_.isEmpty())
        dialog.setDirectory(lastSaveFolder_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = dialog.selectedFiles().first();
    lastSaveFolder_ = QFileInfo(path).absolutePath();
    lastSaveFilter_ = dialog.selectedNameFilter();
    return SaveAnswer{path, int(filters.indexOf(dialog.selectedNameFilter())) + 1};
}

std::optional<QString> QtPlatform::askOpenFileName(const QString& title,
                                                  const QStringList& filters)
{
    QFileDialog dialog(dialogParent(), title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (!lastOpenFolder_.isEmpty())
        dialog.setDirectory(lastOpenFolder_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = dialog.selectedFiles().first();
    lastOpenFolder_ = QFileInfo(path).absolutePath();
    return path;
}

QStringList QtPlatform::askOpenFileNames(const QString& title, const QStringList& filters)
{
    QFileDialog dialog(dialogParent(), title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    if (!lastOpenFolder_.isEmpty())
        dialog.setDirectory(lastOpenFolder_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    lastOpenFolder_ = QFileInfo(dialog.selectedFiles().first()).absolutePath();
    return dialog.selectedFiles();
}

Platform::ColorAnswer QtPlatform::chooseColor(QRgb initial, const QList<QRgb>& customColors)
{
    for (int i = 0; i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, QColor(customColors.value(i, 0xFF000000)));
    QColorDialog dialog(QColor(initial), owner_);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    centreWhenShown(dialog);
    const int result = dialog.exec() == QDialog::Accepted ? 1 : 0;
    return {result, dialog.selectedColor().rgb()};
}

std::optional<Platform::PrintError>
QtPlatform::printTwips(const std::function<void(QPainter&)>& paint)
{
    return printOnDefaultPrinter(paint);
}

std::optional<Platform::PrintError>
printOnDefaultPrinter(const std::function<void(QPainter&)>& paint)
{
    using PrintError = Platform::PrintError;
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return PrintError{NoPrinterError, QStringLiteral("没有找到默认打印机，请先安装打印机。")};
    // Qt hands the job over without saying whether it was taken; a queue that refuses jobs or
    // is stopped would swallow it silently, so CUPS is asked first.
    if (cups_dest_t* dest =
            cupsGetNamedDest(CUPS_HTTP_DEFAULT, info.printerName().toUtf8().constData(), nullptr)) {
        const char* accepting =
            cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
        const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
        const bool refuses = accepting && qstrcmp(accepting, "false") == 0;
        const bool stopped = state && QByteArray(state).toInt() == IPP_PSTATE_STOPPED;
        cupsFreeDests(1, dest);
        if (refuses)
            return PrintError{
                PrintJobError,
                QStringLiteral("打印机“%1”现在不接受打印任务。").arg(info.printerName())};
        if (stopped)
            return PrintError{PrinterStoppedError,
                              QStringLiteral("打印机“%1”已停止，请先在打印机设置中恢复它。")
                                  .arg(info.printerName())};
    }
    QPrinter printer(info, QPrinter::HighResolution);
    // No margins of Qt's own: the page's origin is the corner of the printable area.
    printer.setPageMargins(printer.pageLayout().minimumMargins(), printer.pageLayout().units());
    printer.setColorMode(QPrinter::Color);
    printer.setDocName(AppTitle);
    QPainter painter;
    if (!painter.begin(&printer))
        return PrintError{PrintJobError, QStringLiteral("打印机拒绝了打印任务。")};
    // Page coordinates are twips from the top-left of the printable area.
    painter.scale(printer.resolution() / 1440.0, printer.resolution() / 1440.0);
    paint(painter);
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        return PrintError{PrintJobError, QStringLiteral("打印任务没有完成。")};
    return std::nullopt;
}

bool QtPlatform::confirmReplace(const QString& path, const QString& caption)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(caption);
    box.setIcon(QMessageBox::Warning);
    box.setText(QStringLiteral("“%1”已经存在。\n要替换它吗？").arg(QFileInfo(path).fileName()));
    QPushButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    box.setDefaultButton(box.addButton(QStringLiteral("否"), QMessageBox::NoRole));
    box.exec();
    return box.clickedButton() == yes;
}

bool QtPlatform::askYesNo(const QString& text, const QString& caption)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(caption);
    box.setIcon(QMessageBox::Question);
    box.setText(text);
    QPushButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    box.setDefaultButton(box.addButton(QStringLiteral("否"), QMessageBox::NoRole));
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<QString> QtPlatform::askPassword(const QString& text, const QString& caption)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(text);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QString typed = dialog.textValue();
    // The dialog's own copy goes with what it typed: only the caller's is left, to be wiped.
    dialog.setTextValue(QString());
    return typed;
}

bool QtPlatform::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
