#include "signingpolicy.h"

#include "signingidentity.h"

#include <algorithm>

namespace {

// A certification's DocMDP permission: from the /Perms entry's signature, its DocMDP reference.
std::optional<int> docMdpPermission(QPDF& document)
{
    QPDFObjectHandle signature = keyOf(keyOf(document.getRoot(), "/Perms"), "/DocMDP");
    if (!signature.isDictionary())
        return std::nullopt;
    QPDFObjectHandle references = signature.getKey("/Reference");
    for (int i = 0; references.isArray() && i < references.getArrayNItems(); ++i) {
        QPDFObjectHandle reference = references.getArrayItem(i);
        if (keyOf(reference, "/TransformMethod").unparse() != "/DocMDP")
            continue;
        QPDFObjectHandle p = keyOf(keyOf(reference, "/TransformParams"), "/P");
        return p.isInteger() ? std::clamp(p.getIntValueAsInt(), 1, 3) : 2;
    }
    return 2;
}

std::optional<int> least(std::optional<int> a, std::optional<int> b)
{
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

bool listHolds(QPDFObjectHandle list, const QString& text)
{
    for (int i = 0; list.isArray() && i < list.getArrayNItems(); ++i) {
        QPDFObjectHandle item = list.getArrayItem(i);
        if ((item.isString() && QString::fromStdString(item.getUTF8Value()) == text) ||
            (item.isName() && QString::fromStdString(item.getName()) == text))
            return true;
    }
    return false;
}

} // namespace

SigningPolicy::SigningPolicy(QPDF& document, const Form& form, const QString& path)
    : path_(path), form_(form), certified_(docMdpPermission(document))
{
    int r = 0, p = 0;
    encrypted_ = document.isEncrypted(r, p);
    revision_ = r;
    permissions_ = p;
    for (const FormField& field : form.fields) {
        if (!field.signature || !field.isSigned())
            continue;
        QPDFObjectHandle p = keyOf(field.lock(), "/P");
        if (!p.isInteger())
            continue;
        const int level = std::clamp(p.getIntValueAsInt(), 1, 3);
        if (!lockedTo_ || level < *lockedTo_)
            lockedTo_ = level, lockedBy_ = field.name;
    }
}

std::optional<int> SigningPolicy::changesAllowed() const
{
    return least(certified_, lockedTo_);
}

SignError SigningPolicy::refused(SignError::Kind kind) const
{
    SignError e{kind, path_};
    // A lock stricter than the certification is what refuses.
    if (lockedTo_ && (!certified_ || *lockedTo_ < *certified_))
        e.field2 = lockedBy_;
    return e;
}

std::optional<SignError> SigningPolicy::allows(Addition addition) const
{
    using Permission = SignError::Permission;
    // The permission bits (from 1): 4 change the document, 6 annotations and with 4 form
    // fields, 9 fill in existing form fields (from revision 3 on; before it, 6 covers that).
    const auto bit = [this](int n) {
        return !encrypted_ || (permissions_ & (1LL << (n - 1))) != 0;
    };
    std::optional<Permission> missing;
    switch (addition) {
    case Addition::Annotation:
        if (!bit(6))
            missing = Permission::Annotate;
        break;
    case Addition::NewField:
        if (!bit(6) || !bit(4))
            missing = Permission::AddFields;
        break;
    case Addition::FilledField:
        if (!bit(6) && !(revision_ >= 3 && bit(9)))
            missing = Permission::FillForms;
        break;
    case Addition::PageContent:
        if (!bit(4))
            missing = Permission::Modify;
        break;
    case Addition::ValidationData:
        break;
    }
    if (missing) {
        SignError e{SignError::Kind::NotPermitted, path_};
        e.permission = *missing;
        return e;
    }
    const std::optional<int> level = changesAllowed();
    if (!level)
        return std::nullopt;
    if (*level == 1)
        return refused(SignError::Kind::CertifiedNoChanges);
    // Certified, no page's content may change; with form filling and signing only, no stamp.
    if (addition == Addition::PageContent)
        return refused(SignError::Kind::CertifiedNoContent);
    if (addition == Addition::Annotation && *level < 3)
        return refused(SignError::Kind::CertifiedFormsOnly);
    return std::nullopt;
}

std::optional<SignError> SigningPolicy::allowsFilling(const FormField& field) const
{
    if (auto refusal = allows(Addition::FilledField))
        return refusal;
    // A signed field's lock covers all fields, those it includes, or all but those it excludes.
    for (const FormField& locking : form_.fields) {
        if (!locking.signature || !locking.isSigned())
            continue;
        QPDFObjectHandle lock = locking.lock();
        QPDFObjectHandle action = keyOf(lock, "/Action");
        if (!action.isName())
            continue;
        const bool listed = listHolds(keyOf(lock, "/Fields"), field.name);
        const std::string a = action.getName();
        if (a == "/All" || (a == "/Include" && listed) || (a == "/Exclude" && !listed)) {
            SignError e{SignError::Kind::FieldLocked, path_};
            e.detail = field.name;
            e.field2 = locking.name;
            return e;
        }
    }
    return std::nullopt;
}

std::optional<SignError> SigningPolicy::meetsSeedValue(const FormField& field,
                                                       const SigningIdentity& signer,
                                                       const QString& reason) const
{
    QPDFObjectHandle seed = field.seedValue();
    if (!seed.isDictionary())
        return std::nullopt;
    const auto unmet = [&](SignError::Requirement requirement) {
        SignError e{SignError::Kind::SeedValue, path_};
        e.detail = field.name;
        e.requirement = requirement;
        return e;
    };
    QPDFObjectHandle flagsObject = seed.getKey("/Ff");
    const int flags = flagsObject.isInteger() ? flagsObject.getIntValueAsInt() : 0;
    const auto required = [flags](int bit) {
        return (flags & (1 << (bit - 1))) != 0;
    };
    using R = SignError::Requirement;
    QPDFObjectHandle filter = seed.getKey("/Filter");
    if (required(1) && filter.isName() && filter.getName() != "/Adobe.PPKLite")
        return unmet(R::Filter);
    if (required(2) && seed.getKey("/SubFilter").isArray() &&
        !listHolds(seed.getKey("/SubFilter"), QStringLiteral("/ETSI.CAdES.detached")) &&
        !listHolds(seed.getKey("/SubFilter"), QStringLiteral("/adbe.pkcs7.detached")))
        return unmet(R::SubFilter);
    if (required(7) && seed.getKey("/DigestMethod").isArray() &&
        !listHolds(seed.getKey("/DigestMethod"), QStringLiteral("/SHA256")))
        return unmet(R::DigestMethod);
    QPDFObjectHandle reasons = seed.getKey("/Reasons");
    if (required(4) && reasons.isArray() && reasons.getArrayNItems() > 0) {
        // A list of one full stop asks for no reason at all.
        const bool none = reasons.getArrayNItems() == 1 && listHolds(reasons, QStringLiteral("."));
        if (none ? !reason.isEmpty() : !listHolds(reasons, reason))
            return unmet(R::Reason);
    }
    if (required(6) && seed.getKey("/AddRevInfo").isBool() &&
        seed.getKey("/AddRevInfo").getBoolValue())
        return unmet(R::RevocationInfo);
    QPDFObjectHandle mdp = keyOf(seed.getKey("/MDP"), "/P");
    if (mdp.isInteger() && mdp.getIntValueAsInt() != 0)
        return unmet(R::Certification);
    QPDFObjectHandle timeStamp = seed.getKey("/TimeStamp");
    if (keyOf(timeStamp, "/Ff").isInteger() && (keyOf(timeStamp, "/Ff").getIntValueAsInt() & 1))
        return unmet(R::TimeStamp);
    // The certificate: a list of subjects is met by being among them; what else it may ask
    // (issuers, policies, key usage) is not checked here, so it is refused when required.
    QPDFObjectHandle certificate = seed.getKey("/Cert");
    QPDFObjectHandle certificateFlags = keyOf(certificate, "/Ff");
    const int asked = certificateFlags.isInteger() ? certificateFlags.getIntValueAsInt() : 0;
    if (asked & 1) {
        bool among = false;
        QPDFObjectHandle subjects = keyOf(certificate, "/Subject");
        const QByteArray own = signer.certificate();
        for (int i = 0; subjects.isArray() && i < subjects.getArrayNItems() && !among; ++i)
            among = subjects.getArrayItem(i).isString() &&
                    QByteArray::fromStdString(subjects.getArrayItem(i).getStringValue()) == own;
        if (!among)
            return unmet(R::Certificate);
    }
    if (asked & ~1)
        return unmet(R::Certificate);
    return std::nullopt;
}
