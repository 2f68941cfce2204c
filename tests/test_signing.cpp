// Signing within what a document's author allows, only where asked, and only what verifies:
// documents made now by their author's means (encryption permissions, certification, field
// locks, shared and dangling objects), each signed as a person would, judged by qpdf, pdfsig
// and pdftoppm.
#include "base/temporaries.h"
#include "output/filewrite.h"
#include "pdftools.h"
#include "pixels.h"
#include "plainpdf.h"
#include "rendercli.h"
#include "pdf/tokens.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <unistd.h>

namespace {

enum class Doc {
    Plain,
    NoAnnotations,    // encrypted: no annotations, no other change, form filling allowed
    NoAnnotationsWithField, // the same, with an empty signature field
    NoChanges,        // encrypted: annotations and forms, no other change
    NoFormsWithField, // encrypted: neither annotations nor form filling, an empty field
    CertifiedNone,    // DocMDP P=1
    CertifiedForms,   // P=2, no empty signature field
    CertifiedFormsWithField,
    CertifiedAnnotations, // P=3
    LockedFields,     // a signed field locks all fields; an empty one is left
    LockedDocument,   // a signed field's lock allows no change at all
    SharedAnnotations, // both pages list one array of annotations
    Decoy,            // page 1 holds the bytes of a signature's placeholder
    Dangling,         // page 2 lists annotations the document does not define
    SeedTimeStamp,    // its empty field asks for a signature with a trusted time-stamp
    SeedOlderEncoding, // its empty field asks for adbe.pkcs7.detached
};

enum class Op { Stamp, TwoPages, Across, Certificate, CertificateTwoPages, Field, Flatten };

struct Trust
{
    const char* name;
    Doc doc;
    Op op;
    int exitCode;
    // On success, the pages report ("1 certificate,2 annotation"); on failure, what stderr says.
    const char* outcome;
    bool note = false; // the report notes a new field after a forms-only certification
};

// A signature value as signing tools write one, not over this file: a field that holds it is
// signed, whatever a reader makes of the signature.
const QByteArray OldSignature = "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter "
                                "/adbe.pkcs7.detached /ByteRange [0 10 20 30] /Contents <00> >>";

// An empty signature field named Approver, shown on page 1 (object 7, its page's annotation).
const QByteArray EmptyField =
    "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Approver) /Rect [300 100 500 180] /F 4 "
    "/P 3 0 R >>";

QByteArray documentOf(Doc doc)
{
    const QByteArray form = "/AcroForm << /Fields [7 0 R] >>";
    const auto certified = [&](int p, bool field) {
        return twoPages(field ? "/Annots [7 0 R]" : "", {},
                        "/Perms << /DocMDP 8 0 R >> " + (field ? form : QByteArray()),
                        {EmptyField,
                         "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
                         "/ByteRange [0 10 20 30] /Contents <00> /Reference [<< /Type /SigRef "
                         "/TransformMethod /DocMDP /TransformParams << /Type /TransformParams "
                         "/V /1.2 /P " +
                             QByteArray::number(p) + " >> >>] >>"});
    };
    // Approver (7) empty; Author (8) signed, its value 9, its lock as given.
    const auto locked = [&](const QByteArray& lock) {
        return twoPages("/Annots [7 0 R 8 0 R]", {}, "/AcroForm << /Fields [7 0 R 8 0 R] >>",
                        {EmptyField,
                         "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Author) /Rect [0 0 0 0] "
                         "/P 3 0 R /V 9 0 R /Lock " +
                             lock + " >>",
                         OldSignature});
    };
    switch (doc) {
    case Doc::Plain:
    case Doc::NoAnnotations:
    case Doc::NoChanges:
        return twoPages();
    case Doc::NoAnnotationsWithField:
    case Doc::NoFormsWithField:
        return twoPages("/Annots [7 0 R]", {}, form, {EmptyField});
    case Doc::CertifiedNone:
        return certified(1, false);
    case Doc::CertifiedForms:
        return certified(2, false);
    case Doc::CertifiedFormsWithField:
        return certified(2, true);
    case Doc::CertifiedAnnotations:
        return certified(3, false);
    case Doc::LockedFields:
        return locked("<< /Type /SigFieldLock /Action /All >>");
    case Doc::LockedDocument:
        return locked("<< /Type /SigFieldLock /Action /All /P 1 >>");
    case Doc::SharedAnnotations:
        return twoPages("/Annots 7 0 R", "/Annots 7 0 R", {}, {"[]"});
    case Doc::Decoy:
        return twoPages("/Mark [0 1111111111 2222222222 3333333333] "
                        "/Room [0 0000000000 0000000000 0000000000] /Hole <0000>");
    case Doc::Dangling:
        return twoPages({}, "/Annots [12 0 R 13 0 R 14 0 R 15 0 R]");
    case Doc::SeedTimeStamp:
    case Doc::SeedOlderEncoding: {
        QByteArray field = EmptyField;
        field.chop(2);
        field += doc == Doc::SeedTimeStamp
                     ? "/SV << /TimeStamp << /URL (http://127.0.0.1:9/) /Ff 1 >> >> >>"
                     : "/SV << /SubFilter [/adbe.pkcs7.detached] /Ff 2 >> >>";
        return twoPages("/Annots [7 0 R]", {}, form, {field});
    }
    }
    return {};
}

// The qpdf options that encrypt a document as its author did, with an empty user password.
QStringList encryption(Doc doc)
{
    const QStringList head{QStringLiteral("--encrypt"), QString(), QStringLiteral("owner"),
                           QStringLiteral("256")};
    switch (doc) {
    case Doc::NoAnnotations:
    case Doc::NoAnnotationsWithField:
        return head + QStringList{QStringLiteral("--annotate=n"), QStringLiteral("--form=y"),
                                  QStringLiteral("--modify-other=n"), QStringLiteral("--")};
    case Doc::NoChanges:
        return head + QStringList{QStringLiteral("--modify-other=n"), QStringLiteral("--")};
    case Doc::NoFormsWithField:
        return head + QStringList{QStringLiteral("--annotate=n"), QStringLiteral("--form=n"),
                                  QStringLiteral("--")};
    default:
        return {};
    }
}

class SigningTrust : public testing::TestWithParam<Trust>
{
protected:
    static void SetUpTestSuite()
    {
        store = new QTemporaryDir;
        ownIdentity(store->filePath(QStringLiteral("me.p12")));
        QFile password(store->filePath(QStringLiteral("password")));
        ASSERT_TRUE(password.open(QIODevice::WriteOnly));
        password.write("pw\n");
        password.close();
        QDir().mkpath(store->filePath(QStringLiteral("nss")));
        ASSERT_EQ(status(QStringLiteral("certutil"),
                         {QStringLiteral("-N"), QStringLiteral("-d"), nss(),
                          QStringLiteral("--empty-password")}),
                  0);
    }
    static void TearDownTestSuite()
    {
        delete store;
        store = nullptr;
    }
    static QString nss() { return QStringLiteral("sql:") + store->filePath(QStringLiteral("nss")); }
    static int validSignatures(const QString& pdf)
    {
        return int(run(QStringLiteral("pdfsig"), {QStringLiteral("-nssdir"), nss(), pdf})
                       .count(QStringLiteral("Signature is Valid.")));
    }

