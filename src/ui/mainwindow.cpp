#include "mainwindow.h"

#include "catalogue/stylerules.h"
#include "helpwindow.h"
#include "imagearea.h"
#include "output/pdfpicture.h"
#include "output/platform.h"
#include "output/saveimage.h"
#include "picturebox.h"
#include "render/vectorsurface.h"
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

// Controls are laid out in twips; 15 twips make one logical pixel.
QRect twips(int left, int top, int width, int height)
{
    const auto px = [](int t) {
        return qRound(t / double(TwipsPerPixel));
    };
    return QRect(px(left), px(top), px(width), px(height));
}

QFont songti(qreal points = 12)
{
    QFont f(QStringLiteral("宋体"));
    f.setPointSizeF(points);
    return f;
}

QFont courier()
{
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(14.25);
    return f;
}

} // namespace

MainWindow::MainWindow(const ProgramValues& values, Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      values_(values), platform_(platform), surface_(qGuiApp->devicePixelRatio())
{
    setObjectName(QStringLiteral("frmMain"));
    fonts_.useFallback(fallbackFontPath(values_));
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
        fonts_.prepareAhead(files);
    });
}

void MainWindow::createControls()
{
    sizeBox_ = new QComboBox(this);
    sizeBox_->setObjectName(QStringLiteral("cboSize"));
    sizeBox_->setEditable(true);
    sizeBox_->setInsertPolicy(QComboBox::NoInsert);
    sizeBox_->setGeometry(twips(8280, 3360, 1620, 360));
    sizeBox_->setFont(songti());
    // The box takes exactly the text typed: no inline completion of "1" into "10".
    sizeBox_->setCompleter(nullptr);
    // Key presses arrive at the box itself, whose line edit passes focus on to it.
    sizeBox_->installEventFilter(this);
    connect(sizeBox_, &QComboBox::activated, this, &MainWindow::chooseListedSize);

    backgroundBox_ = new QComboBox(this);
    backgroundBox_->setObjectName(QStringLiteral("cboImg"));
    backgroundBox_->setGeometry(twips(8280, 2155, 1620, 360));
    backgroundBox_->setFont(songti());
    connect(backgroundBox_, &QComboBox::activated, this, &MainWindow::chooseBackground);

    styleBox_ = new StyleComboBox(this);
    styleBox_->setObjectName(QStringLiteral("cboFont"));
    connect(styleBox_, &StyleComboBox::popupAboutToShow, this, &MainWindow::makeStylePreviews);
    styleBox_->setGeometry(twips(8280, 1515, 1620, 360));
    // A little smaller in the closed box, where six-character names must show whole.
    styleBox_->setFont(songti(10.5));
    styleBox_->view()->setFont(songti());
    connect(styleBox_, &QComboBox::activated, this, &MainWindow::chooseStyle);

    pictureBox_ = new PictureBox(this);
    pictureBox_->setGeometry(twips(580, 2300, 5820, 3920));
    pictureBox_->setPicture(&surface_.image());
    connect(pictureBox_, &PictureBox::nudged, this, &MainWindow::nudgeText);

    textHandle_ = new TextHandle(pictureBox_);
    textHandle_->setToolTip(QStringLiteral("按住文字可以拖动到你想要的位置哦"));
    connect(textHandle_, &TextHandle::dragStarted, this, &MainWindow::startDrag);
    connect(textHandle_, &TextHandle::dragged, this, &MainWindow::dragTo);
    connect(textHandle_, &TextHandle::dragFinished, this, &MainWindow::endDrag);

    latinName_ = new QLineEdit(SampleLatinName, this);
    latinName_->setObjectName(QStringLiteral("txtEN"));
    latinName_->setGeometry(twips(4560, 1640, 1720, 315));
    latinName_->setFont(courier());
    latinName_->setFrame(false);
    connect(latinName_, &QLineEdit::textChanged, this, &MainWindow::nameEdited);

    chineseName_ = new QLineEdit(SampleChineseName, this);
    chineseName_->setObjectName(QStringLiteral("txtCN"));
    chineseName_->setGeometry(twips(1440, 1640, 1455, 285));
    chineseName_->setFont(courier());
    chineseName_->setFrame(false);
    connect(chineseName_, &QLineEdit::textChanged, this, &MainWindow::nameEdited);

    auto link = [this](const char* name, QRect geometry, const QString& tip,
                       void (MainWindow::*click)()) {
        auto* a = new ImageArea(QString::fromLatin1(name), this);
        a->setGeometry(geometry);
        a->makeButton(tip);
        connect(a, &ImageArea::clicked, this, click);
        return a;
    };
    ImageArea* logo = link("imgLogo", twips(600, 600, 5775, 735),
                           QStringLiteral("打开 Sorvex 主页"), &MainWindow::openMakersPage);
    ImageArea* printButton = link("imgPrint", twips(8760, 3840, 975, 780),
                                  QStringLiteral("打印签名（Ctrl+P）"), &MainWindow::print);
    ImageArea* saveButton = link("imgSave", twips(7920, 4080, 735, 645),
                                 QStringLiteral("保存签名（Ctrl+S）"), &MainWindow::save);
    ImageArea* helpButton = link("imgHelp", twips(8760, 4680, 1215, 945),
                                 QStringLiteral("使用必读（F1）"), &MainWindow::showHelp);
    ImageArea* moreButton = link("imgUrlMore", twips(7320, 4800, 1335, 705),
                                 QStringLiteral("手写签名：打开网页"), &MainWindow::openMakersPage);

    // At the foot of the settings panel, over its printed hint while it has something to say:
    // the size a long name is drawn at, and what else a person should know about the picture.
    statusLine_ = new QLabel(this);
    statusLine_->setObjectName(QStringLiteral("lblStatus"));
    statusLine_->setGeometry(452, 376, 218, 34);
    statusLine_->setFont(songti(10));
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignCenter);
    statusLine_->setStyleSheet(QStringLiteral("color: #f3c766; background: #0a1012;"));
    statusLine_->setAccessibleName(QStringLiteral("提示"));
    statusLine_->hide();

    // Beside the buttons, for a seal only: worn as an old carved seal is.
    wornBox_ = new QCheckBox(QStringLiteral("做旧"), this);
    wornBox_->setObjectName(QStringLiteral("chkWorn"));
    wornBox_->setGeometry(466, 294, 60, 26);
    wornBox_->setFont(songti(10));
    wornBox_->setStyleSheet(QStringLiteral("color: #f3c766;"));
    wornBox_->setToolTip(QStringLiteral("像用旧的印章：边缘磨损，印框有缺口"));
    wornBox_->setAccessibleName(QStringLiteral("印章做旧"));
    wornBox_->hide();
    connect(wornBox_, &QCheckBox::toggled, this, &MainWindow::drawChoice);

    inkPreview_ = new InkSwatch(this);
    inkPreview_->setGeometry(twips(8280, 2760, 1620, 375));
    connect(inkPreview_, &InkSwatch::clicked, this, &MainWindow::pickInk);

    // Beside the hint under the picture: signing a document with the signature designed here.
    auto* signButton = new QPushButton(QStringLiteral("签署 PDF 文档…"), this);
    signButton->setObjectName(QStringLiteral("btnSignDocument"));
    signButton->setGeometry(300, 426, 130, 22);
    signButton->setFont(songti(10));
    signButton->setToolTip(QStringLiteral("把设计好的签名签到 PDF 文档上（Ctrl+O），也可以把文档拖到窗口里"));
    signButton->setAccessibleName(QStringLiteral("签署 PDF 文档"));
    connect(signButton, &QPushButton::clicked, this, [this] { signDocument(); });
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this,
            [this] { signDocument(); });
    setAcceptDrops(true);

    for (const auto& [keys, action] : {std::pair(QKeySequence::Save, &MainWindow::save),
                                       std::pair(QKeySequence::Print, &MainWindow::print),
                                       std::pair(QKeySequence::HelpContents, &MainWindow::showHelp)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);

    // What a screen reader says for each control.
    for (const auto& [control, name] :
         {std::pair<QWidget*, const char*>(chineseName_, "中文名字"),
          std::pair<QWidget*, const char*>(latinName_, "英文名字"),
          std::pair<QWidget*, const char*>(pictureBox_, "签名图片，方向键移动文字"),
          std::pair<QWidget*, const char*>(styleBox_, "签名款式"),
          std::pair<QWidget*, const char*>(backgroundBox_, "背景图片"),
          std::pair<QWidget*, const char*>(sizeBox_, "字大小（磅）")})
        control->setAccessibleName(QString::fromUtf8(name));

    // Reading order: the names, the picture and the signing button under it on the left, then
    // the right-hand column from the top, the buttons row by row, and last the banner.
    const QList<QWidget*> order{chineseName_, latinName_, pictureBox_,
                                findChild<QWidget*>(QStringLiteral("btnSignDocument")), styleBox_,
                                backgroundBox_, inkPreview_, sizeBox_, wornBox_, saveButton,
                                printButton, moreButton, helpButton, logo};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    new FocusRing(this);
    chineseName_->setFocus();
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
    styleBox_->setCurrentIndex(std::max(0, catalogue_.indexOfStyle(DefaultStyle)));
    if (styleBox_->currentIndex() >= 0)
        applyStyleRule();
}

