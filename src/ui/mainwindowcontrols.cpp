// The window's controls: where each sits on the skin, what it says to a screen reader, the
// order Tab takes them in, and what each is wired to.
#include "focusring.h"
#include "imagearea.h"
#include "inkswatch.h"
#include "mainwindow.h"
#include "picturebox.h"
#include "stylelist.h"
#include "texthandle.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

namespace {

// Controls are laid out in twips; 15 twips make one logical pixel.
QRect twips(int left, int top, int width, int height)
{
    const auto px = [](int t) {
        return qRound(t / double(TwipsPerPixel));
    };
    return QRect(px(left), px(top), px(width), px(height));
}

// A Song face that sets Latin letters in the same hand as the characters: "PDF" in a button's
// words is never drawn in another face than the words around it.
QFont songti(qreal points = 12)
{
    QFont f;
    f.setFamilies({QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                   QStringLiteral("宋体")});
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
    pictureBox_->setPicture(&signature_.surface().image());
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
                                 QStringLiteral("手写签名：在浏览器里打开 Sorvex 的网页"),
                                 &MainWindow::openMakersPage);
    // The pad, as prominent as the page beside it: a person who wants to write their signature
    // looks for it there.
    ImageArea* drawButton = link("btnDraw", twips(6840, 3930, 990, 780),
                                 QStringLiteral("手绘签名：打开手写板，用鼠标、手指或笔写下自己的签名"),
                                 &MainWindow::drawByHand);

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

    // Reading order: the names, the picture and the buttons under it on the left, then the
    // right-hand column from the top, the buttons row by row, and last the banner.
    const QList<QWidget*> order{chineseName_, latinName_, pictureBox_,
                                findChild<QWidget*>(QStringLiteral("btnSignDocument")), styleBox_,
                                backgroundBox_, inkPreview_, sizeBox_, wornBox_, drawButton,
                                saveButton, printButton, moreButton, helpButton, logo};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    new FocusRing(this);
    chineseName_->setFocus();
}
