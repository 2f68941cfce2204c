#pragma once

#include <QDialog>

// The help that ships with the kit, read in the program itself: its own pages open here; a link
// to the web is asked for, for the browser.
class HelpWindow : public QDialog
{
    Q_OBJECT
public:
    HelpWindow(const QString& page, QWidget* parent);

Q_SIGNALS:
    void webPageAsked(const QUrl& url);
};
