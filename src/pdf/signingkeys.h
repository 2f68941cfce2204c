#pragma once

#include "openssltypes.h"
#include "signingidentity.h"
#include "tokenpins.h"

#include <openssl/evp.h>

#include <memory>
#include <mutex>
#include <optional>

// What a signing identity signs with: its key, its certificate and the chain that came with it;
// `hold` keeps what the key lives in (a token's session) for as long as the key, and goes last.
struct SigningIdentity::Keys
{
    std::shared_ptr<void> hold;
    Owned<EVP_PKEY, EVP_PKEY_free> key;
    Owned<X509, X509_free> certificate;
    Owned<STACK_OF(X509), freeCertificates> chain;
    // A token's one session signs one signature at a time; a key in memory signs on any thread.
    std::unique_ptr<std::mutex> oneAtATime = {};
    // A token's key that asks for its PIN at every signature, and where that PIN comes from.
    bool pinEachTime = false;
    std::shared_ptr<PinSource> pins = {};
};

// Why these keys cannot sign here: a kind of key no CMS signature is made with, a certificate
// out of date; none where they can. `path` names where they came from.
std::optional<SignError> unusable(const SigningIdentity::Keys& keys, const QString& path);