DrawInputs MainWindow::drawInputs() const
{
    DrawInputs in;
    in.chineseName = chineseName_->text();
    in.latinName = latinName_->text();
    const int style = styleBox_->currentIndex();
    if (style >= 0)
        in.style = catalogue_.styles.value(style);
    in.backgroundPath = catalogue_.backgrounds.value(backgroundBox_->currentIndex()).path;
    in.sizeText = sizeBox_->currentText();
    in.ink = ink_;
    in.worn = !wornBox_->isHidden() && wornBox_->isChecked();
    return in;
}

const FittedName& MainWindow::fitted(const DrawInputs& in)
{
    const QString style = in.style ? in.style->name : QString();
    if (!fit_ || fit_->chineseName != in.chineseName || fit_->latinName != in.latinName ||
        fit_->style != style || fit_->asked != in.sizeText)
        fit_ = Fit{in.chineseName, in.latinName, style, in.sizeText, fitName(values_, fonts_, in),
                   charactersNoFaceDraws(values_, fonts_, in)};
    return fit_->name;
}

void MainWindow::setSizeText(const QString& text)
{
    sizeBox_->setCurrentIndex(sizeBox_->findText(text));
    sizeBox_->setEditText(text);
}

void MainWindow::showSizeUsed(const QString& asked, const QString& used, bool refused)
{
    QStringList lines;
    if (refused)
        lines << QStringLiteral("字大小“%1”不能使用，图片按 %2 磅绘制。").arg(asked, used);
    else if (used != asked)
        lines << QStringLiteral("名字较长，按 %1 磅绘制，以免超出图片。").arg(used);
    // What the picture shown is drawn without, for as long as it is.
    const QStringList files = catalogue_.styles.value(styleBox_->currentIndex()).files;
    if (std::any_of(files.cbegin(), files.cend(),
                    [this](const QString& f) { return fonts_.unusable(f); }))
        lines << QStringLiteral("字体文件不能使用，暂用别的字体代替。");
    if (fit_ && !fit_->boxes.isEmpty())
        lines << QStringLiteral("没有字体能写出：%1").arg(fit_->boxes.join(QStringLiteral("、")));
    if (!catalogue_.backgrounds.value(backgroundBox_->currentIndex()).path.isEmpty() &&
        !surface_.backgroundError().isEmpty())
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

DrawOutcome MainWindow::draw(int x, int y)
{
    if (loading_)
        return DrawOutcome::Drawn;
    RenderContext ctx{values_, fonts_, surface_, handle_};
    DrawInputs in = drawInputs();
    const QString asked = in.sizeText;
    // An unusable size is said when a person makes a choice, never while a name is typed or
    // the text dragged. The picture keeps following the names and the style, drawn with the
    // last good size, so that what is shown and saved is never an older name.
    const bool refused = !fontSizeFromText(asked);
    if (refused) {
        if (lastGoodSize_.isEmpty())
            return DrawOutcome::BadSize;
        in.sizeText = lastGoodSize_;
    } else {
        lastGoodSize_ = asked;
    }
    // A drag or a nudge moves the text and changes nothing the status line says.
    const bool moved = x != NoPosition || y != NoPosition;
    const FittedName& whole = fitted(in);
    in.sizeText = whole.sizeText;
    if (x == NoPosition)
        x = whole.x;
    if (y == NoPosition)
        y = whole.y;
    const bool unchanged = lastDrawing_ &&
                           lastDrawing_->inputs.chineseName == in.chineseName &&
                           lastDrawing_->inputs.latinName == in.latinName &&
                           lastDrawing_->inputs.sizeText == in.sizeText &&
                           lastDrawing_->inputs.ink == in.ink &&
                           lastDrawing_->inputs.backgroundPath == in.backgroundPath &&
                           lastDrawing_->inputs.style.has_value() == in.style.has_value() &&
                           (!in.style || lastDrawing_->inputs.style->name == in.style->name);
    if (refused && unchanged)
        return DrawOutcome::BadSize;
    drawSignature(ctx, in, x, y);
    if (!moved)
        showSizeUsed(asked, in.sizeText, refused);
    lastDrawing_ = LastDrawing{in, x, y};
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
    if ((qFuzzyCompare(scale, surface_.scale()) && !transparent) || !lastDrawing_)
        return surface_.image();
    // Drawn afresh at the scale asked for, so that the text stays sharp.
    ImageSurface out(scale, true, transparent);
    drawAgainOn(out);
    return out.image();
}

TextHandleRect MainWindow::drawAgainOn(Surface& out)
{
    TextHandleRect scratch = handle_;
    if (lastDrawing_) {
        RenderContext ctx{values_, fonts_, out, scratch};
        drawSignature(ctx, lastDrawing_->inputs, lastDrawing_->x, lastDrawing_->y);
    }
    return scratch;
}

void MainWindow::showPicture()
{
    pictureBox_->showChanged(surface_.takeChanged());
    // The handle covers the text's box and the ink drawn: a face may place its outlines
    // beside their advances, and the person takes hold of what they see.
    const QRectF box(handle_.left / TwipsPerPixel, handle_.top / TwipsPerPixel,
                     handle_.width / TwipsPerPixel, handle_.height / TwipsPerPixel);
    const QRect drawn = surface_.drawnRect();
    const qreal k = surface_.scale();
    const QRectF ink = drawn.isEmpty() ? box
                                       : QRectF(drawn.x() / k, drawn.y() / k, drawn.width() / k,
                                                drawn.height() / k);
    textHandle_->setGeometry((box | ink).toAlignedRect());
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
        if (!fonts_.unusable(file) || fontsSaid_.contains(file))
            continue;
        fontsSaid_.insert(file);
        QString why;
        switch (fonts_.fault(file).value_or(AppFontTable::Fault::Unreadable)) {
        case AppFontTable::Fault::NoOutlines:
            why = QStringLiteral("字体文件不能使用：%1\r\n它只有点阵字形，不能按所选的字大小书写。")
                      .arg(file);
            break;
        case AppFontTable::Fault::OwnNames:
            why = QStringLiteral("字体文件不能使用：%1\r\n它的字体名称无法改写，别的同名字体可能会代替它。")
                      .arg(file);
            break;
        case AppFontTable::Fault::Unreadable:
            why = fonts_.copiesProblem().isEmpty()
                      ? QStringLiteral("字体文件不能读取：%1").arg(file)
                      : QStringLiteral("字体文件不能使用：%1\r\n临时文件夹不能写入（%2）。")
                            .arg(file, fonts_.copiesProblem());
            break;
        }
        platform_.showMessage(why + QStringLiteral("\r\n这个款式暂时用别的字体代替。"), AppTitle,
                              Platform::Icon::Warning);
    }
}

