// A trusted time for a certificate signature: a time-stamping authority made now, on this
// machine (the openssl command's own, behind a small HTTP server on 127.0.0.1), answering well
// and badly; the signed copy judged by openssl ts -verify and pdfsig.
#include "pdftools.h"
#include "plainpdf.h"
#include "rendercli.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <openssl/cms.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

namespace {

enum class Answer { Grant, Refuse, Garbage, AnotherRequest, Nothing, NotFound };

// An RFC 3161 authority over HTTP, as far as a test needs one: the request read whole, then
// answered as `answer` says.
class LocalAuthority
{
public:
    explicit LocalAuthority(const QString& dir) : dir_(dir)
    {
        const auto openssl = [](const QStringList& args) {
            return status(QStringLiteral("openssl"), args) == 0;
        };
        QFile config(file("ts.cnf"));
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(("[ tsa ]\ndefault_tsa = ours\n[ ours ]\nserial = " + file("serial") +
                      "\ncrypto_device = builtin\nsigner_digest = sha256\ndefault_policy = "
                      "1.2.3.4.1\ndigests = sha256, sha384, sha512\naccuracy = secs:1\nordering = "
                      "yes\ness_cert_id_alg = sha256\n[ refusing ]\nserial = " +
                      file("serial") +
                      "\ncrypto_device = builtin\nsigner_digest = sha256\ndefault_policy = "
                      "1.2.3.4.1\ndigests = sha1\n[ tsa_cert ]\nextendedKeyUsage = "
                      "critical,timeStamping\n")
                         .toUtf8());
        config.close();
        QFile serial(file("serial"));
        EXPECT_TRUE(serial.open(QIODevice::WriteOnly));
        serial.write("01\n");
        serial.close();
        const QString days = QStringLiteral("30");
        ok_ = openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", file("ca.key"),
                       "-out", file("ca.pem"), "-subj", "/CN=Sorvex Test Root", "-days", days}) &&
              openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", file("tsa.key"), "-out",
                       file("tsa.csr"), "-subj", "/CN=Sorvex Test TSA"}) &&
              openssl({"x509", "-req", "-in", file("tsa.csr"), "-CA", file("ca.pem"), "-CAkey",
                       file("ca.key"), "-CAcreateserial", "-out", file("tsa.pem"), "-days", days,
                       "-extfile", file("ts.cnf"), "-extensions", "tsa_cert"});
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
        ok_ = ok_ && server_.listen(QHostAddress::LocalHost);
    }
    bool ok() const { return ok_; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/tsa").arg(server_.serverPort()); }
    QString file(const char* name) const { return dir_ + u'/' + QString::fromLatin1(name); }
    Answer answer = Answer::Grant;
    int asked = 0;

private:
    void accept()
    {
        QTcpSocket* socket = server_.nextPendingConnection();
        auto* received = new QByteArray;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            const qsizetype end = received->indexOf("\r\n\r\n");
            const QRegularExpressionMatch length =
                QRegularExpression(QStringLiteral("Content-Length: *(\\d+)"),
                                   QRegularExpression::CaseInsensitiveOption)
                    .match(QString::fromLatin1(received->left(end)));
            if (end < 0 || !length.hasMatch() || received->size() < end + 4 + length.captured(1).toInt())
                return;
            ++asked;
            respond(socket, received->mid(end + 4));
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, received] {
            delete received;
            socket->deleteLater();
        });
    }

    void respond(QTcpSocket* socket, const QByteArray& query)
    {
        if (answer == Answer::Nothing)
            return;
        QByteArray body = "not a time-stamp reply";
        QByteArray code = "200 OK";
        QFile q(file("query.tsq"));
        q.open(QIODevice::WriteOnly);
        q.write(query);
        q.close();
        if (answer == Answer::AnotherRequest)
            status(QStringLiteral("openssl"),
                              {"ts", "-query", "-data", file("ts.cnf"), "-sha256", "-cert", "-out",
                               file("query.tsq")});
        if (answer == Answer::Grant || answer == Answer::Refuse || answer == Answer::AnotherRequest) {
            status(QStringLiteral("openssl"),
                              {"ts", "-reply", "-config", file("ts.cnf"), "-section",
                               answer == Answer::Refuse ? "refusing" : "ours", "-queryfile",
                               file("query.tsq"), "-signer", file("tsa.pem"), "-inkey",
                               file("tsa.key"), "-chain", file("ca.pem"), "-out", file("reply.tsr")});
            QFile reply(file("reply.tsr"));
            reply.open(QIODevice::ReadOnly);
            body = reply.readAll();
        }
        if (answer == Answer::NotFound)
            code = "404 Not Found";
        socket->write("HTTP/1.1 " + code + "\r\nContent-Type: application/timestamp-reply\r\n" +
                      "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QString dir_;
    QTcpServer server_;
    bool ok_ = false;
};

// The signature value's CMS in a signed copy: the gap its last byte ranges leave.
QByteArray lastSignature(const QString& pdf)
{
    QFile f(pdf);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    QRegularExpressionMatch ranges;
    QRegularExpressionMatchIterator all =
        QRegularExpression(QStringLiteral("/ByteRange *\\[ *0 +(\\d+) +(\\d+)")).globalMatch(QString::fromLatin1(bytes));
    while (all.hasNext())
        ranges = all.next();
    const qsizetype from = ranges.captured(1).toLongLong(), to = ranges.captured(2).toLongLong();
    return QByteArray::fromHex(bytes.mid(from + 1, to - from - 2));
}

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

    // The token, taken out of the signature, checked by openssl against the signature's value
    // and the authority's root.
    const QByteArray cms = lastSignature(out);
    const auto* p = reinterpret_cast<const unsigned char*>(cms.constData());
    CMS_ContentInfo* content = d2i_CMS_ContentInfo(nullptr, &p, long(cms.size()));
    ASSERT_NE(content, nullptr);
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(content), 0);
    const ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(signer);
    const QByteArray imprint = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)), ASN1_STRING_length(value)),
        QCryptographicHash::Sha256);
    X509_ATTRIBUTE* attribute =
        CMS_unsigned_get_attr(signer, CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1));
    ASSERT_NE(attribute, nullptr);
    const ASN1_STRING* token = X509_ATTRIBUTE_get0_type(attribute, 0)->value.sequence;
    QFile tokenFile(authority.file("token.der"));
    ASSERT_TRUE(tokenFile.open(QIODevice::WriteOnly));
    tokenFile.write(reinterpret_cast<const char*>(ASN1_STRING_get0_data(token)), ASN1_STRING_length(token));
    tokenFile.close();
    CMS_ContentInfo_free(content);
    EXPECT_EQ(status(QStringLiteral("openssl"),
                                {"ts", "-verify", "-in", tokenFile.fileName(), "-token_in",
                                 "-digest", QString::fromLatin1(imprint.toHex()), "-CAfile",
                                 authority.file("ca.pem"), "-untrusted", authority.file("tsa.pem")}),
              0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TimeStamps,
    testing::Values(Row{"Granted", Answer::Grant, 0, "level B-T, time-stamped"},
                    Row{"Refused", Answer::Refuse, 1, "refused the request"},
                    Row{"Garbage", Answer::Garbage, 1, "no time-stamp reply"},
                    Row{"ForAnotherRequest", Answer::AnotherRequest, 1, "for another request"},
                    Row{"AnError", Answer::NotFound, 1, "HTTP 404"},
                    Row{"NoAnswer", Answer::Nothing, 1, "no answer within 2 s"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
