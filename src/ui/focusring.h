#pragma once

#include <QWidget>

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
