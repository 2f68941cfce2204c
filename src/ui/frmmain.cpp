#include "frmmain.h"

#include "catalogue/stylerules.h"
#include "imagearea.h"
#include "output/pdfpicture.h"
#include "output/platform.h"
#include "output/saveimage.h"
#include "picturebox.h"
#include "render/vectorsurface.h"
#include "stylelist.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

namespace {

// Controls are laid out in twips; 15 twips make one logical pixel.
QRect twips(int left, int top, int width, int height)
{
    auto px = [](int t) {
        return qRound(t / double(TwipsPerPixel));
    };
    return QRect(px(left), px(top), px(width), px(height));
}

QFont songti()
{
    QFont f(QStringLiteral("宋体"));
    f.setPointSizeF(12);
    return f;
}

QFont courier()
{
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(14.25);
    return f;
}

} // namespace

frmMain::frmMain(const ProgramValues& values, Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      values_(values), platform_(platform), surface_(qGuiApp->devicePixelRatio())
{
    setObjectName(QStringLiteral("frmMain"));
    fonts_.useFallback(fallbackFontPath(values_));
    setWindowTitle(QStringLiteral("Sorvex签名设计软件 免费版"));
    setWindowIcon(QIcon(QStringLiteral(":/sorvex-sign.ico")));
    setFixedSize(719, 459);
    skin_.load(QStringLiteral(":/skin.bmp"));
    createControls();
    Form_Load();
}

void frmMain::createControls()
{
    cboSize = new QComboBox(this);
    cboSize->setObjectName(QStringLiteral("cboSize"));
    cboSize->setEditable(true);
    cboSize->setInsertPolicy(QComboBox::NoInsert);
    cboSize->setGeometry(twips(8280, 3360, 1620, 360));
    cboSize->setFont(songti());
    // The box takes exactly the text typed: no inline completion of "1" into "10".
    cboSize->setCompleter(nullptr);
    // Key presses arrive at the box itself, whose line edit passes focus on to it.
    cboSize->installEventFilter(this);
    connect(cboSize, &QComboBox::activated, this, [this] {
        if (!sizeEnterInProgress_)
            cboSize_Click();
    });

    cboImg = new QComboBox(this);
    cboImg->setObjectName(QStringLiteral("cboImg"));
    cboImg->setGeometry(twips(8280, 2155, 1620, 360));
    cboImg->setFont(songti());
    connect(cboImg, &QComboBox::activated, this, &frmMain::cboImg_Click);

    cboFont = new StyleComboBox(this);
    cboFont->setObjectName(QStringLiteral("cboFont"));
    cboFont->setItemDelegate(new StylePreviewDelegate(cboFont));
    connect(cboFont, &StyleComboBox::popupAboutToShow, this, &frmMain::makeStylePreviews);
    cboFont->setGeometry(twips(8280, 1515, 1620, 360));
    cboFont->setFont(songti());
    connect(cboFont, &QComboBox::activated, this, &frmMain::cboFont_Click);

    picMain = new PictureBox(this);
    picMain->setGeometry(twips(580, 2300, 5820, 3920));
    picMain->setPicture(&surface_.PersistentImage());
    connect(picMain, &PictureBox::nudged, this, &frmMain::nudgeText);

    imgMove = new ImageArea(QStringLiteral("imgMove"), picMain);
    imgMove->setToolTip(QStringLiteral("按住文字可以拖动到你想要的位置哦"));
    // The widget sits on whole pixels while the mover keeps twips; positions are taken from
    // the mover itself so the grab point stays exactly under the pointer.
    auto fromMover = [this](void (frmMain::*handler)(int, int, float, float)) {
        return [this, handler](int button, int shift, float x, float y) {
            (this->*handler)(button, shift, x + float(imgMove->x() * TwipsPerPixel) - mover_.left,
                             y + float(imgMove->y() * TwipsPerPixel) - mover_.top);
        };
    };
    connect(imgMove, &ImageArea::mouseDown, this, fromMover(&frmMain::imgMove_MouseDown));
    connect(imgMove, &ImageArea::mouseMove, this, fromMover(&frmMain::imgMove_MouseMove));
    connect(imgMove, &ImageArea::mouseUp, this, fromMover(&frmMain::imgMove_MouseUp));

    txtEN = new QLineEdit(SampleLatinName, this);
    txtEN->setObjectName(QStringLiteral("txtEN"));
    txtEN->setGeometry(twips(4560, 1640, 1720, 315));
    txtEN->setFont(courier());
    txtEN->setFrame(false);
    connect(txtEN, &QLineEdit::textChanged, this, &frmMain::txtEN_Change);

    txtCN = new QLineEdit(SampleChineseName, this);
    txtCN->setObjectName(QStringLiteral("txtCN"));
    txtCN->setGeometry(twips(1440, 1640, 1455, 285));
    txtCN->setFont(courier());
    txtCN->setFrame(false);
    connect(txtCN, &QLineEdit::textChanged, this, &frmMain::txtCN_Change);

    auto area = [this](const char* name, QRect geometry, void (frmMain::*click)()) {
        auto* a = new ImageArea(QString::fromLatin1(name), this);
        a->setGeometry(geometry);
        connect(a, &ImageArea::clicked, this, click);
        return a;
    };
    imgLogo = area("imgLogo", twips(600, 600, 5775, 735), &frmMain::imgLogo_Click);
    imgPrint = area("imgPrint", twips(8760, 3840, 975, 780), &frmMain::imgPrint_Click);
    imgSave = area("imgSave", twips(7920, 4080, 735, 645), &frmMain::imgSave_Click);
    imgHelp = area("imgHelp", twips(8760, 4680, 1215, 945), &frmMain::imgHelp_Click);
    imgUrlMore = area("imgUrlMore", twips(7320, 4800, 1335, 705), &frmMain::imgUrlMore_Click);

    lblColorPreview = new QLabel(this);
    lblColorPreview->setObjectName(QStringLiteral("lblColorPreview"));
    lblColorPreview->setGeometry(twips(8280, 2760, 1620, 375));
    lblColorPreview->setAutoFillBackground(true);
    lblColorPreview->setFocusPolicy(Qt::NoFocus);
    lblColorPreview->installEventFilter(this);

    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this,
            &frmMain::imgSave_Click);
    connect(new QShortcut(QKeySequence::Print, this), &QShortcut::activated, this,
            &frmMain::imgPrint_Click);

    // Tab order: txtCN, txtEN, picMain, cboFont, cboImg, cboSize; the label takes no focus.
    setTabOrder(txtCN, txtEN);
    setTabOrder(txtEN, picMain);
    setTabOrder(picMain, cboFont);
    setTabOrder(cboFont, cboImg);
    setTabOrder(cboImg, cboSize);
    txtCN->setFocus();
}

