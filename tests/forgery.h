#pragma once

// Signed documents made at test time by the tests' own small writer, with every choice a
// signer or a forger makes open: keys and certificates of any size and use, digests, signed
// attributes or none, certifications and field locks, the byte ranges' place, and updates
// appended afterwards that change, hide or re-point what was signed.
#include <QByteArray>
#include <QDateTime>
#include <QRegularExpression>

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

// A key and its certificate, issued by `issuer` where there is one, else by itself.
struct TestSigner
{
    std::shared_ptr<EVP_PKEY> key;
    std::shared_ptr<X509> cert;

    struct Options
    {
        int bits = 2048;
        const char* name = "王晓明";
        const char* keyUsage = "digitalSignature,nonRepudiation"; // null: no extension
        const char* extendedKeyUsage = nullptr;
        bool authority = false; // may issue certificates
        double fromDays = -1, toDays = 30;
    };

    static TestSigner make(const Options& o, const TestSigner* issuer = nullptr)
    {
        TestSigner s;
        s.key.reset(EVP_RSA_gen(unsigned(o.bits)), EVP_PKEY_free);
        s.cert.reset(X509_new(), X509_free);
        X509* c = s.cert.get();
        X509_set_version(c, 2);
        static long serial = 100;
        ASN1_INTEGER_set(X509_get_serialNumber(c), ++serial);
        X509_gmtime_adj(X509_getm_notBefore(c), long(o.fromDays * 86400));
        X509_gmtime_adj(X509_getm_notAfter(c), long(o.toDays * 86400));
        X509_set_pubkey(c, s.key.get());
        X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(o.name), -1, -1, 0);
        X509_set_issuer_name(c, issuer ? X509_get_subject_name(issuer->cert.get())
                                       : X509_get_subject_name(c));
        X509V3_CTX ctx;
        X509V3_set_ctx(&ctx, issuer ? issuer->cert.get() : c, c, nullptr, nullptr, 0);
        const auto extend = [&](int nid, const char* value) {
            if (X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value)) {
                X509_add_ext(c, e, -1);
                X509_EXTENSION_free(e);
            }
        };
        if (o.authority)
            extend(NID_basic_constraints, "critical,CA:TRUE");
        if (o.keyUsage)
            extend(NID_key_usage, o.keyUsage);
        if (o.extendedKeyUsage)
            extend(NID_ext_key_usage, o.extendedKeyUsage);
        extend(NID_subject_key_identifier, "hash");
        X509_sign(c, issuer ? issuer->key.get() : s.key.get(), EVP_sha256());
        return s;
    }

    QByteArray pem() const
    {
        BIO* out = BIO_new(BIO_s_mem());
        PEM_write_bio_X509(out, cert.get());
        char* data = nullptr;
        const long length = BIO_get_mem_data(out, &data);
        QByteArray bytes(data, int(length));
        BIO_free(out);
        return bytes;
    }
};

// How the one signature of a made document is written.
struct SignSpec
{
    int certifiedP = 0;          // a certification with this DocMDP permission; 0: approval
    const EVP_MD* digest = EVP_sha256();
    bool signedAttributes = true;
    const char* subFilter = "ETSI.CAdES.detached"; // or adbe.pkcs7.detached, adbe.pkcs7.sha1
    bool rangeAfterContents = false; // /ByteRange written after /Contents, as poppler writes it
    QByteArray lock;             // the field's /Lock dictionary
    QByteArray signedTime = "D:20261201120000Z"; // /M
    QByteArray pageExtra;        // more of the page's dictionary
    QByteArray resourcesExtra;   // more of its resources
    QByteArray contentExtra;     // more of its content
    QByteArray catalogExtra;     // more of the catalogue
    std::vector<QByteArray> more; // further objects, from number 8
    std::vector<const TestSigner*> chain; // certificates to carry besides the signer's
    QByteArray unlisted; // bodies in the file that its cross-reference table does not list
};

// Objects as the made documents number them.
enum MadeObject { Catalog = 1, Pages = 2, Page = 3, Content = 4, Font = 5, Field = 6, Value = 7 };

inline QByteArray streamOf(const QByteArray& data, const QByteArray& dict = {})
{
    return "<< /Length " + QByteArray::number(data.size()) + ' ' + dict + " >>\nstream\n" + data +
           "\nendstream";
}

