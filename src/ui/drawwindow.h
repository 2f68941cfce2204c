#pragma once

#include <QWidget>

#include <memory>


class DrawPad;
struct DrawnFiles;
struct DrawnSignature;
class Platform;
class QPushButton;
class QSpinBox;

// The program's data folder, where a signature written by hand is kept.
QString drawnFolder();
// The signature kept in `folder`, as a one-page PDF the size of its ink: what is put on a
// document. Empty where none is kept, or what is kept cannot be read.
QByteArray drawnSignaturePdf(const QString& folder);
// The signature kept in `folder` as the picture draws it; none where none is kept, or what is
// kept cannot be read.
std::shared_ptr<const DrawnSignature> keptDrawnSignature(const QString& folder);

// Where a person writes their own signature by hand, and keeps it: 完成 trims it to its ink and
// saves its points, and the pictures made from them, in the program's data folder.
class DrawWindow : public QWidget
{
    Q_OBJECT
public:
    DrawWindow(Platform& platform, const QString& folder, QWidget* parent = nullptr);
    DrawPad* pad() const { return pad_; }
    // The points kept by 完成: what the signing window and the renderer's --drawn read.
    static QString keptFile(const QString& folder);
    // The ink picture kept from a photograph instead, where that was kept last.
    static QString keptScan(const QString& folder);

Q_SIGNALS:
    void kept();

public Q_SLOTS:
    void finish();
    // Takes a photograph or scan of a signature written on paper and keeps its ink.
    void importScan();

private:
    // Writes the files a kept signature is, then its own (`source`, named `sourceName`), the
    // one kept before (`gone`) going; says where.
    void keep(const DrawnFiles& files, const QString& sourceName, const QByteArray& source,
              const QString& gone);
    void pickInk();
    void showState();

    Platform& platform_;
    QString folder_;
    DrawPad* pad_ = nullptr;
    QPushButton* undo_ = nullptr;
    QPushButton* redo_ = nullptr;
    QPushButton* clear_ = nullptr;
    QSpinBox* penWidth_ = nullptr;
};
