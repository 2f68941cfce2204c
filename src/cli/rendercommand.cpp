#include "rendercommand.h"

#include "app/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "output/platform.h"
#include "output/saveimage.h"
#include "render/imagesurface.h"
#include "render/renderer.h"
#include "render/vectorsurface.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QPainter>
#include <QSemaphore>
#include <QSvgGenerator>
#include <QTextStream>
#include <QThreadPool>

#include <memory>

namespace {

// Command-line errors: one line on stderr instead of a box.
class ConsolePlatform : public Platform
{
public:
    explicit ConsolePlatform(QTextStream& err) : err_(err) {}
    void showMessage(const QString& text, const QString&, Icon) override
    {
        err_ << "sorvex-sign-render: "
             << QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")) << Qt::endl;
    }
    std::optional<SaveAnswer> askSaveFileName(const QString&, const QStringList&) override
    {
        return std::nullopt;
    }
    ColorAnswer chooseColor(QRgb, const QList<QRgb>&) override { return {}; }
    std::optional<PrintError> printTwips(const std::function<void(QPainter&)>&) override
    {
        return PrintError{NoPrinterError, QStringLiteral("not available here")};
    }
    void openUrl(const QUrl&) override {}

private:
    QTextStream& err_;
};

struct Failure
{
    int code;
    QString message;
};

// One picture to make.
struct Job
{
    QString cn = SampleChineseName;
    QString en = SampleLatinName;
    QString style = DefaultStyle;
    std::optional<QString> size;
    std::optional<QRgb> color;
    QString background; // name, list position or "none"; empty: position 1
    int x = NoPosition;
    int y = NoPosition;
    double scale = 1;
    bool transparent = false;
    QString output;
};

class Renderer
{
public:
    Renderer(const ProgramValues& values, const Catalogue& catalogue)
        : values_(values), catalogue_(catalogue)
    {
        fonts_.useFallback(fallbackFontPath(values_));
    }

    // Draws the job; a raster picture is handed to `write` (which may keep it for later),
    // a vector one is written at once.
    std::optional<Failure>
    render(const Job& job, QJsonObject* report,
           const std::function<std::optional<Failure>(const QImage&)>& write);

private:
    std::optional<Failure> inputsFor(const Job& job, DrawInputs& in) const;
    ImageSurface& surfaceFor(const Job& job);

