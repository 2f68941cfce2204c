#pragma once

#include <QBuffer>
#include <QImage>
#include <QPdfDocument>
#include <QWidget>

class QPainter;

// A page of a document with the signature over it, where the person puts it: dragged by the
// mouse, made larger or smaller by its corner or the wheel, nudged by the arrow keys. What it
// shows is what the renderer's --stamp writes for the same page, place and width.
class PageView : public QWidget
{
    Q_OBJECT
public:
    explicit PageView(QWidget* parent = nullptr);

    void setPage(QPdfDocument* document, int page);
    // The signature as the one-page PDF that will be put on the document.
    void setSignature(const QByteArray& pdf);
    // Where the signature is on the page as shown, in millimetres from its top-left corner.
    QPointF atMm() const { return at_ / PointsPerMm; }
    double widthMm() const { return width_ / PointsPerMm; }
    double heightMm() const;
    void place(QPointF atMm, double widthMm);
    // Hidden once the page is signed, until another signature is asked for: nothing to drag.
    void setSignatureShown(bool shown);
    bool signatureShown() const { return signatureShown_; }
    // Where the page is drawn in the widget, and its scale in pixels a point.
    QRectF pageRect() const;
    // How large the page is shown: fitted whole or to its width in the room the view has (its
    // scroll area's), times `zoom`. Larger than the room, the view grows and scrolls.
    enum class Fit { Page, Width };
    void setZoom(Fit fit, double zoom);
    // Zoomed about a point of the view, which stays where it is on the screen.
    void zoomAbout(QPointF at, double zoom);
    double zoom() const { return zoom_; }
    Fit fit() const { return fit_; }
    // What of the signature the page shown gets, as saving writes it: all of it (1 of 1), none
    // (a page not signed: 0 slices), or across the pages the slice-th of `slices` at its right
    // edge.
    void setShare(int slice, int slices);
    // The signature's part on the page, in widget pixels: empty where the page gets none.
    QRectF shownRect() const;

Q_SIGNALS:
    void placeChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    static constexpr double PointsPerMm = 72 / 25.4;
    // The least room the page is shown in: a small screen at a large scale has little to give.
    static constexpr int Smallest = 120;
    QRectF signatureRect() const; // in widget pixels
    void paintSlices(QPainter& p, const QRectF& signature);
    void setWidthAround(double width, QPointF fixed);
    void moveTo(QPointF at);
    void keepOnPage();
    void placeFirst();

    QPdfDocument* document_ = nullptr;
    int page_ = 0;
    QSizeF pagePoints_;
    QImage pageImage_; // the page at the widget's scale, rendered once a page and size
    QBuffer signatureBytes_; // what signature_ reads: declared first, it outlives it
    QPdfDocument signature_;
    QSizeF signaturePoints_;
    QImage signatureImage_;
    QPointF at_;        // points from the shown page's top-left
    double width_ = 0;  // points
    enum class Drag { None, Move, Resize, Box } drag_ = Drag::None;
    QRectF box_; // drawn from a press beside the signature: where it is to go, in widget pixels
    QPointF grab_;      // where the pointer held the signature, in points from its corner
    bool placed_ = false;
    bool signatureShown_ = true;
    int slice_ = 0;
    int slices_ = 1;
    Fit fit_ = Fit::Page;
    double zoom_ = 1;
    QSize room() const;  // what the view is shown in
    double scale() const; // pixels a point
    void sizeToZoom();
};
