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

namespace {

// A password typed into the window, overwritten once its bytes are taken: no copy of it stays
// in freed memory.
void wiped(std::optional<QString>& typed)
{
    if (typed && typed->isDetached())
        std::fill(typed->begin(), typed->end(), QChar(u'\0'));
    typed.reset();
}

} // namespace

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
    auto* open = new QPushButton(QStringLiteral("打开…"), this);
    open->setObjectName(QStringLiteral("btnOpen"));
    // Arrows where words would take the room a small screen lacks; the words in their tips.
    auto* previous = new QPushButton(QStringLiteral("◀"), this);
    previous->setObjectName(QStringLiteral("btnPrevious"));
    previous->setToolTip(tr("上一页（PgUp）"));
    previous->setAccessibleName(tr("上一页"));
    previous->setMaximumWidth(40);
    auto* next = new QPushButton(QStringLiteral("▶"), this);
    next->setObjectName(QStringLiteral("btnNext"));
    next->setToolTip(tr("下一页（PgDn）"));
    next->setAccessibleName(tr("下一页"));
    next->setMaximumWidth(40);
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("lblPage"));
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
    useDrawn_ = new QCheckBox(QStringLiteral("手绘签名"), this);
    useDrawn_->setObjectName(QStringLiteral("chkDrawn"));
    useDrawn_->setToolTip(QStringLiteral("签上您在“手绘签名”里写下的签名，而不是设计的签名"));
    certificateButton_ = new QPushButton(QStringLiteral("选择证书…"), this);
    certificateButton_->setObjectName(QStringLiteral("btnCertificate"));
    certificateButton_->setToolTip(QStringLiteral("用 .p12 证书做数字签名"));
    clearCertificate_ = new QPushButton(QStringLiteral("不用证书"), this);
    clearCertificate_->setObjectName(QStringLiteral("btnClearCertificate"));
    clearCertificate_->setEnabled(false);
    // One list of every certificate this computer keeps: its tokens', its NSS database's, and
    // the files chosen; a file is chosen from its last row.
    certificates_ = new QComboBox(this);
    certificates_->setObjectName(QStringLiteral("cboCertificate"));
    certificates_->setAccessibleName(QStringLiteral("签名证书"));
    certificates_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    certificates_->setMinimumContentsLength(16);
    certificateLabel_ = new QLabel(this);
    // A long name and issuer are cut at the window's edge, whole in the tooltip: they never
    // push the other controls off the window.
    certificateLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    certificateLabel_->setObjectName(QStringLiteral("lblCertificate"));
    certificateLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // What a certificate signature says besides who signed: why, and where.
    reason_ = new QLineEdit(this);
    reason_->setObjectName(QStringLiteral("txtReason"));
    reason_->setPlaceholderText(QStringLiteral("理由（可不填）"));
    reason_->setAccessibleName(QStringLiteral("签名理由"));
    reason_->setMaximumWidth(140);
    location_ = new QLineEdit(this);
    location_->setObjectName(QStringLiteral("txtLocation"));
    location_->setPlaceholderText(QStringLiteral("地点（可不填）"));
    location_->setAccessibleName(QStringLiteral("签名地点"));
    location_->setMaximumWidth(110);
    signerLines_ = new QCheckBox(QStringLiteral("写明签名人"), this);
    signerLines_->setObjectName(QStringLiteral("chkSignerLines"));
    signerLines_->setToolTip(QStringLiteral("在签名下方写上签名人、日期，以及填了的理由和地点"));
    share_ = new QLabel(this);
    share_->setObjectName(QStringLiteral("lblShare"));
    const auto millimetres = [this](const char* name, const QString& said) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setAccessibleName(said);
        box->setDecimals(1);
        box->setRange(0, 10000);
        box->setSingleStep(1);
        box->setSuffix(QStringLiteral(" 毫米"));
        box->setKeyboardTracking(false);
        return box;
    };
    atX_ = millimetres("spnLeft", QStringLiteral("签名离页面左边的距离"));
    atY_ = millimetres("spnTop", QStringLiteral("签名离页面上边的距离"));
    width_ = millimetres("spnWidth", QStringLiteral("签名的宽度"));
    auto* save = new QPushButton(QStringLiteral("保存…"), this);
    save->setObjectName(QStringLiteral("btnSave"));
    auto* batch = new QPushButton(tr("批量签署…"), this);
    batch->setObjectName(QStringLiteral("btnBatch"));
    batch->setToolTip(tr("把这个签名按同样的位置签到多份文档上"));
    view_ = new PageView(this);
    view_->setObjectName(QStringLiteral("pageView"));
    thumbnails_ = new QListWidget(this);
    thumbnails_->setObjectName(QStringLiteral("lstPages"));
    thumbnails_->setAccessibleName(QStringLiteral("页面缩略图"));
    thumbnails_->setIconSize(QSize(64, 90));
    thumbnails_->setFixedWidth(100);
    thumbnails_->setSpacing(2);
    thumbnailTimer_ = new QTimer(this);
    thumbnailTimer_->setInterval(0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scrPage"));
    scroll->setWidget(view_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* fitPage = new QPushButton(QStringLiteral("整页"), this);
    fitPage->setObjectName(QStringLiteral("btnFitPage"));
    fitPage->setToolTip(QStringLiteral("显示整页（Ctrl+0）；Ctrl+加号、减号或 Ctrl+滚轮缩放"));
    auto* fitWidth = new QPushButton(QStringLiteral("页宽"), this);
    fitWidth->setObjectName(QStringLiteral("btnFitWidth"));
    fitWidth->setToolTip(QStringLiteral("页面和窗口一样宽"));
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("lblNotice"));
    notice_->setWordWrap(true);
    panel_ = new SignaturePanel(this);

    auto* bar = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{open, previous, pageLabel_, next})
        bar->addWidget(w);
    bar->addStretch();
    bar->addWidget(new QLabel(QStringLiteral("页："), this));
    for (QWidget* w : std::initializer_list<QWidget*>{pages_, useDrawn_, across_, flatten_, save, batch})
        bar->addWidget(w);
    levels_ = new LevelChooser(drawnFolder(), this);
    // The certificate on a line of its own, what the signature says besides on the next: a long
    // certificate line never runs under the reason.
    auto* certificateBar = new QHBoxLayout;
    certificateBar->addWidget(new QLabel(QStringLiteral("证书："), this));
    certificateBar->addWidget(certificates_);
    certificateBar->addWidget(certificateLabel_, 1);
    certificateBar->addWidget(certificateButton_);
    certificateBar->addWidget(clearCertificate_);
    auto* saysBar = new QHBoxLayout;
    saysBar->addWidget(reason_);
    saysBar->addWidget(location_);
    saysBar->addWidget(signerLines_);
    saysBar->addWidget(levels_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addLayout(certificateBar);
    layout->addLayout(saysBar);
    auto* placeBar = new QHBoxLayout;
    placeBar->addWidget(share_, 1);
    placeBar->addWidget(fitPage);
    placeBar->addWidget(fitWidth);
    for (const auto& [label, box] : {std::pair{QStringLiteral("左"), atX_},
                                     std::pair{QStringLiteral("上"), atY_},
                                     std::pair{QStringLiteral("宽"), width_}}) {
        placeBar->addWidget(new QLabel(label, this));
        placeBar->addWidget(box);
    }
    layout->addLayout(placeBar);
    auto* pagesAndPage = new QHBoxLayout;
    pagesAndPage->addWidget(thumbnails_);
    pagesAndPage->addWidget(scroll, 1);
    layout->addLayout(pagesAndPage, 1);
    layout->addWidget(panel_);
    layout->addWidget(notice_);
    connect(panel_, &SignaturePanel::revisionAsked, this, &SignWindow::showRevision);

    connect(open, &QPushButton::clicked, this, &SignWindow::chooseDocument);
    connect(save, &QPushButton::clicked, this, &SignWindow::save);
    connect(batch, &QPushButton::clicked, this, &SignWindow::signMany);
    connect(previous, &QPushButton::clicked, this, [this] { showPage(page_ - 1); });
    connect(fitPage, &QPushButton::clicked, this, [this] { view_->setZoom(PageView::Fit::Page, 1); });
    connect(fitWidth, &QPushButton::clicked, this, [this] { view_->setZoom(PageView::Fit::Width, 1); });
    const std::pair<QKeySequence, double> zooms[] = {{QKeySequence::ZoomIn, 1.25},
                                                     {QKeySequence(Qt::CTRL | Qt::Key_Equal), 1.25},
                                                     {QKeySequence::ZoomOut, 1 / 1.25}};
    for (const auto& [keys, by] : zooms)
        connect(new QShortcut(keys, this), &QShortcut::activated, this,
                [this, by = by] { view_->setZoom(view_->fit(), view_->zoom() * by); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this), &QShortcut::activated, this,
            [this] { view_->setZoom(PageView::Fit::Page, 1); });
    connect(next, &QPushButton::clicked, this, [this] { showPage(page_ + 1); });
    connect(certificateButton_, &QPushButton::clicked, this, &SignWindow::chooseCertificate);
    connect(certificates_, &QComboBox::activated, this, &SignWindow::pickCertificate);
    connect(clearCertificate_, &QPushButton::clicked, this, &SignWindow::clearCertificate);
    connect(pages_, &QLineEdit::textChanged, this, &SignWindow::showShare);
    connect(view_, &PageView::placeChanged, this, &SignWindow::showPlace);
    connect(thumbnails_, &QListWidget::currentRowChanged, this, &SignWindow::showPage);
    connect(thumbnailTimer_, &QTimer::timeout, this, &SignWindow::fillThumbnails);
    for (QDoubleSpinBox* box : {atX_, atY_, width_})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] {
            view_->place(QPointF(atX_->value(), atY_->value()), width_->value());
        });
    connect(across_, &QCheckBox::toggled, this, &SignWindow::refreshSignature);
    connect(signerLines_, &QCheckBox::toggled, this, &SignWindow::refreshSignature);
    for (QLineEdit* edit : {reason_, location_})
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            if (signerLines_->isChecked())
                refreshSignature();
        });
    connect(useDrawn_, &QCheckBox::toggled, this, &SignWindow::refreshSignature);
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this,
            &SignWindow::chooseDocument);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this,
            &SignWindow::save);
    connect(new QShortcut(QKeySequence(Qt::Key_PageUp), this), &QShortcut::activated, this,
            [this] { showPage(page_ - 1); });
    connect(new QShortcut(QKeySequence(Qt::Key_PageDown), this), &QShortcut::activated, this,
            [this] { showPage(page_ + 1); });
    // A field being typed in keeps Home and End for itself.
    connect(new QShortcut(QKeySequence(Qt::Key_Home), this), &QShortcut::activated, this,
            [this] { showPage(0); });
    connect(new QShortcut(QKeySequence(Qt::Key_End), this), &QShortcut::activated, this,
            [this] { showPage(document_ ? document_->pageCount() - 1 : 0); });
    refreshSignature();
    showCertificate();
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

