#pragma once

// Documents and signing identities made at test time, and the other programs that read them.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdio>

// What a program printed on its standard output.
inline QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Page `page` of a PDF at 254 dpi: ten pixels a millimetre. As a plain pixel map: a PNG of
// the page took pdftoppm six times as long to compress as to draw.
inline QImage pageImage(const QString& pdf, int page, const QString& prefix)
{
    const QString n = QString::number(page);
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("254"), QStringLiteral("-f"), n, QStringLiteral("-l"),
         n, QStringLiteral("-singlefile"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".ppm")).convertToFormat(QImage::Format_RGB32);
}

// A program's exit status, its output thrown away. It sees the machine's own fonts: poppler
// writes a signature's appearance in one of them.
inline int status(const QString& program, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("FONTCONFIG_FILE"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Writes a PKCS#12 file with the password "pw": `key`, `cert` and `chain`, each may be null.
inline void writePkcs12(const QString& path, EVP_PKEY* key, X509* cert, STACK_OF(X509)* chain = nullptr)
{
    PKCS12* p12 = PKCS12_create("pw", "me", key, cert, chain, 0, 0, 0, 0, 0);
    FILE* out = std::fopen(path.toLocal8Bit().constData(), "wb");
    i2d_PKCS12_fp(out, p12);
    std::fclose(out);
    PKCS12_free(p12);
}

// A signing identity of our own, made now: a self-signed certificate and its key in a
// PKCS#12 file with the password "pw", valid from `from` days from now to `to`.
inline QString ownIdentity(const QString& path, int from = -1, int to = 30, bool withKey = true)
{
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), long(from) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), long(to) * 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("王晓明"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
    writePkcs12(path, withKey ? key : nullptr, cert);
    X509_free(cert);
    EVP_PKEY_free(key);
    return path;
}

// A file of `bytes` in `folder`; its path.
inline QString writtenFile(const QString& folder, const char* name, const QByteArray& bytes)
{
    QFile f(folder + u'/' + QString::fromUtf8(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
}

// The rectangles of the annotations written in the clear in `bytes`, in the order written.
inline QList<QRectF> annotationRects(const QByteArray& bytes)
{
    QList<QRectF> rects;
    static const QRegularExpression rect(
        QStringLiteral("/Rect \\[([-0-9.]+) ([-0-9.]+) ([-0-9.]+) ([-0-9.]+)"));
    for (auto it = rect.globalMatch(QString::fromLatin1(bytes)); it.hasNext();) {
        const auto m = it.next();
        rects << QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                        QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))
                     .normalized();
    }
    return rects;
}

// The process's HOME and SOFTHSM2_CONF as they were, put back when it goes: a test that points
// them at a token and a database of its own leaves the tester's alone.
class TokenEnvironment
{
public:
    TokenEnvironment() : home_(qgetenv("HOME")), softhsm_(qgetenv("SOFTHSM2_CONF")) {}
    ~TokenEnvironment()
    {
        qputenv("HOME", home_);
        if (softhsm_.isNull())
            qunsetenv("SOFTHSM2_CONF");
        else
            qputenv("SOFTHSM2_CONF", softhsm_);
    }
    TokenEnvironment(const TokenEnvironment&) = delete;
    TokenEnvironment& operator=(const TokenEnvironment&) = delete;

private:
    QByteArray home_, softhsm_;
};

// A software token "sorvex" (SoftHSM2, PIN 1234, in `folder`) and an NSS database in the home
// `folder`/home, each holding 王晓明's key and certificate under the name "me" and the certificate
// of the authority that issued it, "Sorvex Test Root"; the process's SOFTHSM2_CONF and HOME are
// pointed at them.
inline bool madeTokenAndDatabase(const QString& folder)
{
    const auto path = [&folder](const char* name) { return folder + u'/' + QString::fromUtf8(name); };
    const auto ran = [](const char* program, const QStringList& args) {
        return status(QString::fromLatin1(program), args) == 0;
    };
    const QString module = QStringLiteral("/usr/lib/softhsm/libsofthsm2.so");
    QDir().mkpath(path("tokens"));
    QDir().mkpath(path("home/.pki/nssdb"));
    writtenFile(folder, "softhsm2.conf",
                "directories.tokendir = " + path("tokens").toUtf8() +
                    "\nobjectstore.backend = file\nlog.level = ERROR\n");
    qputenv("SOFTHSM2_CONF", path("softhsm2.conf").toUtf8());
    qputenv("HOME", path("home").toUtf8());
    const QString nss = QStringLiteral("sql:") + path("home/.pki/nssdb");
    return ran("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path("ca.key"),
                           "-out", path("ca.pem"), "-subj", "/CN=Sorvex Test Root", "-days", "30"}) &&
           ran("openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", path("key.pem"),
                           "-out", path("me.csr"), "-subj", "/CN=王晓明", "-utf8"}) &&
           ran("openssl", {"x509", "-req", "-in", path("me.csr"), "-CA", path("ca.pem"), "-CAkey",
                           path("ca.key"), "-CAcreateserial", "-out", path("cert.pem"), "-days", "30"}) &&
           ran("openssl", {"x509", "-in", path("ca.pem"), "-outform", "DER", "-out", path("ca.der")}) &&
           ran("openssl", {"pkcs8", "-topk8", "-nocrypt", "-in", path("key.pem"), "-outform", "DER",
                           "-out", path("key.der")}) &&
           ran("openssl", {"x509", "-in", path("cert.pem"), "-outform", "DER", "-out", path("cert.der")}) &&
           ran("openssl", {"pkcs12", "-export", "-inkey", path("key.pem"), "-in", path("cert.pem"),
                           "-certfile", path("ca.pem"), "-name", "me", "-out", path("me.p12"),
                           "-passout", "pass:pw"}) &&
           ran("softhsm2-util", {"--init-token", "--free", "--label", "sorvex", "--pin", "1234",
                                 "--so-pin", "4321"}) &&
           ran("pkcs11-tool", {"--module", module, "--token-label", "sorvex", "--login", "--pin", "1234",
                               "--write-object", path("key.der"), "--type", "privkey", "--id", "01",
                               "--label", "me"}) &&
           ran("pkcs11-tool", {"--module", module, "--token-label", "sorvex", "--login", "--pin", "1234",
                               "--write-object", path("cert.der"), "--type", "cert", "--id", "01",
                               "--label", "me"}) &&
           ran("pkcs11-tool", {"--module", module, "--token-label", "sorvex", "--login", "--pin", "1234",
                               "--write-object", path("ca.der"), "--type", "cert", "--id", "02",
                               "--label", "root"}) &&
           ran("certutil", {"-N", "-d", nss, "--empty-password"}) &&
           ran("pk12util", {"-i", path("me.p12"), "-d", nss, "-W", "pw"});
}
