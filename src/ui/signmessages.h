#pragma once

#include "pdf/signerror.h"

#include <QCoreApplication>
#include <QString>

// What went wrong in signing, in the window's words: Chinese, through Qt's translation.
class SignMessages
{
    Q_DECLARE_TR_FUNCTIONS(SignMessages)
public:
    static QString text(const SignError& error);
};
