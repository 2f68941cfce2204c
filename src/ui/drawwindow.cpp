#include "drawwindow.h"

#include "base/regularfile.h"
#include "drawpad.h"
#include "output/filewrite.h"
#include "output/handwritingfiles.h"
#include "output/platform.h"
#include "qtplatform.h"
#include "render/scannedink.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

QString drawnFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QByteArray drawnSignaturePdf(const QString& folder)
{
    const auto bytes = readRegularFile(DrawWindow::keptFile(folder), 32 * 1024 * 1024);
    if (!bytes) {
        const QImage scan(DrawWindow::keptScan(folder));
        return scan.isNull() ? QByteArray() : scanPdf(scan);
    }
    const auto writing = readHandwriting(*bytes);
    if (!std::holds_alternative<Handwriting>(writing))
        return {};
    return handwritingPdf(trimmed(std::get<Handwriting>(writing), 0));
}

std::shared_ptr<const DrawnSignature> keptDrawnSignature(const QString& folder)
{
    const auto bytes = readRegularFile(DrawWindow::keptFile(folder), 32 * 1024 * 1024);
    if (!bytes) {
        const QImage scan(DrawWindow::keptScan(folder));
        if (scan.isNull())
            return nullptr;
        return std::make_shared<const DrawnSignature>(drawnSignature(scan));
    }
    const auto writing = readHandwriting(*bytes);
    if (!std::holds_alternative<Handwriting>(writing))
        return nullptr;
    auto drawn = std::make_shared<DrawnSignature>(drawnSignature(std::get<Handwriting>(writing)));
    if (drawn->size.isEmpty())
        return nullptr;
    return drawn;
}

DrawWindow::DrawWindow(Platform& platform, const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window), platform_(platform), folder_(folder)
{
    setObjectName(QStringLiteral("frmDraw"));
    setWindowTitle(QStringLiteral("手绘签名 - Sorvex签名设计"));
    pad_ = new DrawPad(this);
    pad_->setObjectName(QStringLiteral("padDraw"));
    undo_ = new QPushButton(QStringLiteral("撤销"), this);
    undo_->setObjectName(QStringLiteral("btnUndo"));
    undo_->setToolTip(QStringLiteral("撤销最后一步：一笔、清除或导入（Ctrl+Z）"));
    redo_ = new QPushButton(QStringLiteral("重做"), this);
    redo_->setObjectName(QStringLiteral("btnRedo"));
    redo_->setToolTip(QStringLiteral("把撤销的一步做回来（Ctrl+Shift+Z 或 Ctrl+Y）"));
    clear_ = new QPushButton(QStringLiteral("清除"), this);
    clear_->setObjectName(QStringLiteral("btnClear"));
    auto* ink = new QPushButton(QStringLiteral("墨色…"), this);
    ink->setObjectName(QStringLiteral("btnInk"));
    penWidth_ = new QSpinBox(this);
    penWidth_->setObjectName(QStringLiteral("spnPenWidth"));
    penWidth_->setRange(2, 20);
    penWidth_->setValue(int(pad_->writing().penWidth));
    penWidth_->setSuffix(QStringLiteral(" 像素"));
    penWidth_->setAccessibleName(QStringLiteral("笔宽"));
    auto* scan = new QPushButton(QStringLiteral("导入…"), this);
    scan->setObjectName(QStringLiteral("btnImport"));
    scan->setToolTip(QStringLiteral("导入写在纸上的签名的照片或扫描件（PNG、JPEG），去掉纸的颜色，"
                                    "显示在手写区里，点“完成”保存"));
    auto* done = new QPushButton(QStringLiteral("完成"), this);
    done->setObjectName(QStringLiteral("btnDone"));
    done->setDefault(true);

    auto* bar = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{undo_, redo_, clear_, ink})
        bar->addWidget(w);
    bar->addWidget(new QLabel(QStringLiteral("笔宽："), this));
    bar->addWidget(penWidth_);
    bar->addStretch();
    bar->addWidget(scan);
    bar->addWidget(done);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("按住鼠标左键、用手指或用笔在下面写下您的签名，写好后点“完成”。"), this));
    layout->addWidget(pad_, 1);
    layout->addLayout(bar);

    connect(undo_, &QPushButton::clicked, pad_, &DrawPad::undo);
    connect(redo_, &QPushButton::clicked, pad_, &DrawPad::redo);
    connect(clear_, &QPushButton::clicked, pad_, &DrawPad::clear);
    connect(ink, &QPushButton::clicked, this, &DrawWindow::pickInk);
    connect(penWidth_, &QSpinBox::valueChanged, pad_, [this](int width) { pad_->setPenWidth(width); });
    connect(done, &QPushButton::clicked, this, &DrawWindow::finish);
    connect(scan, &QPushButton::clicked, this, &DrawWindow::importScan);
    connect(pad_, &DrawPad::changed, this, &DrawWindow::showState);
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, pad_, &DrawPad::undo);
    // Enter presses 完成, as a dialog's default button would.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                &DrawWindow::finish);
    // Both of the usual redo keys, each once: the platform's own may already be one of them,
    // and a key bound twice is ambiguous and does nothing.
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                    QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(keys))
            redoKeys << keys;
    auto* redoShortcut = new QShortcut(this);
    redoShortcut->setKeys(redoKeys);
    connect(redoShortcut, &QShortcut::activated, pad_, &DrawPad::redo);
    // Three times the picture where the screen has room.
    resize(withinScreen(QSize(1200, 900), parent));
    showState();
}

