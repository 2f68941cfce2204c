#include "signwindow.h"

#include "background.h"
#include "batchwindow.h"
#include "levelchooser.h"
#include "output/platform.h"
#include "pageview.h"
#include "pdf/pagelist.h"
#include "pdf/signingidentity.h"
#include "signmessages.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>

StampPlace SignWindow::stampPlace() const
{
    StampPlace place;
    const QString pages = pages_->text().trimmed();
    place.pages = pages.isEmpty() ? QString::number(page_ + 1) : pages;
    place.atMm = view_->atMm();
    place.widthMm = view_->widthMm();
    place.flatten = flatten_->isChecked();
    place.acrossPages = across_->isChecked() && across_->isEnabled();
    if (place.acrossPages && pages.isEmpty())
        place.pages = QStringLiteral("all");
    return place;
}

void SignWindow::signMany()
{
    if (!batch_)
        batch_ = std::make_unique<BatchWindow>(platform_, [this] { return preparedJob(); }, page_ + 1, this);
    batch_->show();
    batch_->raise();
    batch_->activateWindow();
}

std::optional<SigningJob> SignWindow::preparedJob()
{
    refreshSignature();
    if (signaturePdf_.isEmpty()) {
        warn(tr("签名是空的：请先在主窗口里输入名字。"));
        return std::nullopt;
    }
    StampPlace place = stampPlace();
    if (const auto problem = pageListProblem(place.pages)) {
        warn(SignMessages::text(*problem));
        return std::nullopt;
    }
    place.documentPassword = documentPassword_;
    if (!certificate_.isEmpty()) {
        if (place.flatten) {
            warn(tr("证书签名追加在文档之后，不能同时“画入页面”。"));
            return std::nullopt;
        }
        if (!identity_ && !unlockCertificate())
            return std::nullopt;
        showCertificate();
        place.signer = identity_;
        // The lines name the signer and the time of this signing.
        if (signerLines_->isChecked())
            refreshSignature();
        place.reason = reason_->text().trimmed();
        place.location = location_->text().trimmed();
    }
    SigningJob job;
    job.document = path_;
    job.picture = signaturePdf_;
    job.place = place;
    levels_->fill(job);
    if (job.place.signer && levels_->level() != SignatureLevel::BB && levels_->authority().isEmpty()) {
        warn(SignMessages::text(SignError{SignError::Kind::NoTimeStampAuthority, path_}));
        return std::nullopt;
    }
    if (const auto problem = jobProblem(job)) {
        warn(tr("文档不能签署：%1").arg(SignMessages::text(*problem)));
        return std::nullopt;
    }
    return job;
}

void SignWindow::save()
{
    if (path_.isEmpty()) {
        chooseDocument();
        return;
    }
    if (!view_->signatureShown())
        return signAnother();
    std::optional<SigningJob> prepared = preparedJob();
    if (!prepared)
        return;
    SigningJob& job = *prepared;
    const StampPlace& place = job.place;
    // Drawing into the pages rewrites the document: its signatures stop being valid. Asked
    // first, No the default.
    if (place.flatten && facts_.signatures > 0) {
        if (!platform_.askYesNo(tr("这份文档有 %1 个数字签名。“画入页面”会重写文档，这 %1 个签名都将失效。\r\n仍要画入页面吗？")
                                    .arg(facts_.signatures),
                                tr("画入页面")))
            return;
        job.place.breakSignatures = true;
    }
    // Asking an authority or a responder takes a while: the window keeps painting meanwhile.
    notice_->setText(job.level() == SignatureLevel::BB ? tr("正在签署…")
                                                       : tr("正在签署，向时间戳服务器请求可信时间…"));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto stamped =
        whileWaiting<std::variant<SignedCopy, SignError>>([&job] { return sign(job); });
    QApplication::restoreOverrideCursor();
    showFacts();
    if (const SignError* failure = std::get_if<SignError>(&stamped))
        return warn(tr("文档不能签署：%1").arg(SignMessages::text(*failure)));
    if (job.place.signer)
        levels_->remember();
    // A signature laid over another hides it from whoever reads the page: asked first.
    if (const auto& covered = std::get<SignedCopy>(stamped).coveredFields; !covered.isEmpty()) {
        QStringList where;
        for (const SignedPage& page : std::get<SignedCopy>(stamped).coveredPages)
            where << QString::number(page.page);
        if (!platform_.askYesNo(tr("新签名会盖住第 %1 页上已有的签名（%2）。\r\n仍要这样签吗？")
                                    .arg(where.join(QStringLiteral("、")),
                                         covered.join(QStringLiteral("、"))),
                                tr("签署文档")))
            return;
    }
    // Beside the document, named for it: a signed copy, never the document itself unasked.
    const QFileInfo document(path_);
    const QString title = tr("保存签署后的文档");
    const auto answer = platform_.askSaveFileName(
        title, {tr("PDF 文档 (*.pdf)")},
        document.dir().filePath(tr("%1-已签.pdf").arg(document.completeBaseName())));
    if (!answer || answer->path.isEmpty())
        return;
    QString out = answer->path;
    if (QFileInfo(out).suffix().isEmpty())
        out += QStringLiteral(".pdf");
    if (QFileInfo::exists(out) && !platform_.confirmReplace(out, title))
        return;
    const SignedCopy& copy = std::get<SignedCopy>(stamped);
    if (const auto error = copy.writeTo(out))
        return warn(SignMessages::text(*error));
    QStringList pages;
    for (const SignedPage& page : copy.signedPages)
        pages << QString::number(page.page);
    QString said = tr("已保存签署后的文档：\r\n%1\r\n签了第 %2 页%3。")
                       .arg(out, pages.join(QStringLiteral("、")),
                            place.signer ? tr("，第 %1 页是证书签名").arg(pages.value(0))
                                         : QString());
    if (copy.newFieldAfterCertification)
        said += tr("\r\n这份文档经作者认证只允许填表和签名，又没有空的签名域，所以新加了一个签名域；有些核验软件可能会把它标为不允许的改动。");
    if (facts_.signatures > 0)
        said += !copy.rewritten ? tr("\r\n文档原有的 %1 个数字签名仍然有效。").arg(facts_.signatures)
                                : tr("\r\n文档原有的数字签名已失效。");
    // What is shown from now on is the signed copy, as it was written: a second save signs it
    // again, beside the first signature, not the document as it was before.
    openDocument(out, documentPassword_);
    view_->setSignatureShown(false);
    another_->show();
    showShare();
    if (platform_.askYesNo(said + tr("\r\n\r\n要用桌面的 PDF 阅读器打开它吗？"), title) &&
        !platform_.openUrl(QUrl::fromLocalFile(out)))
        warn(tr("这台电脑上没有能打开 PDF 文档的程序。"));
}

void SignWindow::signAnother()
{
    // Above the signature just made where the page has room; kept on the page where not.
    view_->setSignatureShown(true);
    another_->hide();
    view_->place(view_->atMm() - QPointF(0, view_->heightMm() + 5), view_->widthMm());
    showShare();
    view_->setFocus();
}
