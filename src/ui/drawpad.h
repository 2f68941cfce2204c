#pragma once

#include "render/handwriting.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <vector>

// The sheet a person writes their own signature on, with a mouse, a finger or a pen. What it
// shows is the ink the points make, drawn again from them the same every time: the strokes
// written so far once, into a picture kept, the one being written over it at every move.
class DrawPad : public QWidget
{
    Q_OBJECT
public:
    explicit DrawPad(QWidget* parent = nullptr);

    // What has been written, in the pad's own units (reference pixels, three times the
    // picture's size however large the pad is shown).
    const Handwriting& writing() const { return writing_; }
    void setPenWidth(double width);
    void setInk(QRgb ink);
    bool canUndo() const { return !writing_.strokes.empty(); }
    bool canRedo() const { return !undone_.empty(); }
    void undo();
    void redo();
    void clear();
    // The pad's units to the widget's pixels.
    QTransform toWidget() const;

    static constexpr QSizeF Size = PadSize;

Q_SIGNALS:
    void changed();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void tabletEvent(QTabletEvent*) override;

private:
    void begin(QPointF at, double pressure);
    void extend(QPointF at, double pressure);
    void finish();
    void redrawInk();

    Handwriting writing_;
    std::vector<QPainterPath> ink_;       // each stroke's outline, as writing_.strokes
    std::vector<PenStroke> undone_;       // what redo writes again, the last undone last
    PenStroke current_;
    bool writingNow_ = false;
    QElapsedTimer clock_;
    QImage written_;                      // the finished strokes at the widget's size
    QRectF shownCurrent_;                 // where the stroke being written was last painted
};
