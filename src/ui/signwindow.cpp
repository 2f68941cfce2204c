#include "signwindow.h"

#include "output/certsign.h"
#include "output/platform.h"

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

namespace {

constexpr double Margin = 8;       // pixels around the page
constexpr double Corner = 10;      // pixels of the resize handle
constexpr double LeastWidthMm = 5; // a signature narrower than this is no longer readable

} // namespace

PageView::PageView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(320, 320);
    setAccessibleName(QStringLiteral("文档页面，拖动签名放到要签的位置，方向键微调"));
}

void PageView::setPage(QPdfDocument* document, int page)
{
    document_ = document;
    page_ = page;
    pagePoints_ = document ? document->pagePointSize(page) : QSizeF();
    pageImage_ = QImage();
    placeFirst();
    keepOnPage();
    update();
}

// A first signature on a first page takes its own size, near the page's lower right corner,
// where people sign.
void PageView::placeFirst()
{
    if (placed_ || pagePoints_.isEmpty() || signaturePoints_.isEmpty())
        return;
    placed_ = true;
    width_ = std::min(signaturePoints_.width(), pagePoints_.width() / 3);
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    at_ = QPointF(pagePoints_.width() - width_ - 20 * PointsPerMm,
                  pagePoints_.height() - height - 30 * PointsPerMm);
}

void PageView::setSignature(const QByteArray& pdf)
{
    if (pdf == signatureBytes_.data() && signature_.pageCount() > 0)
        return;
    // The document reads from the buffer for as long as it is loaded.
    signature_.close();
    signatureBytes_.close();
    signatureBytes_.setData(pdf);
    signatureBytes_.open(QIODevice::ReadOnly);
    signature_.load(&signatureBytes_);
    const QSizeF before = signaturePoints_;
    signaturePoints_ = signature_.pageCount() > 0 ? signature_.pagePointSize(0) : QSizeF();
    signatureImage_ = QImage();
    // A changed signature keeps its place and its scale.
    if (placed_ && !before.isEmpty() && !signaturePoints_.isEmpty())
        width_ *= signaturePoints_.width() / before.width();
    placeFirst();
    keepOnPage();
    update();
}

void PageView::place(QPointF atMm, double widthMm)
{
    at_ = atMm * PointsPerMm;
    width_ = widthMm * PointsPerMm;
    keepOnPage();
    update();
    Q_EMIT placeChanged();
}

QRectF PageView::pageRect() const
{
    if (pagePoints_.isEmpty())
        return {};
    const double scale = std::min((width() - 2 * Margin) / pagePoints_.width(),
                                  (height() - 2 * Margin) / pagePoints_.height());
    const QSizeF size = pagePoints_ * std::max(scale, 0.01);
    return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QRectF PageView::signatureRect() const
{
    const QRectF page = pageRect();
    if (page.isEmpty() || signaturePoints_.isEmpty())
        return {};
    const double scale = page.width() / pagePoints_.width();
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    return QRectF(page.topLeft() + at_ * scale, QSizeF(width_, height) * scale);
}

// The signature stays wholly on the page, no wider than it.
void PageView::keepOnPage()
{
    if (pagePoints_.isEmpty() || signaturePoints_.isEmpty())
        return;
    width_ = std::clamp(width_, LeastWidthMm * PointsPerMm, pagePoints_.width());
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    at_.setX(std::clamp(at_.x(), 0.0, std::max(0.0, pagePoints_.width() - width_)));
    at_.setY(std::clamp(at_.y(), 0.0, std::max(0.0, pagePoints_.height() - height)));
}

void PageView::setWidthAround(double width, QPointF fixed)
{
    const double k = width / width_;
    at_ = fixed + (at_ - fixed) * k;
    width_ = width;
    keepOnPage();
    update();
    Q_EMIT placeChanged();
}

void PageView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x5a, 0x5f, 0x63));
    const QRectF page = pageRect();
    if (!document_ || page.isEmpty()) {
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("打开一份 PDF 文档（Ctrl+O），或把它拖到这里"));
        return;
    }
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (page.size() * dpr).toSize();
    if (pageImage_.size() != pixels) {
        // Paper, and the page printed on it.
        pageImage_ = QImage(pixels, QImage::Format_RGB32);
        pageImage_.fill(Qt::white);
        QPainter paper(&pageImage_);
        paper.drawImage(0, 0, document_->render(page_, pixels));
        paper.end();
        pageImage_.setDevicePixelRatio(dpr);
    }
    p.drawImage(page.topLeft(), pageImage_);
    const QRectF signature = signatureRect();
    if (signature.isEmpty())
        return;
    const QSize signaturePixels = (signature.size() * dpr).toSize();
    if (signatureImage_.size() != signaturePixels) {
        signatureImage_ = signature_.render(0, signaturePixels);
        signatureImage_.setDevicePixelRatio(dpr);
    }
    // Ink over the page as ink on paper: the signature's white leaves the page as it is.
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    p.drawImage(signature.topLeft(), signatureImage_);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(hasFocus() ? QColor(0x1e, 0x6f, 0xd9) : QColor(0x88, 0x88, 0x88), 1, Qt::DashLine));
    p.drawRect(signature.adjusted(-0.5, -0.5, 0.5, 0.5));
    p.fillRect(QRectF(signature.bottomRight() - QPointF(Corner / 2, Corner / 2),
                      QSizeF(Corner, Corner)),
               QColor(0x1e, 0x6f, 0xd9));
}

