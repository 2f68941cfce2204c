#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

// Certificates kept where people keep them besides files: the PKCS#11 tokens p11-kit knows (smart
// cards, USB keys, software tokens) and the user's NSS database (~/.pki/nssdb), as a list of
// certificates to sign with shows them.
struct TokenCertificate
{
    QString source; // what signs with it: a pkcs11: URI, or nss:NICKNAME
    QString token;  // the token's label
    QString name, issuer;
    QDateTime validFrom, validTo;
};

// Every certificate of those tokens and that database; none where there are none or they
// cannot be read. Certificates are public: no PIN is asked.
std::vector<TokenCertificate> tokenCertificates();

// Whether `source` names a certificate in a token or the NSS database rather than a file.
bool isTokenSource(const QString& source);