void SignWindow::listCertificates()
{
    const QSignalBlocker quiet(certificates_);
    certificates_->clear();
    certificates_->addItem(tr("不用证书"), QString());
    listed_ = tokenCertificates();
    const QString date = QStringLiteral("yyyy-MM-dd");
    for (const TokenCertificate& c : listed_) {
        certificates_->addItem(tr("%1（%2）").arg(c.name, c.token.startsWith(QLatin1String("NSS "))
                                                             ? tr("NSS 证书库")
                                                             : tr("令牌 %1").arg(c.token)),
                               c.source);
        certificates_->setItemData(certificates_->count() - 1,
                                   tr("%1，颁发者 %2，有效期 %3 至 %4")
                                       .arg(c.name, c.issuer,
                                            c.validFrom.toLocalTime().toString(date),
                                            c.validTo.toLocalTime().toString(date)),
                                   Qt::ToolTipRole);
    }
    for (const QString& file : std::as_const(files_))
        certificates_->addItem(tr("%1（文件）").arg(QFileInfo(file).fileName()), file);
    certificates_->addItem(tr("证书文件（.p12、.pfx）…"), QStringLiteral("#file"));
    const int at = certificates_->findData(certificate_);
    certificates_->setCurrentIndex(std::max(0, at));
}

void SignWindow::pickCertificate(int index)
{
    const QString source = certificates_->itemData(index).toString();
    if (source == QLatin1String("#file"))
        return chooseCertificate();
    if (source.isEmpty())
        return clearCertificate();
    if (source == certificate_)
        return;
    // A file is opened with its password when chosen; a token's PIN is asked when it signs.
    certificate_ = source;
    identity_.reset();
    if (!isTokenSource(source) && !unlockCertificate())
        certificate_.clear();
    showCertificate();
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

void SignWindow::chooseCertificate()
{
    const auto answer = platform_.askOpenFileName(tr("选择签名证书"),
                                                  {tr("证书 (*.p12 *.pfx)")});
    if (!answer)
        return;
    const QString before = certificate_;
    auto kept = std::move(identity_);
    certificate_ = *answer;
    // A certificate that cannot be unlocked leaves the one chosen before.
    if (!unlockCertificate()) {
        certificate_ = before;
        identity_ = std::move(kept);
    } else if (!files_.contains(certificate_)) {
        files_ << certificate_;
        listCertificates();
    }
    showCertificate();
}

void SignWindow::clearCertificate()
{
    certificate_.clear();
    identity_.reset();
    showCertificate();
}

// Asks the certificate's password and opens it; the password is gone once it has been used.
bool SignWindow::unlockCertificate()
{
    const bool token = isTokenSource(certificate_);
    const QString name = token ? listedName() : QFileInfo(certificate_).fileName();
    for (bool again = false;; again = true) {
        auto typed =
            token ? platform_.askPassword(again ? tr("PIN 不对。请再输入“%1”的 PIN：").arg(name)
                                                : tr("请输入“%1”的 PIN：").arg(name),
                                          tr("证书 PIN"))
                  : platform_.askPassword(again ? tr("密码不对。请再输入证书“%1”的密码：").arg(name)
                                                : tr("请输入证书“%1”的密码：").arg(name),
                                          tr("证书密码"));
        if (!typed)
            return false;
        SecretBytes password(typed->toUtf8());
        wiped(typed);
        auto identity = SigningIdentity::open(certificate_, password);
        if (auto* unlocked = std::get_if<std::shared_ptr<SigningIdentity>>(&identity)) {
            identity_ = std::move(*unlocked);
            // A key that asks for its PIN at every signature has it asked of the person each
            // time, in this window, whichever thread signs.
            if (identity_->asksPinEachSignature())
                identity_->setPinSource([this, name]() -> std::optional<SecretBytes> {
                    std::optional<QString> typed;
                    QMetaObject::invokeMethod(
                        this,
                        [&] {
                            typed = platform_.askPassword(tr("这枚令牌每次签名都要输入 PIN。请输入“%1”的 PIN：").arg(name),
                                                          tr("证书 PIN"));
                        },
                        QThread::currentThread() == thread() ? Qt::DirectConnection
                                                             : Qt::BlockingQueuedConnection);
                    if (!typed)
                        return std::nullopt;
                    SecretBytes pin(typed->toUtf8());
                    wiped(typed);
                    return pin;
                });
            return true;
        }
        const SignError& why = std::get<SignError>(identity);
        if (why.kind != SignError::Kind::IdentityPassword) {
            warn(tr("证书不能用来签名：%1").arg(SignMessages::text(why)));
            return false;
        }
    }
}

QString SignWindow::listedName() const
{
    for (const TokenCertificate& c : listed_)
        if (c.source == certificate_)
            return c.name;
    return certificate_;
}

void SignWindow::showCertificate()
{
    const auto say = [this](const QString& text) {
        certificateLabel_->setText(text);
        certificateLabel_->setToolTip(text);
    };
    {
        const QSignalBlocker quiet(certificates_);
        certificates_->setCurrentIndex(std::max(0, certificates_->findData(certificate_)));
    }
    clearCertificate_->setEnabled(!certificate_.isEmpty());
    signerLines_->setEnabled(!certificate_.isEmpty() && !across_->isChecked());
    reason_->setEnabled(!certificate_.isEmpty());
    location_->setEnabled(!certificate_.isEmpty());
    levels_->setEnabled(!certificate_.isEmpty());
    if (certificate_.isEmpty()) {
        say(tr("不用证书（只盖签名，不做数字签名）"));
        return;
    }
    if (!identity_) {
        const int at = certificates_->findData(certificate_);
        say(
            isTokenSource(certificate_)
                ? tr("%1（保存时输入 PIN）").arg(certificates_->itemData(at, Qt::ToolTipRole).toString())
                : tr("%1（保存时输入密码）").arg(QFileInfo(certificate_).fileName()));
        return;
    }
    const QString date = QStringLiteral("yyyy-MM-dd");
    say(tr("%1，颁发者 %2，有效期 %3 至 %4")
                                   .arg(identity_->name(), identity_->issuer(),
                                        identity_->validFrom().toLocalTime().toString(date),
                                        identity_->validTo().toLocalTime().toString(date)));
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

void SignWindow::signMany()
{
    if (!batch_)
        batch_ = std::make_unique<BatchWindow>(platform_, [this] { return preparedJob(); }, page_ + 1, this);
    batch_->show();
    batch_->raise();
    batch_->activateWindow();
}

std::optional<SigningJob> SignWindow::preparedJob()
{
    refreshSignature();
    if (signaturePdf_.isEmpty()) {
        warn(tr("签名是空的：请先在主窗口里输入名字。"));
        return std::nullopt;
    }
    StampPlace place = stampPlace();
    if (const auto problem = pageListProblem(place.pages)) {
        warn(SignMessages::text(*problem));
        return std::nullopt;
    }
    place.documentPassword = documentPassword_;
    if (!certificate_.isEmpty()) {
        if (place.flatten) {
            warn(tr("证书签名追加在文档之后，不能同时“画入页面”。"));
            return std::nullopt;
        }
        if (!identity_ && !unlockCertificate())
            return std::nullopt;
        showCertificate();
        place.signer = identity_;
        // The lines name the signer and the time of this signing.
        if (signerLines_->isChecked())
            refreshSignature();
        place.reason = reason_->text().trimmed();
        place.location = location_->text().trimmed();
    }
    SigningJob job;
    job.document = path_;
    job.picture = signaturePdf_;
    job.place = place;
    levels_->fill(job);
    if (job.place.signer && levels_->level() != SignatureLevel::BB && levels_->authority().isEmpty()) {
        warn(SignMessages::text(SignError{SignError::Kind::NoTimeStampAuthority, path_}));
        return std::nullopt;
    }
    if (const auto problem = jobProblem(job)) {
        warn(tr("文档不能签署：%1").arg(SignMessages::text(*problem)));
        return std::nullopt;
    }
    return job;
}

void SignWindow::save()
{
    if (path_.isEmpty()) {
        chooseDocument();
        return;
    }
    std::optional<SigningJob> prepared = preparedJob();
    if (!prepared)
        return;
    SigningJob& job = *prepared;
    const StampPlace& place = job.place;
    // Drawing into the pages rewrites the document: its signatures stop being valid. Asked
    // first, No the default.
    if (place.flatten && facts_.signatures > 0) {
        if (!platform_.askYesNo(tr("这份文档有 %1 个数字签名。“画入页面”会重写文档，这 %1 个签名都将失效。\r\n仍要画入页面吗？")
                                    .arg(facts_.signatures),
                                tr("画入页面")))
            return;
        job.place.breakSignatures = true;
    }
    // Asking an authority or a responder takes a while: the window keeps painting meanwhile.
    notice_->setText(job.level() == SignatureLevel::BB ? tr("正在签署…")
                                                       : tr("正在签署，向时间戳服务器请求可信时间…"));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto stamped =
        whileWaiting<std::variant<SignedCopy, SignError>>([&job] { return sign(job); });
    QApplication::restoreOverrideCursor();
    showFacts();
    if (const SignError* failure = std::get_if<SignError>(&stamped))
        return warn(tr("文档不能签署：%1").arg(SignMessages::text(*failure)));
    if (job.place.signer)
        levels_->remember();
    // A signature laid over another hides it from whoever reads the page: asked first.
    if (const auto& covered = std::get<SignedCopy>(stamped).coveredFields; !covered.isEmpty()) {
        QStringList where;
        for (const SignedPage& page : std::get<SignedCopy>(stamped).coveredPages)
            where << QString::number(page.page);
        if (!platform_.askYesNo(tr("新签名会盖住第 %1 页上已有的签名（%2）。\r\n仍要这样签吗？")
                                    .arg(where.join(QStringLiteral("、")),
                                         covered.join(QStringLiteral("、"))),
                                tr("签署文档")))
            return;
    }
    // Beside the document, named for it: a signed copy, never the document itself unasked.
    const QFileInfo document(path_);
    const QString title = tr("保存签署后的文档");
    const auto answer = platform_.askSaveFileName(
        title, {tr("PDF 文档 (*.pdf)")},
        document.dir().filePath(tr("%1-已签.pdf").arg(document.completeBaseName())));
    if (!answer || answer->path.isEmpty())
        return;
    QString out = answer->path;
    if (QFileInfo(out).suffix().isEmpty())
        out += QStringLiteral(".pdf");
    if (QFileInfo::exists(out) && !platform_.confirmReplace(out, title))
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
    // What is shown from now on is the signed copy, as it was written: a second save signs it
    // again, beside the first signature, not the document as it was before.
    openDocument(out, documentPassword_);
    if (platform_.askYesNo(said + tr("\r\n\r\n要用桌面的 PDF 阅读器打开它吗？"), title) &&
        !platform_.openUrl(QUrl::fromLocalFile(out)))
        warn(tr("这台电脑上没有能打开 PDF 文档的程序。"));
}