// The signature placeholder written last in `pdf` (its /ByteRange of zeros, its /Contents of
// zeros) filled in: the byte ranges around the value's hex string, then the value over them.
inline void signPlaceholder(QByteArray& pdf, const TestSigner& signer, const SignSpec& spec)
{
    const qsizetype hexStart = pdf.lastIndexOf("/Contents <0000") + 10;
    const qsizetype hexEnd = pdf.indexOf('>', hexStart) + 1;
    const qsizetype rangeAt = pdf.lastIndexOf("/ByteRange [0 0000000000") + 14;
    const QByteArray numbers = QByteArray::number(hexStart).rightJustified(10, '0') + ' ' +
                               QByteArray::number(hexEnd).rightJustified(10, '0') + ' ' +
                               QByteArray::number(pdf.size() - hexEnd).rightJustified(10, '0');
    pdf.replace(rangeAt, numbers.size(), numbers);
    const QByteArray covered = pdf.left(hexStart) + pdf.mid(hexEnd);

    const bool sha1 = QByteArray(spec.subFilter) == "adbe.pkcs7.sha1";
    QByteArray content = covered;
    if (sha1) {
        unsigned char d[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        EVP_Digest(covered.constData(), size_t(covered.size()), d, &n, EVP_sha1(), nullptr);
        content = QByteArray(reinterpret_cast<const char*>(d), int(n));
    }
    STACK_OF(X509)* carried = sk_X509_new_null();
    for (const TestSigner* c : spec.chain)
        sk_X509_push(carried, c->cert.get());
    unsigned flags = CMS_BINARY | CMS_PARTIAL | (sha1 ? 0u : unsigned(CMS_DETACHED));
    CMS_ContentInfo* cms = CMS_sign(nullptr, nullptr, carried, nullptr, flags);
    CMS_add1_signer(cms, signer.cert.get(), signer.key.get(), spec.digest,
                    spec.signedAttributes ? 0u : unsigned(CMS_NOATTR));
    BIO* in = BIO_new_mem_buf(content.constData(), int(content.size()));
    CMS_final(cms, in, nullptr, flags);
    BIO_free(in);
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(cms, &der);
    const QByteArray hex = QByteArray(reinterpret_cast<const char*>(der), length).toHex();
    OPENSSL_free(der);
    CMS_ContentInfo_free(cms);
    sk_X509_free(carried);
    pdf.replace(hexStart + 1, hex.size(), hex);
}

// A one-page contract, "PAY 100 USD TO ALICE", signed in field Signature1 by `signer`.
inline QByteArray signedDocument(const TestSigner& signer, const SignSpec& spec = {})
{
    const QByteArray text = "BT /F1 24 Tf 72 700 Td (PAY 100 USD TO ALICE) Tj ET " + spec.contentExtra;
    const QByteArray ranges = "/ByteRange [0 0000000000 0000000000 0000000000]";
    const QByteArray contents = "/Contents <" + QByteArray(16384, '0') + ">";
    QByteArray reference;
    if (spec.certifiedP)
        reference = "/Reference [<< /Type /SigRef /TransformMethod /DocMDP /TransformParams << "
                    "/Type /TransformParams /V /1.2 /P " +
                    QByteArray::number(spec.certifiedP) + " >> >>] ";
    const QByteArray value = "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /" +
                             QByteArray(spec.subFilter) + " /M (" + spec.signedTime + ") " +
                             reference +
                             (spec.rangeAfterContents ? contents + ' ' + ranges
                                                      : ranges + ' ' + contents) +
                             " >>";
    std::vector<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [6 0 R] /SigFlags 3 >> " +
            (spec.certifiedP ? QByteArray("/Perms << /DocMDP 7 0 R >> ") : QByteArray()) +
            spec.catalogExtra + " >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << "
        "/Font << /F1 5 0 R >> " +
            spec.resourcesExtra + " >> /Annots [6 0 R] " + spec.pageExtra + " >>",
        streamOf(text),
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature1) /Rect [0 0 0 0] /F 132 /P 3 0 "
        "R /V 7 0 R " +
            (spec.lock.isEmpty() ? QByteArray() : "/Lock " + spec.lock) + " >>",
        value};
    objects.insert(objects.end(), spec.more.begin(), spec.more.end());
    QByteArray pdf = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
    std::vector<qsizetype> offsets;
    for (const QByteArray& body : objects) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(qsizetype(offsets.size())) + " 0 obj\n" + body + "\nendobj\n";
    }
    pdf += spec.unlisted;
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(qsizetype(offsets.size()) + 1) +
           "\n0000000000 65535 f \n";
    for (const qsizetype at : offsets)
        pdf += QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(qsizetype(offsets.size()) + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";

    signPlaceholder(pdf, signer, spec);
    return pdf;
}

