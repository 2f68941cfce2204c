#include "documentbatch.h"

#include "base/csvtable.h"
#include "base/regularfile.h"
#include "base/text.h"
#include "options.h"
#include "pdf/pagelist.h"
#include "pdf/signingbatch.h"
#include "signmessages.h"
#include "stampoptions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QTextStream>
#include <QThread>

#include <sys/stat.h>

#include <atomic>

namespace {

constexpr qint64 LargestList = 64 * 1024 * 1024;

// The file a path names, as the file system knows it: two names of one file are one output.
QString canonical(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absoluteDir().canonicalPath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName());
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat x = {}, y = {};
    return ::stat(encodeFileName(a).constData(), &x) == 0 &&
           ::stat(encodeFileName(b).constData(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

Failure rowFailure(const QString& why)
{
    return Failure{ExitBadArguments, why};
}

// A row of the list made into a document to sign: its fields over what the command line says.
DocumentRow fromList(const QStringList& f, qsizetype number, const Options& options,
                     const QDir& listFolder, const QDir& outputFolder)
{
    DocumentRow row;
    row.number = number;
    row.place = options.stamp;
    const QString input = f.value(0).trimmed(), output = f.value(1).trimmed();
    if (input.isEmpty() || output.isEmpty()) {
        row.refused = rowFailure(QStringLiteral("a row names the document to sign and the file to "
                                                "write, in its first two fields"));
        return row;
    }
    row.input = QDir::cleanPath(listFolder.absoluteFilePath(input));
    row.output = QDir::cleanPath(outputFolder.absoluteFilePath(output));
    if (!row.output.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        row.refused = rowFailure(QStringLiteral("the output %1 is not a .pdf file").arg(output));
        return row;
    }
    if (const QString pages = f.value(2).trimmed(); !pages.isEmpty()) {
        row.place.pages = pages;
        if (const auto problem = pageListProblem(pages)) {
            row.refused = signingFailure(*problem);
            return row;
        }
    }
    if (const QString at = f.value(3).trimmed(); !at.isEmpty()) {
        const auto place = placeOf(at);
        if (!place) {
            row.refused = rowFailure(QStringLiteral("position \"%1\" is not X,Y in millimetres on a page").arg(at));
            return row;
        }
        row.place.atMm = *place;
    } else if (!options.stampAtGiven) {
        row.refused = rowFailure(QStringLiteral("no place for the signature: the row gives no X,Y and "
                                                "there is no --at"));
        return row;
    }
    if (const QString width = f.value(4).trimmed(); !width.isEmpty()) {
        const auto mm = widthOf(width);
        if (!mm) {
            row.refused = rowFailure(QStringLiteral("width \"%1\" is not a width in millimetres").arg(width));
            return row;
        }
        row.place.widthMm = *mm;
    }
    if (!f.value(5).trimmed().isEmpty())
        row.place.field = f.value(5).trimmed();
    if (!f.value(6).isEmpty())
        row.place.reason = f.value(6);
    if (!f.value(7).isEmpty())
        row.place.location = f.value(7);
    return row;
}

// The progress line a terminal shows: how many are done of all, how many failed, how fast,
// and how long the rest will take at that pace.
void showProgress(QTextStream& err, qsizetype done, qsizetype total, qsizetype failed,
                  qint64 elapsedMs)
{
    const double rate = elapsedMs > 0 ? done * 1000.0 / elapsedMs : 0;
    const qint64 left = rate > 0 ? qint64((total - done) / rate) : 0;
    err << "\r" << done << '/' << total << " signed or failed, " << failed << " failed, "
        << QString::number(rate, 'f', 1) << "/s, " << left << " s left   " << Qt::flush;
}

QString levelName(SignatureLevel level)
{
    switch (level) {
    case SignatureLevel::BB:
        return QStringLiteral("B-B");
    case SignatureLevel::BT:
        return QStringLiteral("B-T");
    case SignatureLevel::BLT:
        return QStringLiteral("B-LT");
    case SignatureLevel::BLTA:
        return QStringLiteral("B-LTA");
    }
    return {};
}

} // namespace

std::variant<std::vector<DocumentRow>, Failure> documentRows(const Options& options)
{
    std::vector<DocumentRow> rows;
    const QDir outputFolder(options.job.output);
    if (!options.stampBatchFile.isEmpty()) {
        QString why;
        const auto bytes = readRegularFile(options.stampBatchFile, LargestList, &why);
        if (!bytes)
            return Failure{ExitFailure, QStringLiteral("cannot read %1: %2").arg(options.stampBatchFile, why)};
        const CsvTable table = readCsv(*bytes);
        if (table.unclosedQuote)
            return Failure{ExitFailure, QStringLiteral("row %1: a quoted field never closes; nothing "
                                                       "was signed")
                                            .arg(*table.unclosedQuote + 1)};
        const QDir listFolder = QFileInfo(options.stampBatchFile).absoluteDir();
        for (qsizetype i = 0; i < table.size(); ++i) {
            CsvTable::Fault fault = CsvTable::Fault::None;
            const QStringList fields = table.row(i, &fault);
            DocumentRow row = fault == CsvTable::Fault::None
                                  ? fromList(fields, i + 1, options, listFolder, outputFolder)
                                  : DocumentRow{i + 1, {}, {}, options.stamp,
                                                rowFailure(QStringLiteral("the row cannot be read as "
                                                                          "UTF-8 or GB18030 text"))};
            rows.push_back(row);
        }
    } else {
        const QDir folder(options.stampFile);
        const QStringList names = folder.entryList({QStringLiteral("*.pdf"), QStringLiteral("*.PDF")},
                                                   QDir::Files, QDir::Name | QDir::IgnoreCase);
        for (qsizetype i = 0; i < names.size(); ++i)
            rows.push_back({i + 1, folder.absoluteFilePath(names[i]),
                            outputFolder.absoluteFilePath(names[i]), options.stamp, std::nullopt});
    }
    // Outputs never overwrite each other, nor their inputs unless asked: found before anything
    // is written, the later row refused.
    QHash<QString, qsizetype> taken;
    for (DocumentRow& row : rows) {
        if (row.refused)
            continue;
        const QString key = canonical(row.output);
        if (const auto it = taken.constFind(key); it != taken.constEnd()) {
            row.refused = rowFailure(QStringLiteral("its output %1 is row %2's too").arg(row.output).arg(*it));
            continue;
        }
        taken.insert(key, row.number);
        if (!options.overwriteInputs && (key == canonical(row.input) || sameFile(row.input, row.output)))
            row.refused = rowFailure(QStringLiteral("its output is its input; --overwrite-inputs "
                                                    "signs a document in place"));
    }
    std::vector<DocumentRow> mine;
    for (DocumentRow& row : rows)
        if ((row.number - 1) % options.shardCount == options.shardIndex - 1)
            mine.push_back(std::move(row));
    return mine;
}

std::optional<Failure> signDocuments(const Options& options, const std::vector<DocumentRow>& rows,
                                     const SigningJob& base, const QJsonObject& drawn, QTextStream& out,
                                     QTextStream& err, bool progressOnTerminal)
{
    const qsizetype total = qsizetype(rows.size());
    // Each worker signs one document at a time: its bytes, read as qpdf asks, and its update.
    const int workers = int(std::clamp<qsizetype>(
        options.jobs > 0 ? options.jobs : QThread::idealThreadCount(), 1, std::max<qsizetype>(total, 1)));
    std::atomic<qsizetype> done = 0, failed = 0;
    std::atomic<bool> stop = false;
    QMutex said;
    QElapsedTimer clock;
    clock.start();
    // What was drawn is said once, before the rows.
    if (options.report) {
        QJsonObject head = drawn;
        head.insert(QStringLiteral("documents"), total);
        out << QJsonDocument(head).toJson(QJsonDocument::Compact) << Qt::endl;
    }
    // Rows refused before signing are said first; the rest are signed.
    std::vector<BatchDocument> documents;
    std::vector<const DocumentRow*> signing;
    const auto say = [&](const DocumentRow& row, QJsonObject line, const std::optional<Failure>& failure) {
        line.insert(QStringLiteral("row"), row.number);
        line.insert(QStringLiteral("input"), row.input);
        line.insert(QStringLiteral("output"), row.output);
        line.insert(QStringLiteral("signed"), !failure);
        const QMutexLocker locked(&said);
        const qsizetype finished = ++done;
        if (failure) {
            ++failed;
            if (options.stopOnError)
                stop = true;
            err << (progressOnTerminal ? "\n" : "") << "sorvex-sign-render: row " << row.number << " ("
                << row.input << "): " << failure->message << Qt::endl;
        }
        if (options.report)
            out << QJsonDocument(line).toJson(QJsonDocument::Compact) << Qt::endl;
        if (progressOnTerminal)
            showProgress(err, finished, total, failed, clock.elapsed());
    };
    for (const DocumentRow& row : rows) {
        if (row.refused) {
            say(row, QJsonObject{{QStringLiteral("error"),
                                  QJsonObject{{QStringLiteral("kind"), QStringLiteral("BadRow")},
                                              {QStringLiteral("words"), row.refused->message}}}},
                row.refused);
            continue;
        }
        documents.push_back({row.input, row.output, row.place});
        signing.push_back(&row);
    }
    if (!(options.stopOnError && failed > 0))
        signEach(documents, base, workers, [&](size_t i, const BatchOutcome& outcome) {
            QJsonObject line;
            std::optional<Failure> failure;
            if (outcome.error) {
                failure = signingFailure(*outcome.error);
                line.insert(QStringLiteral("error"),
                            QJsonObject{{QStringLiteral("kind"), kindName(outcome.error->kind)},
                                        {QStringLiteral("words"), failure->message}});
            } else {
                QJsonArray pages;
                for (const int page : outcome.pages)
                    pages.append(page);
                line.insert(QStringLiteral("pages"), pages);
                if (!outcome.field.isEmpty())
                    line.insert(QStringLiteral("field"), outcome.field);
                if (base.place.signer)
                    line.insert(QStringLiteral("level"), levelName(outcome.level));
            }
            say(*signing[i], line, failure);
        }, &stop);
    if (progressOnTerminal)
        err << Qt::endl;
    const qsizetype notDone = total - done;
    if (failed == 0 && notDone == 0)
        return std::nullopt;
    return Failure{done - failed > 0 ? ExitSomeFailed : ExitFailure,
                   QStringLiteral("%1 of %2 documents failed%3")
                       .arg(qsizetype(failed))
                       .arg(total)
                       .arg(notDone > 0 ? QStringLiteral(", %1 not signed after the first failure").arg(notDone)
                                        : QString())};
}
