#include "signwindow.h"

#include "output/platform.h"
#include "pageview.h"
#include "pdf/pagelist.h"
#include "pdf/signatures.h"
#include "pdf/signingidentity.h"
#include "revisionview.h"
#include "signaturepanel.h"
#include "signmessages.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <cmath>

SignWindow::SignWindow(Platform& platform, std::function<QByteArray()> signature,
                       std::function<bool()> isSeal, QWidget* parent)
    : QWidget(parent), platform_(platform), signature_(std::move(signature)),
      isSeal_(std::move(isSeal))
{
    setObjectName(QStringLiteral("frmSign"));
    setWindowTitle(QStringLiteral("签署文档 - Sorvex签名设计"));
    resize(900, 760);
    auto* open = new QPushButton(QStringLiteral("打开…"), this);
    open->setObjectName(QStringLiteral("btnOpen"));
    auto* previous = new QPushButton(QStringLiteral("上一页"), this);
    previous->setObjectName(QStringLiteral("btnPrevious"));
    auto* next = new QPushButton(QStringLiteral("下一页"), this);
    next->setObjectName(QStringLiteral("btnNext"));
    pageLabel_ = new QLabel(this);
    pages_ = new QLineEdit(this);
    pages_->setObjectName(QStringLiteral("txtPages"));
    pages_->setPlaceholderText(QStringLiteral("当前页"));
    pages_->setToolTip(QStringLiteral("要签的页：例如 1,3-5,last 或 all；空着就是当前页"));
    pages_->setAccessibleName(QStringLiteral("要签的页"));
    pages_->setMaximumWidth(110);
    across_ = new QCheckBox(QStringLiteral("骑缝章"), this);
    across_->setObjectName(QStringLiteral("chkAcross"));
    across_->setToolTip(QStringLiteral("把印章切成每页一条，放在每页的右边缘"));
    flatten_ = new QCheckBox(QStringLiteral("画入页面"), this);
    flatten_->setObjectName(QStringLiteral("chkFlatten"));
    flatten_->setToolTip(QStringLiteral("把签名画进页面内容并重写文档；原有的数字签名会失效"));
    certificateButton_ = new QPushButton(QStringLiteral("证书…"), this);
    certificateButton_->setObjectName(QStringLiteral("btnCertificate"));
    certificateButton_->setToolTip(QStringLiteral("用 .p12 证书做数字签名"));
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("txtPassword"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(QStringLiteral("证书密码"));
    password_->setAccessibleName(QStringLiteral("证书密码"));
    password_->setMaximumWidth(110);
    password_->setEnabled(false);
    auto* save = new QPushButton(QStringLiteral("保存…"), this);
    save->setObjectName(QStringLiteral("btnSave"));
    view_ = new PageView(this);
    view_->setObjectName(QStringLiteral("pageView"));
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("lblNotice"));
    notice_->setWordWrap(true);
    panel_ = new SignaturePanel(this);

    auto* bar = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{open, previous, pageLabel_, next})
        bar->addWidget(w);
    bar->addStretch();
    bar->addWidget(new QLabel(QStringLiteral("页："), this));
    for (QWidget* w : std::initializer_list<QWidget*>{pages_, across_, flatten_,
                                                      certificateButton_, password_, save})
        bar->addWidget(w);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);
    layout->addWidget(panel_);
    layout->addWidget(notice_);
    connect(panel_, &SignaturePanel::revisionAsked, this, &SignWindow::showRevision);

    connect(open, &QPushButton::clicked, this, &SignWindow::chooseDocument);
    connect(save, &QPushButton::clicked, this, &SignWindow::save);
    connect(previous, &QPushButton::clicked, this, [this] { showPage(page_ - 1); });
    connect(next, &QPushButton::clicked, this, [this] { showPage(page_ + 1); });
    connect(certificateButton_, &QPushButton::clicked, this, &SignWindow::chooseCertificate);
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this,
            &SignWindow::chooseDocument);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this,
            &SignWindow::save);
    connect(new QShortcut(QKeySequence(Qt::Key_PageUp), this), &QShortcut::activated, this,
            [this] { showPage(page_ - 1); });
    connect(new QShortcut(QKeySequence(Qt::Key_PageDown), this), &QShortcut::activated, this,
            [this] { showPage(page_ + 1); });
    refreshSignature();
    showFacts();
}

void SignWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        refreshSignature();
    QWidget::changeEvent(event);
}

void SignWindow::refreshSignature()
{
    signaturePdf_ = signature_();
    across_->setEnabled(isSeal_());
    if (!isSeal_())
        across_->setChecked(false);
    if (!signaturePdf_.isEmpty())
        view_->setSignature(signaturePdf_);
}

bool SignWindow::openDocument(const QString& path)
{
    // Read by qpdf first: what it refuses is not handed to the PDF module at all.
    const auto facts = inspectPdf(path);
    const SignError* refused = std::get_if<SignError>(&facts);
    const QPdfDocument::Error opened = refused ? QPdfDocument::Error::Unknown : document_.load(path);
    if (refused || opened != QPdfDocument::Error::None) {
        const QString why =
            refused ? SignMessages::text(*refused)
                    : SignMessages::text(SignError{SignError::Kind::NotPdf, path});
        platform_.showMessage(tr("文档不能打开：%1\r\n%2").arg(path, why),
                              QStringLiteral("Sorvex签名设计"), Platform::Icon::Warning);
        document_.close();
        path_.clear();
        view_->setPage(nullptr, 0);
        panel_->clear();
        showFacts();
        return false;
    }
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
    const auto verified = verifySignatures(path_);
    if (const auto* reports = std::get_if<std::vector<SignatureReport>>(&verified))
        panel_->showSignatures(*reports);
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
    platform_.showMessage(text, QStringLiteral("Sorvex签名设计"), Platform::Icon::Warning);
}

