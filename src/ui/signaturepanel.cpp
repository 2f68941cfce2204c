#include "signaturepanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The colours good readers give a verdict: green, the amber of a warning, red.
const QColor Good(0x1e, 0x7b, 0x34), Warning(0xa8, 0x5a, 0x00), Bad(0xb0, 0x20, 0x20);

QString timeText(const QDateTime& t)
{
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString subtype(const QString& name)
{
    return name.startsWith(u'/') ? name.mid(1) : name;
}

} // namespace

SignaturePanel::SignaturePanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlSignatures"));
    auto* title = new QLabel(tr("文档里的签名"), this);
    banner_ = new QLabel(this);
    banner_->setObjectName(QStringLiteral("lblVerdict"));
    banner_->setWordWrap(true);
    banner_->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    layout->addWidget(banner_);
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

QString SignaturePanel::laterWords(const std::vector<RevisionChanges>& later,
                                   const Verification& v)
{
    using W = Change::What;
    QStringList revisions;
    for (const RevisionChanges& r : later) {
        QStringList said;
        for (const Change& c : r.changes) {
            QString words;
            switch (c.what) {
            case W::ValidationData:
                words = tr("加入了验证数据");
                break;
            case W::DocumentTimeStamp:
                words = tr("加盖了文档时间戳");
                break;
            case W::Metadata:
                words = tr("改了文档信息");
                break;
            case W::SignatureAdded:
                words = tr("在“%1”加了签名").arg(c.name);
                for (const SignatureReport& s : v.signatures)
                    if (s.revision == r.revision && s.field == c.name && !s.signer().isEmpty())
                        words = tr("加了 %1 的签名").arg(s.signer());
                break;
            case W::EmptySignatureField:
                words = tr("加了空的签名域“%1”").arg(c.name);
                break;
            case W::FieldFilled:
                words = tr("填写了表单域“%1”").arg(c.name);
                break;
            case W::FormDefaults:
                words = tr("改了表单的默认外观");
                break;
            case W::AnnotationAdded:
                words = tr("在第 %1 页加了 %2 注释").arg(c.page).arg(subtype(c.name));
                break;
            case W::AnnotationChanged:
                words = tr("改了第 %1 页的 %2 注释").arg(c.page).arg(subtype(c.name));
                break;
            case W::AnnotationRemoved:
                words = tr("删了第 %1 页的 %2 注释").arg(c.page).arg(subtype(c.name));
                break;
            case W::PageContent:
                words = tr("替换了第 %1 页的内容").arg(c.page);
                break;
            case W::PageResources:
                words = tr("改了第 %1 页用到的资源（字体、图片等）").arg(c.page);
                break;
            case W::PageProperties:
                words = c.page > 0 ? tr("改了第 %1 页的 %2").arg(c.page).arg(c.key)
                                   : tr("改了页面树传给各页的 %1").arg(c.key);
                break;
            case W::PageAdded:
                words = tr("加了第 %1 页").arg(c.page);
                break;
            case W::PageRemoved:
                words = tr("删了第 %1 页").arg(c.page);
                break;
            case W::PageTree:
                words = tr("改了页面的顺序");
                break;
            case W::Catalog:
                words = tr("改了文档目录的 %1").arg(c.name);
                break;
            case W::OpenAction:
                words = tr("加了打开文档时自动执行的动作（%1）").arg(c.name);
                break;
            case W::OptionalContent:
                words = tr("改了可选内容的显示");
                break;
            case W::FieldAdded:
                words = tr("加了表单域“%1”").arg(c.name);
                break;
            case W::FieldRemoved:
                words = tr("删了表单域“%1”").arg(c.name);
                break;
            case W::FieldChanged:
                words = tr("改了表单域“%1”%2").arg(c.name, c.key);
                break;
            case W::SignatureRemoved:
                words = tr("把“%1”的签名从表单里拿掉了").arg(c.name);
                break;
            case W::SignatureReplaced:
                words = tr("换掉了“%1”的签名").arg(c.name);
                break;
            case W::SignatureRedefined:
                words = tr("重写了“%1”的签名字典").arg(c.name);
                break;
            case W::Trailer:
                words = tr("让文档指向了另一个 %1").arg(c.name);
                break;
            case W::DefinedTwice:
                words = tr("把对象 %1 定义了两次").arg(c.object);
                break;
            case W::ObjectChanged:
                words = tr("改了对象 %1").arg(c.object);
                break;
            case W::ObjectFreed:
                words = tr("删了对象 %1").arg(c.object);
                break;
            case W::DanglingFilled:
                words = tr("补上了签名时引用却不存在的对象 %1").arg(c.object);
                break;
            }
            if (!said.contains(words))
                said << words;
        }
        revisions << tr("第 %1 版%2").arg(r.revision).arg(said.join(tr("，")));
    }
    return revisions.join(tr("；"));
}

