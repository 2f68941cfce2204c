#include "mainwindow.h"

#include "catalogue/stylerules.h"
#include "drawwindow.h"
#include "helpwindow.h"
#include "focusring.h"
#include "imagearea.h"
#include "inkswatch.h"
#include "texthandle.h"
#include "output/pdfpicture.h"
#include "output/platform.h"
#include "output/saveimage.h"
#include "picturebox.h"
#include "catalogue/stylerules.h"
#include "render/names.h"
#include "signwindow.h"
#include "stylelist.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTimer>

namespace {

// The style list's row for the signature written on the pad.
const QString HandStyleName = QStringLiteral("手绘");

} // namespace


MainWindow::MainWindow(const ProgramValues& values, Platform& platform, QWidget* parent)
    // A window of one size offers no maximising: the flags are taken as given, not added to.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      values_(values), platform_(platform), signature_(values, qGuiApp->devicePixelRatio())
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Sorvex签名设计软件 免费版"));
    setWindowIcon(QIcon(QStringLiteral(":/sorvex-sign.ico")));
    setFixedSize(719, 459);
    skin_.load(QStringLiteral(":/skin.bmp"));
    createControls();
    load();
    draw();
    for (const QString& problem : std::as_const(catalogue_.problems))
        platform_.showMessage(problem, AppTitle, Platform::Icon::Warning);
    sayUnusableFonts();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A moment after the first picture is on the screen, every style's faces are prepared on
    // another thread: a style chosen, or the style list opened, then costs the drawing alone.
    QTimer::singleShot(500, this, [this] {
        QStringList files{fallbackFontPath(values_)};
        for (const Style& style : std::as_const(catalogue_.styles))
            files << style.files;
        signature_.fonts().prepareAhead(files);
    });
}

void MainWindow::load()
{
    const QScopedValueRollback<bool> loading(loading_, true);
    catalogue_ = loadCatalogue(values_.appPath);

    backgroundBox_->addItems(catalogue_.backgroundNames());
    backgroundBox_->setCurrentIndex(
        std::min<int>(DefaultBackground, int(backgroundBox_->count()) - 1));
    if (backgroundBox_->currentIndex() >= 0)
        chooseBackground();

    sizeBox_->addItems(catalogue_.sizes);
    setSizeText(DefaultSize);
    setInk(qRgb(0, 0, 0));

    // The default style, or where the kit has none, the first; with its size and ink.
    styleBox_->addItems(catalogue_.styleNames());
    loadHandDrawn();
    styleBox_->setCurrentIndex(std::max(0, catalogue_.indexOfStyle(DefaultStyle)));
    if (styleBox_->currentIndex() >= 0)
        applyStyleRule();
}

SignatureSpec MainWindow::signatureSpec() const
{
    SignatureSpec spec;
    spec.chineseName = chineseName_->text();
    spec.latinName = latinName_->text();
    spec.style = styleAt(styleBox_->currentIndex());
    if (spec.style && spec.style->kind == Style::Kind::Handwriting)
        spec.drawn = handDrawn_;
    spec.points = fontSizeFromText(sizeBox_->currentText()).value_or(0);
    spec.ink = ink_;
    spec.worn = !wornBox_->isHidden() && wornBox_->isChecked();
    return spec;
}

std::optional<Style> MainWindow::styleAt(int index) const
{
    if (index >= 0 && index < catalogue_.styles.size())
        return catalogue_.styles[index];
    if (index == catalogue_.styles.size() && handDrawn_)
        return Style{HandStyleName, Style::Kind::Handwriting, {}, {}};
    return std::nullopt;
}

void MainWindow::loadHandDrawn()
{
    handDrawn_ = keptDrawnSignature(drawnFolder());
    const int row = int(catalogue_.styles.size());
    if (handDrawn_ && styleBox_->count() == row)
        styleBox_->addItem(HandStyleName);
    else if (!handDrawn_ && styleBox_->count() > row)
        styleBox_->removeItem(row);
    previewsMade_ = false;
}

QString MainWindow::backgroundPath() const
{
    return catalogue_.backgrounds.value(backgroundBox_->currentIndex()).path;
}

void MainWindow::setSizeText(const QString& text)
{
    sizeBox_->setCurrentIndex(sizeBox_->findText(text));
    sizeBox_->setEditText(text);
}

