#include "revisionview.h"

#include "pageview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

RevisionView::RevisionView(const QString& documentName, const QString& field,
                           const QByteArray& bytes, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmRevision"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("%1 - 签名“%2”时的文档").arg(documentName, field));
    resize(700, 800);
    bytes_.setData(bytes);
    bytes_.open(QIODevice::ReadOnly);
    document_.load(&bytes_);
    view_ = new PageView(this);
    view_->setObjectName(QStringLiteral("revisionPage"));
    auto* previous = new QPushButton(tr("上一页"), this);
    auto* next = new QPushButton(tr("下一页"), this);
    pageLabel_ = new QLabel(this);
    auto* note = new QLabel(tr("这是签名时的文档：签名之后加上的内容都不在这里。"), this);
    note->setWordWrap(true);
    auto* bar = new QHBoxLayout;
    bar->addWidget(previous);
    bar->addWidget(pageLabel_);
    bar->addWidget(next);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);
    layout->addWidget(note);
    connect(previous, &QPushButton::clicked, this, [this] { showPage(page_ - 1); });
    connect(next, &QPushButton::clicked, this, [this] { showPage(page_ + 1); });
    connect(new QShortcut(QKeySequence(Qt::Key_PageUp), this), &QShortcut::activated, this,
            [this] { showPage(page_ - 1); });
    connect(new QShortcut(QKeySequence(Qt::Key_PageDown), this), &QShortcut::activated, this,
            [this] { showPage(page_ + 1); });
    showPage(0);
}

void RevisionView::showPage(int page)
{
    if (page < 0 || page >= document_.pageCount())
        return;
    page_ = page;
    view_->setPage(&document_, page);
    pageLabel_->setText(tr("第 %1 / %2 页").arg(page + 1).arg(document_.pageCount()));
}
