#include "signwindow.h"

#include "output/platform.h"
#include "qtplatform.h"
#include "pageview.h"
#include "output/signerlines.h"
#include "pdf/pagestack.h"
#include "pdf/pagelist.h"
#include "pdf/shownfields.h"
#include "pdf/signatures.h"
#include "pdf/signingjob.h"
#include "pdf/signingidentity.h"
#include "pdf/tokens.h"
#include "revisionview.h"
#include "appendeddevice.h"
#include "background.h"
#include "batchwindow.h"
#include "drawwindow.h"
#include "levelchooser.h"
#include "signaturepanel.h"
#include "signmessages.h"

#include <QApplication>
#include <QDir>
#include <QUrl>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QListWidget>
#include <QPdfDocumentRenderOptions>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

SignWindow::SignWindow(Platform& platform, std::function<QByteArray()> signature,
                       std::function<bool()> isSeal, std::function<QByteArray()> drawn,
                       QWidget* parent)
    : QWidget(parent), platform_(platform), signature_(std::move(signature)),
      isSeal_(std::move(isSeal)), drawn_(std::move(drawn))
{
    setObjectName(QStringLiteral("frmSign"));
    setWindowTitle(QStringLiteral("签署文档 - Sorvex签名设计"));
    // The page view takes what is left.
    resize(withinScreen(QSize(900, 760), parent));
    createControls();
}

void SignWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        refreshSignature();
    QWidget::changeEvent(event);
}

void SignWindow::refreshSignature()
{
    const QByteArray drawn = drawn_ ? drawn_() : QByteArray();
    useDrawn_->setEnabled(!drawn.isEmpty());
    if (drawn.isEmpty())
        useDrawn_->setChecked(false);
    const bool byHand = useDrawn_->isChecked();
    signaturePdf_ = byHand ? drawn : signature_();
    across_->setEnabled(isSeal_() && !byHand);
    if (!across_->isEnabled())
        across_->setChecked(false);
    // Words under a seal cut across the pages would be cut with it.
    signerLines_->setEnabled(!certificate_.isEmpty() && !across_->isChecked());
    if (identity_ && signerLines_->isEnabled() && signerLines_->isChecked() &&
        !signaturePdf_.isEmpty()) {
        const QByteArray stacked = stackedPdf(
            signaturePdf_, linesPdf(signerLines(identity_->name(), QDateTime::currentDateTime(),
                                                reason_->text().trimmed(),
                                                location_->text().trimmed()),
                                    linesFamilies_ ? linesFamilies_() : QStringList()));
        if (!stacked.isEmpty())
            signaturePdf_ = stacked;
    }
    if (!signaturePdf_.isEmpty())
        view_->setSignature(signaturePdf_);
    showShare();
}

bool SignWindow::openDocument(const QString& path)
{
    return openDocument(path, nullptr);
}