// An incremental update appended to `pdf`: objects written anew, entries freed, entries pointed
// at bytes already in the file; with or without a cross-reference section, its /Prev as given.
struct Update
{
    std::map<int, QByteArray> objects;
    std::set<int> freed;
    std::map<int, qint64> pointed; // number → offset of a body already in the file
    bool xref = true;
    std::optional<qint64> prev;    // /Prev; the file's last startxref where not given
    QByteArray trailerExtra;
};

inline qint64 lastStartXref(const QByteArray& pdf)
{
    static const QRegularExpression startxref(QStringLiteral("startxref\\s+(\\d+)"));
    qint64 last = 0;
    for (auto it = startxref.globalMatch(QString::fromLatin1(pdf)); it.hasNext();)
        last = it.next().captured(1).toLongLong();
    return last;
}

inline QByteArray appended(QByteArray pdf, const Update& u)
{
    std::map<int, qint64> offsets = u.pointed;
    int size = 0;
    static const QRegularExpression sizes(QStringLiteral("/Size (\\d+)"));
    for (auto it = sizes.globalMatch(QString::fromLatin1(pdf)); it.hasNext();)
        size = std::max(size, it.next().captured(1).toInt());
    const qint64 prev = u.prev.value_or(lastStartXref(pdf));
    for (const auto& [n, body] : u.objects) {
        offsets[n] = pdf.size();
        pdf += QByteArray::number(n) + " 0 obj\n" + body + "\nendobj\n";
    }
    if (!u.xref)
        return pdf;
    const qsizetype xref = pdf.size();
    pdf += "xref\n";
    std::set<int> numbers(u.freed);
    for (const auto& [n, at] : offsets)
        numbers.insert(n);
    for (const int n : numbers) {
        size = std::max(size, n + 1);
        pdf += QByteArray::number(n) + " 1\n";
        pdf += u.freed.count(n) ? QByteArray("0000000000 00001 f \n")
                                : QByteArray::number(offsets[n]).rightJustified(10, '0') +
                                      " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + QByteArray::number(size) + " /Root 1 0 R /Prev " +
           QByteArray::number(prev) + ' ' + u.trailerExtra + " >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// Where object `number`'s body starts in `pdf`, its last definition.
inline qint64 bodyOf(const QByteArray& pdf, int number)
{
    return pdf.lastIndexOf("\n" + QByteArray::number(number) + " 0 obj") + 1;
}

// The made document signed again, in an update of its own: a new field "Signature2" shown on
// page 1 (objects 20 to 22), the page and the catalogue written as given.
inline QByteArray signedUpdate(const QByteArray& pdf, const TestSigner& signer, const QByteArray& page,
                               const QByteArray& catalog, const SignSpec& spec = {})
{
    Update u;
    u.objects[Page] = page;
    u.objects[Catalog] = catalog;
    u.objects[20] = "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature2) /Rect [300 600 450 "
                    "650] /F 4 /P 3 0 R /V 21 0 R /AP << /N 22 0 R >> >>";
    u.objects[21] = "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /ETSI.CAdES.detached /M (" +
                    spec.signedTime +
                    ") /ByteRange [0 0000000000 0000000000 0000000000] /Contents <" +
                    QByteArray(16384, '0') + "> >>";
    u.objects[22] = streamOf("0 0 1 rg 0 0 150 50 re f", "/Type /XObject /Subtype /Form /BBox [0 0 150 50]");
    QByteArray out = appended(pdf, u);
    signPlaceholder(out, signer, spec);
    return out;
}
