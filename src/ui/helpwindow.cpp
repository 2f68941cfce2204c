#include "helpwindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

HelpWindow::HelpWindow(const QString& page, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("使用必读"));
    auto* text = new QTextBrowser(this);
    text->setObjectName(QStringLiteral("helpText"));
    text->setOpenLinks(false);
    connect(text, &QTextBrowser::anchorClicked, this, [this, text](const QUrl& link) {
        const QUrl url = text->source().resolved(link);
        if (url.isLocalFile())
            text->setSource(url);
        else
            Q_EMIT webPageAsked(url);
    });
    text->setSource(QUrl::fromLocalFile(page));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
    // No taller or wider than the room the screen has, title bar included.
    QSize size(640, 560);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}