bool SignWindow::openDocument(const QString& path, std::shared_ptr<const SecretBytes> password)
{
    // Read by qpdf first: what it refuses is not handed to the PDF module at all.
    auto facts = inspectPdf(path, password.get());
    // A document locked by a password asks for it, again while what is typed does not open it.
    for (const SignError* locked = std::get_if<SignError>(&facts);
         locked && (locked->kind == SignError::Kind::NeedsPassword ||
                    locked->kind == SignError::Kind::WrongPassword);
         locked = std::get_if<SignError>(&facts)) {
        const QString name = QFileInfo(path).fileName();
        auto typed = platform_.askPassword(
            locked->kind == SignError::Kind::NeedsPassword && !password
                ? tr("“%1”有密码保护。请输入打开它的密码：").arg(name)
                : tr("密码不对，打不开“%1”。请再输入一次：").arg(name),
            tr("打开文档"));
        if (!typed)
            return false;
        password = std::make_shared<const SecretBytes>(typed->toUtf8());
        wiped(typed);
        facts = inspectPdf(path, password.get());
    }
    const SignError* refused = std::get_if<SignError>(&facts);
    auto document = std::make_unique<QPdfDocument>();
    if (password)
        document->setPassword(QString::fromUtf8(password->data(), password->size()));
    // The fields, signatures among them, shown as stamps: the page view draws no form.
    std::unique_ptr<AppendedDevice> shown;
    if (!refused) {
        const auto stamps = fieldsAsStamps(path, password.get());
        if (const auto* tail = std::get_if<QByteArray>(&stamps); tail && !tail->isEmpty()) {
            shown = std::make_unique<AppendedDevice>(path, *tail);
            if (!shown->open(QIODevice::ReadOnly))
                shown.reset();
        }
    }
    if (shown && !refused) {
        document->load(shown.get());
        if (document->status() != QPdfDocument::Status::Ready)
            shown.reset();
    }
    const QPdfDocument::Error opened =
        refused ? QPdfDocument::Error::Unknown
        : shown ? QPdfDocument::Error::None
                : document->load(path);
    if (refused || opened != QPdfDocument::Error::None) {
        const QString why =
            refused ? SignMessages::text(*refused)
                    : SignMessages::text(SignError{SignError::Kind::NotPdf, path});
        warn(tr("文档不能打开：%1\r\n%2").arg(path, why));
        return false;
    }
    view_->setPage(document.get(), 0);
    view_->setSignatureShown(true);
    another_->hide();
    document_ = std::move(document);
    shownDocument_ = std::move(shown);
    {
        const QSignalBlocker quiet(thumbnails_);
        thumbnails_->clear();
        for (int i = 0; i < document_->pageCount(); ++i)
            new QListWidgetItem(QString::number(i + 1), thumbnails_);
    }
    thumbnailTimer_->start();
    documentPassword_ = std::move(password);
    path_ = path;
    facts_ = std::get<DocumentFacts>(facts);
    setWindowTitle(QStringLiteral("%1 - 签署文档").arg(QFileInfo(path).fileName()));
    refreshSignature();
    showPage(0);
    showFacts();
    showSignatures();
    raise();
    activateWindow();
    view_->setFocus();
    return true;
}

void SignWindow::showSignatures()
{
    const auto verified = verifySignatures(path_, documentPassword_.get());
    if (const auto* verification = std::get_if<Verification>(&verified))
        panel_->showVerification(*verification);
    else
        panel_->clear();
}

void SignWindow::showRevision(const QString& field, qint64 coveredBytes)
{
    const auto revision = signedRevision(path_, coveredBytes);
    if (const SignError* why = std::get_if<SignError>(&revision))
        return warn(SignMessages::text(*why));
    auto* view = new RevisionView(QFileInfo(path_).fileName(), field,
                                  std::get<QByteArray>(revision), this);
    view->show();
}

void SignWindow::warn(const QString& text)
{
    platform_.showMessage(text, tr("签署文档"), Platform::Icon::Warning);
}

void SignWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Tokens come and go: listed again each time the window comes up, once the page shows
    // (asking every token's module takes tens of milliseconds).
    QTimer::singleShot(100, this, &SignWindow::listCertificates);
}

void SignWindow::hideEvent(QHideEvent* event)
{
    identity_.reset();
    showCertificate();
    QWidget::hideEvent(event);
}

void SignWindow::showPage(int page)
{
    if (path_.isEmpty() || page < 0 || page >= document_->pageCount())
        return;
    page_ = page;
    view_->setPage(document_.get(), page);
    pageLabel_->setText(QStringLiteral("第 %1 / %2 页").arg(page + 1).arg(document_->pageCount()));
    {
        const QSignalBlocker quiet(thumbnails_);
        thumbnails_->setCurrentRow(page);
    }
    showShare();
    showPlace();
}

