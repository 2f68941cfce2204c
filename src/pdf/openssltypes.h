#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <openssl/asn1.h>
#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <memory>

// OpenSSL's objects owned as C++ objects are: freed with their own function when they go.
template <typename T, void (*Free)(T*)>
struct OpenSslDeleter
{
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, OpenSslDeleter<T, Free>>;

inline void freeCertificates(STACK_OF(X509)* certificates)
{
    sk_X509_pop_free(certificates, X509_free);
}

// A certificate as DER; empty where it cannot be encoded.
inline QByteArray certificateDer(X509* certificate)
{
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    if (length <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

inline void freeBytes(unsigned char* bytes)
{
    OPENSSL_free(bytes);
}

// The common name of a certificate's subject or issuer as text, whatever string type the
// certificate stores it in (a BMPString is common for Chinese names); the whole name where it
// has none.
inline QString commonName(const X509_NAME* name)
{
    const int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (at < 0) {
        char line[512] = {};
        X509_NAME_oneline(name, line, sizeof line);
        return QString::fromUtf8(line);
    }
    unsigned char* utf8 = nullptr;
    const int length =
        ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
    if (length < 0)
        return {};
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(utf8), length);
    OPENSSL_free(utf8);
    return text;
}

// A certificate's or a signature's time, in UTC; invalid where it has none.
inline QDateTime asnTime(const ASN1_TIME* t)
{
    struct tm when = {};
    if (!t || ASN1_TIME_to_tm(t, &when) != 1)
        return {};
    return QDateTime(QDate(when.tm_year + 1900, when.tm_mon + 1, when.tm_mday),
                     QTime(when.tm_hour, when.tm_min, when.tm_sec), Qt::UTC);
}