void frmMain::Form_Load()
{
    IsLoading = true;
    catalogue_ = loadCatalogue(values_.AppPath);

    cboFont->clear();
    cboFont->addItems(catalogue_.styleNames);
    // No default style: nothing is selected, and the first drawing selects the first style.
    cboFont->setCurrentIndex(catalogue_.indexOfStyle(DefaultStyle));
    if (cboFont->currentIndex() >= 0)
        cboFont_Click();

    cboImg->clear();
    cboImg->addItems(catalogue_.backgroundNames);
    cboImg->setCurrentIndex(std::min<int>(DefaultBackground, int(cboImg->count()) - 1));
    if (cboImg->currentIndex() >= 0)
        cboImg_Click();

    cboSize->clear();
    cboSize->addItems(catalogue_.sizes);
    cboSize->setEditText(DefaultSize);
    setInk(qRgb(0, 0, 0));

    IsLoading = false;
    Redraw();
}

DrawInputs frmMain::drawInputs() const
{
    DrawInputs in;
    in.txtCN = txtCN->text();
    in.txtEN = txtEN->text();
    in.styleIndex = cboFont->currentIndex();
    in.styleCurrentText = cboFont->currentText();
    const int bg = cboImg->currentIndex();
    in.backgroundPath = bg >= 0 ? catalogue_.ImagePaths.value(bg) : QString();
    in.sizeText = cboSize->currentText();
    in.ink = ink_;
    return in;
}

DrawOutcome frmMain::DrawSignature(int x, int y)
{
    if (IsLoading)
        return DrawOutcome::Drawn;
    RenderContext ctx{values_, catalogue_, fonts_, surface_, mover_, [this] {
                          cboFont->setCurrentIndex(0);
                          cboFont_Click();
                      }};
    const DrawInputs in = drawInputs();
    // An unusable size leaves the picture as it was. It is said when a person makes a choice,
    // never while a name is typed or the text dragged.
    const DrawOutcome outcome = ::DrawSignature(ctx, in, x, y);
    if (outcome == DrawOutcome::BadSize)
        return outcome;
    lastDrawing_ = LastDrawing{in, x, y};
    showPicture();
    Q_EMIT signatureDrawn();
    return outcome;
}

