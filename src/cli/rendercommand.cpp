#include "rendercommand.h"

#include "app/startup.h"
#include "batch.h"
#include "drawing.h"
#include "drawn.h"
#include "options.h"
#include "sheet.h"
#include "stamp.h"
#include "layoutjson.h"
#include "verify.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

namespace {

// A message is one line: control characters a file name may hold are written as escapes, so
// that none splits it and no second line can read as something else.
QString oneLine(const QString& message)
{
    QString line;
    for (const QChar c : message) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            line += QStringLiteral("\\n");
        else if (u == u'\r')
            line += QStringLiteral("\\r");
        else if (u == u'\t')
            line += QStringLiteral("\\t");
        else if (u < 0x20 || u == 0x7f || u == 0x2028 || u == 0x2029 || (u >= 0x80 && u < 0xa0))
            line += QStringLiteral("\\x{%1}").arg(int(u), 0, 16);
        else
            line += c;
    }
    return line;
}

int fail(QTextStream& err, const Failure& f)
{
    err << "sorvex-sign-render: " << oneLine(f.message) << Qt::endl;
    return f.code;
}

void listCatalogue(const Catalogue& catalogue, QTextStream& out)
{
    out << "styles:" << Qt::endl;
    for (qsizetype i = 0; i < catalogue.styles.size(); ++i)
        out << "  " << i << '\t' << catalogue.styles[i].name << Qt::endl;
    out << "backgrounds:" << Qt::endl;
    for (qsizetype i = 0; i < catalogue.backgrounds.size(); ++i)
        out << "  " << i << '\t' << catalogue.backgrounds[i].name << Qt::endl;
}

} // namespace

int runRenderCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                     bool progressOnTerminal, const QString& program)
{
    const auto parsed = parseOptions(arguments);
    if (const auto* failure = std::get_if<Failure>(&parsed))
        return fail(err, *failure);
    Options options = std::get<Options>(parsed);
    options.progressOnTerminal = progressOnTerminal;
    if (!options.helpText.isEmpty() || !options.versionText.isEmpty()) {
        out << options.helpText << options.versionText << Qt::flush;
        return ExitOk;
    }

    if (!options.verifyFile.isEmpty()) {
        if (auto failure = verifyDocument(options, out))
            return fail(err, *failure);
        return ExitOk;
    }
    // A signature written by hand needs no kit.
    if (!options.drawnFile.isEmpty()) {
        if (auto failure = drawDrawnSignature(options, out, err))
            return fail(err, *failure);
        return ExitOk;
    }
    const QString dataDir = kitFolder(options);
    // The rules need no kit: the kit builder asks for them before there is one.
    if (options.layoutJson && !QFileInfo(dataDir).isDir()) {
        out << QJsonDocument(QJsonObject{{QStringLiteral("rules"), rulesJson()}})
                   .toJson(QJsonDocument::Compact)
            << Qt::endl;
        return ExitOk;
    }
    if (!QFileInfo(dataDir).isDir())
        return fail(err, {ExitFailure, QStringLiteral("no data folder at %1").arg(dataDir)});
    ConsolePlatform platform(err);
    const ProgramValues values = startProgram(dataDir, platform);
    const Catalogue catalogue = loadCatalogue(values.appPath);
    for (const QString& problem : catalogue.problems)
        platform.showMessage(problem, AppTitle, Platform::Icon::Warning);
    if (options.list) {
        listCatalogue(catalogue, out);
        return ExitOk;
    }

    if (!options.batchFile.isEmpty() && !options.sheet && !options.layoutJson &&
        options.stampFile.isEmpty())
        return runBatch(options, values, catalogue, out, err, progressOnTerminal, program);
    SignatureRenderer renderer(values, catalogue, err);
    if (options.layoutJson) {
        const auto layout = renderer.layoutOf(options.job);
        if (const auto* failure = std::get_if<Failure>(&layout))
            return fail(err, *failure);
        out << QJsonDocument(QJsonObject{{QStringLiteral("rules"), rulesJson()},
                                         {QStringLiteral("layout"), std::get<QJsonObject>(layout)}})
                   .toJson(QJsonDocument::Compact)
            << Qt::endl;
        return ExitOk;
    }
    if (options.sheet) {
        if (auto failure = drawSheet(options, catalogue, renderer))
            return fail(err, *failure);
        return ExitOk;
    }
    if (!options.stampFile.isEmpty() || !options.stampBatchFile.isEmpty()) {
        if (auto failure = stampDocument(options, renderer, out, err))
            return fail(err, *failure);
        return ExitOk;
    }
    if (auto failure = drawJob(renderer, options.job, options.report, out, writeTo(options.job)))
        return fail(err, *failure);
    return ExitOk;
}