void MainWindow::showSizeUsed(const QString& asked, double used, bool refused)
{
    QStringList lines;
    if (refused)
        lines << QStringLiteral("字大小“%1”不能使用，图片按 %2 磅绘制。").arg(asked).arg(used);
    else if (used != fontSizeFromText(asked) && signature_.spec().drawn)
        lines << QStringLiteral("手绘签名较大，按 %1 磅绘制，以免超出图片。").arg(used);
    else if (used != fontSizeFromText(asked))
        lines << QStringLiteral("名字较长，按 %1 磅绘制，以免超出图片。").arg(used);
    // What the picture shown is drawn without, for as long as it is.
    const QStringList files = catalogue_.styles.value(styleBox_->currentIndex()).files;
    if (std::any_of(files.cbegin(), files.cend(),
                    [this](const QString& f) { return signature_.fonts().unusable(f); }))
        lines << QStringLiteral("字体文件不能使用，暂用别的字体代替。");
    if (!signature_.missingCharacters().isEmpty())
        lines << QStringLiteral("没有字体能写出：%1")
                     .arg(signature_.missingCharacters().join(QStringLiteral("、")));
    if (!signature_.leftOut().isEmpty())
        lines << QStringLiteral("印章只刻得下九个字，“%1”没有刻上。")
                     .arg(QFontMetrics(statusLine_->font())
                              .elidedText(signature_.leftOut(), Qt::ElideRight, 200));
    if (!signature_.fallbackCharacters().isEmpty())
        lines << QStringLiteral("本风格的字体没有“%1”，用相近的字体写出。")
                     .arg(signature_.fallbackCharacters().join(QStringLiteral("、")));
    if (!backgroundPath().isEmpty() && !signature_.surface().backgroundError().isEmpty())
        lines << QStringLiteral("背景图片不能打开，画在白底上。");
    const QString line = lines.join(u'\n');
    statusLine_->setText(line);
    statusLine_->setVisible(!line.isEmpty());
    // Restyling a box costs more than a drawing: only when the mark comes or goes.
    if (refused != sizeBox_->property("refused").toBool()) {
        sizeBox_->setProperty("refused", refused);
        sizeBox_->setStyleSheet(
            refused ? QStringLiteral("QComboBox { border: 2px solid #d02000; }") : QString());
    }
    sizeBox_->setToolTip(refused ? line : QString());
}

MainWindow::DrawOutcome MainWindow::draw(std::optional<QPointF> at)
{
    if (loading_)
        return DrawOutcome::Drawn;
    SignatureSpec spec = signatureSpec();
    const QString asked = sizeBox_->currentText();
    // An unusable size is said when a person makes a choice, never while a name is typed or
    // the text dragged. The picture keeps following the names and the style, drawn with the
    // last good size, so that what is shown and saved is never an older name.
    const bool refused = !fontSizeFromText(asked);
    if (refused) {
        if (lastGoodSize_.isEmpty())
            return DrawOutcome::BadSize;
        spec.points = *fontSizeFromText(lastGoodSize_);
    } else {
        lastGoodSize_ = asked;
    }
    spec.points = signature_.fittedSize(spec);
    spec.position = at;
    const bool unchanged =
        signature_.shown() && signature_.spec().chineseName == spec.chineseName &&
        signature_.spec().latinName == spec.latinName &&
        signature_.spec().points == spec.points && signature_.spec().ink == spec.ink &&
        backgroundPath() == lastBackground_ &&
        signature_.spec().style.has_value() == spec.style.has_value() &&
        (!spec.style || signature_.spec().style->name == spec.style->name);
    if (refused && unchanged)
        return DrawOutcome::BadSize;
    lastBackground_ = backgroundPath();
    signature_.show(spec, lastBackground_);
    // A drag or a nudge moves the text and changes nothing the status line says.
    if (!at)
        showSizeUsed(asked, spec.points, refused);
    showPicture();
    Q_EMIT signatureDrawn();
    return refused ? DrawOutcome::BadSize : DrawOutcome::Drawn;
}

void MainWindow::drawChoice()
{
    if (draw() == DrawOutcome::BadSize)
        platform_.showMessage(QStringLiteral("字大小“%1”不能使用：请输入 1 到 2160 之间的数字。")
                                  .arg(sizeBox_->currentText()),
                              AppTitle, Platform::Icon::Warning);
}

QImage MainWindow::picture(qreal scale, bool transparent)
{
    return signature_.picture(scale, transparent);
}

