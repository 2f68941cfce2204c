#pragma once

// A time-stamping authority and a certificate authority's OCSP responder and revocation list,
// made now on this machine (the openssl command's own, behind a small HTTP server on
// 127.0.0.1), answering well and badly, for the tests that sign with trusted time.
#include "forgery.h"
#include "pdftools.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <openssl/cms.h>
#include <openssl/ts.h>

#include <gtest/gtest.h>

#include <functional>

enum class Answer { Grant, Refuse, Garbage, AnotherRequest, Nothing, NotFound, Crafted };

// A time-stamp reply to `query` made here, by `authority` (its chain with it), at `when`: what an
// authority that lies about itself or about the time would answer.
inline QByteArray craftedReply(const QByteArray& query, const TestSigner& authority,
                        const std::vector<const TestSigner*>& chain, time_t when)
{
    TS_RESP_CTX* context = TS_RESP_CTX_new();
    TS_RESP_CTX_set_signer_cert(context, authority.cert.get());
    TS_RESP_CTX_set_signer_key(context, authority.key.get());
    ASN1_OBJECT* policy = OBJ_txt2obj("1.2.3.4.1", 1);
    TS_RESP_CTX_set_def_policy(context, policy);
    TS_RESP_CTX_add_md(context, EVP_sha256());
    STACK_OF(X509)* certificates = sk_X509_new_null();
    for (const TestSigner* c : chain)
        sk_X509_push(certificates, c->cert.get());
    TS_RESP_CTX_set_certs(context, certificates);
    static time_t at;
    at = when;
    TS_RESP_CTX_set_time_cb(
        context, [](TS_RESP_CTX*, void*, long* seconds, long* micros) {
            *seconds = long(at);
            *micros = 0;
            return 1;
        },
        nullptr);
    BIO* in = BIO_new_mem_buf(query.constData(), int(query.size()));
    TS_RESP* response = TS_RESP_create_response(context, in);
    unsigned char* der = nullptr;
    const int length = response ? i2d_TS_RESP(response, &der) : 0;
    const QByteArray reply(reinterpret_cast<const char*>(der), std::max(length, 0));
    OPENSSL_free(der);
    TS_RESP_free(response);
    BIO_free(in);
    sk_X509_free(certificates);
    ASN1_OBJECT_free(policy);
    TS_RESP_CTX_free(context);
    return reply;
}

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
    // Whether the time-stamp token of the last signature of `pdf`, taken out of it, is this
    // authority's over that signature's value, as openssl checks it.
    bool tokenVerifies(const QString& pdf) const
    {
        QFile f(pdf);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = f.readAll();
        QRegularExpressionMatch ranges;
        for (auto all = QRegularExpression(QStringLiteral("/ByteRange *\\[ *0 +(\\d+) +(\\d+)"))
                            .globalMatch(QString::fromLatin1(bytes));
             all.hasNext();)
            ranges = all.next();
        const qsizetype from = ranges.captured(1).toLongLong(), to = ranges.captured(2).toLongLong();
        const QByteArray cms = QByteArray::fromHex(bytes.mid(from + 1, to - from - 2));
        const auto* p = reinterpret_cast<const unsigned char*>(cms.constData());
        CMS_ContentInfo* content = d2i_CMS_ContentInfo(nullptr, &p, long(cms.size()));
        if (!content)
            return false;
        CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(content), 0);
        const ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(signer);
        const QByteArray imprint = QCryptographicHash::hash(
            QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)), ASN1_STRING_length(value)),
            QCryptographicHash::Sha256);
        const int at = CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1);
        X509_ATTRIBUTE* attribute = at >= 0 ? CMS_unsigned_get_attr(signer, at) : nullptr;
        bool written = false;
        if (attribute) {
            const ASN1_STRING* token = X509_ATTRIBUTE_get0_type(attribute, 0)->value.sequence;
            QFile tokenFile(file("token.der"));
            written = tokenFile.open(QIODevice::WriteOnly) &&
                      tokenFile.write(reinterpret_cast<const char*>(ASN1_STRING_get0_data(token)),
                                      ASN1_STRING_length(token)) > 0;
        }
        CMS_ContentInfo_free(content);
        return written &&
               status(QStringLiteral("openssl"),
                      {"ts", "-verify", "-in", file("token.der"), "-token_in", "-digest",
                       QString::fromLatin1(imprint.toHex()), "-CAfile", file("ca.pem"), "-untrusted",
                       file("tsa.pem")}) == 0;
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/tsa").arg(server_.serverPort()); }
    QString file(const char* name) const { return dir_ + u'/' + QString::fromLatin1(name); }
    Answer answer = Answer::Grant;
    std::function<QByteArray(const QByteArray&)> craft; // the reply, with Answer::Crafted
    int asked = 0;