void PageView::resizeEvent(QResizeEvent*)
{
    pageImage_ = QImage();
}

void PageView::mousePressEvent(QMouseEvent* event)
{
    const QRectF signature = signatureRect();
    if (signature.isEmpty() || event->button() != Qt::LeftButton)
        return;
    const QPointF at = event->position();
    const double scale = pageRect().width() / pagePoints_.width();
    if (QRectF(signature.bottomRight() - QPointF(Corner, Corner), QSizeF(2 * Corner, 2 * Corner))
            .contains(at)) {
        drag_ = Drag::Resize;
    } else if (signature.contains(at)) {
        drag_ = Drag::Move;
        grab_ = (at - signature.topLeft()) / scale;
    } else if (pageRect().contains(at)) {
        // A press elsewhere on the page brings the signature there, held by its middle.
        drag_ = Drag::Move;
        grab_ = QPointF(signature.width(), signature.height()) / 2 / scale;
        at_ = (at - pageRect().topLeft()) / scale - grab_;
        keepOnPage();
        update();
        Q_EMIT placeChanged();
    }
}

void PageView::mouseMoveEvent(QMouseEvent* event)
{
    const QRectF signature = signatureRect();
    if (signature.isEmpty())
        return;
    const QPointF at = event->position();
    const double scale = pageRect().width() / pagePoints_.width();
    if (drag_ == Drag::Move) {
        at_ = (at - pageRect().topLeft()) / scale - grab_;
        keepOnPage();
        update();
        Q_EMIT placeChanged();
    } else if (drag_ == Drag::Resize) {
        width_ = std::max(1.0, (at.x() - signature.left()) / scale);
        keepOnPage();
        update();
        Q_EMIT placeChanged();
    } else {
        const bool corner = QRectF(signature.bottomRight() - QPointF(Corner, Corner),
                                   QSizeF(2 * Corner, 2 * Corner))
                                .contains(at);
        setCursor(corner ? Qt::SizeFDiagCursor
                  : signature.contains(at) ? Qt::SizeAllCursor
                                           : Qt::ArrowCursor);
    }
}

void PageView::mouseReleaseEvent(QMouseEvent*)
{
    drag_ = Drag::None;
}

void PageView::wheelEvent(QWheelEvent* event)
{
    if (signaturePoints_.isEmpty())
        return;
    const double steps = event->angleDelta().y() / 120.0;
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    setWidthAround(width_ * std::pow(1.1, steps), at_ + QPointF(width_, height) / 2);
}