    const ProgramValues& values_;
    const Catalogue& catalogue_;
    AppFontTable fonts_;
    // One surface for a whole batch keeps the decoded background and rendered glyphs.
    std::unique_ptr<ImageSurface> surface_;
    std::pair<double, bool> surfaceKind_;
};

ImageSurface& Renderer::surfaceFor(const Job& job)
{
    if (!surface_ || surfaceKind_ != std::pair(job.scale, job.transparent)) {
        surface_ = std::make_unique<ImageSurface>(job.scale, true, job.transparent);
        surfaceKind_ = {job.scale, job.transparent};
    }
    return *surface_;
}

std::optional<Failure> Renderer::inputsFor(const Job& job, DrawInputs& in) const
{
    in.txtCN = job.cn;
    in.txtEN = job.en;
    in.styleIndex = catalogue_.indexOfStyle(job.style);
    if (in.styleIndex < 0)
        return Failure{ExitBadArguments,
                       QStringLiteral("no style named \"%1\" (see --list)").arg(job.style)};
    in.styleCurrentText = job.style;
    const StyleRule rule = styleRuleFor(job.style);
    in.sizeText = job.size ? *job.size : cappedSizeText(DefaultSize, rule);
    if (!fontSizeFromText(in.sizeText))
        return Failure{
            ExitBadArguments,
            QStringLiteral("size \"%1\" is not a number from 1 to 2160").arg(in.sizeText)};
    in.ink = job.color ? *job.color : rule.ink;

    const QString& bg = job.background;
    if (bg == QLatin1String("none"))
        return std::nullopt;
    qsizetype index = DefaultBackground;
    if (!bg.isEmpty()) {
        bool number = false;
        index = bg.toInt(&number);
        if (!number)
            index = catalogue_.backgroundNames.indexOf(bg);
        if (index < 0 || index >= catalogue_.ImagePaths.size())
            return Failure{ExitBadArguments,
                           QStringLiteral("no background \"%1\" (see --list)").arg(bg)};
    }
    in.backgroundPath =
        catalogue_.ImagePaths.value(std::min(index, catalogue_.ImagePaths.size() - 1));
    return std::nullopt;
}

QString hexColor(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

std::optional<Failure>
Renderer::render(const Job& job, QJsonObject* report,
                 const std::function<std::optional<Failure>(const QImage&)>& write)
{
    DrawInputs in;
    if (auto failure = inputsFor(job, in))
        return failure;
    const QString suffix = QFileInfo(job.output).suffix().toLower();
    Mover mover;
    if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setFileName(job.output);
        svg.setSize(QSize(SurfaceWidthPx, SurfaceHeightPx));
        svg.setViewBox(QRect(0, 0, SurfaceWidthPx, SurfaceHeightPx));
        svg.setResolution(96);
        svg.setTitle(AppTitle);
        QPainter painter;
        if (!painter.begin(&svg))
            return Failure{ExitFailure, QStringLiteral("cannot write %1").arg(job.output)};
        VectorSurface surface(painter, job.transparent);
        RenderContext ctx{values_, catalogue_, fonts_, surface, mover, {}};
        DrawSignature(ctx, in, job.x, job.y);
        if (!painter.end())
            return Failure{ExitFailure, QStringLiteral("cannot write %1").arg(job.output)};
    } else {
        ImageSurface& surface = surfaceFor(job);
        RenderContext ctx{values_, catalogue_, fonts_, surface, mover, {}};
        DrawSignature(ctx, in, job.x, job.y);
        if (auto failure = write(surface.PersistentImage()))
            return failure;
    }
    if (report) {
        *report = QJsonObject{
            {QStringLiteral("style"), job.style},
            {QStringLiteral("size"), in.sizeText},
            {QStringLiteral("ink"), hexColor(in.ink)},
            {QStringLiteral("mover"), QJsonObject{{QStringLiteral("left"), mover.left},
                                                  {QStringLiteral("top"), mover.top},
                                                  {QStringLiteral("width"), mover.width},
                                                  {QStringLiteral("height"), mover.height}}},
            {QStringLiteral("output"), QFileInfo(job.output).absoluteFilePath()}};
    }
    return std::nullopt;
}

bool knownFormat(const QString& path)
{
    static const QStringList formats = {"png", "bmp", "jpg", "jpeg", "svg"};
    return formats.contains(QFileInfo(path).suffix().toLower());
}

// Splits one CSV line: commas, fields in double quotes with "" for a quote.
QStringList csvFields(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

void progress(QTextStream& err, qsizetype done, qsizetype total)
{
    const int width = 30;
    const int filled = total ? int(done * width / total) : width;
    err << '\r' << '[' << QString(filled, u'#') << QString(width - filled, u' ') << "] " << done
        << '/' << total << Qt::flush;
}

int fail(QTextStream& err, const Failure& f)
{
    err << "sorvex-sign-render: " << f.message << Qt::endl;
    return f.code;
}

} // namespace

int runRenderCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                     bool progressOnTerminal)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Draws a signature as the Sorvex签名设计 window does, into a PNG, BMP, JPEG "
                       "or SVG file."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("Folder holding fonts/, images/ and data/."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption style(QStringLiteral("style"), QStringLiteral("Style name as listed."),
                                   QStringLiteral("NAME"), DefaultStyle);
    const QCommandLineOption cn(QStringLiteral("cn"), QStringLiteral("The Chinese name."),
                                QStringLiteral("TEXT"), SampleChineseName);
    const QCommandLineOption en(QStringLiteral("en"), QStringLiteral("The Latin-letter name."),
                                QStringLiteral("TEXT"), SampleLatinName);
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("Type size in points, as the size box takes it."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption color(QStringLiteral("color"), QStringLiteral("Ink colour."),
                                   QStringLiteral("#RRGGBB"));
    const QCommandLineOption background(
        QStringLiteral("background"),
        QStringLiteral("Background by display name or list position, or none."),
        QStringLiteral("NAME|INDEX|none"));
    const QCommandLineOption pos(QStringLiteral("pos"),
                                 QStringLiteral("Text position in twips; -1 centres an axis."),
                                 QStringLiteral("X,Y"), QStringLiteral("-1,-1"));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("Output pixels per reference pixel, 1 to 8."),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption transparent(
        QStringLiteral("transparent"),
        QStringLiteral("No background picture, only the drawing (PNG or SVG)."));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Output file (.png .bmp .jpg .svg); with "
                                                   "--batch, the output folder."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption batch(QStringLiteral("batch"),
                                   QStringLiteral("One picture per row cn,en[,style[,file]]."),
                                   QStringLiteral("FILE.csv"));
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("List the styles and backgrounds."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("After drawing, one line of JSON."));
    parser.addOptions({data, style, cn, en, size, color, background, pos, scale, transparent,
                       output, batch, list, report});

    if (!parser.parse(arguments))
        return fail(err, {ExitBadArguments, parser.errorText()});
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return ExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << Qt::endl;
        return ExitOk;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(err, {ExitBadArguments, QStringLiteral("unexpected argument \"%1\"")
                                                .arg(parser.positionalArguments().first())});

    Job job;
    job.style = parser.value(style);
    job.cn = parser.value(cn);
    job.en = parser.value(en);
    if (parser.isSet(size))
        job.size = parser.value(size);
    if (parser.isSet(color)) {
        const QColor c = QColor::fromString(parser.value(color));
        if (!c.isValid() || !parser.value(color).startsWith(u'#'))
            return fail(err,
                        {ExitBadArguments,
                         QStringLiteral("colour \"%1\" is not #RRGGBB").arg(parser.value(color))});
        job.color = c.rgb();
    }
    job.background = parser.value(background);
    const QStringList xy = parser.value(pos).split(u',');
    bool okX = false, okY = false;
    if (xy.size() == 2) {
        job.x = xy[0].trimmed().toInt(&okX);
        job.y = xy[1].trimmed().toInt(&okY);
    }
    if (!okX || !okY)
        return fail(err,
                    {ExitBadArguments,
                     QStringLiteral("position \"%1\" is not X,Y in twips").arg(parser.value(pos))});
    bool okScale = false;
    job.scale = parser.value(scale).toDouble(&okScale);
    if (!okScale || !(job.scale >= 1 && job.scale <= 8))
        return fail(err,
                    {ExitBadArguments,
                     QStringLiteral("scale \"%1\" is not from 1 to 8").arg(parser.value(scale))});
    job.transparent = parser.isSet(transparent);

    const QString dataDir = parser.isSet(data)
                                ? parser.value(data)
                                : dataFolderFor(QCoreApplication::applicationDirPath());
    if (!QFileInfo(dataDir).isDir())
        return fail(err, {ExitFailure, QStringLiteral("no data folder at %1").arg(dataDir)});
    ConsolePlatform platform(err);
    const ProgramValues values = startProgram(dataDir, platform);
    const Catalogue catalogue = loadCatalogue(values.AppPath);

    if (parser.isSet(list)) {
        out << "styles:" << Qt::endl;
        for (qsizetype i = 0; i < catalogue.styleNames.size(); ++i)
            out << "  " << i << '\t' << catalogue.styleNames[i] << Qt::endl;
        out << "backgrounds:" << Qt::endl;
        for (qsizetype i = 0; i < catalogue.backgroundNames.size(); ++i)
            out << "  " << i << '\t' << catalogue.backgroundNames[i] << Qt::endl;
        return ExitOk;
    }
    if (!parser.isSet(output))
        return fail(err, {ExitBadArguments, QStringLiteral("no output given (-o FILE)")});

    Renderer renderer(values, catalogue);
    auto writeNow = [](const Job& j) {
        return [&j](const QImage& image) -> std::optional<Failure> {
            if (auto error = writeImage(image, j.output))
                return Failure{ExitFailure,
                               QStringLiteral("cannot write %1: %2").arg(j.output, *error)};
            return std::nullopt;
        };
    };
    auto renderOne = [&](Job& j, const std::function<std::optional<Failure>(const QImage&)>& write)
        -> std::optional<Failure> {
        if (!knownFormat(j.output))
            return Failure{ExitBadArguments,
                           QStringLiteral("unknown output format: %1 (use .png .bmp .jpg .svg)")
                               .arg(j.output)};
        const QString suffix = QFileInfo(j.output).suffix().toLower();
        if (j.transparent && suffix != QLatin1String("png") && suffix != QLatin1String("svg"))
            return Failure{ExitBadArguments,
                           QStringLiteral("--transparent needs a .png or .svg output")};
        QJsonObject json;
        if (auto failure = renderer.render(j, parser.isSet(report) ? &json : nullptr, write))
            return failure;
        if (parser.isSet(report))
            out << QJsonDocument(json).toJson(QJsonDocument::Compact) << Qt::endl;
        return std::nullopt;
    };

    if (!parser.isSet(batch)) {
        job.output = parser.value(output);
        if (auto failure = renderOne(job, writeNow(job)))
            return fail(err, *failure);
        return ExitOk;
    }

    QFile csv(parser.value(batch));
    if (!csv.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(
            err,
            {ExitFailure,
             QStringLiteral("cannot read %1: %2").arg(parser.value(batch), csv.errorString())});
    const QString folder = parser.value(output);
    if (!QDir().mkpath(folder))
        return fail(err, {ExitFailure, QStringLiteral("cannot make the folder %1").arg(folder)});
    QStringList rows = QString::fromUtf8(csv.readAll()).split(u'\n');
    while (!rows.isEmpty() && rows.last().trimmed().isEmpty())
        rows.removeLast();
    // Drawing stays on this thread; encoding and writing, most of the time of a picture, go to
    // the other cores, a bounded number of pictures ahead.
    QThreadPool pool;
    QSemaphore slots(2 * pool.maxThreadCount());
    QMutex lock;
    QStringList writeErrors;
    int failures = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QStringList f = csvFields(rows[i].trimmed());
        Job row = job;
        row.cn = f.value(0);
        row.en = f.value(1);
        if (!f.value(2).isEmpty())
            row.style = f.value(2);
        const QString file = f.value(3).isEmpty()
                                 ? QStringLiteral("%1.png").arg(i + 1, 4, 10, QLatin1Char('0'))
                                 : f.value(3);
        if (file.contains(u'/') || file == QLatin1String("..")) {
            err << (progressOnTerminal ? "\n" : "") << "sorvex-sign-render: row " << i + 1
                << ": the file name must not hold a folder" << Qt::endl;
            ++failures;
            continue;
        }
        row.output = folder + u'/' + file;
        const auto writeLater = [&, i,
                                 out = row.output](const QImage& image) -> std::optional<Failure> {
            slots.acquire();
            pool.start([&, i, out, image] {
                if (auto error = writeImage(image, out)) {
                    const QMutexLocker locked(&lock);
                    writeErrors << QStringLiteral("row %1: cannot write %2: %3")
                                       .arg(i + 1)
                                       .arg(out, *error);
                }
                slots.release();
            });
            return std::nullopt;
        };
        if (auto failure = renderOne(row, writeLater)) {
            err << (progressOnTerminal ? "\n" : "") << "sorvex-sign-render: row " << i + 1 << ": "
                << failure->message << Qt::endl;
            ++failures;
        }
        if (progressOnTerminal)
            progress(err, i + 1, rows.size());
    }
    pool.waitForDone();
    if (progressOnTerminal)
        err << Qt::endl;
    for (const QString& e : std::as_const(writeErrors))
        err << "sorvex-sign-render: " << e << Qt::endl;
    failures += int(writeErrors.size());
    if (failures > 0) {
        err << "sorvex-sign-render: " << failures << " of " << rows.size() << " rows failed"
            << Qt::endl;
        return ExitFailure;
    }
    return ExitOk;
}