void frmMain::drawChoice()
{
    if (DrawSignature(NoPosition, NoPosition) == DrawOutcome::BadSize)
        platform_.showMessage(QStringLiteral("字大小“%1”不能使用：请输入 1 到 2160 之间的数字。")
                                  .arg(cboSize->currentText()),
                              AppTitle, Platform::Icon::Warning);
}

QImage frmMain::PersistentImage(qreal scale, bool transparent)
{
    if ((qFuzzyCompare(scale, surface_.scale()) && !transparent) || !lastDrawing_)
        return surface_.PersistentImage();
    // Drawn afresh at the scale asked for, so that the text stays sharp.
    ImageSurface out(scale, true, transparent);
    drawAgainOn(out);
    return out.PersistentImage();
}

Mover frmMain::drawAgainOn(Surface& out)
{
    Mover scratch = mover_;
    if (lastDrawing_) {
        RenderContext ctx{values_, catalogue_, fonts_, out, scratch, {}};
        ::DrawSignature(ctx, lastDrawing_->inputs, lastDrawing_->x, lastDrawing_->y);
    }
    return scratch;
}

void frmMain::showPicture()
{
    picMain->showChanged(surface_.takeChanged());
    imgMove->setGeometry(QRectF(mover_.left / TwipsPerPixel, mover_.top / TwipsPerPixel,
                                mover_.width / TwipsPerPixel, mover_.height / TwipsPerPixel)
                             .toRect());
}

void frmMain::setInk(QRgb ink)
{
    ink_ = ink;
    QPalette palette = lblColorPreview->palette();
    palette.setColor(QPalette::Window, QColor(ink));
    lblColorPreview->setPalette(palette);
}

void frmMain::cboFont_Click()
{
    const StyleRule rule = styleRuleFor(cboFont->currentText());
    const QString size = cboSize->currentText();
    const QString capped = cappedSizeText(size, rule);
    if (capped != size)
        cboSize->setEditText(capped);
    setInk(rule.ink);
    drawChoice();
}

void frmMain::cboImg_Click()
{
    const QString path = catalogue_.ImagePaths.value(cboImg->currentIndex());
    if (!surface_.SetBackground(path) && !IsLoading)
        platform_.showMessage(
            QStringLiteral("背景图片不能打开：%1\r\n%2").arg(path, surface_.backgroundError()),
            AppTitle, Platform::Icon::Warning);
    drawChoice();
}

void frmMain::cboSize_Click()
{
    drawChoice();
}

void frmMain::cboSize_KeyDown(int keyCode)
{
    if (keyCode == 13)
        drawChoice();
}

void frmMain::txtCN_Change()
{
    if (!txtCN->text().isEmpty())
        DrawSignature(NoPosition, NoPosition);
}

void frmMain::txtEN_Change()
{
    if (!txtEN->text().isEmpty())
        DrawSignature(NoPosition, NoPosition);
}

void frmMain::lblColorPreview_Click()
{
    const QList<QRgb> custom(16, qRgb(0, 0, 0));
    const Platform::ColorAnswer answer = platform_.chooseColor(ink_, custom);
    colorDialogResult = QString::number(answer.resultCode);
    if (colorDialogResult.toInt() >= 1)
        setInk(answer.color);
    drawChoice();
}

void frmMain::imgSave_Click()
{
    saveSignature(
        platform_, [this](bool transparent) { return PersistentImage(1, transparent); },
        [this] {
            return picturePdf(false, [this](VectorSurface& out) { return drawAgainOn(out); });
        });
}

void frmMain::imgPrint_Click()
{
    const auto error = platform_.printTwips([this](QPainter& painter) {
        // The picture is drawn again at up to 600 dpi instead of stretching the screen's pixels.
        const int dpi = std::clamp(painter.device()->logicalDpiX(), 96, 600);
        const QImage picture = PersistentImage(dpi / 96.0);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, ImageSurface::OuterWidth(), ImageSurface::OuterHeight()),
                          picture);
    });
    if (error)
        platform_.showMessage(QStringLiteral("错误号: %1\r\n\r\n错误描述: %2")
                                  .arg(error->number)
                                  .arg(error->description),
                              AppTitle, Platform::Icon::Warning);
}