void MainWindow::chooseBackground()
{
    const QString path = catalogue_.backgrounds.value(backgroundBox_->currentIndex()).path;
    if (!surface_.setBackground(path) && !loading_)
        platform_.showMessage(
            QStringLiteral("背景图片不能打开：%1\r\n%2").arg(path, surface_.backgroundError()),
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
        [this] {
            return picturePdf(false, [this](VectorSurface& out) { return drawAgainOn(out); });
        });
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
        // The signature as designed now: its text's box alone, on nothing.
        signWindow_ = std::make_unique<SignWindow>(
            platform_,
            [this] {
                return lastDrawing_ ? textBoxPdf([this](VectorSurface& out) { return drawAgainOn(out); })
                                    : QByteArray();
            },
            [this] { return catalogue_.styles.value(styleBox_->currentIndex()).isSeal(); });
    }
    signWindow_->show();
    signWindow_->raise();
    signWindow_->activateWindow();
    if (!document.isEmpty())
        signWindow_->openDocument(document);
    else if (signWindow_->documentPath().isEmpty())
        signWindow_->chooseDocument();
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
    fonts_.setTrusted(true);
    surface_.setDragging(true);
    grab_ = pointer - QPointF(handle_.left, handle_.top);
    if (!catalogue_.styles.value(styleBox_->currentIndex()).isSeal())
        textHandle_->setBorder(true);
}

