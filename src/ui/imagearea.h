#pragma once

#include <QLabel>
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
    // A button for the keyboard too: reached with Tab, pressed with Space or Enter, and framed
    // while it has the focus.
    void makeButton(const QString& tip);

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool border_ = false;
};
