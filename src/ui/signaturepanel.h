#pragma once

#include "pdf/signatures.h"

#include <QCoreApplication>
#include <QWidget>

#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

// Every signature a document carries, as good PDF readers show them: the verdict on top (every
// signature holds and nothing changed since; only signatures and validation data came after;
// the document changed after signing, and how; a signature does not hold), and below it each
// signature: who signed, when, what kind, what it covers, whether the bytes it covers are those
// signed, what is known of its certificate, and what came after it. A button shows the
// document as a signature signed it.
class SignaturePanel : public QWidget
{
    Q_OBJECT
public:
    explicit SignaturePanel(QWidget* parent = nullptr);

    void showVerification(const Verification& verification);
    void clear();
    // The line the panel shows for one signature of the verification, and its verdict on top.
    static QString describe(const SignatureReport& report, const Verification& verification);
    static QString verdict(const Verification& verification);
    // What later revisions changed, in a few words.
    static QString laterWords(const std::vector<RevisionChanges>& later,
                              const Verification& verification);

Q_SIGNALS:
    // The person asked to see the document as it was when the signature of `field`, which
    // covers its first `coveredBytes` bytes, was made.
    void revisionAsked(const QString& field, qint64 coveredBytes);

private:
    std::vector<SignatureReport> reports_;
    QLabel* banner_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* revision_ = nullptr;
};