void frmMain::imgLogo_Click()
{
    platform_.openUrl(QUrl(MakerHomePage));
}

void frmMain::imgUrlMore_Click()
{
    imgLogo_Click();
}

void frmMain::imgHelp_Click()
{
    // The help shipped with the data kit; a kit without it has the web page.
    const QString help = values_.AppPath + QStringLiteral("help/index.html");
    platform_.openUrl(QFileInfo(help).isFile() ? QUrl::fromLocalFile(help)
                                               : QUrl(MakerHomePage + QStringLiteral("/tvlx.asp")));
}

void frmMain::imgMove_MouseDown(int button, int, float x, float y)
{
    if (button != 1)
        return;
    // A drag starts: its moves need not ask the file system about files just used.
    fonts_.setTrusted(true);
    surface_.setDragging(true);
    DragStartX = x;
    DragStartY = y;
    if (!isSealStyle(cboFont->currentText()))
        imgMove->setBorder(true);
}

void frmMain::imgMove_MouseMove(int button, int, float x, float y)
{
    if (button != 1)
        return;
    mover_.left = mover_.left - DragStartX + x;
    mover_.top = mover_.top - DragStartY + y;
    DrawSignature(nearest(mover_.left), nearest(mover_.top));
}

// Each style's name drawn in its own face, as font menus show them; a Latin style shows a
// sample of its letters after its name. Made when the list first opens, not at start-up.
void frmMain::makeStylePreviews()
{
    if (previewsMade_)
        return;
    previewsMade_ = true;
    const qreal ratio = devicePixelRatioF();
    const QFont label = songti();
    const QFontMetricsF labelMetrics(label);
    const QString sample = QStringLiteral("Abc");
    qreal widest = 0;
    for (int i = 0; i < catalogue_.styleNames.size(); ++i) {
        const QString& name = catalogue_.styleNames[i];
        // A folder style shows in its first face.
        const QString file = fontFilesOf(catalogue_, i).value(0);
        const QString face =
            file == catalogue_.FontPaths[i] ? faceNameOfFontFile(file) : faceNameOfFolderFont(file);
        fonts_.AddFont(file);
        QFont own;
        own.setFamilies({fonts_.familyFor(file, face), label.family()});
        own.setPixelSize(22);
        const QFontMetricsF ownMetrics(own);
        const bool latin = name.contains(LatinStyleMark);
        const qreal labelWidth = latin ? labelMetrics.horizontalAdvance(name + u' ') : 0;
        const qreal width = labelWidth + ownMetrics.horizontalAdvance(latin ? sample : name) + 2;
        QImage preview((QSizeF(width, 28) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        preview.setDevicePixelRatio(ratio);
        preview.fill(Qt::transparent);
        QPainter p(&preview);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(palette().color(QPalette::Text));
        if (latin) {
            p.setFont(label);
            p.drawText(QPointF(0, 19), name);
        }
        p.setFont(own);
        p.drawText(QPointF(labelWidth, 21), latin ? sample : name);
        p.end();
        fonts_.RemoveFont(file);
        cboFont->setItemData(i, preview, StyleComboBox::PreviewRole);
        widest = std::max(widest, width);
    }
    // Wide enough for the longest name, and its scroll bar.
    cboFont->view()->setMinimumWidth(
        int(std::ceil(widest)) + 8 +
        cboFont->view()->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

void frmMain::nudgeText(int dx, int dy)
{
    // A drag by that many pixels from the grab point, through the drag's own arithmetic.
    imgMove_MouseMove(1, 0, DragStartX + float(dx * TwipsPerPixel),
                      DragStartY + float(dy * TwipsPerPixel));
}

void frmMain::imgMove_MouseUp(int, int, float, float)
{
    fonts_.setTrusted(false);
    surface_.setDragging(false);
    imgMove->setBorder(false);
}

void frmMain::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(QPoint(0, 0), skin_);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cboSize && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cboSize_KeyDown(13);
            // The key goes on to the box, whose own Enter handling picks a matching entry of
            // the list; that is not a pick from the list and must not draw a second time.
            const QScopedValueRollback<bool> guard(sizeEnterInProgress_, true);
            watched->event(event);
            return true;
        }
    } else if (watched == lblColorPreview && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        lblColorPreview_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
