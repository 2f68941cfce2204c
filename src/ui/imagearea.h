#pragma once

#include <QWidget>

// A transparent hit area over the painted skin. It draws nothing but, when asked, a thin
// border. Mouse positions are reported in twips from its own top-left corner, buttons as
// 1 = left, 2 = right, 4 = middle (the sum of those held while moving).
class ImageArea : public QWidget
{
    Q_OBJECT
public:
    explicit ImageArea(const QString& name, QWidget* parent);

    void setBorder(bool on);
    bool hasBorder() const { return border_; }

    static int buttonState(Qt::MouseButtons buttons);

Q_SIGNALS:
    void clicked();
    void mouseDown(int button, int shift, float x, float y);
    void mouseMove(int buttons, int shift, float x, float y);
    void mouseUp(int button, int shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool border_ = false;
};
