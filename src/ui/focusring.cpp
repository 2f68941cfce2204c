#include "focusring.h"

#include "controlkeys.h"
#include "imagearea.h"
#include "inkswatch.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

FocusRing::FocusRing(QWidget* window) : QWidget(window)
{
    setObjectName(QStringLiteral("focusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { follow(now); });
}

void FocusRing::follow(QWidget* focused)
{
    // The control itself, not its inner line edit, and only the ones that draw no ring of
    // their own.
    QWidget* control = focused;
    while (control && control->parentWidget() != parentWidget())
        control = control->parentWidget();
    if (!control || control->isWindow() || qobject_cast<ImageArea*>(control) ||
        qobject_cast<InkSwatch*>(control)) {
        hide();
        return;
    }
    setGeometry(control->geometry().adjusted(-3, -3, 3, 3));
    raise();
    show();
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    for (const QRect& side : {QRect(r.left(), r.top(), r.width(), 2),
                              QRect(r.left(), r.bottom() - 1, r.width(), 2),
                              QRect(r.left(), r.top(), 2, r.height()),
                              QRect(r.right() - 1, r.top(), 2, r.height())})
        p.fillRect(side, FocusColor);
}