void MainWindow::showPicture()
{
    pictureBox_->showChanged(signature_.surface().takeChanged());
    // The handle is the ink: what the person sees is what they take hold of. A name with no
    // ink has none, and the handle stays where it was.
    const QRectF ink = signature_.layout().inkBox;
    if (!ink.isEmpty())
        textHandle_->setGeometry(QRectF(ink.topLeft() / TwipsPerPixel, ink.size() / TwipsPerPixel)
                                     .toAlignedRect());
}

void MainWindow::setInk(QRgb ink)
{
    ink_ = ink;
    inkPreview_->setInk(ink);
}

void MainWindow::applyStyleRule()
{
    const StyleRule rule = styleRuleFor(styleBox_->currentText());
    wornBox_->setVisible(catalogue_.styles.value(styleBox_->currentIndex()).isSeal());
    const QString size = sizeBox_->currentText();
    const QString capped = cappedSizeText(size, rule);
    if (capped != size)
        setSizeText(capped);
    setInk(rule.ink);
}

void MainWindow::chooseStyle()
{
    applyStyleRule();
    drawChoice();
    sayUnusableFonts();
}

void MainWindow::sayUnusableFonts()
{
    for (const QString& file : catalogue_.styles.value(styleBox_->currentIndex()).files) {
        if (!signature_.fonts().unusable(file) || fontsSaid_.contains(file))
            continue;
        fontsSaid_.insert(file);
        QString why;
        switch (signature_.fonts().fault(file).value_or(AppFontTable::Fault::Unreadable)) {
        case AppFontTable::Fault::NoOutlines:
            why = QStringLiteral("字体文件不能使用：%1\r\n它只有点阵字形，不能按所选的字大小书写。")
                      .arg(file);
            break;
        case AppFontTable::Fault::OwnNames:
            why = QStringLiteral("字体文件不能使用：%1\r\n它的字体名称无法改写，别的同名字体可能会代替它。")
                      .arg(file);
            break;
        case AppFontTable::Fault::Unreadable:
            why = signature_.fonts().copiesProblem().isEmpty()
                      ? QStringLiteral("字体文件不能读取：%1").arg(file)
                      : QStringLiteral("字体文件不能使用：%1\r\n临时文件夹不能写入（%2）。")
                            .arg(file, signature_.fonts().copiesProblem());
            break;
        }
        platform_.showMessage(why + QStringLiteral("\r\n这个款式暂时用别的字体代替。"), AppTitle,
                              Platform::Icon::Warning);
    }
}

void MainWindow::chooseBackground()
{
    const QString path = backgroundPath();
    if (!signature_.surface().setBackground(path) && !loading_)
        platform_.showMessage(
            QStringLiteral("背景图片不能打开：%1\r\n%2").arg(path, signature_.surface().backgroundError()),
            AppTitle, Platform::Icon::Warning);
    drawChoice();
}

void MainWindow::chooseListedSize()
{
    // Enter in the box also picks a matching entry of the list; the size was drawn already.
    if (!sizeEnterInProgress_)
        drawChoice();
}

void MainWindow::applyTypedSize()
{
    drawChoice();
}

void MainWindow::nameEdited(const QString& name)
{
    previewsMade_ = false;
    // An emptied box keeps the last picture until a name is typed again.
    if (!name.isEmpty())
        draw();
}

void MainWindow::pickInk()
{
    const QList<QRgb> custom(16, qRgb(0, 0, 0));
    const Platform::ColorAnswer answer = platform_.chooseColor(ink_, custom);
    // Cancel changes nothing: the text stays where the person left it.
    if (answer.resultCode <= 0)
        return;
    setInk(answer.color);
    drawChoice();
}

void MainWindow::save()
{
    saveSignature(
        platform_, [this](bool transparent, int scale) { return picture(scale, transparent); },
        [this] { return signature_.picturePdf(); });
}

void MainWindow::print()
{
    const auto error = platform_.printTwips([this](QPainter& painter) {
        // The picture is drawn again at up to 600 dpi instead of stretching the screen's pixels.
        const int dpi = std::clamp(painter.device()->logicalDpiX(), 96, 600);
        const QImage drawn = picture(dpi / 96.0);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, ImageSurface::outerWidth(), ImageSurface::outerHeight()),
                          drawn);
    });
    if (error)
        platform_.showMessage(error->description, AppTitle, Platform::Icon::Warning);
}

