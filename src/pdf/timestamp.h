#pragma once

#include "signerror.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <variant>

typedef struct CMS_SignerInfo_st CMS_SignerInfo;

// Sends a time-stamp request (RFC 3161, DER) to the authority and gives back its reply, or why
// it could not (SignError::Kind::TimeStampUnreachable). Supplied by the programs: the core
// reaches no network.
using TimeStampTransport = std::function<std::variant<QByteArray, SignError>(const QByteArray&)>;

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
};
TimeStampCheck checkTimeStamp(CMS_SignerInfo* signer);
