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

// A ring around whichever control of `window` has the keyboard's focus, plainer to see than
// the style's own; it takes no clicks.
class FocusRing : public QWidget
{
    Q_OBJECT
public:
    explicit FocusRing(QWidget* window);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* focused);
};