private:
    void accept()
    {
        QTcpSocket* socket = server_.nextPendingConnection();
        auto* received = new QByteArray;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            const qsizetype end = received->indexOf("\r\n\r\n");
            const QString path = QString::fromLatin1(received->split(' ').value(1));
            if (end >= 0 && received->startsWith("GET "))
                return respond(socket, path, {});
            const QRegularExpressionMatch length =
                QRegularExpression(QStringLiteral("Content-Length: *(\\d+)"),
                                   QRegularExpression::CaseInsensitiveOption)
                    .match(QString::fromLatin1(received->left(end)));
            if (end < 0 || !length.hasMatch() || received->size() < end + 4 + length.captured(1).toInt())
                return;
            respond(socket, path, received->mid(end + 4));
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, received] {
            delete received;
            socket->deleteLater();
        });
    }

    void respond(QTcpSocket* socket, const QString& path, const QByteArray& query)
    {
        if (path != QLatin1String("/tsa"))
            return answerStatus(socket, path, query);
        ++asked;
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
        if (answer == Answer::Crafted)
            body = craft(query);
        socket->write("HTTP/1.1 " + code + "\r\nContent-Type: application/timestamp-reply\r\n" +
                      "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    // The certificate authority's own answers about the certificates it issued: its OCSP
    // responder (the openssl command answering one request) and its revocation list.
    void answerStatus(QTcpSocket* socket, const QString& path, const QByteArray& query)
    {
        ++statusesAsked;
        if (whileAsked)
            whileAsked();
        if (silent)
            return;
        QByteArray body, code = "404 Not Found";
        if (statusesAnswered && path == QLatin1String("/ocsp")) {
            QFile q(file("status.req"));
            q.open(QIODevice::WriteOnly);
            q.write(query);
            q.close();
            status(QStringLiteral("openssl"),
                   {"ocsp", "-index", file("index.txt"), "-CA", file("ca.pem"), "-rsigner",
                    file("ca.pem"), "-rkey", file("ca.key"), "-reqin", file("status.req"),
                    "-respout", file("status.der"), "-ndays", "1"});
            QFile reply(file("status.der"));
            reply.open(QIODevice::ReadOnly);
            body = reply.readAll();
            code = "200 OK";
        } else if (statusesAnswered && path == QLatin1String("/crl")) {
            QFile list(file("crl.pem"));
            list.open(QIODevice::ReadOnly);
            body = list.readAll();
            code = "200 OK";
        }
        socket->write("HTTP/1.1 " + code + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QString dir_;
    QTcpServer server_;
    bool ok_ = false;

public:
    bool statusesAnswered = true;
    bool silent = false;             // its responder takes a request and never answers
    int statusesAsked = 0;
    std::function<void()> whileAsked; // what happens elsewhere while the responder is asked
    // A signing identity "me.p12" (password "pw") this authority issued, its chain with it,
    // naming the authority's OCSP responder and revocation list; listed as revoked or not, in
    // the responder's index and the list.
    QString issueSigner(bool revoked)
    {
        const auto openssl = [](const QStringList& args) {
            return status(QStringLiteral("openssl"), args) == 0;
        };
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort());
        QFile extensions(file("signer.cnf"));
        extensions.open(QIODevice::WriteOnly);
        extensions.write(("[ signer ]\nauthorityInfoAccess = OCSP;URI:" + base + "/ocsp\n" +
                          "crlDistributionPoints = URI:" + base + "/crl\n" +
                          "keyUsage = critical, digitalSignature, nonRepudiation\n" +
                          "[ ca ]\ndefault_ca = ours\n[ ours ]\ndatabase = " + file("index.txt") +
                          "\ncrlnumber = " + file("crlnumber") +
                          "\ndefault_md = sha256\ndefault_crl_days = 1\n")
                             .toUtf8());
        extensions.close();
        if (!openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", file("me.key"), "-out",
                      file("me.csr"), "-subj", "/CN=Wang Xiaoming"}) ||
            !openssl({"x509", "-req", "-in", file("me.csr"), "-CA", file("ca.pem"), "-CAkey",
                      file("ca.key"), "-CAcreateserial", "-out", file("me.pem"), "-days", "30",
                      "-extfile", file("signer.cnf"), "-extensions", "signer"}) ||
            !openssl({"pkcs12", "-export", "-inkey", file("me.key"), "-in", file("me.pem"),
                      "-certfile", file("ca.pem"), "-out", file("me.p12"), "-passout", "pass:pw"}))
            return {};
        const QString serial =
            run(QStringLiteral("openssl"), {"x509", "-in", file("me.pem"), "-noout", "-serial"})
                .trimmed()
                .section(u'=', 1);
        const QString format = QStringLiteral("yyMMddHHmmss'Z'");
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QFile index(file("index.txt")), number(file("crlnumber"));
        index.open(QIODevice::WriteOnly);
        index.write(((revoked ? "R\t" : "V\t") + now.addDays(30).toString(format) + u'\t' +
                     (revoked ? now.addSecs(-3600).toString(format) : QString()) + u'\t' + serial +
                     "\tunknown\t/CN=Wang Xiaoming\n")
                        .toUtf8());
        index.close();
        number.open(QIODevice::WriteOnly);
        number.write("01\n");
        number.close();
        if (!openssl({"ca", "-config", file("signer.cnf"), "-gencrl", "-keyfile", file("ca.key"),
                      "-cert", file("ca.pem"), "-out", file("crl.pem")}))
            return {};
        return file("me.p12");
    }
};
