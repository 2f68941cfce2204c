#pragma once

#include <QLabel>
#include <QRgb>

// The ink's swatch: shows the colour, and is pressed with the mouse, Space or Enter.
class InkSwatch : public QLabel
{
    Q_OBJECT
public:
    explicit InkSwatch(QWidget* parent);
    void setInk(QRgb ink);

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
