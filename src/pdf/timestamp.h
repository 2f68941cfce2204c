#pragma once

#include "signerror.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

typedef struct CMS_SignerInfo_st CMS_SignerInfo;
typedef struct x509_st X509;
typedef struct x509_store_st X509_STORE;

// Sends a time-stamp request (RFC 3161, DER) to the authority and gives back its reply, or why
// it could not (SignError::Kind::TimeStampUnreachable). Supplied by the programs: the core
// reaches no network.
using TimeStampTransport = std::function<std::variant<QByteArray, SignError>(const QByteArray&)>;

// A time-stamp token (RFC 3161, DER) over data whose SHA-256 digest is `imprint`: asked for with
// a fresh nonce and the authority's certificate, and taken only once the reply says granted,
// carries that nonce and that imprint, and is signed, verifiably, by a certificate for
// time-stamping alone.
std::variant<QByteArray, SignError> requestTimeStamp(const QByteArray& imprint,
                                                     const TimeStampTransport& transport);

// A signature's CMS with a time-stamp token over its signature value among its unsigned
// attributes (id-aa-timeStampToken): the token asked for with a fresh nonce and the signing
// certificate, and taken only once the reply says granted, carries that nonce and that
// imprint, and is signed, verifiably, by a certificate for time-stamping alone that is valid
// and no authority of its own making, at a time within minutes of now and not before the
// signer's certificate was.
std::variant<QByteArray, SignError> addTimeStamp(const QByteArray& cms,
                                                 const TimeStampTransport& transport);

// What a signature's time stamp says, where it has one.
struct TimeStampCheck
{
    // Why a token that is there does not hold.
    enum class Fault {
        None,
        Unreadable,        // no time-stamp token
        NotOver,           // its imprint is not of what it should cover
        NotAuthority,      // not signed by a certificate for time-stamping, or not verifiably
        SelfSigned,        // its authority vouches for itself
        AuthorityNotValid, // its authority's certificate was not valid at the time it gives
        InFuture,          // it gives a time still to come
        BeforeCertificate, // it gives a time before the signer's certificate was valid
    };
    bool present = false;
    bool holds = false; // over this signature's value, signed by a sound authority
    Fault fault = Fault::Unreadable;
    bool trusted = false; // its authority's chain ends in a trusted certificate
    QDateTime time;
    QString authority;  // the common name of the certificate that signed it
    QString issuer;     // and of its issuer
};
// The time stamp among `signer`'s unsigned attributes, where it has one: over its signature
// value, its authority checked against `store` where given, its time against `certificate`'s.
TimeStampCheck checkTimeStamp(CMS_SignerInfo* signer, X509_STORE* store = nullptr,
                              X509* certificate = nullptr);
// What a time-stamp token (DER) says of the data `digestOf` gives the digest of, by the digest
// algorithm (a NID) the token names; none where it cannot. Its authority is checked against
// `store` where given, its time against `notBefore` where given.
TimeStampCheck checkTimeStampToken(const QByteArray& der,
                                   const std::function<std::optional<QByteArray>(int nid)>& digestOf,
                                   X509_STORE* store = nullptr, const QDateTime& notBefore = {});
