#include "signmessages.h"

#include <QFileInfo>

namespace {

// A file as the person knows it: its name, the folder left out.
QString nameOf(const QString& path)
{
    return QStringLiteral("“%1”").arg(QFileInfo(path).fileName());
}

} // namespace

QString SignMessages::text(const SignError& e)
{
    if (e.before) {
        SignError last = e;
        last.before.reset();
        return tr("%1（在此之前：%2）").arg(text(last), text(*e.before));
    }
    using K = SignError::Kind;
    const QString doc = nameOf(e.path);
    const QString restrictedBy =
        e.field2.isEmpty() ? tr("%1 的作者认证了它").arg(doc)
                           : tr("%1 的签名域“%2”里的签名锁定了它").arg(doc, e.field2);
    switch (e.kind) {
    case K::CannotRead:
        return tr("%1 不能读取：%2").arg(doc, e.detail);
    case K::NotPdf:
        return tr("%1 不是 PDF 文档，或者文档已损坏。").arg(doc);
    case K::Damaged:
        return e.page > 0 ? tr("%1 已损坏：第 %2 页的内容读不出来，不知道签名会显示在哪里。")
                                .arg(doc)
                                .arg(e.page)
                          : tr("%1 已损坏，不能在这里签署。").arg(doc);
    case K::NeedsPassword:
        return tr("%1 有打开密码。").arg(doc);
    case K::WrongPassword:
        return tr("密码不对，打不开 %1。").arg(doc);
    case K::Rc4:
        return tr("%1 用旧的 RC4 方式加密，这里不能签署；只能签署用 AES 加密的文档。").arg(doc);
    case K::TooLarge:
        return tr("%1 太大，读取它需要的内存超过 %2 MB 的上限，不能在这里签署。")
            .arg(doc)
            .arg(e.number, 0, 'f', 0);
    case K::ContentTooLarge:
        return tr("%1 第 %2 页的内容解压后超过 %3 MB，不能把签名画进这一页。")
            .arg(doc)
            .arg(e.page)
            .arg(e.number, 0, 'f', 0);
    case K::OutOfMemory:
        return tr("%1 太大，内存不够，不能在这里签署。").arg(doc);
    case K::PageTreeTooDeep:
        return tr("%1 的页面结构超过 %2 层，不能在这里签署。").arg(doc).arg(e.count);
    case K::TooManyObjects:
        return tr("%1 的对象编号多到 %2，超过 PDF 允许的 8388607，不能在这里签署。")
            .arg(doc)
            .arg(e.count);
    case K::BytesBeforeHeader:
        return tr("%1 在 PDF 文件头之前还有 %2 个字节，阅读器对它的计算方式不一，证书签名无法可靠地核验，所以不做证书签名。")
            .arg(doc)
            .arg(e.count);
    case K::NotPermitted:
        switch (e.permission) {
        case SignError::Permission::Annotate:
            return tr("%1 是加密的，作者的权限设置不允许添加注释（签名图章就是注释）。").arg(doc);
        case SignError::Permission::FillForms:
            return tr("%1 是加密的，作者的权限设置不允许填写表单域（包括签名域）。").arg(doc);
        case SignError::Permission::Modify:
            return tr("%1 是加密的，作者的权限设置不允许修改页面内容，不能“画入页面”。").arg(doc);
        case SignError::Permission::AddFields:
            return tr("%1 是加密的，作者的权限设置不允许添加表单域，不能添加新的签名域。").arg(doc);
        case SignError::Permission::None:
            break;
        }
        return tr("%1 是加密的，作者的权限设置不允许这样修改。").arg(doc);
    case K::CertifiedNoChanges:
        return tr("%1，不允许任何修改，不能再签名。").arg(restrictedBy);
    case K::CertifiedFormsOnly:
        return tr("%1，只允许填表和证书签名，不允许在页面上加签名图章。").arg(restrictedBy);
    case K::CertifiedNoContent:
        return tr("%1，不允许修改页面内容，不能“画入页面”。").arg(restrictedBy);
    case K::FieldLocked:
        return tr("%1 的签名域“%2”已被签名域“%3”里的签名锁定。").arg(doc, e.detail, e.field2);
    case K::SeedValue: {
        QString asks;
        switch (e.requirement) {
        case SignError::Requirement::Filter:
        case SignError::Requirement::SubFilter:
            asks = tr("另一种签名格式");
            break;
        case SignError::Requirement::DigestMethod:
            asks = tr("SHA-256 以外的摘要算法");
            break;
        case SignError::Requirement::Reason:
            asks = tr("它列出的签名理由之一");
            break;
        case SignError::Requirement::Certificate:
            asks = tr("指定的证书");
            break;
        case SignError::Requirement::Certification:
            asks = tr("认证签名");
            break;
        case SignError::Requirement::TimeStamp:
            asks = tr("可信时间戳");
            break;
        case SignError::Requirement::RevocationInfo:
            asks = tr("签名里附带吊销信息");
            break;
        case SignError::Requirement::None:
            break;
        }
        return tr("%1 的签名域“%2”要求%3，这个签名做不到。").arg(doc, e.detail, asks);
    }
    case K::NoSuchField:
        return tr("%1 没有名为“%2”的表单域。").arg(doc, e.detail);
    case K::FieldNotEmpty:
        return tr("%1 的签名域“%2”已经签过名了。").arg(doc, e.detail);
    case K::FieldNotSignature:
        return tr("%1 的表单域“%2”不是签名域。").arg(doc, e.detail);
    case K::WouldBreakSignatures:
        return tr("%1 带有 %2 个数字签名，“画入页面”会使它们失效。").arg(doc).arg(e.count);
    case K::BadPageList:
        return tr("要签的页写得不对：%1\n例如 1,3-5,last 或 all。").arg(e.detail);
    case K::NoPages:
        return tr("%1 没有可以签的页。").arg(doc);
    case K::NoSuchPage:
        return tr("%1 只有 %2 页，没有第 %3 页。").arg(doc).arg(e.count).arg(e.page);
    case K::AcrossNeedsPages:
        return tr("骑缝章至少要盖在两页上，现在只有 %1 页。").arg(e.count);
    case K::SliceTooNarrow:
        return tr("这么多页分下来，骑缝章每页只有 %1 毫米宽，看不出来；这个宽度最多盖 %2 页。")
            .arg(e.number, 0, 'f', 2)
            .arg(e.count);
    case K::NoPageArea:
        return tr("%1 的第 %2 页没有可以签名的面积。").arg(doc).arg(e.page);
    case K::OffPage:
        return tr("签名会落到第 %1 页外面，页面上露出的不到 1 毫米。").arg(e.page);
    case K::TooSmall:
        return tr("签名只有 %1 毫米宽（或高），太小了，至少要 1 毫米。").arg(e.number, 0, 'g', 3);
    case K::Busy:
        return tr("%1 正在被另一个程序签署，请等它完成后再试。").arg(doc);
    case K::ChangedMeanwhile:
        return tr("%1 在签署过程中被改动了，什么也没有写入。").arg(doc);
    case K::CannotWrite:
        return tr("%1 不能保存：%2").arg(doc, e.detail);
    case K::UpdateFailed:
        return tr("%1 不能在这里签署（%2）。").arg(doc, e.detail);
    case K::ReadBackFailed:
        return tr("%1 没有签署：写出的文档读回来不对（%2）。").arg(doc, e.detail);
    case K::IdentityUnreadable:
        return tr("证书文件 %1 不能读取：%2").arg(doc, e.detail);
    case K::NotPkcs12:
        return tr("%1 不是 PKCS#12 证书文件（.p12、.pfx）。").arg(doc);
    case K::IdentityPassword:
        return tr("证书密码不对，打不开 %1。").arg(doc);
    case K::IdentityCorrupt:
        return tr("证书文件 %1 里有解不开的内容（%2）。").arg(doc, e.detail);
    case K::NoPrivateKey:
        return tr("证书文件 %1 里没有用来签名的私钥。").arg(doc);
    case K::NoCertificate:
        return tr("证书文件 %1 里没有证书。").arg(doc);
    case K::KeyMismatch:
        return tr("证书文件 %1 里的私钥和其中的证书都不配对。").arg(doc);
    case K::CertificateExpired:
        return tr("%1 里的证书已于 %2 过期。").arg(doc, e.detail);
    case K::CertificateNotYetValid:
        return tr("%1 里的证书要到 %2 才生效。").arg(doc, e.detail);
    case K::UnsupportedKey:
        return tr("%1 里是 %2 密钥，这里不能用它做 PDF 签名；请用 RSA 或 ECDSA 密钥的证书。")
            .arg(doc, e.detail);
    case K::SigningFailed:
        return tr("签名没能做成（%1）。").arg(e.detail);
    case K::SignatureTooLarge:
        return tr("签名比为它留的位置大，没能写入。");
    case K::NoPasswordSource:
    case K::PasswordUnreadable:
        return tr("没能读到密码。");
    case K::TimeStampUnreachable:
        return tr("时间戳服务器 %1 没有回应（%2），文档没有签署。").arg(e.detail, e.field2);
    case K::TimeStampRefused:
        return tr("时间戳服务器拒绝了请求，文档没有签署。");
    case K::TimeStampUnreadable:
    case K::TimeStampMismatch:
    case K::TimeStampNotTrusted:
        return tr("时间戳服务器给的不是这次签名的有效时间戳，文档没有签署。");
    case K::RevocationOutOfDate:
        return tr("证书“%1”未被吊销的证明已经过时（下次更新的时间已过，或没写下次更新且超过一天），文档没有签署。").arg(e.detail);
    case K::TrustedTimeNeedsCertificate:
        return tr("可信时间和留存的验证数据只用于证书签名：请先选择证书。");
    case K::LastingNeedsTimeStamp:
        return tr("留存验证数据和文档时间戳都要有可信时间：请填写时间戳服务器的地址。");
    case K::NoTimeStampAuthority:
        return tr("选择了可信时间：请填写时间戳服务器的地址。");
    case K::CertificateDrawnIn:
        return tr("证书签名追加在文档之后，不能同时“画入页面”。");
    case K::AmbiguousIdentity:
        return tr("令牌里有不止一个证书叫这个名字：%1。请在证书列表里选定其中一个，文档没有签署。").arg(e.detail);
    case K::TimeStampSelfSigned:
        return tr("时间戳机构“%1”的证书是它自己签发的，它给的时间不可信，文档没有签署。").arg(e.detail);
    case K::TimeStampAuthorityNotValid:
        return tr("时间戳机构“%1”的证书在它给的时间 %2 并不有效，文档没有签署。").arg(e.detail, e.field2);
    case K::TimeStampTimeOff:
        return tr("时间戳给的时间 %1 与现在相差太远，文档没有签署。").arg(e.detail);
    case K::TimeStampBeforeCertificate:
        return tr("时间戳给的时间 %1 早于签名证书生效的时间 %2，文档没有签署。").arg(e.detail, e.field2);
    case K::ChainIncomplete:
        return tr("签名里缺少证书“%1”的颁发者证书，无法查询它的状态，文档没有签署。").arg(e.detail);
    case K::NoRevocationSource:
        return tr("证书“%1”没有可查询吊销状态的地址，文档没有签署。").arg(e.detail);
    case K::RevocationUnreachable:
        return tr("证书状态服务器 %1 没有回应（%2），文档没有签署。").arg(e.detail, e.field2);
    case K::RevocationUnusable:
        return tr("证书“%1”的状态没能确认，文档没有签署。").arg(e.detail);
    case K::CertificateRevoked:
        return tr("证书“%1”已被吊销，文档没有签署。").arg(e.detail);
    case K::NoSignatures:
        return tr("%1 里没有数字签名。").arg(doc);
    }
    return tr("%1 不能签署。").arg(doc);
}
