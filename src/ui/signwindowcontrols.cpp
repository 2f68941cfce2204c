#include "signwindow.h"

#include "drawwindow.h"
#include "levelchooser.h"
#include "pageview.h"
#include "signaturepanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

void SignWindow::createControls()
{
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
    // However long what it says, it wraps within the room it has: the window keeps its width.
    share_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    share_->setWordWrap(true);
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
    another_ = new QPushButton(tr("另签一处"), this);
    another_->setObjectName(QStringLiteral("btnAnother"));
    another_->setToolTip(tr("在这份已签的文档上再放一个签名"));
    another_->hide();
    auto* placeBar = new QHBoxLayout;
    placeBar->addWidget(share_, 1);
    placeBar->addWidget(another_);
    placeBar->addWidget(fitPage);
    placeBar->addWidget(fitWidth);
    for (const auto& [label, box] : {std::pair{QStringLiteral("左"), atX_},
                                     std::pair{QStringLiteral("上"), atY_},
                                     std::pair{QStringLiteral("宽"), width_}}) {
        placeBar->addWidget(new QLabel(label, this));
        placeBar->addWidget(box);
    }
    layout->addLayout(placeBar);
    // The page and the signatures found on the document share what is left, the page the
    // larger part; the person moves the line between them. Neither squeezes the other away.
    auto* pagesAndPage = new QWidget(this);
    auto* pagesRow = new QHBoxLayout(pagesAndPage);
    pagesRow->setContentsMargins(0, 0, 0, 0);
    pagesRow->addWidget(thumbnails_);
    pagesRow->addWidget(scroll, 1);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("splPage"));
    split->setChildrenCollapsible(false);
    split->addWidget(pagesAndPage);
    split->addWidget(panel_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    layout->addWidget(notice_);
    connect(panel_, &SignaturePanel::revisionAsked, this, &SignWindow::showRevision);
    // Reading order: row by row, left to right, then the page and what is under it.
    const QList<QWidget*> order{open, previous, next, pages_, useDrawn_, across_, flatten_, save,
                                batch, another_, certificates_, certificateButton_, clearCertificate_,
                                reason_, location_, signerLines_, levels_, fitPage, fitWidth,
                                atX_, atY_, width_, thumbnails_, view_, panel_};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(open, &QPushButton::clicked, this, &SignWindow::chooseDocument);
    connect(save, &QPushButton::clicked, this, &SignWindow::save);
    connect(batch, &QPushButton::clicked, this, &SignWindow::signMany);
    connect(another_, &QPushButton::clicked, this, &SignWindow::signAnother);
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
