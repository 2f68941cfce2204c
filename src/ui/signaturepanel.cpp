#include "signaturepanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

SignaturePanel::SignaturePanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlSignatures"));
    auto* title = new QLabel(tr("文档里的签名"), this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstSignatures"));
    list_->setAccessibleName(tr("文档里的签名"));
    list_->setWordWrap(true);
    list_->setMaximumHeight(120);
    revision_ = new QPushButton(tr("查看签名时的文档…"), this);
    revision_->setObjectName(QStringLiteral("btnRevision"));
    revision_->setToolTip(tr("显示这个签名所签的那一版文档：签名之后的改动都不在里面"));
    revision_->setEnabled(false);
    auto* top = new QHBoxLayout;
    top->addWidget(title);
    top->addStretch();
    top->addWidget(revision_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(list_);
    connect(list_, &QListWidget::currentRowChanged, this,
            [this](int row) { revision_->setEnabled(row >= 0 && size_t(row) < reports_.size()); });
    connect(revision_, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        if (row >= 0 && size_t(row) < reports_.size())
            Q_EMIT revisionAsked(reports_[size_t(row)].field, reports_[size_t(row)].coveredBytes);
    });
    hide();
}

QString SignaturePanel::describe(const SignatureReport& r)
{
    const QString who = r.signer().isEmpty() ? tr("不明签名人") : r.signer();
    const QDateTime when = r.time();
    QString kind;
    switch (r.type) {
    case SignatureReport::Type::Approval:
        kind = tr("证书签名");
        break;
    case SignatureReport::Type::Certification:
        kind = r.certifiedP == 1   ? tr("认证签名（不允许任何修改）")
               : r.certifiedP == 2 ? tr("认证签名（只允许填表和签名）")
                                   : tr("认证签名（允许填表、签名和注释）");
        break;
    case SignatureReport::Type::DocumentTimeStamp:
        kind = tr("文档时间戳");
        break;
    }
    const QString covers = !r.rangesSound ? tr("签名范围不正常")
                           : r.wholeDocument()
                               ? tr("覆盖整个文档")
                               : tr("签名之后文档又有改动（第 %1 版，共 %2 版）")
                                     .arg(r.revision)
                                     .arg(r.revisions);
    const QString bytes = !r.check.readable        ? tr("签名数据读不出来")
                          : !r.check.digestMatches ? tr("所签内容已被改动，签名无效")
                          : !r.check.valueVerifies ? tr("签名值与证书不符，签名无效")
                                                   : tr("所签内容未被改动");
    QString trust;
    switch (r.check.trust) {
    case CmsCheck::Trust::Trusted:
        trust = tr("证书为本机信任的机构所签发");
        break;
    case CmsCheck::Trust::SelfSigned:
        trust = tr("证书是自签名的，未经信任");
        break;
    case CmsCheck::Trust::IssuerNotTrusted:
        trust = tr("证书的签发者未被本机信任");
        break;
    case CmsCheck::Trust::NotChecked:
        trust = tr("证书未核验");
        break;
    }
    // When it was signed, as far as anyone can trust: an authority's time stamp, or the signer's
    // own word.
    const TimeStampCheck& stamp = r.check.timeStamp;
    const QString time =
        r.type == SignatureReport::Type::DocumentTimeStamp ? QString()
        : !stamp.present ? tr("；没有可信时间（B-B）")
        : !stamp.holds   ? tr("；时间戳无效")
                         : tr("；可信时间 %1，由 %2 盖时间戳%3")
                             .arg(stamp.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                  stamp.authority,
                                  r.level() == SignatureReport::Level::BLTA
                                      ? tr("，留存了验证数据并加盖文档时间戳（B-LTA）")
                                  : r.level() == SignatureReport::Level::BLT
                                      ? tr("，留存了验证数据（B-LT）")
                                      : tr("（B-T）"));
    return tr("%1：%2，%3签于 %4；%5；%6；%7")
               .arg(r.field, kind, who,
                    when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                   : tr("时间不明"),
                    covers, bytes, trust) +
           time;
}

void SignaturePanel::showSignatures(const std::vector<SignatureReport>& reports)
{
    reports_ = reports;
    list_->clear();
    for (const SignatureReport& report : reports) {
        auto* item = new QListWidgetItem(describe(report), list_);
        if (!report.intact())
            item->setForeground(QColor(0xb0, 0x20, 0x20));
    }
    revision_->setEnabled(false);
    setVisible(!reports.empty());
}

void SignaturePanel::clear()
{
    showSignatures({});
}