    static inline QTemporaryDir* store = nullptr;
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

TEST_P(SigningTrust, ChangesOnlyWhatTheAuthorAllowsAndOnlyWhereAsked)
{
    const Trust& t = GetParam();
    QString document = path("document.pdf");
    {
        QFile f(document);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(documentOf(t.doc));
    }
    if (!encryption(t.doc).isEmpty()) {
        ASSERT_EQ(status(QStringLiteral("qpdf"),
                         encryption(t.doc) << document << path("encrypted.pdf")),
                  0);
        document = path("encrypted.pdf");
    }
    QStringList args{QStringLiteral("--style"), QStringLiteral("篆印体"), QStringLiteral("--stamp"),
                     document, QStringLiteral("--at"), QStringLiteral("20,30"),
                     QStringLiteral("--report"), QStringLiteral("-o"), path("signed.pdf")};
    const QStringList certificate{QStringLiteral("--sign-with"),
                                  store->filePath(QStringLiteral("me.p12")),
                                  QStringLiteral("--password-file"),
                                  store->filePath(QStringLiteral("password"))};
    switch (t.op) {
    case Op::Stamp:
        break;
    case Op::TwoPages:
        args << QStringLiteral("--page") << QStringLiteral("1-2");
        break;
    case Op::Across:
        args << QStringLiteral("--across-pages");
        break;
    case Op::Certificate:
        args << certificate;
        break;
    case Op::CertificateTwoPages:
        args << certificate << QStringLiteral("--page") << QStringLiteral("1-2");
        break;
    case Op::Field:
        args << certificate << QStringLiteral("--field") << QStringLiteral("Approver");
        break;
    case Op::Flatten:
        args << QStringLiteral("--flatten");
        break;
    }
    const Outcome r = render(args);
    ASSERT_EQ(r.code, t.exitCode) << r.err.toStdString();
    if (t.exitCode != 0) {
        EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(t.outcome))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(path("signed.pdf")));
        return;
    }
    EXPECT_TRUE(run(QStringLiteral("qpdf"), {QStringLiteral("--check"), path("signed.pdf")})
                    .contains(QStringLiteral("No syntax or stream encoding errors")));
    const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QStringList pages;
    std::set<int> signedPages;
    for (const QJsonValue page : report[QStringLiteral("pages")].toArray()) {
        pages << QStringLiteral("%1 %2").arg(page[QStringLiteral("page")].toInt()).arg(
            page[QStringLiteral("how")].toString());
        signedPages.insert(page[QStringLiteral("page")].toInt());
    }
    EXPECT_EQ(pages.join(u','), QString::fromUtf8(t.outcome));
    EXPECT_EQ(report.contains(QStringLiteral("note")), t.note);
    // Every page not signed shows as it did; a certificate signature verifies.
    for (const int page : {1, 2}) {
        if (!signedPages.count(page)) {
            EXPECT_EQ(pageImage(path("signed.pdf"), page, path("after")),
                      pageImage(document, page, path("before")))
                << "page " << page;
        }
    }
    if (t.op == Op::Certificate || t.op == Op::CertificateTwoPages || t.op == Op::Field) {
        EXPECT_EQ(validSignatures(path("signed.pdf")), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SigningTrust,
    testing::Values(
        Trust{"PlainStamp", Doc::Plain, Op::Stamp, 0, "1 annotation"},
        Trust{"PlainCertificate", Doc::Plain, Op::Certificate, 0, "1 certificate"},
        Trust{"PlainFlatten", Doc::Plain, Op::Flatten, 0, "1 content"},
        Trust{"NoAnnotationsStamp", Doc::NoAnnotations, Op::Stamp, 1,
              "do not allow adding annotations"},
        Trust{"NoAnnotationsSeal", Doc::NoAnnotations, Op::Across, 1,
              "do not allow adding annotations"},
        Trust{"NoAnnotationsCertificate", Doc::NoAnnotations, Op::Certificate, 1,
              "do not allow adding form fields"},
        Trust{"NoAnnotationsCertificateTwoPages", Doc::NoAnnotations, Op::CertificateTwoPages, 1,
              "do not allow adding form fields"},
        Trust{"NoAnnotationsFlatten", Doc::NoAnnotations, Op::Flatten, 1,
              "do not allow changing its pages' content"},
        // Filling in a field is all the author allows, and all a field of theirs needs.
        Trust{"NoAnnotationsFillsItsField", Doc::NoAnnotationsWithField, Op::Field, 0,
              "1 certificate"},
        Trust{"NoChangesStamp", Doc::NoChanges, Op::TwoPages, 0, "1 annotation,2 annotation"},
        Trust{"NoChangesCertificate", Doc::NoChanges, Op::Certificate, 1,
              "do not allow adding form fields"},
        Trust{"NoChangesFlatten", Doc::NoChanges, Op::Flatten, 1,
              "do not allow changing its pages' content"},
        Trust{"NoFormsField", Doc::NoFormsWithField, Op::Field, 1,
              "do not allow filling in its form fields"},
        Trust{"CertifiedNoneStamp", Doc::CertifiedNone, Op::Stamp, 1, "allow no changes"},
        Trust{"CertifiedNoneCertificate", Doc::CertifiedNone, Op::Certificate, 1,
              "allow no changes"},
        Trust{"CertifiedFormsStamp", Doc::CertifiedForms, Op::Stamp, 1, "only form filling"},
        Trust{"CertifiedFormsFlatten", Doc::CertifiedForms, Op::Flatten, 1,
              "no change of its pages' content"},
        Trust{"CertifiedFormsNewFieldNoted", Doc::CertifiedForms, Op::Certificate, 0,
              "1 certificate", true},
        Trust{"CertifiedFormsFillsTheEmptyField", Doc::CertifiedFormsWithField, Op::Certificate,
              0, "1 certificate"},
        Trust{"CertifiedFormsCertificateTwoPages", Doc::CertifiedFormsWithField,
              Op::CertificateTwoPages, 1, "only form filling"},
        Trust{"CertifiedAnnotationsTwoPages", Doc::CertifiedAnnotations, Op::TwoPages, 0,
              "1 annotation,2 annotation"},
        Trust{"CertifiedAnnotationsFlatten", Doc::CertifiedAnnotations, Op::Flatten, 1,
              "no change of its pages' content"},
        Trust{"LockedFieldsField", Doc::LockedFields, Op::Field, 1,
              "is locked by the signature in field \"Author\""},
        Trust{"LockedFieldsStamp", Doc::LockedFields, Op::Stamp, 0, "1 annotation"},
        Trust{"LockedDocumentStamp", Doc::LockedDocument, Op::Stamp, 1, "allow no changes"},
        Trust{"LockedDocumentCertificate", Doc::LockedDocument, Op::Certificate, 1,
              "allow no changes"},
        Trust{"LockedDocumentSeal", Doc::LockedDocument, Op::Across, 1, "allow no changes"},
        Trust{"SharedAnnotationsStamp", Doc::SharedAnnotations, Op::Stamp, 0, "1 annotation"},
        Trust{"SharedAnnotationsCertificate", Doc::SharedAnnotations, Op::Certificate, 0,
              "1 certificate"},
        Trust{"DecoyCertificate", Doc::Decoy, Op::Certificate, 0, "1 certificate"},
        Trust{"DanglingStamp", Doc::Dangling, Op::Stamp, 0, "1 annotation"},
        Trust{"SeedValueAsksForATimeStamp", Doc::SeedTimeStamp, Op::Field, 1,
              "asks for a trusted time-stamp"},
        Trust{"SeedValueAsksForTheOlderEncoding", Doc::SeedOlderEncoding, Op::Field, 0,
              "1 certificate"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// Signing identities as people bring them: keys of other kinds, files made by older tools,
// names in other string types, and files that are not what they claim.
enum class Identity { RsaPss, Legacy, NoMac, KeyOfAnother, BmpStringName };

struct Kind
{
    const char* name;
    Identity identity;
    int exitCode;
    const char* says; // on failure, on stderr
};

class Identities : public testing::TestWithParam<Kind>
{
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    void openssl(const QStringList& args)
    {
        ASSERT_EQ(status(QStringLiteral("openssl"), args), 0) << args.join(u' ').toStdString();
    }
    // A PKCS#12 file "id.p12" with the password "pw" made by the openssl command from a key
    // made with `keyArgs`, exported with `exportArgs`.
    void made(const QStringList& keyArgs, const QStringList& exportArgs = {})
    {
        openssl(QStringList{QStringLiteral("genpkey"), QStringLiteral("-out"), path("key.pem")} +
                keyArgs);
        openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-key"),
                 path("key.pem"), QStringLiteral("-out"), path("cert.pem"),
                 QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-subj"),
                 QStringLiteral("/CN=Someone")});
        openssl(QStringList{QStringLiteral("pkcs12"), QStringLiteral("-export"),
                            QStringLiteral("-inkey"), path("key.pem"), QStringLiteral("-in"),
                            path("cert.pem"), QStringLiteral("-out"), path("id.p12"),
                            QStringLiteral("-passout"), QStringLiteral("pass:pw")} +
                exportArgs);
    }
};

// The key of one pair and the certificate of another, in one file.
void keyOfAnother(const QString& path)
{
    EVP_PKEY* key = EVP_RSA_gen(2048);
    EVP_PKEY* other = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    X509_gmtime_adj(X509_getm_notBefore(cert), -86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_set_pubkey(cert, other);
    X509_sign(cert, other, EVP_sha256());
    STACK_OF(X509)* certificates = sk_X509_new_null();
    sk_X509_push(certificates, cert);
    writePkcs12(path, key, nullptr, certificates);
    sk_X509_pop_free(certificates, X509_free);
    EVP_PKEY_free(key);
    EVP_PKEY_free(other);
}

// A certificate whose common name is a BMPString, as many Chinese certificates have it.
void bmpStringName(const QString& path)
{
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    X509_gmtime_adj(X509_getm_notBefore(cert), -86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_set_pubkey(cert, key);
    const QString name = QStringLiteral("王晓明");
    QByteArray utf16;
    for (const QChar c : name)
        utf16 += char(c.unicode() >> 8), utf16 += char(c.unicode() & 0xff);
    X509_NAME_add_entry_by_NID(X509_get_subject_name(cert), NID_commonName, V_ASN1_BMPSTRING,
                               reinterpret_cast<const unsigned char*>(utf16.constData()),
                               int(utf16.size()), -1, 0);
    X509_set_issuer_name(cert, X509_get_subject_name(cert));
    X509_sign(cert, key, EVP_sha256());
    writePkcs12(path, key, cert);
    X509_free(cert);
    EVP_PKEY_free(key);
}

TEST_P(Identities, SignWhatVerifiesOrSayWhatIsWrong)
{
    const Kind& k = GetParam();
    switch (k.identity) {
    case Identity::RsaPss:
        made({QStringLiteral("-algorithm"), QStringLiteral("RSA-PSS")});
        break;
    case Identity::Legacy:
        made({QStringLiteral("-algorithm"), QStringLiteral("RSA")}, {QStringLiteral("-legacy")});
        break;
    case Identity::NoMac:
        made({QStringLiteral("-algorithm"), QStringLiteral("RSA")}, {QStringLiteral("-nomac")});
        break;
    case Identity::KeyOfAnother:
        keyOfAnother(path("id.p12"));
        break;
    case Identity::BmpStringName:
        bmpStringName(path("id.p12"));
        break;
    }
    {
        QFile f(path("document.pdf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(twoPages());
        QFile password(path("password"));
        ASSERT_TRUE(password.open(QIODevice::WriteOnly));
        password.write("pw\n");
    }
    const Outcome r = render({QStringLiteral("--stamp"), path("document.pdf"),
                              QStringLiteral("--at"), QStringLiteral("20,30"),
                              QStringLiteral("--sign-with"), path("id.p12"),
                              QStringLiteral("--password-file"), path("password"),
                              QStringLiteral("-o"), path("signed.pdf")});
    ASSERT_EQ(r.code, k.exitCode) << r.err.toStdString();
    if (k.exitCode != 0) {
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(k.says))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(path("signed.pdf")));
        return;
    }
    // OpenSSL, not our code, checks the signature over the bytes it says it covers.
    const QByteArray signedPath = path("signed.pdf").toLocal8Bit();
    QPDF pdf;
    pdf.processFile(signedPath.constData());
    QPDFObjectHandle value =
        pdf.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(0).getKey("/V");
    const std::vector<long long> ranges{value.getKey("/ByteRange").getArrayItem(0).getIntValue(),
                                        value.getKey("/ByteRange").getArrayItem(1).getIntValue(),
                                        value.getKey("/ByteRange").getArrayItem(2).getIntValue(),
                                        value.getKey("/ByteRange").getArrayItem(3).getIntValue()};
    QFile whole(path("signed.pdf"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    QFile content(path("content")), der(path("signature.der"));
    ASSERT_TRUE(content.open(QIODevice::WriteOnly) && der.open(QIODevice::WriteOnly));
    content.write(bytes.mid(ranges[0], ranges[1]) + bytes.mid(ranges[2], ranges[3]));
    der.write(QByteArray::fromStdString(value.getKey("/Contents").getStringValue()));
    content.close();
    der.close();
    EXPECT_EQ(status(QStringLiteral("openssl"),
                     {QStringLiteral("cms"), QStringLiteral("-verify"), QStringLiteral("-binary"),
                      QStringLiteral("-inform"), QStringLiteral("DER"), QStringLiteral("-in"),
                      path("signature.der"), QStringLiteral("-content"), path("content"),
                      QStringLiteral("-noverify"), QStringLiteral("-out"), path("out")}),
              0);
    // The name the signature says it is by, as text.
    const QString expected =
        k.identity == Identity::BmpStringName ? QStringLiteral("王晓明") : QStringLiteral("Someone");
    EXPECT_EQ(QString::fromStdString(value.getKey("/Name").getUTF8Value()), expected);
    const Outcome verified = render({QStringLiteral("--verify"), path("signed.pdf")});
    EXPECT_EQ(verified.code, 0) << verified.err.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("by ") + expected)) << verified.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, Identities,
    testing::Values(Kind{"RsaPssSignsWithItsParameters", Identity::RsaPss, 0, ""},
                    Kind{"OldEncryptionOpensWithTheLegacyCiphers", Identity::Legacy, 0, ""},
                    Kind{"NoMacIsReadWithItsPassword", Identity::NoMac, 0, ""},
                    Kind{"AKeyOfAnotherIsSaid", Identity::KeyOfAnother, 1,
                         "does not belong to any certificate it holds"},
                    Kind{"ABmpStringNameReadsAsText", Identity::BmpStringName, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// Keys where people keep them besides files: a software token (SoftHSM2, made now in a folder of
// the test's own) and an NSS database in the user's home, both holding 王晓明's certificate.
enum class Where { TokenUri, WrongPin, AbsentToken, NssNickname, Twins };

struct Kept
{
    const char* name;
    Where where;
    int exitCode;
    const char* says; // on failure, on stderr
};

class Tokens : public testing::TestWithParam<Kept>
{
protected:
    TokenEnvironment environment;
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    bool made() { return madeTokenAndDatabase(dir.path()); }
};

// A certificate in a token, named by its URI, or in the NSS database, by its nickname, signs as a
// file's does; a wrong PIN and a token not there are one sentence each, nothing written. The
// certificates of both are listed, without a PIN, with where they are.
TEST_P(Tokens, SignWithAKeyThatNeverLeavesItsToken)
{
    const Kept& k = GetParam();
    ASSERT_TRUE(made());
    // A second identity under the same label: the same key and certificate, another id.
    for (const char* type : {"privkey", "cert"}) {
        if (k.where == Where::Twins) {
            ASSERT_EQ(status(QStringLiteral("pkcs11-tool"),
                             {"--module", "/usr/lib/softhsm/libsofthsm2.so", "--token-label", "sorvex",
                              "--login", "--pin", "1234", "--write-object",
                              path(std::string(type) == "cert" ? "cert.der" : "key.der"), "--type", type,
                              "--id", "03", "--label", "me"}),
                      0);
        }
    }
    writtenFile(dir.path(), "contract.pdf", twoPages());
    writtenFile(dir.path(), "pin", k.where == Where::WrongPin ? "9999\n" : k.where == Where::NssNickname ? "\n" : "1234\n");
    const QString module = QStringLiteral("?module-path=/usr/lib/softhsm/libsofthsm2.so");
    const QString source = k.where == Where::NssNickname ? QStringLiteral("nss:me")
                           : k.where == Where::AbsentToken
                               ? QStringLiteral("pkcs11:token=absent;object=me") + module
                               : QStringLiteral("pkcs11:token=sorvex;object=me") + module;
    const Outcome r = render({"--stamp", path("contract.pdf"), "--at", "20,30", "--sign-with", source,
                              "--password-file", path("pin"), "-o", path("signed.pdf")});
    ASSERT_EQ(r.code, k.exitCode) << r.err.toStdString();
    if (k.exitCode != 0) {
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(k.says))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(path("signed.pdf")));
        return;
    }
    const Outcome verified = render({"--verify", path("signed.pdf")});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("by 王晓明, "))) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("issued by Sorvex Test Root")));
    EXPECT_TRUE(run(QStringLiteral("pdfsig"), {path("signed.pdf")}).contains(QStringLiteral("Signature is Valid")));
    // The authority's certificate kept beside it goes into the signature, as a file's chain does.
    QFile signedFile(path("signed.pdf"));
    ASSERT_TRUE(signedFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = signedFile.readAll();
    QFile root(path("ca.der"));
    ASSERT_TRUE(root.open(QIODevice::ReadOnly));
    EXPECT_TRUE(bytes.contains(root.readAll().toHex())) << "the chain travels with the signature";

    // Listed as the signing window lists them: the token's through p11-kit, the database's.
    const std::vector<TokenCertificate> listed = tokenCertificates();
    const auto has = [&](const QString& start, const QString& token) {
        return std::any_of(listed.begin(), listed.end(), [&](const TokenCertificate& c) {
            return c.source.startsWith(start) && c.token == token && c.name == QStringLiteral("王晓明") &&
                   c.validTo > QDateTime::currentDateTimeUtc().addDays(29);
        });
    };
    EXPECT_TRUE(has(QStringLiteral("pkcs11:token=sorvex;"), QStringLiteral("sorvex")));
    EXPECT_TRUE(has(QStringLiteral("nss:me"), QStringLiteral("NSS Certificate DB")));
    EXPECT_FALSE(std::any_of(listed.begin(), listed.end(), [](const TokenCertificate& c) {
        return c.name == QStringLiteral("Sorvex Test Root");
    })) << "an authority's certificate signs nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Tokens,
    testing::Values(Kept{"ATokenByItsUri", Where::TokenUri, 0, ""},
                    Kept{"AWrongPin", Where::WrongPin, 1, "does not open"},
                    Kept{"ATokenNotThere", Where::AbsentToken, 1, "no such token is present"},
                    Kept{"AnNssNickname", Where::NssNickname, 0, ""},
                    Kept{"TwoIdentitiesUnderOneName", Where::Twins, 1,
                         "names more than one certificate in its token: \"me\" (id 01), \"me\" (id 03)"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

class HostileSigning : public testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QString written(const char* name, const QByteArray& bytes)
    {
        return writtenFile(dir.path(), name, bytes);
    }
};

// Two signings of one document in place at once: each either adds its stamp or says the
// document was being signed; none is lost while both say they succeeded.
TEST_F(HostileSigning, TwoStampsInPlaceAtOnceNeverLoseOne)
{
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        const QString document = written("contract.pdf", twoPages());
        QProcess first, second;
        QProcess* both[] = {&first, &second};
        for (int i = 0; i < 2; ++i) {
            both[i]->setProcessEnvironment([] {
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
                return env;
            }());
            both[i]->start(kitDir() + QStringLiteral("sorvex-sign-render"),
                           {QStringLiteral("--stamp"), document, QStringLiteral("--at"),
                            QStringLiteral("%1,30").arg(20 + 60 * i), QStringLiteral("-o"),
                            document});
        }
        int succeeded = 0;
        for (QProcess* p : both) {
            ASSERT_TRUE(p->waitForFinished(60000));
            const QString err = QString::fromUtf8(p->readAllStandardError());
            if (p->exitCode() == 0)
                ++succeeded;
            else
                EXPECT_TRUE(err.contains(QStringLiteral("being signed by another program")) ||
                            err.contains(QStringLiteral("changed while it was being signed")))
                    << err.toStdString();
        }
        QFile result(document);
        ASSERT_TRUE(result.open(QIODevice::ReadOnly));
        EXPECT_EQ(result.readAll().count("/SorvexSignature"), succeeded);
        EXPECT_GE(succeeded, 1);
    }
}

// A run stopped by a signal while it writes leaves no part of the file behind.
TEST_F(HostileSigning, AWriteStoppedByASignalLeavesNoPartFile)
{
    const QString target = path("signed.pdf");
    EXPECT_EXIT(
        {
            removeRunFoldersOnSignals();
            writeFileWith(target, [](int fd) -> std::optional<QString> {
                const QByteArray megabyte(1 << 20, 'x');
                if (::write(fd, megabyte.constData(), size_t(megabyte.size())) < 0)
                    return QStringLiteral("not written");
                ::raise(SIGTERM);
                return std::nullopt;
            });
        },
        testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty())
        << QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden).join(u' ').toStdString();
}

// What the program says when a module or a picture cannot be used is its one sentence, with no
// line of a library's own before it: a module that cannot be loaded, and a photograph under
// the documented size that Qt on its own would refuse with a warning.
TEST_F(HostileSigning, SaysOneLineWhereALibraryWouldSayItsOwn)
{
    QImage photo(7745, 7745, QImage::Format_Grayscale8);
    photo.fill(235);
    QPainter painter(&photo);
    painter.setPen(QPen(Qt::black, 40));
    painter.drawLine(1000, 4000, 6000, 3000);
    painter.end();
    ASSERT_TRUE(photo.save(path("photo.png")));
    written("pin", "1234\n");
    const struct
    {
        const char* name;
        QStringList args;
        int exitCode;
        int lines; // on stderr
    } rows[] = {
        {"a module that cannot be loaded",
         {"--stamp", written("contract.pdf", twoPages()), "--at", "20,30", "--sign-with",
          "pkcs11:token=sorvex;object=me?module-path=" + path("no-such-module.so"), "--password-file",
          path("pin"), "-o", path("signed.pdf")},
         1, 1},
        {"a photograph of 60 million pixels", {"--drawn", path("photo.png"), "-o", path("ink.png")}, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                QStringList(row.args) << QStringLiteral("--data") << kitDir());
        ASSERT_TRUE(p.waitForFinished(120000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), row.exitCode) << err.toStdString();
        EXPECT_EQ(err.count(u'\n'), row.lines) << err.toStdString();
    }
}

// A password read from a pipe, as bash's <(…) gives one, never sits on disk.
TEST_F(HostileSigning, ThePasswordComesThroughAPipe)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "pw\n", 3), 3);
    ::close(fds[1]);
    const Outcome r = render({QStringLiteral("--stamp"), written("contract.pdf", twoPages()),
                              QStringLiteral("--at"), QStringLiteral("20,30"),
                              QStringLiteral("--sign-with"), ownIdentity(path("me.p12")),
                              QStringLiteral("--password-file"),
                              QStringLiteral("/proc/self/fd/%1").arg(fds[0]),
                              QStringLiteral("-o"), path("signed.pdf")});
    ::close(fds[0]);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
}