void PageView::keyPressEvent(QKeyEvent* event)
{
    // A millimetre a press; with Shift, a tenth.
    const double step = (event->modifiers() & Qt::ShiftModifier ? 0.1 : 1) * PointsPerMm;
    QPointF move;
    switch (event->key()) {
    case Qt::Key_Left: move = {-step, 0}; break;
    case Qt::Key_Right: move = {step, 0}; break;
    case Qt::Key_Up: move = {0, -step}; break;
    case Qt::Key_Down: move = {0, step}; break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: setWidthAround(width_ * 1.05, at_); return;
    case Qt::Key_Minus: setWidthAround(width_ / 1.05, at_); return;
    default: QWidget::keyPressEvent(event); return;
    }
    at_ += move;
    keepOnPage();
    update();
    Q_EMIT placeChanged();
}

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
    layout->addWidget(notice_);

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
    const QPdfDocument::Error opened = std::holds_alternative<QString>(facts)
                                           ? QPdfDocument::Error::Unknown
                                           : document_.load(path);
    if (opened != QPdfDocument::Error::None || std::holds_alternative<QString>(facts)) {
        const QString refused =
            std::holds_alternative<QString>(facts) ? std::get<QString>(facts) : QString();
        const QString why =
            opened == QPdfDocument::Error::IncorrectPassword ||
                    refused.contains(QLatin1String("encrypted"))
                ? QStringLiteral("这份文档有密码保护或是加密的，不能在这里签署。")
            : opened == QPdfDocument::Error::FileNotFound ||
                    refused.startsWith(QLatin1String("cannot read"))
                ? QStringLiteral("文件不存在或不能访问。")
            : refused.contains(QLatin1String("too large"))
                ? QStringLiteral("这份文档太大，读取它需要的内存超过允许的上限，不能在这里签署。")
                : QStringLiteral("这不是 PDF 文档，或者文档已损坏。");
        platform_.showMessage(QStringLiteral("文档不能打开：%1\r\n%2").arg(path, why),
                              QStringLiteral("Sorvex签名设计"), Platform::Icon::Warning);
        document_.close();
        path_.clear();
        view_->setPage(nullptr, 0);
        showFacts();
        return false;
    }
    path_ = path;
    facts_ = std::get<DocumentFacts>(facts);
    setWindowTitle(QStringLiteral("%1 - 签署文档").arg(QFileInfo(path).fileName()));
    refreshSignature();
    showPage(0);
    showFacts();
    raise();
    activateWindow();
    view_->setFocus();
    return true;
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
    place.breakSignatures = place.flatten;
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
    const auto warn = [this](const QString& text) {
        platform_.showMessage(text, QStringLiteral("Sorvex签名设计"), Platform::Icon::Warning);
    };
    if (signaturePdf_.isEmpty())
        return warn(QStringLiteral("签名是空的：请先在主窗口里输入名字。"));
    StampPlace place = stampPlace();
    if (const auto problem = pageListProblem(place.pages))
        return warn(QStringLiteral("要签的页写得不对：%1\r\n例如 1,3-5,last 或 all。").arg(place.pages));
    if (!certificate_.isEmpty()) {
        if (place.flatten)
            return warn(QStringLiteral("证书签名追加在文档之后，不能同时“画入页面”。"));
        auto identity = SigningIdentity::load(certificate_, password_->text().toUtf8());
        if (const QString* why = std::get_if<QString>(&identity))
            return warn(QStringLiteral("证书不能用来签名：%1").arg(*why));
        place.signer = std::get<std::shared_ptr<SigningIdentity>>(identity);
    }
    const auto stamped = stampPdf(path_, signaturePdf_, place);
    if (const auto* failure = std::get_if<StampFailure>(&stamped))
        return warn(QStringLiteral("文档不能签署：%1").arg(failure->message));
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
        return warn(QStringLiteral("文档不能保存：%1\r\n%2").arg(out, *error));
    QStringList pages;
    for (const auto& [page, how] : copy.signedPages)
        pages << QString::number(page);
    QString said = QStringLiteral("已保存签署后的文档：\r\n%1\r\n签了第 %2 页%3。")
                       .arg(out, pages.join(QStringLiteral("、")),
                            place.signer ? QStringLiteral("，第 %1 页是证书签名").arg(pages.value(0))
                                         : QString());
    if (facts_.signatures > 0)
        said += copy.document ? QStringLiteral("\r\n文档原有的 %1 个数字签名仍然有效。").arg(facts_.signatures)
                              : QStringLiteral("\r\n文档原有的数字签名已失效。");
    platform_.showMessage(said, QStringLiteral("Sorvex签名设计"), Platform::Icon::Information);
}