QString DrawWindow::keptFile(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("drawn.json"));
}

QString DrawWindow::keptScan(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("drawn-ink.png"));
}

void DrawWindow::showState()
{
    undo_->setEnabled(pad_->canUndo());
    redo_->setEnabled(pad_->canRedo());
    clear_->setEnabled(!pad_->isEmpty());
}

void DrawWindow::pickInk()
{
    const auto answer = platform_.chooseColor(pad_->writing().ink, {});
    if (answer.resultCode != 0)
        pad_->setInk(answer.color);
}

void DrawWindow::finish()
{
    const QString title = QStringLiteral("手绘签名");
    if (pad_->showsScan()) {
        const QImage ink = pad_->scanWithStrokes();
        return keep(drawnFiles(ink), QStringLiteral("drawn-ink.png"), pngBytes(ink),
                    keptFile(folder_));
    }
    if (inkBounds(handwritingInk(pad_->writing())).isEmpty())
        return platform_.showMessage(tr("还没有写下签名：请在白色的区域里写。"), title,
                                     Platform::Icon::Warning);
    // Trimmed to its ink, a pen's width of room around it.
    const Handwriting writing = trimmed(pad_->writing(), pad_->writing().penWidth);
    // The points last: what is read back is whole only once the pictures are.
    keep(drawnFiles(writing), QStringLiteral("drawn.json"), handwritingJson(writing),
         keptScan(folder_));
}

void DrawWindow::keep(const DrawnFiles& drawn, const QString& sourceName, const QByteArray& source,
                      const QString& gone)
{
    const std::pair<QString, QByteArray> files[] = {
        {QStringLiteral("drawn.png"), pngBytes(drawn.image(1))},
        {QStringLiteral("drawn@4x.png"), pngBytes(drawn.image(4))},
        {QStringLiteral("drawn.svg"), drawn.svg()},
        {QStringLiteral("drawn.pdf"), drawn.pdf()},
        {sourceName, source}};
    const QString title = QStringLiteral("手绘签名");
    if (!QDir().mkpath(folder_))
        return platform_.showMessage(tr("手绘签名没有保存：不能建立文件夹 %1。").arg(folder_), title,
                                     Platform::Icon::Warning);
    for (const auto& [name, bytes] : files)
        if (const auto failed = writeFile(QDir(folder_).filePath(name), bytes))
            return platform_.showMessage(tr("手绘签名没有保存：%1").arg(*failed), title,
                                         Platform::Icon::Warning);
    // The signature kept last is the one that signs.
    QFile::remove(gone);
    platform_.showMessage(tr("手绘签名已保存在 %1：\r\ndrawn.png、drawn@4x.png（透明背景的图片）、"
                             "drawn.svg、drawn.pdf，以及 %2。\r\n"
                             "签署 PDF 文档时勾选“手绘签名”就用它。")
                              .arg(QDir::toNativeSeparators(folder_), sourceName),
                          title, Platform::Icon::Information);
    Q_EMIT kept();
}

void DrawWindow::importScan()
{
    const auto path = platform_.askOpenFileName(tr("导入纸上签名的照片"),
                                                {tr("图片 (*.png *.jpg *.jpeg *.bmp)")});
    if (!path)
        return;
    const auto read = readScan(*path);
    if (const auto* problem = std::get_if<ScanError>(&read))
        return platform_.showMessage(
            *problem == ScanError::TooLarge
                ? tr("“%1”超过 %2 百万像素，太大了；请用小一些的照片。")
                      .arg(QFileInfo(*path).fileName())
                      .arg(LargestScanPixels / 1'000'000)
            : *problem == ScanError::NoInk
                ? tr("“%1”上没有找到笔迹：没有比纸更深的颜色。").arg(QFileInfo(*path).fileName())
                : tr("“%1”不是能读的图片。").arg(QFileInfo(*path).fileName()),
            tr("导入签名"), Platform::Icon::Warning);
    // Shown on the pad to be looked at, written over or undone; kept by 完成.
    pad_->showScan(std::get<QImage>(read));
}