// What readers take for a PDF is signed: bytes before its header, a page of a megabyte of
// content to draw into.
TEST_F(HostileSigning, ReadableOddDocumentsAreSigned)
{
    QByteArray content;
    while (content.size() < (1 << 20))
        content += "q 1 0 0 1 10 10 cm 0 0 0.5 rg 0 0 1 1 re f Q\n";
    const struct
    {
        const char* name;
        QByteArray bytes;
        bool flatten;
    } documents[] = {
        {"junk.pdf", "PK\x03\x04 bytes of a zip before the document\n" + twoPages(), false},
        {"large.pdf",
         pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
                "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
                    "endstream"}),
         true},
    };
    for (const auto& d : documents) {
        SCOPED_TRACE(d.name);
        QStringList args{QStringLiteral("--style"), QStringLiteral("篆印体"),
                         QStringLiteral("--stamp"), written(d.name, d.bytes), QStringLiteral("--at"),
                         QStringLiteral("20,30"), QStringLiteral("-o"), path("signed.pdf")};
        if (d.flatten)
            args << QStringLiteral("--flatten");
        const Outcome r = render(args);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(run(QStringLiteral("qpdf"), {QStringLiteral("--check"), path("signed.pdf")})
                        .contains(QStringLiteral("No syntax or stream encoding errors")));
        const QRect ink = inkBox(pageImage(path("signed.pdf"), 1, path("p")), [](QRgb c) {
            return qRed(c) > 150 && qGreen(c) < 80 && qBlue(c) < 80;
        });
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_NEAR(ink.left() / 10.0, 20, 0.5);
        EXPECT_NEAR(ink.top() / 10.0, 30, 0.5);
    }
}

} // namespace

