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
    bool canUndo() const { return !done_.empty(); }
    bool canRedo() const { return !undone_.empty(); }
    bool isEmpty() const { return writing_.strokes.empty() && scan_.isNull(); }
    // A photograph's ink shown on the pad in place of what was written, one step undo takes
    // back; what is written after it is written over it.
    void showScan(const QImage& ink);
    bool showsScan() const { return !scan_.isNull(); }
    // The photograph's ink with the strokes written over it, at the photograph's resolution,
    // cropped to the ink.
    QImage scanWithStrokes() const;
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
    // One step undone or redone: a stroke written, or what the pad showed replaced by a
    // photograph or by nothing.
    struct Step
    {
        bool replaces = false;
        std::vector<PenStroke> strokes; // written, or replaced
        QImage scanBefore, scanAfter;
    };
    QRectF scanRect() const;
    void apply(const Step& step, bool forward);

    Handwriting writing_;
    std::vector<QPainterPath> ink_;       // each stroke's outline, as writing_.strokes
    std::vector<Step> done_;              // what undo takes back, the last done last
    std::vector<Step> undone_;            // what redo does again, the last undone last
    PenStroke current_;
    bool writingNow_ = false;
    QElapsedTimer clock_;
    QImage scan_;                         // a photograph's ink, where one is shown
    QImage written_;                      // the finished strokes at the widget's size
    QRectF shownCurrent_;                 // where the stroke being written was last painted
};
