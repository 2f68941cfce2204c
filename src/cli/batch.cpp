#include "batch.h"

#include "base/csvtable.h"
#include "base/regularfile.h"
#include "backgroundwriter.h"
#include "base/text.h"
#include "drawing.h"
#include "render/names.h"
#include "output/filewrite.h"
#include "output/saveimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QSemaphore>
#include <QSet>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

#include <sys/prctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

namespace {

constexpr qint64 MaxBatchFileBytes = 64 * 1024 * 1024;

std::variant<CsvTable, Failure> readRows(const QString& path)
{
    QString why;
    const std::optional<QByteArray> bytes = readRegularFile(path, MaxBatchFileBytes, &why);
    if (!bytes)
        return Failure{ExitFailure, QStringLiteral("cannot read %1: %2").arg(path, why)};
    return readCsv(*bytes);
}

// The job of row `number` (counted from 1), or why it cannot be made.
std::variant<Job, Failure> rowJob(const QStringList& f, qsizetype number, const Job& defaults)
{
    Job job = defaults;
    job.cn = f.value(0);
    job.en = f.value(1);
    for (const QString& name : {job.cn, job.en})
        if (characters(name, LongestName + 1).size() > LongestName)
            return Failure{ExitFailure, QStringLiteral("the name is longer than %1 characters")
                                            .arg(LongestName)};
    if (!f.value(2).isEmpty())
        job.style = f.value(2);
    const QString file = f.value(3).isEmpty()
                             ? QStringLiteral("%1.png").arg(number, 4, 10, QLatin1Char('0'))
                             : f.value(3);
    // Checked before the extension decides anything: the file system would end the name at a
    // NUL and write the picture over whatever the name before it is.
    if (std::any_of(file.cbegin(), file.cend(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return Failure{ExitFailure, QStringLiteral("the file name holds a control character")};
    if (file.contains(u'/') || file == QLatin1String(".."))
        return Failure{ExitFailure, QStringLiteral("the file name must not hold a folder")};
    job.output = defaults.output + u'/' + file;
    return job;
}

// "rows 1, 4 and 9"
QString rowList(const QList<qsizetype>& rows)
{
    QStringList numbers;
    for (const qsizetype r : rows)
        numbers << QString::number(r);
    const QString last = numbers.takeLast();
    return QStringLiteral("rows %1 and %2").arg(numbers.join(QStringLiteral(", ")), last);
}

void showProgress(QTextStream& err, qsizetype done, qsizetype total)
{
    const int width = 30;
    const int filled = total ? int(done * width / total) : width;
    err << '\r' << '[' << QString(filled, u'#') << QString(width - filled, u' ') << "] " << done
        << '/' << total << Qt::flush;
}

// What is said at the end of a batch, and its exit code.
int summarize(QTextStream& err, qsizetype rows, int failures, int degraded, int substituted,
              int onWhite)
{
    if (substituted > 0 || onWhite > 0)
        err << "sorvex-sign-render: of " << rows << " rows, " << substituted
            << " drawn in a substitute face and " << onWhite << " on white" << Qt::endl;
    if (failures > 0) {
        err << "sorvex-sign-render: " << failures << " of " << rows << " rows failed" << Qt::endl;
        return failures == degraded ? ExitDegraded : ExitFailure;
    }
    return ExitOk;
}

// A process costs a few tens of milliseconds to start: a part of fewer rows is drawn here.
constexpr qsizetype RowsWorthAWorker = 64;

int workerCount(const Options& options, const QString& program, qsizetype rows)
{
    // Without the program's own file (a test that runs the command in its process) there is
    // nothing to start; a worker draws its part alone.
    if (options.batchWorker || program.isEmpty())
        return 1;
    // Asked for, as many as there are rows. Else one for every two cores, for parts worth one:
    // a worker draws on one core and encodes and writes its pictures on another.
    if (options.jobs > 0)
        return int(std::clamp<qsizetype>(rows, 1, options.jobs));
    return int(std::clamp<qsizetype>(rows / RowsWorthAWorker, 1,
                                     std::max(1, QThread::idealThreadCount() / 2)));
}

// The batch drawn by `workers` processes of this program, each the part of this run's rows
// that a shard of its own names: the same pictures as one process, and its report in row
// order, its counts added up. Each worker syncs and puts its own pictures in place.
int runWorkers(const Options& options, const QString& program, int workers, qsizetype rows,
               const std::function<bool(qsizetype)>& mine, QTextStream& out, QTextStream& err)
{
    QStringList given = options.arguments.mid(1);
    // What the workers are told instead: their part, one process each.
    for (qsizetype i = 0; i < given.size();) {
        const QString& a = given[i];
        const bool withValue = a == QLatin1String("--jobs") || a == QLatin1String("--shard");
        if (withValue || a.startsWith(QLatin1String("--jobs=")) ||
            a.startsWith(QLatin1String("--shard=")) || a == QLatin1String("--batch-worker"))
            given.remove(i, withValue && i + 1 < given.size() ? 2 : 1);
        else
            ++i;
    }
    const int n = options.shardCount * workers;
    std::vector<std::unique_ptr<QProcess>> started;
    for (int w = 0; w < workers; ++w) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A batch stopped (SIGTERM, a closed terminal) stops its workers with it.
        p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        p->start(program, given + QStringList{QStringLiteral("--jobs"), QStringLiteral("1"),
                                              QStringLiteral("--shard"),
                                              QStringLiteral("%1/%2")
                                                  .arg(options.shardIndex + options.shardCount * w)
                                                  .arg(n),
                                              QStringLiteral("--batch-worker")});
        started.push_back(std::move(p));
    }
    // Row i of this run is answered by the worker whose part holds it, in turn.
    const auto nextLine = [](QProcess& p) -> std::optional<QJsonObject> {
        while (!p.canReadLine())
            if (!p.waitForReadyRead(-1) && !p.canReadLine())
                return std::nullopt;
        return QJsonDocument::fromJson(p.readLine()).object();
    };
    bool lost = false;
    qsizetype mineSoFar = 0;
    for (qsizetype i = 0; i < rows && !lost; ++i) {
        if (!mine(i))
            continue;
        const std::optional<QJsonObject> line =
            nextLine(*started[size_t(mineSoFar++ % workers)]);
        if (!line || line->value(QStringLiteral("row")).toInteger() != i + 1) {
            lost = true;
            break;
        }
        QJsonObject report = *line;
        report.remove(QStringLiteral("row"));
        if (options.report && !report.isEmpty())
            out << QJsonDocument(report).toJson(QJsonDocument::Compact) << Qt::endl;
    }
    int failures = 0, degraded = 0, substituted = 0, onWhite = 0;
    for (const auto& p : started) {
        const std::optional<QJsonObject> counts = lost ? std::nullopt : nextLine(*p);
        p->waitForFinished(-1);
        if (!counts || p->exitStatus() != QProcess::NormalExit) {
            lost = true;
            continue;
        }
        failures += counts->value(QStringLiteral("failures")).toInt();
        degraded += counts->value(QStringLiteral("degraded")).toInt();
        substituted += counts->value(QStringLiteral("substituted")).toInt();
        onWhite += counts->value(QStringLiteral("onWhite")).toInt();
    }
    if (lost) {
        err << "sorvex-sign-render: a worker drawing part of the batch stopped before it was "
               "done; pictures of rows it had not finished are missing"
            << Qt::endl;
        return ExitFailure;
    }
    return summarize(err, rows, failures, degraded, substituted, onWhite);
}

// Runs `work` on a thread of Qt's own pool and waits for it. Painting from any other thread, Qt
// splits every fill of a hundred spans or more across that pool and waits for the pieces;
// in a batch the pieces wait behind the encoders for a core, and the drawing with them (on two
// cores a batch took an eighth longer). From a thread of its pool Qt fills in one piece.
void onQtPoolThread(const std::function<void()>& work)
{
    QSemaphore done;
    QThreadPool::globalInstance()->start([&] {
        work();
        done.release();
    });
    done.acquire();
}

} // namespace

int runBatch(const Options& options, const ProgramValues& values, const Catalogue& catalogue,
             QTextStream& out, QTextStream& err, bool progressOnTerminal, const QString& program)
{
    const auto read = readRows(options.batchFile);
    if (const auto* failure = std::get_if<Failure>(&read)) {
        err << "sorvex-sign-render: " << failure->message << Qt::endl;
        return failure->code;
    }
    const CsvTable& table = std::get<CsvTable>(read);
    // A quote left open would take every row after it into one field: nothing is drawn.
    if (table.unclosedQuote) {
        err << "sorvex-sign-render: row " << *table.unclosedQuote + 1
            << ": a quoted field never closes; nothing was drawn" << Qt::endl;
        return ExitFailure;
    }

    const qsizetype rows = table.size();
    if (options.report && !options.batchWorker)
        out << QJsonDocument(QJsonObject{{QStringLiteral("batch"), options.batchFile},
                                         {QStringLiteral("encoding"), table.encoding},
                                         {QStringLiteral("rows"), rows}})
                   .toJson(QJsonDocument::Compact)
            << Qt::endl;
    // Each row's job is made from its bytes when it is drawn, and once before, for the files
    // the rows name and the styles they ask for: a long list is never held as text.
    const auto jobOf = [&](qsizetype i) -> std::variant<Job, Failure> {
        CsvTable::Fault fault = CsvTable::Fault::None;
        const QStringList fields = table.row(i, &fault);
        if (fault == CsvTable::Fault::TooLong)
            return Failure{ExitFailure, QStringLiteral("the row is longer than %1 KB; a name may "
                                                       "be at most %2 characters")
                                            .arg(CsvTable::MaxRowBytes / 1024)
                                            .arg(LongestName)};
        if (fault == CsvTable::Fault::Undecodable)
            return Failure{ExitFailure, QStringLiteral("the row is neither UTF-8 nor GB18030 text")};
        auto job = rowJob(fields, i + 1, options.job);
        if (fault == CsvTable::Fault::Nul && std::holds_alternative<Job>(job))
            return Failure{ExitFailure, QStringLiteral("the row holds a NUL byte, which no text "
                                                       "does (a UTF-16 list needs its byte-order "
                                                       "mark)")};
        return job;
    };
    // Rows that name one file would overwrite each other's picture: nothing is drawn. Found by
    // the names' hashes, sorted; rows whose hashes meet are compared by their names.
    std::vector<std::pair<size_t, qsizetype>> named;
    QStringList styles{options.job.style};
    for (qsizetype i = 0; i < rows; ++i)
        if (const auto made = jobOf(i); const auto* job = std::get_if<Job>(&made)) {
            named.emplace_back(qHash(job->output), i);
            if (!styles.contains(job->style))
                styles << job->style;
        }
    std::sort(named.begin(), named.end());
    QMap<QString, QList<qsizetype>> rowsOf;
    for (size_t k = 0; k + 1 < named.size(); ++k)
        if (named[k].first == named[k + 1].first)
            for (const size_t j : {k, k + 1})
                if (const auto made = jobOf(named[j].second); const auto* job = std::get_if<Job>(&made))
                    if (!rowsOf[job->output].contains(named[j].second + 1))
                        rowsOf[job->output] << named[j].second + 1;
    named = {};
    bool clash = false;
    for (auto it = rowsOf.begin(); it != rowsOf.end(); ++it) {
        if (it->size() < 2)
            continue;
        std::sort(it->begin(), it->end());
        err << "sorvex-sign-render: " << rowList(*it) << " name the same file " << it.key()
            << "; give each row a file of its own" << Qt::endl;
        clash = true;
    }
    if (clash)
        return ExitFailure;

    if (const auto why = makeFolders(options.job.output)) {
        err << "sorvex-sign-render: cannot make the folder " << options.job.output << ": " << *why
            << Qt::endl;
        return ExitFailure;
    }
    // What a batch killed half-way left behind.
    clearLeftoversIn(encodeFileName(options.job.output));

    // This run's rows: all of them, or every N-th from the K-th.
    const auto mine = [&options](qsizetype i) {
        return i % options.shardCount == options.shardIndex - 1;
    };
    const int workers = workerCount(options, program, (rows + options.shardCount - 1) /
                                                          options.shardCount);
    if (workers > 1)
        return runWorkers(options, program, workers, rows, mine, out, err);

    // The folder is opened once: swapped for a link meanwhile, it is not written through.
    QString unopened;
    const auto folder = openFolder(encodeFileName(options.job.output), &unopened);
    if (!folder) {
        err << "sorvex-sign-render: cannot write into " << options.job.output << ": " << unopened
            << Qt::endl;
        return ExitFailure;
    }
    BackgroundWriter writer(folder);
    int degraded = 0; // rows refused by --strict
    // A row's report waits for its picture to be written: it says whether it was.
    std::vector<QString> reports(options.report ? size_t(rows) : 0);
    int failures = 0;
    progressOnTerminal = progressOnTerminal && !options.batchWorker;
    const char* fresh = progressOnTerminal ? "\n" : "";
    QString noReport;
    int substituted = 0, onWhite = 0;
    onQtPoolThread([&] {
        // Its faces live and die on the thread that draws with them: Qt keeps a thread's font
        // engines with that thread.
        SignatureRenderer renderer(values, catalogue, err);
        // Here rather than before: the drawing then reuses the memory the faces' copies were
        // made in, which another thread would not (20 MB more at the largest).
        renderer.prepare(styles);
        for (qsizetype i = 0; i < rows; ++i) {
            if (!mine(i))
                continue;
            const auto made = jobOf(i);
            std::optional<Failure> failure;
            if (const auto* job = std::get_if<Job>(&made)) {
                QTextStream report(options.report ? &reports[size_t(i)] : &noReport);
                failure = drawJob(renderer, *job, options.report, report,
                                  writer.writerFor(i + 1, job->output));
            } else
                failure = std::get<Failure>(made);
            if (failure) {
                err << fresh << "sorvex-sign-render: row " << i + 1 << ": " << failure->message
                    << Qt::endl;
                ++failures;
                degraded += failure->code == ExitDegraded ? 1 : 0;
            }
            if (progressOnTerminal)
                showProgress(err, i + 1, rows);
        }
        substituted = renderer.substitutedPictures();
        onWhite = renderer.picturesOnWhite();
    });
    const QStringList writeErrors = writer.finish();
    if (progressOnTerminal)
        err << Qt::endl;
    for (const QString& e : writeErrors)
        err << "sorvex-sign-render: " << e << Qt::endl;
    failures += int(writeErrors.size());
    if (options.batchWorker) {
        // One line for each row of its part, in order, and its counts: the batch that runs it
        // writes the report and the summary.
        for (qsizetype i = 0; i < rows; ++i) {
            if (!mine(i))
                continue;
            QJsonObject line = options.report && !reports[size_t(i)].isEmpty()
                                   ? QJsonDocument::fromJson(reports[size_t(i)].toUtf8()).object()
                                   : QJsonObject();
            if (!line.isEmpty())
                line.insert(QStringLiteral("written"), !writer.failed(i + 1));
            line.insert(QStringLiteral("row"), i + 1);
            out << QJsonDocument(line).toJson(QJsonDocument::Compact) << '\n';
        }
        out << QJsonDocument(QJsonObject{{QStringLiteral("failures"), failures},
                                         {QStringLiteral("degraded"), degraded},
                                         {QStringLiteral("substituted"), substituted},
                                         {QStringLiteral("onWhite"), onWhite}})
                   .toJson(QJsonDocument::Compact)
            << Qt::endl;
        return failures == 0 ? ExitOk : failures == degraded ? ExitDegraded : ExitFailure;
    }
    for (qsizetype i = 0; i < qsizetype(reports.size()); ++i) {
        if (reports[size_t(i)].isEmpty())
            continue;
        QJsonObject line = QJsonDocument::fromJson(reports[size_t(i)].toUtf8()).object();
        line.insert(QStringLiteral("written"), !writer.failed(i + 1));
        out << QJsonDocument(line).toJson(QJsonDocument::Compact) << Qt::endl;
    }
    return summarize(err, rows, failures, degraded, substituted, onWhite);
}
