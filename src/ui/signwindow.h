#pragma once

#include "output/pdfstamp.h"

#include <QBuffer>
#include <QImage>
#include <QPdfDocument>
#include <QWidget>

#include <functional>

class Platform;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
    void place(QPointF atMm, double widthMm);
    // Where the page is drawn in the widget, and its scale in pixels a point.
    QRectF pageRect() const;

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
    QRectF signatureRect() const; // in widget pixels
    void setWidthAround(double width, QPointF fixed);
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
    enum class Drag { None, Move, Resize } drag_ = Drag::None;
    QPointF grab_;      // where the pointer held the signature, in points from its corner
    bool placed_ = false;
};

// Signs a document: open a PDF, see its pages, put the signature designed in the main window
// where it should go, choose the pages, a cross-page seal, a certificate, and save a signed copy.
class SignWindow : public QWidget
{
    Q_OBJECT
public:
    // `signature` makes the PDF of the signature as designed now; `isSeal` says whether it is
    // a seal, which alone can be cut across pages.
    SignWindow(Platform& platform, std::function<QByteArray()> signature,
               std::function<bool()> isSeal, QWidget* parent = nullptr);

    // Opens a document and shows its first page; a document that cannot be opened is said.
    bool openDocument(const QString& path);
    const QString& documentPath() const { return path_; }
    PageView* pageView() const { return view_; }
    // What saving would ask the document to be signed with.
    StampPlace stampPlace() const;

protected:
    // The signature is made again when the person comes back from designing it, not at every
    // drawing of the main window: a drag there stays as quick with this window open.
    void changeEvent(QEvent* event) override;

public Q_SLOTS:
    void chooseDocument();
    void save();
    void showPage(int page);
    void refreshSignature();

private:
    void chooseCertificate();
    void showFacts();

    Platform& platform_;
    std::function<QByteArray()> signature_;
    std::function<bool()> isSeal_;
    QPdfDocument document_;
    QString path_;
    DocumentFacts facts_;
    int page_ = 0;
    QByteArray signaturePdf_;
    QString certificate_;
    PageView* view_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QLabel* notice_ = nullptr;
    QLineEdit* pages_ = nullptr;
    QCheckBox* across_ = nullptr;
    QCheckBox* flatten_ = nullptr;
    QPushButton* certificateButton_ = nullptr;
    QLineEdit* password_ = nullptr;
};
