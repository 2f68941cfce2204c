// A trusted time for a certificate signature: a time-stamping authority made now, on this
// machine (the openssl command's own, behind a small HTTP server on 127.0.0.1), answering well
// and badly; the signed copy judged by openssl ts -verify and pdfsig.
#include "forgery.h"
#include "localauthority.h"
#include "pdftools.h"
#include "plainpdf.h"
#include "rendercli.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/cms.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <qpdf/QPDF.hh>

#include <gtest/gtest.h>

#include <csignal>

namespace {

struct Row
{
    const char* name;
    Answer answer;
    int exitCode;
    const char* said; // on stderr, or with --verify on stdout
};

class TimeStamps : public testing::TestWithParam<Row>
{
};

// A signature asked to be time-stamped is written with a token the authority granted for it,
// which openssl checks against the signature; an authority that refuses, answers garbage, a
// token for another request, an error or nothing is one sentence, and nothing is written.
TEST_P(TimeStamps, ASignatureIsWrittenOnlyWithItsTrustedTime)
{
    const Row& row = GetParam();
    QTemporaryDir dir;
    LocalAuthority authority(dir.path());
    ASSERT_TRUE(authority.ok());
    authority.answer = row.answer;
    const QString p12 = dir.filePath(QStringLiteral("me.p12"));
    ASSERT_EQ(status(QStringLiteral("openssl"),
                                {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                 authority.file("me.key"), "-out", authority.file("me.pem"),
                                 "-subj", "/CN=Wang Xiaoming", "-days", "30"}),
              0);
    ASSERT_EQ(status(QStringLiteral("openssl"),
                                {"pkcs12", "-export", "-inkey", authority.file("me.key"), "-in",
                                 authority.file("me.pem"), "-out", p12, "-passout", "pass:pw"}),
              0);
    QFile password(authority.file("password")), document(authority.file("contract.pdf"));
    ASSERT_TRUE(password.open(QIODevice::WriteOnly) && document.open(QIODevice::WriteOnly));
    password.write("pw\n");
    document.write(twoPages());
    password.close();
    document.close();
    const QString out = authority.file("signed.pdf");
    const Outcome signedCopy =
        render({"--stamp", document.fileName(), "--at", "20,30", "--sign-with", p12,
                "--password-file", password.fileName(), "--tsa", authority.url(), "--tsa-timeout",
                "2", "-o", out});
    EXPECT_EQ(signedCopy.code, row.exitCode) << signedCopy.err.toStdString();
    EXPECT_EQ(authority.asked, 1);
    if (row.exitCode != 0) {
        EXPECT_TRUE(signedCopy.err.contains(QString::fromUtf8(row.said))) << signedCopy.err.toStdString();
        EXPECT_EQ(signedCopy.err.count(u'\n'), 1);
        EXPECT_FALSE(QFile::exists(out)) << "never a signature without the time asked for";
        return;
    }
    const Outcome verified = render({"--verify", out});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QString::fromUtf8(row.said))) << verified.out.toStdString();
    EXPECT_EQ(status(QStringLiteral("pdfsig"), {out}), 0);

    EXPECT_TRUE(authority.tokenVerifies(out));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TimeStamps,
    testing::Values(Row{"Granted", Answer::Grant, 0, "by Sorvex Test TSA (authority not trusted)"},
                    Row{"Refused", Answer::Refuse, 1, "refused the request"},
                    Row{"Garbage", Answer::Garbage, 1, "no time-stamp reply"},
                    Row{"ForAnotherRequest", Answer::AnotherRequest, 1, "for another request"},
                    Row{"AnError", Answer::NotFound, 1, "HTTP 404"},
                    Row{"NoAnswer", Answer::Nothing, 1, "no answer within 2 s"}),
    [](const auto& info) { return std::string(info.param.name); });


// Authorities that lie about themselves or about the time: each refused at signing in one
// sentence, nothing written.
struct Lie
{
    const char* name;
    bool selfSigned;       // the authority's certificate vouches for itself
    double validFrom, validTo; // the authority's certificate, in days from now
    qint64 off;            // the time it gives, in seconds from now
    double signerFrom;     // the signer's certificate is valid from, in days from now
    const char* said;
};

class LyingAuthorities : public testing::TestWithParam<Lie>
{
};