void MainWindow::dragTo(QPointF pointer)
{
    const QPointF topLeft = pointer - grab_;
    handle_.left = float(topLeft.x());
    handle_.top = float(topLeft.y());
    draw(nearest(handle_.left), nearest(handle_.top));
}

void MainWindow::endDrag()
{
    fonts_.setTrusted(false);
    surface_.setDragging(false);
    textHandle_->setBorder(false);
}

void MainWindow::nudgeText(int dx, int dy)
{
    handle_.left += float(dx * TwipsPerPixel);
    handle_.top += float(dy * TwipsPerPixel);
    draw(nearest(handle_.left), nearest(handle_.top));
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
    const Style& style = catalogue_.styles[index];
    DrawInputs in = drawInputs();
    in.style = style;
    in.backgroundPath.clear();
    const StyleRule rule = styleRuleFor(style.name);
    in.sizeText = cappedSizeText(QStringLiteral("36"), rule);
    in.ink = rule.ink;
    const FittedName whole = fitName(values_, fonts_, in);
    in.sizeText = whole.sizeText;
    ImageSurface out(2, true, true);
    TextHandleRect scratch;
    RenderContext ctx{values_, fonts_, out, scratch};
    drawSignature(ctx, in, whole.x, whole.y);
    return StyleComboBox::previewOf(out.image(), devicePixelRatioF());
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
