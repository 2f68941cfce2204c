#pragma once

#include "pdf/signatures.h"

#include <QCoreApplication>
#include <QWidget>

#include <vector>

class QListWidget;
class QPushButton;

// Every signature a document carries, as good PDF viewers show them: who signed, when, what
// kind of signature, whether later changes followed, whether the bytes it covers are those
// signed, and what is known of its certificate. A button shows the document as it was signed.
class SignaturePanel : public QWidget
{
    Q_OBJECT
public:
    explicit SignaturePanel(QWidget* parent = nullptr);

    void showSignatures(const std::vector<SignatureReport>& reports);
    void clear();
    // The line the panel shows for one signature.
    static QString describe(const SignatureReport& report);

Q_SIGNALS:
    // The person asked to see the document as it was when the signature of `field`, which
    // covers its first `coveredBytes` bytes, was made.
    void revisionAsked(const QString& field, qint64 coveredBytes);

private:
    std::vector<SignatureReport> reports_;
    QListWidget* list_ = nullptr;
    QPushButton* revision_ = nullptr;
};
