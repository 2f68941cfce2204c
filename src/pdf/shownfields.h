#pragma once

#include "secret.h"
#include "signerror.h"

#include <QByteArray>
#include <QString>

#include <variant>

// A viewer that knows no forms draws no field, signatures among them: a second signer would
// not see the first's signature and could cover it. What such a viewer is given instead: an
// update, to follow the document's own bytes and never written to any file, in which every
// field's widget that has an appearance is a stamp showing that appearance. Empty where the
// document has no such widget.
std::variant<QByteArray, SignError> fieldsAsStamps(const QString& path,
                                                   const SecretBytes* password = nullptr);
