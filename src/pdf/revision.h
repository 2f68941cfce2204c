#pragma once

#include "signerror.h"
#include "stamp.h"

#include <QByteArray>

#include <array>
#include <functional>
#include <optional>
#include <variant>

class OpenDocument;
struct SignatureSlot;

// What goes into a signature's slot, made from the SHA-256 digest of the bytes its ranges
// cover, and checked before it is given; or why it cannot be made.
using SlotValue = std::function<std::variant<QByteArray, SignError>(const QByteArray& digest)>;

// The update written after the document's bytes, as the copy's; where it holds a signature's
// room, `slot` says where.
std::optional<SignError> appendUpdate(OpenDocument& document, class IncrementalUpdate& update,
                                     SignedCopy& copy, std::optional<SignatureSlot>& slot);

// Fills in the signature at `slot` of the copy's update: its byte ranges, everything but its
// own value, then the value. Its byte ranges.
std::variant<std::array<qint64, 4>, SignError> completeSlot(SignedCopy& copy,
                                                            const SignatureSlot& slot,
                                                            const SlotValue& value);

// Reads the copy back as a reader would: `pages` pages, nothing to mend, and where there is a
// signature (object `valueNumber`), its byte ranges those written.
std::optional<SignError> readBack(OpenDocument& document, const SignedCopy& copy, int pages,
                                  std::optional<int> valueNumber,
                                  const std::array<qint64, 4>& ranges);