TEST_P(LyingAuthorities, AreRefusedAtSigning)
{
    const Lie& lie = GetParam();
    QTemporaryDir dir;
    LocalAuthority authority(dir.path());
    ASSERT_TRUE(authority.ok());
    const TestSigner root =
        TestSigner::make({2048, "Lying Root", "keyCertSign,cRLSign", nullptr, true, -30, 3650});
    TestSigner::Options o{2048, "Lying TSA", "digitalSignature", "critical,timeStamping", false,
                          lie.validFrom, lie.validTo};
    const TestSigner tsa = TestSigner::make(o, lie.selfSigned ? nullptr : &root);
    TestSigner::Options me;
    me.fromDays = lie.signerFrom;
    const TestSigner signer = TestSigner::make(me);
    writePkcs12(authority.file("me.p12"), signer.key.get(), signer.cert.get());
    authority.answer = Answer::Crafted;
    const time_t when = time(nullptr) + lie.off;
    authority.craft = [&](const QByteArray& query) { return craftedReply(query, tsa, {&root}, when); };
    writtenFile(dir.path(), "password", "pw\n");
    const Outcome r = render({"--stamp", writtenFile(dir.path(), "contract.pdf", twoPages()), "--at", "20,30",
                              "--sign-with", authority.file("me.p12"), "--password-file",
                              authority.file("password"), "--tsa", authority.url(), "-o",
                              authority.file("signed.pdf")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(lie.said))) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u'\n'), 1);
    EXPECT_FALSE(QFile::exists(authority.file("signed.pdf")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LyingAuthorities,
    testing::Values(Lie{"SelfSigned", true, -30, 365, 0, -1, "vouches for itself"},
                    Lie{"Expired", false, -60, -1, 0, -1, "was not valid at the time it gives"},
                    Lie{"BackDated", false, -30, 365, -2 * 86400, -1, "not now"},
                    Lie{"Tomorrow", false, -30, 365, 86400, -1, "not now"},
                    Lie{"TenYearsAhead", false, -30, 365, 10 * 365 * 86400LL, -1,
                        "was not valid at the time it gives"},
                    Lie{"BeforeTheSignersCertificate", false, -30, 365, -600, -0.003,
                        "before the signing certificate was valid"}),
    [](const auto& info) { return std::string(info.param.name); });

enum class Validation { Online, Offline, Revoked, NoAnswer, NothingOffline, StaleOcsp, StaleList };

template <typename T> T* readPem(const QString& path, T* (*read)(BIO*, T**, pem_password_cb*, void*))
{
    BIO* in = BIO_new_file(path.toLocal8Bit().constData(), "r");
    T* object = in ? read(in, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(in);
    return object;
}

// Answers that the certificate was good, from its issuer, made two years ago and naming no
// next update: an OCSP response, or a revocation list.
QByteArray staleAnswer(const LocalAuthority& authority, bool ocsp)
{
    X509* ca = readPem<X509>(authority.file("ca.pem"), PEM_read_bio_X509);
    EVP_PKEY* key = readPem<EVP_PKEY>(authority.file("ca.key"), PEM_read_bio_PrivateKey);
    X509* me = readPem<X509>(authority.file("me.pem"), PEM_read_bio_X509);
    ASN1_TIME* then = X509_gmtime_adj(nullptr, -2L * 365 * 86400);
    unsigned char* der = nullptr;
    int length = 0;
    if (ocsp) {
        OCSP_BASICRESP* basic = OCSP_BASICRESP_new();
        OCSP_CERTID* id = OCSP_cert_to_id(EVP_sha1(), me, ca);
        OCSP_basic_add1_status(basic, id, V_OCSP_CERTSTATUS_GOOD, 0, nullptr, then, nullptr);
        OCSP_basic_sign(basic, ca, key, EVP_sha256(), nullptr, 0);
        OCSP_RESPONSE* response = OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, basic);
        length = i2d_OCSP_RESPONSE(response, &der);
        OCSP_RESPONSE_free(response);
        OCSP_BASICRESP_free(basic);
        OCSP_CERTID_free(id);
    } else {
        X509_CRL* crl = X509_CRL_new();
        X509_CRL_set_version(crl, 1);
        X509_CRL_set_issuer_name(crl, X509_get_subject_name(ca));
        X509_CRL_set1_lastUpdate(crl, then);
        X509_CRL_sign(crl, key, EVP_sha256());
        length = i2d_X509_CRL(crl, &der);
        X509_CRL_free(crl);
    }
    const QByteArray bytes(reinterpret_cast<const char*>(der), std::max(length, 0));
    OPENSSL_free(der);
    ASN1_TIME_free(then);
    X509_free(ca);
    X509_free(me);
    EVP_PKEY_free(key);
    return bytes;
}

struct LongRow
{
    const char* name;
    Validation how;
    bool archived;
    int exitCode;
    const char* said; // on stderr, or with --verify on stdout
};

class LongTerm : public testing::TestWithParam<LongRow>
{
};

// The streams of the signed copy's Document Security Store under `key`.
std::vector<QByteArray> kept(const QString& pdf, const char* key)
{
    std::vector<QByteArray> out;
    QPDF document;
    document.processFile(pdf.toLocal8Bit().constData());
    QPDFObjectHandle list = document.getRoot().getKey("/DSS").getKey(key);
    for (int i = 0; list.isArray() && i < list.getArrayNItems(); ++i) {
        const auto data = list.getArrayItem(i).getStreamData(qpdf_dl_generalized);
        out.emplace_back(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
    }
    return out;
}

// A signature asked to last keeps, in revisions of its own, the answers that its certificate was
// good (its authority's OCSP responder asked, or its revocation list from a folder) and a
// document time stamp over all of it; openssl checks the kept answer and the stamp, pdfsig the
// signature. A revoked certificate, a responder that does not answer and a folder without an
// answer are one sentence each, and nothing is written.
TEST_P(LongTerm, WhatChecksASignatureLaterIsKeptOrNothingIsWritten)
{
    const LongRow& row = GetParam();
    QTemporaryDir dir;
    LocalAuthority authority(dir.path());
    ASSERT_TRUE(authority.ok());
    const QString p12 = authority.issueSigner(row.how == Validation::Revoked);
    ASSERT_FALSE(p12.isEmpty());
    authority.statusesAnswered = row.how != Validation::NoAnswer;
    writtenFile(dir.path(), "password", "pw\n");
    writtenFile(dir.path(), "contract.pdf", twoPages());
    QDir().mkpath(authority.file("offline"));
    if (row.how == Validation::Offline)
        QFile::copy(authority.file("crl.pem"), authority.file("offline/list.pem"));
    if (row.how == Validation::StaleOcsp || row.how == Validation::StaleList)
        writtenFile(authority.file("offline"), "stale.der", staleAnswer(authority, row.how == Validation::StaleOcsp));
    const QString out = authority.file("signed.pdf");
    QStringList args{"--stamp", authority.file("contract.pdf"), "--at", "20,30", "--sign-with", p12,
                     "--password-file", authority.file("password"), "--tsa", authority.url(),
                     "--tsa-timeout", "5", "-o", out};
    if (row.how == Validation::Offline || row.how == Validation::NothingOffline ||
        row.how == Validation::StaleOcsp || row.how == Validation::StaleList)
        args << "--ltv-offline" << authority.file("offline");
    else
        args << "--ltv";
    if (row.archived)
        args << "--archive-timestamp";
    const Outcome signedCopy = render(args);
    ASSERT_EQ(signedCopy.code, row.exitCode) << signedCopy.err.toStdString();
    if (row.exitCode != 0) {
        EXPECT_TRUE(signedCopy.err.contains(QString::fromUtf8(row.said))) << signedCopy.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << "never a signature without what was asked for";
        return;
    }
    const Outcome verified = render({"--verify", out});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QString::fromUtf8(row.said))) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("certificate's issuer not trusted")))
        << "a chain to an untrusted root is not a self-signed certificate";
    EXPECT_TRUE(run(QStringLiteral("qpdf"), {"--check", out}).contains(QStringLiteral("No syntax or stream encoding errors")));
    EXPECT_TRUE(run(QStringLiteral("pdfsig"), {out}).contains(QStringLiteral("Signature is Valid")));

    // What was kept, checked by openssl: the signer's answer against its authority.
    const auto ocsps = kept(out, "/OCSPs"), crls = kept(out, "/CRLs");
    EXPECT_EQ(kept(out, "/Certs").size(), 3u) << "the signer, its root and the time-stamping authority";
    if (row.how == Validation::Online) {
        ASSERT_EQ(ocsps.size(), 1u);
        writtenFile(dir.path(), "kept.ocsp", ocsps[0]);
        EXPECT_TRUE(run(QStringLiteral("openssl"),
                        {"ocsp", "-respin", authority.file("kept.ocsp"), "-CAfile", authority.file("ca.pem"),
                         "-issuer", authority.file("ca.pem"), "-cert", authority.file("me.pem"),
                         "-no_nonce"})
                        .contains(QStringLiteral(": good")));
    } else {
        ASSERT_EQ(crls.size(), 1u);
        writtenFile(dir.path(), "kept.crl", crls[0]);
        EXPECT_EQ(status(QStringLiteral("openssl"), {"crl", "-inform", "DER", "-in", authority.file("kept.crl"),
                                                     "-CAfile", authority.file("ca.pem"), "-noout"}),
                  0);
    }
    if (!row.archived)
        return;
    EXPECT_TRUE(verified.out.contains(QStringLiteral(
        "document time-stamp by Sorvex Test TSA, ")) && verified.out.contains(QStringLiteral(
        "issued by Sorvex Test Root (ETSI.RFC3161); covers the whole document")))
        << verified.out.toStdString();
    // The document time stamp, over every byte before its own value.
    QFile signedFile(out);
    ASSERT_TRUE(signedFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = signedFile.readAll();
    const QRegularExpressionMatch ranges =
        QRegularExpression(QStringLiteral("/ByteRange *\\[ *0 +(\\d+) +(\\d+) +(\\d+) *\\]"))
            .globalMatch(QString::fromLatin1(bytes))
            .next();
    QRegularExpressionMatch last;
    for (auto all = QRegularExpression(QStringLiteral("/ByteRange *\\[ *0 +(\\d+) +(\\d+) +(\\d+) *\\]"))
                        .globalMatch(QString::fromLatin1(bytes));
         all.hasNext();)
        last = all.next();
    ASSERT_NE(last.captured(1), ranges.captured(1)) << "a revision of its own";
    const qsizetype from = last.captured(1).toLongLong(), to = last.captured(2).toLongLong();
    EXPECT_EQ(to + last.captured(3).toLongLong(), bytes.size());
    writtenFile(dir.path(), "covered", bytes.left(from) + bytes.mid(to));
    writtenFile(dir.path(), "stamp.tst", QByteArray::fromHex(bytes.mid(from + 1, to - from - 2)));
    EXPECT_EQ(status(QStringLiteral("openssl"),
                     {"ts", "-verify", "-in", authority.file("stamp.tst"), "-token_in", "-data",
                      authority.file("covered"), "-CAfile", authority.file("ca.pem"), "-untrusted",
                      authority.file("tsa.pem")}),
              0);
}

