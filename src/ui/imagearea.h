#pragma once

#include <QWidget>

// A transparent hit area over the painted skin: it draws nothing but, when asked, a thin
// border, and says when it is clicked with the left button.
class ImageArea : public QWidget
{
    Q_OBJECT
public:
    explicit ImageArea(const QString& name, QWidget* parent);

    void setBorder(bool on);
    bool hasBorder() const { return border_; }

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool border_ = false;
};

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
