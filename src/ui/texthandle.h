#pragma once

#include "imagearea.h"

#include <QPointF>

// The handle over the drawn text. A drag with the left button alone is reported as the
// pointer's place over the picture, in twips; the window moves the text and the handle.
class TextHandle : public ImageArea
{
    Q_OBJECT
public:
    explicit TextHandle(QWidget* picture);

Q_SIGNALS:
    void dragStarted(QPointF pointer);
    void dragged(QPointF pointer);
    void dragFinished();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointF pointerOverPicture(const QMouseEvent* event) const;
};
