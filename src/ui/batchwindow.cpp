#include "batchwindow.h"

#include "background.h"
#include "output/platform.h"
#include "pdf/signingbatch.h"
#include "signmessages.h"

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

QString signedCopyPath(const QString& document)
{
    const QFileInfo info(document);
    return info.dir().filePath(QCoreApplication::translate("BatchWindow", "%1-已签.pdf").arg(info.completeBaseName()));
}

BatchWindow::BatchWindow(Platform& platform, std::function<std::optional<SigningJob>()> job, int page,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), platform_(platform), job_(std::move(job))
{
    setObjectName(QStringLiteral("frmBatch"));
    setWindowTitle(tr("批量签署"));
    setAcceptDrops(true);
    documents_ = new QListWidget(this);
    documents_->setObjectName(QStringLiteral("lstBatchDocuments"));
    documents_->setAccessibleName(tr("要签署的文档"));
    auto* add = new QPushButton(tr("添加文档…"), this);
    add->setObjectName(QStringLiteral("btnBatchAdd"));
    from_ = new QComboBox(this);
    from_->setObjectName(QStringLiteral("cboBatchFrom"));
    from_->addItem(tr("从第一页数起"));
    from_->addItem(tr("从最后一页数起"));
    page_ = new QSpinBox(this);
    page_->setObjectName(QStringLiteral("spnBatchPage"));
    page_->setRange(1, 99999);
    page_->setValue(page);
    page_->setPrefix(tr("第 "));
    page_->setSuffix(tr(" 页"));
    start_ = new QPushButton(tr("开始签署"), this);
    start_->setObjectName(QStringLiteral("btnBatchStart"));
    results_ = new QListWidget(this);
    results_->setObjectName(QStringLiteral("lstBatchResults"));
    results_->setAccessibleName(tr("签署结果"));
    results_->setToolTip(tr("双击或按回车打开签好的文档"));
    summary_ = new QLabel(tr("签名、位置、宽度、证书和级别都和签署窗口里的一样；签好的文档放在原文档旁边，文件名后加“-已签”。"), this);
    summary_->setObjectName(QStringLiteral("lblBatchSummary"));
    summary_->setWordWrap(true);

    auto* pages = new QHBoxLayout;
    pages->addWidget(new QLabel(tr("签在"), this));
    pages->addWidget(from_);
    pages->addWidget(page_);
    pages->addStretch();
    pages->addWidget(add);
    pages->addWidget(start_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(documents_, 1);
    layout->addLayout(pages);
    layout->addWidget(summary_);
    layout->addWidget(results_, 1);
    connect(add, &QPushButton::clicked, this, &BatchWindow::chooseDocuments);
    connect(start_, &QPushButton::clicked, this, &BatchWindow::signAll);
    connect(results_, &QListWidget::itemActivated, this, &BatchWindow::openResult);
    resize(560, 480);
}

void BatchWindow::addDocuments(const QStringList& paths)
{
    for (const QString& path : paths)
        if (documents_->findItems(path, Qt::MatchExactly).isEmpty())
            new QListWidgetItem(path, documents_);
}

void BatchWindow::chooseDocuments()
{
    addDocuments(platform_.askOpenFileNames(tr("选择要批量签署的 PDF 文档"), {tr("PDF 文档 (*.pdf)")}));
}

void BatchWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void BatchWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
            paths << url.toLocalFile();
    addDocuments(paths);
    event->acceptProposedAction();
}

void BatchWindow::signAll()
{
    if (documents_->count() == 0)
        return platform_.showMessage(tr("请先添加要签署的文档。"), windowTitle(), Platform::Icon::Warning);
    const std::optional<SigningJob> base = job_();
    if (!base)
        return;
    std::vector<BatchDocument> batch;
    for (int i = 0; i < documents_->count(); ++i) {
        const QString input = documents_->item(i)->text();
        StampPlace place = base->place;
        if (from_->currentIndex() == 1)
            place.pageFromEnd = page_->value();
        else
            place.pages = QString::number(page_->value());
        batch.push_back({input, signedCopyPath(input), place});
    }
    results_->clear();
    start_->setEnabled(false);
    int failed = 0;
    QPointer<BatchWindow> self(this);
    const auto shown = [self, &batch, &failed](size_t i, const BatchOutcome& outcome) {
        if (!self)
            return;
        const QString name = QFileInfo(batch[i].input).fileName();
        auto* item = new QListWidgetItem(self->results_);
        if (outcome.error) {
            ++failed;
            item->setText(tr("✘ %1：%2").arg(name, SignMessages::text(*outcome.error)));
            item->setForeground(QColor(0xb0, 0x20, 0x20));
        } else {
            item->setText(tr("✔ %1 → %2").arg(name, QFileInfo(batch[i].output).fileName()));
            item->setData(Qt::UserRole, batch[i].output);
        }
    };
    // Signed beside the window, each result shown as it comes, in the window's own thread.
    whileWaiting<bool>([&] {
        signEach(batch, *base, QThread::idealThreadCount(), [&](size_t i, const BatchOutcome& outcome) {
            QMetaObject::invokeMethod(this, [=] { shown(i, outcome); }, Qt::QueuedConnection);
        });
        return true;
    });
    QCoreApplication::processEvents();
    start_->setEnabled(true);
    summary_->setText(failed == 0 ? tr("%1 份文档都已签好。").arg(batch.size())
                                  : tr("%1 份文档里 %2 份没有签成，原因见下。").arg(batch.size()).arg(failed));
}

void BatchWindow::openResult()
{
    const QString output = results_->currentItem() ? results_->currentItem()->data(Qt::UserRole).toString()
                                                   : QString();
    if (!output.isEmpty() && !platform_.openUrl(QUrl::fromLocalFile(output)))
        platform_.showMessage(tr("这台电脑上没有能打开 PDF 文档的程序。"), windowTitle(), Platform::Icon::Warning);
}
