#pragma once

#include <QImage>
#include <QWidget>

// The picture box: shows the surface's picture at the window's pixel density.
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent);
    void setPicture(const QImage& image);
    const QImage& picture() const { return picture_; }

Q_SIGNALS:
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};
