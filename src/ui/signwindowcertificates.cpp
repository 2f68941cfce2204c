#include "signwindow.h"

#include "levelchooser.h"
#include "output/platform.h"
#include "pdf/signingidentity.h"
#include "pdf/tokens.h"
#include "signmessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

void SignWindow::listCertificates()
{
    const QSignalBlocker quiet(certificates_);
    certificates_->clear();
    certificates_->addItem(tr("不用证书"), QString());
    listed_ = tokenCertificates();
    const QString date = QStringLiteral("yyyy-MM-dd");
    for (const TokenCertificate& c : listed_) {
        certificates_->addItem(tr("%1（%2）").arg(c.name, c.token.startsWith(QLatin1String("NSS "))
                                                             ? tr("NSS 证书库")
                                                             : tr("令牌 %1").arg(c.token)),
                               c.source);
        certificates_->setItemData(certificates_->count() - 1,
                                   tr("%1，颁发者 %2，有效期 %3 至 %4")
                                       .arg(c.name, c.issuer,
                                            c.validFrom.toLocalTime().toString(date),
                                            c.validTo.toLocalTime().toString(date)),
                                   Qt::ToolTipRole);
    }
    for (const QString& file : std::as_const(files_))
        certificates_->addItem(tr("%1（文件）").arg(QFileInfo(file).fileName()), file);
    certificates_->addItem(tr("证书文件（.p12、.pfx）…"), QStringLiteral("#file"));
    const int at = certificates_->findData(certificate_);
    certificates_->setCurrentIndex(std::max(0, at));
}

void SignWindow::pickCertificate(int index)
{
    const QString source = certificates_->itemData(index).toString();
    if (source == QLatin1String("#file"))
        return chooseCertificate();
    if (source.isEmpty())
        return clearCertificate();
    if (source == certificate_)
        return;
    // A file is opened with its password when chosen; a token's PIN is asked when it signs.
    certificate_ = source;
    identity_.reset();
    if (!isTokenSource(source) && !unlockCertificate())
        certificate_.clear();
    showCertificate();
}

void SignWindow::chooseCertificate()
{
    const auto answer = platform_.askOpenFileName(tr("选择签名证书"),
                                                  {tr("证书 (*.p12 *.pfx)")});
    if (!answer)
        return;
    const QString before = certificate_;
    auto kept = std::move(identity_);
    certificate_ = *answer;
    // A certificate that cannot be unlocked leaves the one chosen before.
    if (!unlockCertificate()) {
        certificate_ = before;
        identity_ = std::move(kept);
    } else if (!files_.contains(certificate_)) {
        files_ << certificate_;
        listCertificates();
    }
    showCertificate();
}

void SignWindow::clearCertificate()
{
    certificate_.clear();
    identity_.reset();
    showCertificate();
}

// Asks the certificate's password and opens it; the password is gone once it has been used.
bool SignWindow::unlockCertificate()
{
    const bool token = isTokenSource(certificate_);
    const QString name = token ? listedName() : QFileInfo(certificate_).fileName();
    for (bool again = false;; again = true) {
        auto typed =
            token ? platform_.askPassword(again ? tr("PIN 不对。请再输入“%1”的 PIN：").arg(name)
                                                : tr("请输入“%1”的 PIN：").arg(name),
                                          tr("证书 PIN"))
                  : platform_.askPassword(again ? tr("密码不对。请再输入证书“%1”的密码：").arg(name)
                                                : tr("请输入证书“%1”的密码：").arg(name),
                                          tr("证书密码"));
        if (!typed)
            return false;
        SecretBytes password(typed->toUtf8());
        wiped(typed);
        auto identity = SigningIdentity::open(certificate_, password);
        if (auto* unlocked = std::get_if<std::shared_ptr<SigningIdentity>>(&identity)) {
            identity_ = std::move(*unlocked);
            // A key that asks for its PIN at every signature has it asked of the person each
            // time, in this window, whichever thread signs.
            if (identity_->asksPinEachSignature())
                identity_->setPinSource([this, name]() -> std::optional<SecretBytes> {
                    std::optional<QString> typed;
                    QMetaObject::invokeMethod(
                        this,
                        [&] {
                            typed = platform_.askPassword(tr("这枚令牌每次签名都要输入 PIN。请输入“%1”的 PIN：").arg(name),
                                                          tr("证书 PIN"));
                        },
                        QThread::currentThread() == thread() ? Qt::DirectConnection
                                                             : Qt::BlockingQueuedConnection);
                    if (!typed)
                        return std::nullopt;
                    SecretBytes pin(typed->toUtf8());
                    wiped(typed);
                    return pin;
                });
            return true;
        }
        const SignError& why = std::get<SignError>(identity);
        if (why.kind != SignError::Kind::IdentityPassword) {
            warn(tr("证书不能用来签名：%1").arg(SignMessages::text(why)));
            return false;
        }
    }
}

QString SignWindow::listedName() const
{
    for (const TokenCertificate& c : listed_)
        if (c.source == certificate_)
            return c.name;
    return certificate_;
}

void SignWindow::showCertificate()
{
    const auto say = [this](const QString& text) {
        certificateLabel_->setText(text);
        certificateLabel_->setToolTip(text);
    };
    {
        const QSignalBlocker quiet(certificates_);
        certificates_->setCurrentIndex(std::max(0, certificates_->findData(certificate_)));
    }
    clearCertificate_->setEnabled(!certificate_.isEmpty());
    signerLines_->setEnabled(!certificate_.isEmpty() && !across_->isChecked());
    reason_->setEnabled(!certificate_.isEmpty());
    location_->setEnabled(!certificate_.isEmpty());
    levels_->setEnabled(!certificate_.isEmpty());
    if (certificate_.isEmpty()) {
        say(tr("不用证书（只盖签名，不做数字签名）"));
        return;
    }
    if (!identity_) {
        const int at = certificates_->findData(certificate_);
        say(
            isTokenSource(certificate_)
                ? tr("%1（保存时输入 PIN）").arg(certificates_->itemData(at, Qt::ToolTipRole).toString())
                : tr("%1（保存时输入密码）").arg(QFileInfo(certificate_).fileName()));
        return;
    }
    const QString date = QStringLiteral("yyyy-MM-dd");
    say(tr("%1，颁发者 %2，有效期 %3 至 %4")
                                   .arg(identity_->name(), identity_->issuer(),
                                        identity_->validFrom().toLocalTime().toString(date),
                                        identity_->validTo().toLocalTime().toString(date)));
}