QString SignaturePanel::describe(const SignatureReport& r, const Verification& v)
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
    QString covers;
    switch (r.coverage) {
    case SignatureReport::Coverage::Whole:
        covers = tr("覆盖整个文档");
        break;
    case SignatureReport::Coverage::Revision:
        covers = tr("覆盖第 %1 版（共 %2 版）").arg(r.revision).arg(r.revisions);
        break;
    case SignatureReport::Coverage::Unclear:
        covers = r.unclear == SignatureReport::Unclear::ChainUnreadable
                     ? tr("文档后来的版本不能按增量更新读出，无法判断")
                     : tr("签名范围不正常，无法判断它签了什么");
        break;
    }
    const QString bytes = !r.check.readable        ? tr("签名数据读不出来")
                          : !r.check.digestMatches ? tr("所签内容已被改动，签名无效")
                          : !r.check.valueVerifies ? tr("签名值与证书不符，签名无效")
                          : r.check.brokenDigest() ? tr("摘要算法 %1 已被攻破，签名无效")
                                                         .arg(r.check.digestName)
                          : r.check.keyTooSmall()  ? tr("密钥只有 %1 位，签名无效").arg(r.check.keyBits)
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
    case CmsCheck::Trust::NotForSigning:
        trust = tr("证书不是用来签名的");
        break;
    case CmsCheck::Trust::Expired:
        trust = tr("签名时证书已过期");
        break;
    case CmsCheck::Trust::NotYetValid:
        trust = tr("签名时证书尚未生效");
        break;
    case CmsCheck::Trust::Revoked:
        trust = tr("证书已被吊销");
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
                         : tr("；可信时间 %1，由 %2 盖时间戳%3%4")
                             .arg(timeText(stamp.time), stamp.authority,
                                  stamp.trusted ? QString() : tr("（该机构未被本机信任）"),
                                  r.level() == SignatureReport::Level::BLTA
                                      ? tr("，留存了验证数据并加盖文档时间戳（B-LTA）")
                                  : r.level() == SignatureReport::Level::BLT
                                      ? tr("，留存了验证数据（B-LT）")
                                      : tr("（B-T）"));
    QString after;
    switch (r.after) {
    case SignatureReport::After::Nothing:
        after = tr("；之后没有改动");
        break;
    case SignatureReport::After::SignaturesOnly:
        after = tr("；之后：%1").arg(laterWords(r.later, v));
        break;
    case SignatureReport::After::Allowed:
        after = tr("；签名之后有它允许的改动：%1").arg(laterWords(r.later, v));
        break;
    case SignatureReport::After::Beyond:
        after = tr("；签名之后被改动：%1").arg(laterWords(r.later, v));
        break;
    }
    return tr("%1：%2，%3签于 %4；%5；%6；%7")
               .arg(r.field.isEmpty() ? tr("（无名）") : r.field, kind, who,
                    when.isValid() ? timeText(when) : tr("时间不明"), covers, bytes, trust) +
           time + (r.inForm ? QString() : tr("；已不在文档的表单里")) + after;
}

QString SignaturePanel::verdict(const Verification& v)
{
    switch (v.verdict()) {
    case Verification::Verdict::NoSignatures:
        return {};
    case Verification::Verdict::Unchanged:
        return tr("所有签名有效，签名之后文档没有改动。");
    case Verification::Verdict::SignaturesOnly:
        return tr("所有签名有效；之后只加了签名、验证数据或时间戳。");
    case Verification::Verdict::ChangedAllowed:
        return tr("签名有效，但签名之后文档有签名人允许的改动（填表或注释），请查看每个签名下的说明。");
    case Verification::Verdict::ChangedBeyond:
        return tr("签名之后文档被改动，超出了签名人允许的范围：%1")
            .arg(laterWords(v.changes, v));
    case Verification::Verdict::Invalid:
        return tr("有签名无效或无法判断：不要相信这份文档的内容。");
    }
    return {};
}

void SignaturePanel::showVerification(const Verification& v)
{
    reports_ = v.signatures;
    list_->clear();
    for (const SignatureReport& report : v.signatures) {
        auto* item = new QListWidgetItem(describe(report, v), list_);
        if (!report.intact())
            item->setForeground(Bad);
        else if (report.after == SignatureReport::After::Beyond ||
                 report.after == SignatureReport::After::Allowed)
            item->setForeground(Warning);
    }
    const Verification::Verdict verdict = v.verdict();
    const QColor colour = verdict == Verification::Verdict::Invalid ||
                                  verdict == Verification::Verdict::ChangedBeyond
                              ? Bad
                          : verdict == Verification::Verdict::ChangedAllowed ? Warning
                                                                             : Good;
    banner_->setText(SignaturePanel::verdict(v));
    banner_->setStyleSheet(QStringLiteral("QLabel { color: %1; font-weight: bold; }").arg(colour.name()));
    revision_->setEnabled(false);
    setVisible(!v.signatures.empty());
}

void SignaturePanel::clear()
{
    showVerification(Verification{});
}