// Signing in place while the responder is slow: another program's change to the document
// meanwhile is not overwritten, and a run stopped by a signal then leaves no copy behind.
TEST(LongTermInPlace, KeepsAnotherChangeAndLeavesNothingWhenStopped)
{
    QTemporaryDir dir;
    LocalAuthority authority(dir.path());
    ASSERT_TRUE(authority.ok());
    const QString p12 = authority.issueSigner(false);
    ASSERT_FALSE(p12.isEmpty());
    writtenFile(dir.path(), "password", "pw\n");
    const QString document = writtenFile(dir.path(), "contract.pdf", twoPages());
    const QByteArray changed = twoPages("/Rotate 90");
    authority.whileAsked = [&] { writtenFile(dir.path(), "contract.pdf", changed); };
    const QStringList args{"--stamp", document, "--at", "20,30", "--sign-with", p12, "--password-file",
                           authority.file("password"), "--tsa", authority.url(), "--ltv", "-o", document};
    const Outcome r = render(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("changed while it was being signed"))) << r.err.toStdString();
    QFile kept(document);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), changed) << "the other program's change stays";

    // Stopped by SIGTERM while it waits for the responder: its temporary folder is left empty.
    authority.whileAsked = nullptr;
    authority.silent = true;
    const QString temporaries = authority.file("tmp");
    QDir().mkpath(temporaries);
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), temporaries);
    run.setProcessEnvironment(env);
    run.start(kitDir() + QStringLiteral("sorvex-sign-render"), QStringList(args) << "--tsa-timeout" << "30");
    ASSERT_TRUE(run.waitForStarted());
    const int asked = authority.statusesAsked;
    ASSERT_TRUE(QTest::qWaitFor([&] { return authority.statusesAsked > asked; }, 20000));
    ::kill(pid_t(run.processId()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished(10000));
    EXPECT_EQ(run.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(QDir(temporaries).entryList({QStringLiteral("*sorvex*")},
                                          QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LongTerm,
    testing::Values(
        LongRow{"AskedOfTheResponderAndArchived", Validation::Online, true, 0,
                "level B-LTA, time-stamped"},
        LongRow{"ARevocationListFromAFolder", Validation::Offline, false, 0, "level B-LT, time-stamped"},
        LongRow{"ARevokedCertificate", Validation::Revoked, false, 1,
                "\"Wang Xiaoming\" is revoked: nothing was written"},
        // Both ways of asking are named when both fail.
        LongRow{"NoOneAnswers", Validation::NoAnswer, true, 1, "/crl did not answer (HTTP 404): nothing was written; before that, "},
        LongRow{"AnOcspAnswerTwoYearsOld", Validation::StaleOcsp, false, 1,
                "not revoked is out of date"},
        LongRow{"ARevocationListTwoYearsOld", Validation::StaleList, false, 1,
                "not revoked is out of date"},
        LongRow{"NothingInTheFolder", Validation::NothingOffline, false, 1,
                "no OCSP response or revocation list in the --ltv-offline folder"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
