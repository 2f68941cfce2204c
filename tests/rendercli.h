#pragma once

#include "cli/rendercommand.h"
#include "kit.h"

#include <QStringList>
#include <QTextStream>

// The renderer program run in the test's process on the built kit, as its command line would.
struct Outcome
{
    int code;
    QString out;
    QString err;
};

inline Outcome render(QStringList args)
{
    args.prepend(QStringLiteral("sorvex-sign-render"));
    if (!args.contains(QStringLiteral("--data")))
        args << QStringLiteral("--data") << kitDir();
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = runRenderCommand(args, o, e, false);
    o.flush();
    e.flush();
    return {code, out, err};
}
