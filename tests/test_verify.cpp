// Verifying what came after each signature: documents signed and then changed, hidden, wrapped
// or forged the ways published attacks on PDF signatures do it, each built now by the tests'
// own writer, judged by --verify's exit status and its words.
#include "forgery.h"
#include "pdftools.h"
#include "rendercli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <openssl/x509v3.h>

#include <gtest/gtest.h>

namespace {

struct Context
{
    QTemporaryDir dir;
    TestSigner me = TestSigner::make({});
    TestSigner root = TestSigner::make({2048, "Sorvex Verify Root", "keyCertSign,cRLSign", nullptr, true});
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    // Signed by the renderer with `me`'s key.
    QString identity() const
    {
        const QString p12 = path("me.p12");
        if (!QFile::exists(p12))
            writePkcs12(p12, me.key.get(), me.cert.get());
        writtenFile(dir.path(), "password", "pw\n");
        return p12;
    }
    QByteArray rendered(const QByteArray& input, const QStringList& more)
    {
        const QString in = writtenFile(dir.path(), "input.pdf", input);
        const Outcome r = render(QStringList{QStringLiteral("--stamp"), in, QStringLiteral("--at"),
                                             QStringLiteral("100,120"), QStringLiteral("-o"),
                                             path("output.pdf")} +
                                 more);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        QFile f(path("output.pdf"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    QByteArray cosigned(const QByteArray& input)
    {
        return rendered(input, {QStringLiteral("--sign-with"), identity(), QStringLiteral("--password-file"),
                                path("password")});
    }
};

Context* context = nullptr;

const QByteArray Mallory = "BT /F1 24 Tf 72 700 Td (PAY 1,000,000 USD TO MALLORY) Tj ET";
const QByteArray PlainPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
                             "/Resources << /Font << /F1 5 0 R >> >> /Annots [6 0 R";
const QByteArray PlainCatalog = "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [6 0 R";

QByteArray page(const QByteArray& moreAnnots, const QByteArray& more = {})
{
    return PlainPage + moreAnnots + "] " + more + " >>";
}
QByteArray catalog(const QByteArray& moreFields, const QByteArray& more = {})
{
    return PlainCatalog + moreFields + "] /SigFlags 3 >> " + more + " >>";
}

QByteArray base(int p = 0)
{
    SignSpec spec;
    spec.certifiedP = p;
    return signedDocument(context->me, spec);
}

QByteArray withUpdate(const QByteArray& pdf, std::map<int, QByteArray> objects)
{
    Update u;
    u.objects = std::move(objects);
    return appended(pdf, u);
}

// A FreeText annotation over the contract's text.
QByteArray annotated(const QByteArray& pdf, const QByteArray& catalogText = {})
{
    std::map<int, QByteArray> objects{
        {Page, page(" 8 0 R")},
        {8, "<< /Type /Annot /Subtype /FreeText /Rect [60 690 400 730] /Contents (PAY 1,000,000) "
            "/DA (/Helv 20 Tf 0 g) /P 3 0 R >>"}};
    if (!catalogText.isEmpty())
        objects[Catalog] = catalogText;
    return withUpdate(pdf, objects);
}

QByteArray withTextField(const QByteArray& pdf, const QByteArray& catalogMore = {})
{
    return withUpdate(pdf, {{Catalog, catalog(" 8 0 R", catalogMore)},
                            {Page, page(" 8 0 R")},
                            {8, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (Amount) /V (1,000,000) "
                                "/Rect [60 690 400 730] /P 3 0 R >>"}});
}

// A second field whose value copies the real signature's byte ranges, with its own value.
QByteArray forgedField(const QByteArray& pdf, const QByteArray& value)
{
    static const QRegularExpression ranges(QStringLiteral("/ByteRange \\[[^\\]]*\\]"));
    const QString real = ranges.match(QString::fromLatin1(pdf)).captured(0);
    QByteArray dict = value;
    dict.replace("RANGES", real.toLatin1());
    return withUpdate(pdf, {{Catalog, catalog(" 8 0 R")},
                            {Page, page(" 8 0 R")},
                            {8, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature2) /Rect [0 0 "
                                "0 0] /P 3 0 R /V 9 0 R >>"},
                            {9, dict}});
}

// The signature's byte ranges rewritten in place, their digits as wide as before.
QByteArray rangesRewritten(QByteArray pdf, qint64 gapMore, qint64 tailLess)
{
    const qsizetype at = pdf.indexOf("/ByteRange [0 ") + 14;
    const QList<QByteArray> numbers = pdf.mid(at, 32).split(' ');
    const qint64 start = numbers[1].toLongLong() + gapMore;
    const qint64 length = numbers[2].toLongLong() - gapMore - tailLess;
    pdf.replace(at + 11, 21,
                QByteArray::number(start).rightJustified(10, '0') + ' ' +
                    QByteArray::number(length).rightJustified(10, '0'));
    return pdf;
}

// Signature wrapping against a signature whose /ByteRange follows /Contents: the second signed
// range moved on, and in the gap before it a new /ByteRange, new page text and a cross-reference
// table at the offset the moved trailer's startxref names.
QByteArray wrapped()
{
    SignSpec spec;
    spec.rangeAfterContents = true;
    const QByteArray pdf = signedDocument(context->me, spec);
    const qsizetype r1 = pdf.indexOf("/Contents <") + 10;
    const qsizetype r2 = pdf.indexOf('>', r1) + 1;
    const qint64 xref = lastStartXref(pdf);
    const QByteArray tail = pdf.mid(r2);
    QByteArray gap = " /ByteRange [0 " + QByteArray::number(r1) + " RANGE2 " +
                     QByteArray::number(tail.size()) + "] >>\nendobj\n";
    gap = gap.leftJustified(xref - r2, ' ');
    const qsizetype forgedContent = r2 + gap.size() + 400;
    QByteArray table = "xref\n0 8\n0000000000 65535 f \n";
    for (int n = 1; n <= 7; ++n)
        table += QByteArray::number(n == Content ? forgedContent : bodyOf(pdf, n))
                     .rightJustified(10, '0') +
                 " 00000 n \n";
    table += "trailer\n<< /Size 8 /Root 1 0 R >>\n";
    gap += table.leftJustified(400, ' ');
    gap += "4 0 obj\n" + streamOf(Mallory) + "\nendobj\n";
    gap.replace("RANGE2", QByteArray::number(r2 + gap.size()).rightJustified(6, ' '));
    return pdf.left(r2) + gap + tail;
}

// The document's Document Security Store holding a revocation list from `issuer` that lists
// the signer's certificate.
QByteArray revokedInStore(const QByteArray& pdf, const TestSigner& issuer, const TestSigner& signer)
{
    X509_CRL* crl = X509_CRL_new();
    X509_CRL_set_version(crl, 1);
    X509_CRL_set_issuer_name(crl, X509_get_subject_name(issuer.cert.get()));
    ASN1_TIME* now = X509_gmtime_adj(nullptr, -3600);
    ASN1_TIME* next = X509_gmtime_adj(nullptr, 30 * 86400);
    X509_CRL_set1_lastUpdate(crl, now);
    X509_CRL_set1_nextUpdate(crl, next);
    X509_REVOKED* revoked = X509_REVOKED_new();
    X509_REVOKED_set_serialNumber(revoked, X509_get_serialNumber(signer.cert.get()));
    X509_REVOKED_set_revocationDate(revoked, now);
    X509_CRL_add0_revoked(crl, revoked);
    X509_CRL_sort(crl);
    X509_CRL_sign(crl, issuer.key.get(), EVP_sha256());
    unsigned char* der = nullptr;
    const int length = i2d_X509_CRL(crl, &der);
    const QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    X509_CRL_free(crl);
    ASN1_TIME_free(now);
    ASN1_TIME_free(next);
    unsigned char* certDer = nullptr;
    const int certLength = i2d_X509(issuer.cert.get(), &certDer);
    const QByteArray cert(reinterpret_cast<const char*>(certDer), certLength);
    OPENSSL_free(certDer);
    return withUpdate(pdf, {{Catalog, catalog({}, "/DSS 8 0 R")},
                            {8, "<< /CRLs [9 0 R] /Certs [10 0 R] >>"},
                            {9, streamOf(bytes)},
                            {10, streamOf(cert)}});
}

QByteArray issuedBy(const TestSigner::Options& o, const SignSpec& spec = {})
{
    const TestSigner signer = TestSigner::make(o, &context->root);
    SignSpec s = spec;
    s.chain.push_back(&context->root);
    return signedDocument(signer, s);
}

struct Forged
{
    const char* name;
    QByteArray (*make)();
    int exitCode;
    const char* says;       // on stdout
    bool trustRoot = false; // --trust the test's root
};

void PrintTo(const Forged& f, std::ostream* os)
{
    *os << f.name;
}

class Forgeries : public testing::TestWithParam<Forged>
{
protected:
    static void SetUpTestSuite() { context = new Context; }
    static void TearDownTestSuite()
    {
        delete context;
        context = nullptr;
    }
};

TEST_P(Forgeries, AreSaidForWhatTheyAre)
{
    const Forged& f = GetParam();
    const QByteArray bytes = f.make();
    const QString file = writtenFile(context->dir.path(), "forged.pdf", bytes);
    // SORVEX_KEEP_FORGERIES=DIR keeps each for other readers to judge.
    if (const QByteArray keep = qgetenv("SORVEX_KEEP_FORGERIES"); !keep.isEmpty())
        writtenFile(QString::fromLocal8Bit(keep), (std::string(f.name) + ".pdf").c_str(), bytes);
    QStringList args{QStringLiteral("--verify"), file};
    if (f.trustRoot)
        args << QStringLiteral("--trust")
             << writtenFile(context->dir.path(), "root.pem", context->root.pem());
    const Outcome r = render(args);
    EXPECT_EQ(r.code, f.exitCode) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8(f.says))) << r.out.toStdString();
    EXPECT_LE(r.err.count(u'\n'), 1) << r.err.toStdString();
}

TestSigner::Options bits(int n)
{
    TestSigner::Options o;
    o.bits = n;
    return o;
}

SignSpec digest(const EVP_MD* md)
{
    SignSpec s;
    s.digest = md;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Forgeries,
    testing::Values(
        // Nothing after, or only what a signature may be followed by.
        Forged{"Unchanged", [] { return base(); }, 0, "covers the whole document (revision 1 of 1)"},
        Forged{"CoSignedByTheRenderer", [] { return context->cosigned(base()); }, 0,
               "; later: revision 2 added a signature by 王晓明"},
        Forged{"CertifiedFormsThenSigned", [] { return context->cosigned(base(2)); }, 0,
               "certification (P=2) by 王晓明"},
        Forged{"CertifiedAnnotationsThenSignedVisibly",
               [] {
                   return signedUpdate(base(3), context->me, page(" 20 0 R"),
                                       catalog(" 20 0 R", "/Perms << /DocMDP 7 0 R >>"));
               },
               0, "later: revision 2 added a signature by 王晓明"},
        // Changes a signer allows, said.
        Forged{"StampedAfterSigning", [] { return context->rendered(base(), {}); }, 4,
               "CHANGED AFTER SIGNING, as it allows: revision 2 added a Stamp annotation on page 1"},
        Forged{"AnnotationOverTheText", [] { return annotated(base()); }, 4,
               "revision 2 added a FreeText annotation on page 1"},
        Forged{"CertifiedAnnotationsThenAnnotated",
               [] { return annotated(base(3), catalog({}, "/Perms << /DocMDP 7 0 R >>")); }, 4,
               "added a FreeText annotation on page 1"},
        // Changes beyond what it allows.
        Forged{"PageContentReplaced", [] { return withUpdate(base(), {{Content, streamOf(Mallory)}}); },
               6, "MODIFIED AFTER SIGNING beyond what it allows: revision 2 replaced the content of page 1"},
        Forged{"TextFieldAdded", [] { return withTextField(base()); }, 6,
               "revision 2 added the form field \"Amount\" on page 1"},
        Forged{"PageAdded",
               [] {
                   return withUpdate(base(), {{Pages, "<< /Type /Pages /Kids [3 0 R 8 0 R] /Count 2 >>"},
                                              {8, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                                                  "/Contents 9 0 R >>"},
                                              {9, streamOf(Mallory)}});
               },
               6, "revision 2 added page 2"},
        Forged{"PageReplaced",
               [] {
                   return withUpdate(base(), {{Pages, "<< /Type /Pages /Kids [8 0 R] /Count 1 >>"},
                                              {8, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                                                  "/Contents 9 0 R >>"},
                                              {9, streamOf(Mallory)}});
               },
               6, "revision 2 added page 1 and removed page 1"},
        Forged{"ScriptRunOnOpening",
               [] {
                   return withUpdate(base(), {{Catalog, catalog({}, "/OpenAction << /S /JavaScript "
                                                                    "/JS (app.alert(1)) >>")}});
               },
               6, "added an action the reader runs by itself (/OpenAction)"},
        Forged{"CertifiedNoChangesThenAnnotated",
               [] { return annotated(base(1), catalog({}, "/Perms << /DocMDP 7 0 R >>")); }, 6,
               "MODIFIED AFTER SIGNING beyond what it allows: revision 2 added a FreeText annotation"},
        Forged{"CertifiedNoChangesThenSigned",
               [] {
                   return signedUpdate(base(1), context->me, page(" 20 0 R"),
                                       catalog(" 20 0 R", "/Perms << /DocMDP 7 0 R >>"));
               },
               6, "certification (P=1)"},
        Forged{"CertifiedFormsThenAnnotated",
               [] { return annotated(base(2), catalog({}, "/Perms << /DocMDP 7 0 R >>")); }, 6,
               "beyond what it allows: revision 2 added a FreeText annotation on page 1"},
        Forged{"CertifiedFormsThenTextField",
               [] { return withTextField(base(2), "/Perms << /DocMDP 7 0 R >>"); }, 6,
               "added the form field \"Amount\""},
        Forged{"CertifiedFormsThenHiddenLayerShown",
               [] {
                   SignSpec spec;
                   spec.certifiedP = 2;
                   spec.catalogExtra = "/OCProperties << /OCGs [8 0 R] /D << /OFF [8 0 R] >> >>";
                   spec.resourcesExtra = "/Properties << /Hidden 8 0 R >>";
                   spec.contentExtra = "/OC /Hidden BDC BT /F1 24 Tf 72 650 Td (AND 1,000,000 TO "
                                       "MALLORY) Tj ET EMC";
                   spec.more = {"<< /Type /OCG /Name (Hidden) >>"};
                   return withUpdate(signedDocument(context->me, spec),
                                     {{Catalog, catalog({}, "/Perms << /DocMDP 7 0 R >> /OCProperties "
                                                            "<< /OCGs [8 0 R] /D << /ON [8 0 R] >> >>")}});
               },
               6, "changed which optional content shows"},
        // Shadow attacks: hidden in the signed revision, shown by an update that only
        // re-points, frees or retypes what the signed revision holds.
        Forged{"ShadowReplaceByRepointing",
               [] {
                   SignSpec spec;
                   spec.unlisted = "4 0 obj\n" + streamOf(Mallory) + "\nendobj\n";
                   const QByteArray pdf = signedDocument(context->me, spec);
                   Update u;
                   u.pointed[Content] = pdf.indexOf(spec.unlisted);
                   return appended(pdf, u);
               },
               6, "revision 2 replaced the content of page 1"},
        Forged{"ShadowHideByFreeing",
               [] {
                   SignSpec spec;
                   spec.resourcesExtra = "/XObject << /Cover 8 0 R >>";
                   spec.contentExtra = "/Cover Do";
                   spec.more = {streamOf("1 1 1 rg 60 690 400 40 re f",
                                         "/Type /XObject /Subtype /Form /BBox [0 0 595 842]")};
                   Update u;
                   u.freed = {8};
                   return appended(signedDocument(context->me, spec), u);
               },
               6, "changed the XObject resources of page 1"},
        Forged{"ShadowStreamTurnedDictionary",
               [] {
                   SignSpec spec;
                   spec.resourcesExtra = "/XObject << /Cover 8 0 R >>";
                   spec.contentExtra = "/Cover Do";
                   spec.more = {streamOf("1 1 1 rg 60 690 400 40 re f",
                                         "/Type /XObject /Subtype /Form /BBox [0 0 595 842]")};
                   return withUpdate(signedDocument(context->me, spec), {{8, "<< /Type /XObject >>"}});
               },
               6, "changed the XObject resources of page 1"},
        Forged{"ShadowDanglingReferenceFilled",
               [] {
                   SignSpec spec;
                   spec.resourcesExtra = "/XObject << /Later 30 0 R >>";
                   spec.contentExtra = "/Later Do";
                   return withUpdate(signedDocument(context->me, spec),
                                     {{30, streamOf(Mallory, "/Type /XObject /Subtype /Form /BBox [0 0 595 "
                                                             "842] /Resources << /Font << /F1 5 0 R >> >>")}});
               },
               6, "defined object 30, which the signed revision referred to without defining"},
        // Signatures hidden, or their facts rewritten, by an update.
        Forged{"FormDropped", [] { return withUpdate(base(), {{Catalog, "<< /Type /Catalog /Pages 2 0 R >>"}}); },
               6, "took the signature in field \"Signature1\" out of the form"},
        Forged{"FieldsEmptied",
               [] {
                   return withUpdate(base(), {{Catalog, "<< /Type /Catalog /Pages 2 0 R /AcroForm << "
                                                        "/Fields [] >> >>"}});
               },
               6, "NO LONGER IN THE DOCUMENT'S FORM"},
        Forged{"SignatureDictionaryRewritten",
               [] {
                   const QByteArray pdf = base(1);
                   QByteArray value = pdf.mid(bodyOf(pdf, Value));
                   value = value.mid(value.indexOf("<<"));
                   value = value.left(value.indexOf("\nendobj"));
                   value.replace("(D:20261201120000Z)", "(D:20300101000000Z)");
                   value.replace(value.indexOf("/Reference"), value.indexOf("/ByteRange") - value.indexOf("/Reference"), "");
                   return withUpdate(pdf, {{Value, value}});
               },
               6, "certification (P=1) by 王晓明, 2026-12-01 12:00:00 UTC"},
        Forged{"PrevSkipsTheSignedRevision",
               [] {
                   const QByteArray plain = base();
                   const QByteArray signedAgain = context->cosigned(plain);
                   Update u;
                   u.objects[Content] = streamOf(Mallory);
                   u.prev = lastStartXref(plain);
                   return appended(signedAgain, u);
               },
               7, "the document's revisions cannot be read as incremental updates"},
        Forged{"UpdateWithoutCrossReference",
               [] {
                   Update u;
                   u.objects[Content] = streamOf(Mallory);
                   u.xref = false;
                   return appended(base(), u);
               },
               7, "the document's revisions cannot be read as incremental updates"},
        // Signature wrapping and forged values.
        Forged{"WrappedAfterItsValue", wrapped, 7, "cannot be read as incremental updates"},
        Forged{"GapWiderThanItsValue", [] { return rangesRewritten(base(), 2, 0); }, 7,
               "what its byte ranges leave out is not its own signature value"},
        Forged{"SecondRangeEndsEarly", [] { return rangesRewritten(base(), 0, 10); }, 7,
               "the bytes it signs end inside a revision"},
        Forged{"ForgedFieldZeroValue",
               [] { return forgedField(base(), "<< /Type /Sig /Filter /Adobe.PPKLite RANGES /Contents <00> /M (D:20300101000000Z) >>"); },
               7, "Signature2: signature by an unknown signer"},
        Forged{"ForgedFieldEmptyValue",
               [] { return forgedField(base(), "<< /Type /Sig /Filter /Adobe.PPKLite RANGES /Contents <> >>"); },
               7, "Signature2"},
        Forged{"ForgedFieldNoValue",
               [] { return forgedField(base(), "<< /Type /Sig /Filter /Adobe.PPKLite RANGES >>"); }, 7,
               "not its own signature value"},
        Forged{"ForgedFieldNoRanges",
               [] { return forgedField(base(), "<< /Type /Sig /Filter /Adobe.PPKLite /Contents <00> >>"); },
               7, "its byte ranges are not four numbers"},
        Forged{"ForgedFieldNullRanges",
               [] { return forgedField(base(), "<< /Type /Sig /ByteRange null /Contents <00> >>"); }, 7,
               "its byte ranges are not four numbers"},
        Forged{"ForgedFieldZeroRanges",
               [] { return forgedField(base(), "<< /Type /Sig /ByteRange [0 0 0 0] /Contents <00> >>"); },
               7, "its byte ranges are not four numbers"},
        Forged{"ForgedFieldFiveRanges",
               [] { return forgedField(base(), "<< /Type /Sig /ByteRange [0 10 20 30 40] /Contents <00> >>"); },
               7, "its byte ranges are not four numbers"},
        // Cryptography: what is broken refused, what is weak said, what is old but sound read.
        Forged{"Md5Digest", [] { return signedDocument(context->me, digest(EVP_md5())); }, 7,
               "BROKEN DIGEST MD5"},
        Forged{"Sha1DigestSaid", [] { return signedDocument(context->me, digest(EVP_sha1())); }, 0,
               "its digest SHA-1 is broken for signatures"},
        Forged{"Rsa512Key", [] { return signedDocument(TestSigner::make(bits(512))); }, 7,
               "RSA KEY OF 512 BITS"},
        Forged{"Rsa1024KeySaid", [] { return signedDocument(TestSigner::make(bits(1024))); }, 0,
               "its RSA key of 1024 bits is weaker than signatures need"},
        Forged{"NoSignedAttributes",
               [] {
                   SignSpec spec;
                   spec.signedAttributes = false;
                   spec.subFilter = "adbe.pkcs7.detached";
                   return signedDocument(context->me, spec);
               },
               0, "digest matches, signature value verifies"},
        Forged{"Pkcs7Sha1",
               [] {
                   SignSpec spec;
                   spec.subFilter = "adbe.pkcs7.sha1";
                   spec.digest = EVP_sha1();
                   return signedDocument(context->me, spec);
               },
               0, "(adbe.pkcs7.sha1); covers the whole document (revision 1 of 1); digest matches"},
        // Certificates judged for what they are for and when, not only by their chain.
        Forged{"IssuedAndTrusted", [] { return issuedBy({}); }, 0, "certificate trusted by this system",
               true},
        Forged{"OnlyForIssuingCertificates",
               [] {
                   TestSigner::Options o;
                   o.keyUsage = "keyCertSign";
                   return issuedBy(o);
               },
               7, "CERTIFICATE NOT FOR SIGNING", true},
        Forged{"TlsServerCertificate",
               [] {
                   TestSigner::Options o;
                   o.extendedKeyUsage = "serverAuth";
                   return issuedBy(o);
               },
               7, "CERTIFICATE NOT FOR SIGNING", true},
        Forged{"ExpiredWithItsTimeBackDated",
               [] {
                   TestSigner::Options o;
                   o.fromDays = -400;
                   o.toDays = -30;
                   SignSpec spec;
                   spec.signedTime = "D:20251201120000Z";
                   return issuedBy(o, spec);
               },
               7, "CERTIFICATE EXPIRED", true},
        Forged{"RevokedInTheDocumentsOwnStore",
               [] {
                   const TestSigner signer = TestSigner::make({}, &context->root);
                   SignSpec spec;
                   spec.chain.push_back(&context->root);
                   return revokedInStore(signedDocument(signer, spec), context->root, signer);
               },
               7, "CERTIFICATE REVOKED", true}),
    [](const auto& info) { return std::string(info.param.name); });

// A chain not trusted is said, and fails only when asked to.
TEST(Verify, UntrustedFailsOnlyWhenTrustIsRequired)
{
    context = new Context;
    const QString file = writtenFile(context->dir.path(), "signed.pdf", base());
    EXPECT_EQ(render({QStringLiteral("--verify"), file}).code, 0);
    const Outcome required = render({QStringLiteral("--verify"), file, QStringLiteral("--require-trusted")});
    EXPECT_EQ(required.code, 5) << required.err.toStdString();
    EXPECT_TRUE(required.err.contains(QStringLiteral("not trusted"))) << required.err.toStdString();
    delete context;
    context = nullptr;
}

} // namespace

namespace {

// What a signer is told before signing a document whose maker could show something else once it
// is signed, and a signature laid over one already there: in --report.
struct Risky
{
    const char* name;
    QByteArray (*make)();
    const char* key;   // of the report
    const char* value; // as JSON
};

void PrintTo(const Risky& r, std::ostream* os)
{
    *os << r.name;
}

class Risks : public testing::TestWithParam<Risky>
{
protected:
    static void SetUpTestSuite() { context = new Context; }
    static void TearDownTestSuite()
    {
        delete context;
        context = nullptr;
    }
};

TEST_P(Risks, AreSaidBeforeSigning)
{
    const Risky& r = GetParam();
    const QString in = writtenFile(context->dir.path(), "risky.pdf", r.make());
    const Outcome o = render({QStringLiteral("--stamp"), in, QStringLiteral("--at"), QStringLiteral("100,60"),
                              QStringLiteral("--width"), QStringLiteral("60"), QStringLiteral("--report"),
                              QStringLiteral("-o"), context->path("out.pdf")});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(o.out.toUtf8()).object();
    const QJsonValue value = report.value(QString::fromLatin1(r.key)).isUndefined()
                                 ? report.value(QStringLiteral("risks")).toObject().value(QString::fromLatin1(r.key))
                                 : report.value(QString::fromLatin1(r.key));
    EXPECT_EQ(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact),
              "[" + QByteArray(r.value) + "]")
        << o.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, Risks,
    testing::Values(
        Risky{"AnUnlistedBody",
              [] {
                  SignSpec spec;
                  spec.unlisted = "4 0 obj\n" + streamOf(Mallory) + "\nendobj\n";
                  return signedDocument(context->me, spec);
              },
              "unlistedObjects", "[4]"},
        Risky{"ANumberDefinedTwice",
              [] {
                  QByteArray pdf = base();
                  const qint64 prev = lastStartXref(pdf);
                  const qsizetype first = pdf.size();
                  pdf += "4 0 obj\n" + streamOf("BT ET") + "\nendobj\n";
                  const qsizetype second = pdf.size();
                  pdf += "4 0 obj\n" + streamOf(Mallory) + "\nendobj\n";
                  const qsizetype xref = pdf.size();
                  pdf += "xref\n4 1\n" + QByteArray::number(first).rightJustified(10, '0') +
                         " 00000 n \n4 1\n" + QByteArray::number(second).rightJustified(10, '0') +
                         " 00000 n \ntrailer\n<< /Size 8 /Root 1 0 R /Prev " + QByteArray::number(prev) +
                         " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
                  return pdf;
              },
              "definedTwice", "[4]"},
        Risky{"AFieldOverTheText", [] { return withTextField(base()); }, "fieldsOverText", "[\"Amount\"]"},
        Risky{"ASignatureAlreadyThere",
              [] { return signedUpdate(base(), context->me, page(" 20 0 R"), catalog(" 20 0 R")); },
              "covers", "[\"Signature2\"]"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// Fifteen hundred fields holding one signature: one signature, checked once.
TEST(Verify, ManyFieldsSharingOneValueAreOneSignature)
{
    context = new Context;
    QByteArray fields, annots;
    std::map<int, QByteArray> objects;
    for (int i = 0; i < 1500; ++i) {
        const int n = 100 + i;
        objects[n] = "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Copy" + QByteArray::number(i) +
                     ") /Rect [0 0 0 0] /P 3 0 R /V 7 0 R >>";
        fields += ' ' + QByteArray::number(n) + " 0 R";
    }
    objects[Catalog] = catalog(fields);
    const QString file = writtenFile(context->dir.path(), "many.pdf", withUpdate(base(), objects));
    const Outcome r = render({QStringLiteral("--verify"), file});
    EXPECT_EQ(r.out.count(u'\n'), 1) << r.out.left(2000).toStdString();
    EXPECT_EQ(r.code, 6) << "fields added after signing: " << r.out.left(400).toStdString();
    delete context;
    context = nullptr;
}

} // namespace
