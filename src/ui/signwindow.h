#pragma once

#include "appendeddevice.h"
#include "batchwindow.h"

#include "pdf/documentfacts.h"
#include "pdf/secret.h"
#include "pdf/signingjob.h"
#include "pdf/stamp.h"
#include "pdf/tokens.h"

#include <QPdfDocument>
#include <QWidget>

#include <functional>
#include <memory>

class Platform;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;
class QPushButton;
class LevelChooser;
class PageView;
class SignaturePanel;
class SigningIdentity;

// Signs a document: open a PDF, see its pages, put the signature designed in the main window
// where it should go, choose the pages, a cross-page seal, a certificate, and save a signed copy.
class SignWindow : public QWidget
{
    Q_OBJECT
public:
    // `signature` makes the PDF of the signature as designed now; `isSeal` says whether it is
    // a seal, which alone can be cut across pages.
    // `drawn` makes the PDF of the signature written by hand, empty where there is none.
    SignWindow(Platform& platform, std::function<QByteArray()> signature,
               std::function<bool()> isSeal, std::function<QByteArray()> drawn,
               QWidget* parent = nullptr);

    // Opens a document and shows its first page, asking for its password where it has one; a
    // document that cannot be opened is said, and the one open before stays.
    bool openDocument(const QString& path);
    const QString& documentPath() const { return path_; }
    PageView* pageView() const { return view_; }
    // The face the lines under a certificate signature are written in, asked for when they are
    // first written: registering it takes a while.
    void setLinesFamilies(std::function<QStringList()> families) { linesFamilies_ = std::move(families); }
    // What saving would ask the document to be signed with.
    StampPlace stampPlace() const;
    // The signing saving would do, everything asked of the person first (a certificate's
    // password or PIN); none where something is missing, said.
    std::optional<SigningJob> preparedJob();
    // Signs several documents as this one would be signed.
    void signMany();
    // On a document just signed: a new signature to place, beside the one made.
    void signAnother();

protected:
    // The signature is made again when the person comes back from designing it, not at every
    // drawing of the main window: a drag there stays as quick with this window open.
    void changeEvent(QEvent* event) override;
    // The certificate's key is not kept once the window is put away.
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

public Q_SLOTS:
    void chooseDocument();
    void save();
    void showPage(int page);
    void refreshSignature();

private:
    void createControls();
    bool openDocument(const QString& path, std::shared_ptr<const SecretBytes> password);
    void chooseCertificate();
    void listCertificates();
    void pickCertificate(int index);
    QString listedName() const;
    void clearCertificate();
    bool unlockCertificate();
    void showCertificate();
    void showShare();
    void showPlace();
    void fillThumbnails();
    void showFacts();
    void showSignatures();
    void showRevision(const QString& field, qint64 coveredBytes);
    void warn(const QString& text);

    Platform& platform_;
    std::function<QByteArray()> signature_;
    std::function<bool()> isSeal_;
    std::function<QByteArray()> drawn_;
    std::function<QStringList()> linesFamilies_;
    // What document_ reads, where not the file; goes after it.
    std::unique_ptr<AppendedDevice> shownDocument_;
    std::unique_ptr<QPdfDocument> document_;
    std::shared_ptr<const SecretBytes> documentPassword_;
    QString path_;
    DocumentFacts facts_;
    int page_ = 0;
    QByteArray signaturePdf_;
    QString certificate_;
    std::shared_ptr<SigningIdentity> identity_; // unlocked: its key, while the window is shown
    PageView* view_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QLabel* notice_ = nullptr;
    QLineEdit* pages_ = nullptr;
    QCheckBox* across_ = nullptr;
    QCheckBox* flatten_ = nullptr;
    QCheckBox* useDrawn_ = nullptr;
    QCheckBox* signerLines_ = nullptr;
    QPushButton* certificateButton_ = nullptr;
    QPushButton* clearCertificate_ = nullptr;
    QLabel* certificateLabel_ = nullptr;
    QComboBox* certificates_ = nullptr;
    std::vector<TokenCertificate> listed_;
    QStringList files_; // certificate files chosen in this run
    QLineEdit* reason_ = nullptr;
    QLineEdit* location_ = nullptr;
    QLabel* share_ = nullptr;
    QPushButton* another_ = nullptr;
    QListWidget* thumbnails_ = nullptr;
    QTimer* thumbnailTimer_ = nullptr; // draws the pages' pictures a few at a time
    QDoubleSpinBox* atX_ = nullptr; // where the signature is, in millimetres, as the renderer's
    QDoubleSpinBox* atY_ = nullptr; // --at and --width take it
    QDoubleSpinBox* width_ = nullptr;
    SignaturePanel* panel_ = nullptr;
    LevelChooser* levels_ = nullptr;
    std::unique_ptr<class BatchWindow> batch_;
};
