#pragma once

#include "signerror.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

typedef struct CMS_SignerInfo_st CMS_SignerInfo;

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
// imprint, and is signed, verifiably, by a certificate for time-stamping alone.
std::variant<QByteArray, SignError> addTimeStamp(const QByteArray& cms,
                                                 const TimeStampTransport& transport);

// What a signature's time stamp says, where it has one.
struct TimeStampCheck
{
    bool present = false;
    bool holds = false; // over this signature's value, signed by its authority
    QDateTime time;
    QString authority;  // the common name of the certificate that signed it
    QString issuer;     // and of its issuer
};
TimeStampCheck checkTimeStamp(CMS_SignerInfo* signer);
// What a time-stamp token (DER) says of the data `digestOf` gives the digest of, by the digest
// algorithm (a NID) the token names; none where it cannot.
TimeStampCheck checkTimeStampToken(const QByteArray& der,
                                   const std::function<std::optional<QByteArray>(int nid)>& digestOf);