void SignWindow::hideEvent(QHideEvent* event)
{
    password_->clear();
    QWidget::hideEvent(event);
}

void SignWindow::showPage(int page)
{
    if (path_.isEmpty() || page < 0 || page >= document_.pageCount())
        return;
    page_ = page;
    view_->setPage(&document_, page);
    pageLabel_->setText(QStringLiteral("第 %1 / %2 页").arg(page + 1).arg(document_.pageCount()));
}

void SignWindow::showFacts()
{
    if (path_.isEmpty()) {
        notice_->setText(QStringLiteral("签名是主窗口里设计的样子。拖动签名放到要签的位置，拖右下角或滚动鼠标滚轮改变大小，方向键微调。"));
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

void SignWindow::chooseCertificate()
{
    const auto answer = platform_.askOpenFileName(QStringLiteral("选择签名证书"),
                                                  {QStringLiteral("证书 (*.p12 *.pfx)")});
    if (!answer)
        return;
    certificate_ = *answer;
    certificateButton_->setText(QFileInfo(certificate_).fileName());
    password_->setEnabled(true);
    password_->setFocus();
}

StampPlace SignWindow::stampPlace() const
{
    StampPlace place;
    const QString pages = pages_->text().trimmed();
    place.pages = pages.isEmpty() ? QString::number(page_ + 1) : pages;
    place.atMm = view_->atMm();
    place.widthMm = view_->widthMm();
    place.flatten = flatten_->isChecked();
    place.acrossPages = across_->isChecked() && across_->isEnabled();
    if (place.acrossPages && pages.isEmpty())
        place.pages = QStringLiteral("all");
    return place;
}

void SignWindow::save()
{
    if (path_.isEmpty()) {
        chooseDocument();
        return;
    }
    refreshSignature();
    // The password is used for this signing alone, whatever comes of it.
    SecretBytes password(password_->text().toUtf8());
    password_->clear();
    if (signaturePdf_.isEmpty())
        return warn(tr("签名是空的：请先在主窗口里输入名字。"));
    StampPlace place = stampPlace();
    if (const auto problem = pageListProblem(place.pages))
        return warn(SignMessages::text(*problem));
    if (!certificate_.isEmpty()) {
        if (place.flatten)
            return warn(tr("证书签名追加在文档之后，不能同时“画入页面”。"));
        auto identity = SigningIdentity::load(certificate_, password);
        if (const SignError* why = std::get_if<SignError>(&identity))
            return warn(tr("证书不能用来签名：%1").arg(SignMessages::text(*why)));
        place.signer = std::get<std::shared_ptr<SigningIdentity>>(identity);
    }
    // Drawing into the pages rewrites the document: its signatures stop being valid. Asked
    // first, No the default.
    if (place.flatten && facts_.signatures > 0) {
        if (!platform_.askYesNo(tr("这份文档有 %1 个数字签名。“画入页面”会重写文档，这 %1 个签名都将失效。\r\n仍要画入页面吗？")
                                    .arg(facts_.signatures),
                                tr("画入页面")))
            return;
        place.breakSignatures = true;
    }
    const auto stamped = stampPdf(path_, signaturePdf_, place);
    if (const SignError* failure = std::get_if<SignError>(&stamped))
        return warn(tr("文档不能签署：%1").arg(SignMessages::text(*failure)));
    const auto answer = platform_.askSaveFileName(QStringLiteral("保存签署后的文档"),
                                                  {QStringLiteral("PDF 文档 (*.pdf)")});
    if (!answer || answer->path.isEmpty())
        return;
    QString out = answer->path;
    if (QFileInfo(out).suffix().isEmpty())
        out += QStringLiteral(".pdf");
    // Never over the document itself, nor another file, without asking.
    if (QFileInfo::exists(out) && !platform_.confirmReplace(out))
        return;
    const SignedCopy& copy = std::get<SignedCopy>(stamped);
    if (const auto error = copy.writeTo(out))
        return warn(SignMessages::text(*error));
    QStringList pages;
    for (const SignedPage& page : copy.signedPages)
        pages << QString::number(page.page);
    QString said = tr("已保存签署后的文档：\r\n%1\r\n签了第 %2 页%3。")
                       .arg(out, pages.join(QStringLiteral("、")),
                            place.signer ? tr("，第 %1 页是证书签名").arg(pages.value(0))
                                         : QString());
    if (copy.newFieldAfterCertification)
        said += tr("\r\n这份文档经作者认证只允许填表和签名，又没有空的签名域，所以新加了一个签名域；有些核验软件可能会把它标为不允许的改动。");
    if (facts_.signatures > 0)
        said += !copy.rewritten ? tr("\r\n文档原有的 %1 个数字签名仍然有效。").arg(facts_.signatures)
                                : tr("\r\n文档原有的数字签名已失效。");
    platform_.showMessage(said, QStringLiteral("Sorvex签名设计"), Platform::Icon::Information);
}