namespace {

// Who signed and when, written under a certificate signature on request: below its ink, no
// wider, the signature still verifying and saying why and where.
TEST(SignerLines, StandUnderTheSignatureAndInIt)
{
    QTemporaryDir dir;
    const auto path = [&dir](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
    writtenFile(dir.path(), "contract.pdf", twoPages());
    writtenFile(dir.path(), "password", "pw\n");
    const auto sign = [&](const char* out, const QStringList& more) {
        const Outcome r = render(QStringList{QStringLiteral("--style"), QStringLiteral("篆印体"),
                                             QStringLiteral("--stamp"), path("contract.pdf"),
                                             QStringLiteral("--at"), QStringLiteral("20,30"),
                                             QStringLiteral("--width"), QStringLiteral("30"),
                                             QStringLiteral("--sign-with"),
                                             ownIdentity(path("me.p12")),
                                             QStringLiteral("--password-file"), path("password"),
                                             QStringLiteral("-o"), path(out)} +
                                 more);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return pageImage(path(out), 1, path(out) + QStringLiteral(".page"));
    };
    const auto red = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 80 && qBlue(c) < 80; };
    const auto black = [](QRgb c) { return qRed(c) < 80 && qGreen(c) < 80 && qBlue(c) < 80; };
    const QImage plain = sign("plain.pdf", {});
    const QImage lined = sign("lined.pdf", {QStringLiteral("--signer-lines"),
                                            QStringLiteral("--reason"), QStringLiteral("同意"),
                                            QStringLiteral("--location"), QStringLiteral("北京")});
    const QRect seal = inkBox(plain, red);
    EXPECT_EQ(inkBox(plain, black), QRect());
    EXPECT_EQ(inkBox(lined, red), seal) << "the seal keeps its place and width";
    const QRect words = inkBox(lined, black);
    ASSERT_FALSE(words.isEmpty());
    EXPECT_GT(words.top(), seal.bottom());
    EXPECT_GE(words.left(), seal.left() - 2);
    EXPECT_LE(words.right(), seal.right() + 2);
    EXPECT_GT(words.height(), 3 * 25) << "four lines of about 2 mm";
    const Outcome verified = render({QStringLiteral("--verify"), path("lined.pdf")});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    QPDF pdf;
    pdf.processFile(path("lined.pdf").toLocal8Bit().constData());
    QPDFObjectHandle value =
        pdf.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(0).getKey("/V");
    EXPECT_EQ(value.getKey("/Reason").getUTF8Value(), "同意");
    EXPECT_EQ(value.getKey("/Location").getUTF8Value(), "北京");
}

// --verify: one line a signature, ours and other programs', each checked over the bytes it
// covers; a byte changed inside them is found, in every signature that covers it.
TEST(Verify, SaysEverySignatureAndFindsAChangedByte)
{
    QTemporaryDir dir;
    const auto path = [&dir](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
    {
        QFile f(path("contract.pdf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(twoPages());
    }
    const QString nss = QStringLiteral("sql:") + path("nss");
    QDir().mkpath(path("nss"));
    ASSERT_EQ(status(QStringLiteral("certutil"),
                     {QStringLiteral("-N"), QStringLiteral("-d"), nss, QStringLiteral("--empty-password")}),
              0);
    ASSERT_EQ(status(QStringLiteral("pk12util"), {QStringLiteral("-i"), ownIdentity(path("other.p12")),
                                                  QStringLiteral("-d"), nss, QStringLiteral("-W"),
                                                  QStringLiteral("pw")}),
              0);
    for (const char* step : {"one", "two"})
        ASSERT_EQ(status(QStringLiteral("pdfsig"),
                         {QStringLiteral("-nssdir"), nss, QStringLiteral("-add-signature"),
                          QStringLiteral("-nick"), QStringLiteral("me"),
                          path(std::string(step) == "one" ? "contract.pdf" : "one.pdf"),
                          path(std::string(step) == "one" ? "one.pdf" : "two.pdf")}),
                  0);
    QFile password(path("password"));
    ASSERT_TRUE(password.open(QIODevice::WriteOnly));
    password.write("pw\n");
    password.close();
    ASSERT_EQ(render({QStringLiteral("--stamp"), path("two.pdf"), QStringLiteral("--at"),
                      QStringLiteral("20,30"), QStringLiteral("--sign-with"), path("other.p12"),
                      QStringLiteral("--password-file"), path("password"), QStringLiteral("-o"),
                      path("three.pdf")})
                  .code,
              0);
    const Outcome whole = render({QStringLiteral("--verify"), path("three.pdf")});
    EXPECT_EQ(whole.code, 0) << whole.err.toStdString();
    const QStringList lines = whole.out.trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 3) << whole.out.toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("adbe.pkcs7.detached")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("ETSI.CAdES.detached")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("covers the whole document (revision 4 of 4)")));
    // Each signature made after poppler's is seen as what it is: nothing changed but signatures.
    EXPECT_TRUE(lines[0].contains(QStringLiteral("; later: revision 3 added a signature by 王晓明; "
                                                 "revision 4 added a signature by 王晓明")))
        << lines[0].toStdString();
    for (const QString& line : lines) {
        EXPECT_TRUE(line.contains(QStringLiteral("by 王晓明")));
        EXPECT_TRUE(line.contains(QStringLiteral("digest matches, signature value verifies")));
        EXPECT_TRUE(line.contains(QStringLiteral("self-signed, not trusted")));
    }

    // A byte of the first page's content, which every signature covers, changed.
    QFile three(path("three.pdf"));
    ASSERT_TRUE(three.open(QIODevice::ReadOnly));
    QByteArray bytes = three.readAll();
    three.close();
    const qsizetype bar = bytes.indexOf("300 5 re f");
    ASSERT_GT(bar, 0);
    bytes[bar] = '4';
    QFile changed(path("changed.pdf"));
    ASSERT_TRUE(changed.open(QIODevice::WriteOnly));
    changed.write(bytes);
    changed.close();
    const Outcome broken = render({QStringLiteral("--verify"), path("changed.pdf")});
    EXPECT_EQ(broken.code, 7);
    EXPECT_EQ(broken.out.count(QStringLiteral("DIGEST MISMATCH")), 3) << broken.out.toStdString();
    EXPECT_TRUE(broken.err.contains(QStringLiteral("3 of 3 signature(s)"))) << broken.err.toStdString();
}

} // namespace
