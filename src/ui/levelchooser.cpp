#include "levelchooser.h"

#include "net/httpclient.h"
#include "output/filewrite.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QUrl>

namespace {

constexpr int TimeoutSeconds = 30;

QString rememberedFile(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("signing.json"));
}

} // namespace

LevelChooser::LevelChooser(const QString& folder, QWidget* parent) : QWidget(parent), folder_(folder)
{
    level_ = new QComboBox(this);
    level_->setObjectName(QStringLiteral("cboLevel"));
    level_->setAccessibleName(tr("签名级别"));
    level_->addItem(tr("B-B：没有可信时间"), int(SignatureLevel::BB));
    level_->addItem(tr("B-T：加盖可信时间"), int(SignatureLevel::BT));
    level_->addItem(tr("B-LT：再留存验证数据"), int(SignatureLevel::BLT));
    level_->addItem(tr("B-LTA：验证数据也加盖时间戳"), int(SignatureLevel::BLTA));
    level_->setToolTip(tr("可信时间由时间戳服务器给出；留存的验证数据让证书过期后仍能核验签名"));
    authority_ = new QLineEdit(this);
    authority_->setObjectName(QStringLiteral("txtTsa"));
    authority_->setAccessibleName(tr("时间戳服务器地址"));
    authority_->setPlaceholderText(tr("时间戳服务器地址（http://…）"));
    authority_->setMinimumWidth(160);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(level_);
    layout->addWidget(authority_, 1);
    QFile kept(rememberedFile(folder_));
    if (kept.open(QIODevice::ReadOnly) && kept.size() < 64 * 1024) {
        const QJsonObject o = QJsonDocument::fromJson(kept.readAll()).object();
        authority_->setText(o.value(QStringLiteral("authority")).toString());
        const int at = level_->findData(o.value(QStringLiteral("level")).toInt());
        level_->setCurrentIndex(std::max(0, at));
    }
    connect(level_, &QComboBox::currentIndexChanged, this, [this] {
        showChoice();
        Q_EMIT changed();
    });
    connect(authority_, &QLineEdit::textChanged, this, &LevelChooser::changed);
    showChoice();
}

void LevelChooser::showChoice()
{
    authority_->setEnabled(level() != SignatureLevel::BB);
}

SignatureLevel LevelChooser::level() const
{
    return SignatureLevel(level_->currentData().toInt());
}

QString LevelChooser::authority() const
{
    return authority_->text().trimmed();
}

void LevelChooser::fill(SigningJob& job) const
{
    if (level() == SignatureLevel::BB || !job.place.signer)
        return;
    job.setLevel(level());
    if (!authority().isEmpty())
        job.place.timeStamp = httpTimeStamper(QUrl(authority()), TimeoutSeconds);
    job.fetch = httpFetch(TimeoutSeconds);
}

void LevelChooser::remember() const
{
    QDir().mkpath(folder_);
    writeFile(rememberedFile(folder_),
              QJsonDocument(QJsonObject{{QStringLiteral("level"), int(level())},
                                        {QStringLiteral("authority"), authority()}})
                  .toJson(QJsonDocument::Compact));
}
