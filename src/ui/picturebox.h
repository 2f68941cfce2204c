#pragma once

#include <QImage>
#include <QWidget>

// The picture box: shows the surface's picture at the window's pixel density. It paints from
// the surface's own image, which it never copies, and only where a drawing changed it. With
// focus it shows a dotted mark at its edge, and the arrow keys ask to move the text.
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent);
    // The image to show; it lives as long as this box.
    void setPicture(const QImage* image);
    // The output pixels of the image that a drawing changed.
    void showChanged(const QRect& pixels);
    QImage picture() const { return picture_ ? *picture_ : QImage(); }

Q_SIGNALS:
    void painted();
    // The text should move by this many pixels.
    void nudged(int dx, int dy);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    const QImage* picture_ = nullptr;
};