// A few pages' pictures at each turn of the event loop: a long document opens at once, and
// only its first pages take memory for pictures.
void SignWindow::fillThumbnails()
{
    constexpr int MostPictured = 300, EachTurn = 6;
    int drawn = 0;
    for (int i = 0; i < std::min(thumbnails_->count(), MostPictured) && drawn < EachTurn; ++i) {
        QListWidgetItem* item = thumbnails_->item(i);
        if (!item->icon().isNull())
            continue;
        const QSizeF points = document_->pagePointSize(i);
        const QSize pixels = points.scaled(thumbnails_->iconSize(), Qt::KeepAspectRatio).toSize();
        QImage picture(pixels.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter p(&picture);
        QPdfDocumentRenderOptions options;
        options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
        p.drawImage(0, 0, document_->render(i, picture.size(), options));
        p.end();
        item->setIcon(QIcon(QPixmap::fromImage(picture)));
        ++drawn;
    }
    if (drawn == 0)
        thumbnailTimer_->stop();
}

// The boxes follow the signature as it is dragged; what is typed in them moves it.
void SignWindow::showPlace()
{
    const QPointF at = view_->atMm();
    const std::pair<QDoubleSpinBox*, double> values[] = {
        {atX_, at.x()}, {atY_, at.y()}, {width_, view_->widthMm()}};
    for (const auto& [box, value] : values) {
        const QSignalBlocker quiet(box);
        box->setValue(value);
    }
}

// The page shown gets what saving writes on it: the signature, a seal's slice, or nothing.
void SignWindow::showShare()
{
    if (path_.isEmpty()) {
        share_->clear();
        return;
    }
    if (!view_->signatureShown()) {
        share_->setText(tr("文档已签好。要再签一处，点“另签一处”。"));
        return;
    }
    const StampPlace place = stampPlace();
    const auto listed = pageList(place.pages, document_->pageCount());
    if (const SignError* problem = std::get_if<SignError>(&listed)) {
        view_->setShare(0, 0);
        share_->setText(SignMessages::text(*problem));
        return;
    }
    const std::vector<int>& pages = std::get<std::vector<int>>(listed);
    QStringList numbers;
    for (const int page : pages)
        numbers << QString::number(page);
    const auto here = std::find(pages.begin(), pages.end(), page_ + 1);
    const int slices = place.acrossPages ? int(pages.size()) : 1;
    if (here == pages.end())
        view_->setShare(0, 0);
    else
        view_->setShare(place.acrossPages ? int(here - pages.begin()) : 0, slices);
    const QString which = numbers.size() > 12
                              ? tr("%1 页").arg(numbers.size())
                              : tr("第 %1 页").arg(numbers.join(QStringLiteral("、")));
    QString text = place.acrossPages ? tr("骑缝章切成 %1 条，%2各盖一条，在页面右边缘。")
                                           .arg(slices)
                                           .arg(which)
                                     : tr("签名盖在%1。").arg(which);
    if (here == pages.end())
        text += tr("这一页不盖。");
    share_->setText(text);
}

void SignWindow::showFacts()
{
    if (path_.isEmpty()) {
        notice_->setText(QStringLiteral("签名是主窗口里设计的样子。拖动签名放到要签的位置，拖右下角或按住 Shift 滚动滚轮改变大小，方向键微调；Ctrl+滚轮缩放页面。"));
        return;
    }
    QString text;
    if (facts_.signatures > 0)
        text = QStringLiteral("这份文档已有 %1 个数字签名。您的签名追加在文档之后，原有的签名仍然有效%2。")
                   .arg(facts_.signatures)
                   .arg(QStringLiteral("（勾选“画入页面”会使它们失效）"));
    else
        text = QStringLiteral("这份文档没有数字签名。");
    if (facts_.certified)
        text += *facts_.certified == 1 ? QStringLiteral("作者认证它不允许任何修改，不能签署。")
                : *facts_.certified == 2 ? QStringLiteral("作者认证它只允许填表和证书签名：请用证书签一页。")
                                        : QStringLiteral("作者认证它允许加注释和签名。");
    // What forged documents are built with, said before anyone signs one.
    const ForgeryRisks& risks = facts_.risks;
    QStringList why;
    if (risks.unreadable)
        why << tr("它后来的版本不能按增量更新读出");
    if (!risks.definedTwice.empty())
        why << tr("同一版里有对象定义了两次");
    if (!risks.unlisted.empty())
        why << tr("文件里有 %1 个没有列入交叉引用表的对象").arg(risks.unlisted.size());
    if (!risks.fieldsOverText.isEmpty())
        why << tr("表单域“%1”盖在页面文字上").arg(risks.fieldsOverText.join(QStringLiteral("、")));
    if (!why.isEmpty())
        text += tr("\n注意：%1。签名之后，有人可能借此让文档显示别的内容；请确认文档来自可信的来源。")
                    .arg(why.join(tr("；")));
    notice_->setText(text);
}

void SignWindow::chooseDocument()
{
    // Asked over this window, which the focus comes back to.
    if (!isActiveWindow()) {
        raise();
        QApplication::setActiveWindow(this);
    }
    const auto answer = platform_.askOpenFileName(QStringLiteral("打开要签署的 PDF 文档"),
                                                  {QStringLiteral("PDF 文档 (*.pdf)")});
    if (answer)
        openDocument(*answer);
}

