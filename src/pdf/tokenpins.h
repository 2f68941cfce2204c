#pragma once

#include "secret.h"

#include <QByteArray>

#include <functional>
#include <mutex>
#include <optional>

typedef struct ui_method_st UI_METHOD;

// Where the PIN comes from when a token asks for it again at a signature (a key marked
// CKA_ALWAYS_AUTHENTICATE, as qualified signature cards are): asked of the person each time,
// never answered behind their back. Without a source the signature is refused.
struct PinSource
{
    std::mutex lock;
    std::function<std::optional<SecretBytes>()> ask;
};

// The method libp11 asks a PIN through, answering from the PinSource given it as user data.
UI_METHOD* pinMethod();

// Whether the token's private key of `keyId` (in the token labelled `token`, of serial `serial`,
// through `module`) asks for its PIN at every use.
bool asksEachTime(const QByteArray& module, const QByteArray& token, const QByteArray& serial,
                  const QByteArray& keyId);