void MainWindow::openPage(const QUrl& url)
{
    if (!platform_.openUrl(url))
        platform_.showMessage(
            QStringLiteral(
                "网页打不开：这台电脑上没有能打开它的浏览器。\r\n请在浏览器中打开这个地址：\r\n%1")
                .arg(url.toString()),
            AppTitle, Platform::Icon::Warning);
}

void MainWindow::openMakersPage()
{
    openPage(QUrl(MakerHomePage));
}

MainWindow::~MainWindow() = default;

void MainWindow::signDocument(const QString& document)
{
    if (!signWindow_) {
        // The signature as designed now: its ink alone, on nothing.
        signWindow_ = std::make_unique<SignWindow>(
            platform_,
            [this] { return signature_.inkBoxPdf(); },
            [this] { return catalogue_.styles.value(styleBox_->currentIndex()).isSeal(); },
            [] { return drawnSignaturePdf(drawnFolder()); });
        signWindow_->setLinesFamilies([this] { return signature_.fonts().plainFamilies(); });
    }
    signWindow_->show();
    signWindow_->raise();
    signWindow_->activateWindow();
    if (!document.isEmpty())
        signWindow_->openDocument(document);
    else if (signWindow_->documentPath().isEmpty())
        signWindow_->chooseDocument();
}

void MainWindow::drawByHand()
{
    if (!drawWindow_) {
        drawWindow_ = std::make_unique<DrawWindow>(platform_, drawnFolder());
        connect(drawWindow_.get(), &DrawWindow::kept, this, [this] {
            drawWindow_->hide();
            // What was just written is shown, in its own row of the style list.
            loadHandDrawn();
            if (handDrawn_) {
                styleBox_->setCurrentIndex(int(catalogue_.styles.size()));
                chooseStyle();
            }
            if (signWindow_)
                signWindow_->refreshSignature();
        });
    }
    drawWindow_->show();
    drawWindow_->raise();
    drawWindow_->activateWindow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls[0].isLocalFile() &&
        urls[0].toLocalFile().endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    signDocument(event->mimeData()->urls().value(0).toLocalFile());
    event->acceptProposedAction();
}

void MainWindow::showHelp()
{
    // The kit's own help, read here without a browser; a kit without it has the web page.
    const QString help = values_.appPath + QStringLiteral("help/index.html");
    if (!QFileInfo(help).isFile()) {
        openPage(QUrl(MakerHomePage + QStringLiteral("/tvlx.asp")));
        return;
    }
    if (!helpWindow_) {
        helpWindow_ = new HelpWindow(help, this);
        connect(helpWindow_, &HelpWindow::webPageAsked, this, &MainWindow::openPage);
    }
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void MainWindow::startDrag(QPointF pointer)
{
    // A drag starts: its moves need not ask the file system about files just used.
    signature_.fonts().setTrusted(true);
    signature_.surface().setDragging(true);
    grab_ = pointer - signature_.layout().textBox.topLeft();
    if (!catalogue_.styles.value(styleBox_->currentIndex()).isSeal())
        textHandle_->setBorder(true);
}

void MainWindow::dragTo(QPointF pointer)
{
    const QPointF at = pointer - grab_;
    draw(QPointF(nearest(at.x()), nearest(at.y())));
}

void MainWindow::endDrag()
{
    signature_.fonts().setTrusted(false);
    signature_.surface().setDragging(false);
    textHandle_->setBorder(false);
}

void MainWindow::nudgeText(int dx, int dy)
{
    draw(signature_.layout().textBox.topLeft() + QPointF(dx, dy) * TwipsPerPixel);
}

void MainWindow::makeStylePreviews()
{
    if (previewsMade_)
        return;
    previewsMade_ = true;
    styleBox_->makePreviews([this](int index) { return stylePreview(index); });
}

QImage MainWindow::stylePreview(int index)
{
    SignatureSpec spec = signatureSpec();
    spec.style = styleAt(index);
    if (!spec.style)
        return {};
    spec.drawn = handDrawn_;
    const StyleRule rule = styleRuleFor(spec.style->name);
    spec.points = std::min(36, rule.largestSize);
    spec.ink = rule.ink;
    return StyleComboBox::previewOf(signature_.preview(spec, 2), devicePixelRatioF(),
                                    spec.style->name == HandStyleName);
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(QPoint(0, 0), skin_);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == sizeBox_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            applyTypedSize();
            const QScopedValueRollback<bool> guard(sizeEnterInProgress_, true);
            watched->event(event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
