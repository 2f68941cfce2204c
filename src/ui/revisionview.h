#pragma once

#include <QBuffer>
#include <QPdfDocument>
#include <QWidget>

class PageView;
class QLabel;

// A document as it was when one of its signatures was made, its pages shown one at a time:
// what that signature covers, and nothing added after it.
class RevisionView : public QWidget
{
    Q_OBJECT
public:
    // `bytes`, the document up to the end of the signature of `field`.
    RevisionView(const QString& documentName, const QString& field, const QByteArray& bytes,
                 QWidget* parent = nullptr);

    int pageCount() const { return document_.pageCount(); }
    void showPage(int page);

private:
    QBuffer bytes_; // what document_ reads: declared first, it outlives it
    QPdfDocument document_;
    PageView* view_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    int page_ = 0;
};
