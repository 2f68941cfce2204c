#pragma once

#include "pdf/signingjob.h"

#include <QWidget>

#include <functional>
#include <optional>

class Platform;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

// Signs several documents as the signing window shows one: the same signature, place, width,
// certificate and level on each, on the page counted from the first or from the last; each
// signed copy written beside its document, the results listed, each opened from its line.
class BatchWindow : public QWidget
{
    Q_OBJECT
public:
    // `job` asks the signing window for the signing it shows, everything asked of the person
    // first; none where something is missing.
    BatchWindow(Platform& platform, std::function<std::optional<SigningJob>()> job, int page,
                QWidget* parent = nullptr);

    void addDocuments(const QStringList& paths);
    // Signs every document listed; the results are shown as they come.
    void signAll();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void chooseDocuments();
    void openResult();

    Platform& platform_;
    std::function<std::optional<SigningJob>()> job_;
    QListWidget* documents_ = nullptr;
    QComboBox* from_ = nullptr;
    QSpinBox* page_ = nullptr;
    QPushButton* start_ = nullptr;
    QListWidget* results_ = nullptr;
    QLabel* summary_ = nullptr;
};

// Where a document's signed copy goes: beside it, "-已签" after its name.
QString signedCopyPath(const QString& document);
