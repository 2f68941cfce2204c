#include "drawing.h"

#include "base/programvalues.h"
#include "catalogue/stylerules.h"
#include "layoutjson.h"
#include "output/filewrite.h"
#include "output/pdfpicture.h"
#include "output/saveimage.h"
#include "render/fitting.h"
#include "render/names.h"
#include "render/vectorsurface.h"

#include <QBuffer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QSvgGenerator>
#include <QTextStream>

#include <cstring>

namespace {

QString suffixOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

QString hexColor(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

} // namespace

std::optional<Failure> checkOutputFormat(const Job& job)
{
    static const QStringList formats = {"png", "bmp", "jpg", "jpeg", "svg", "pdf"};
    static const QStringList clear = {"png", "svg", "pdf"};
    const QString suffix = suffixOf(job.output);
    if (!formats.contains(suffix))
        return Failure{ExitBadArguments,
                       QStringLiteral("unknown output format: %1 (use .png .bmp .jpg .svg .pdf)")
                           .arg(job.output)};
    if (job.transparent && !clear.contains(suffix))
        return Failure{ExitBadArguments,
                       QStringLiteral("--transparent needs a .png, .svg or .pdf output")};
    return std::nullopt;
}

PictureWriter writeTo(const Job& job)
{
    return [output = job.output](const RasterPicture& picture) -> std::optional<Failure> {
        if (auto error = picture.writeTo(output))
            return Failure{ExitFailure, QStringLiteral("cannot write %1: %2").arg(output, *error)};
        return std::nullopt;
    };
}

SignatureRenderer::SignatureRenderer(const ProgramValues& values, const Catalogue& catalogue,
                                     QTextStream& err)
    : values_(values), catalogue_(catalogue), err_(err)
{
    fonts_.useFallback(fallbackFontPath(values_));
}

void SignatureRenderer::prepare(const QStringList& styles)
{
    for (const QString& style : styles)
        for (const QString& file : catalogue_.styles.value(catalogue_.indexOfStyle(style)).files)
            if (!prepared_.contains(file)) {
                prepared_.insert(file);
                fonts_.addFont(file);
            }
    // Checked as they were registered: a batch does not ask about them again for every row.
    fonts_.setTrusted(true);
    trusted_ = true;
}

ImageSurface& SignatureRenderer::surfaceFor(const Job& job)
{
    if (!surface_ || surfaceKind_ != std::pair(job.scale, job.transparent)) {
        surface_ = std::make_unique<ImageSurface>(job.scale, true, job.transparent);
        surfaceKind_ = {job.scale, job.transparent};
    }
    return *surface_;
}

std::optional<Failure> SignatureRenderer::inputsFor(const Job& job, Drawn& in) const
{
    SignatureSpec& spec = in.spec;
    spec.chineseName = job.cn;
    spec.latinName = job.en;
    const int style = catalogue_.indexOfStyle(job.style);
    if (style < 0)
        return Failure{ExitBadArguments,
                       QStringLiteral("no style named \"%1\" (see --list)").arg(job.style)};
    spec.style = catalogue_.styles[style];
    // The size asked, capped by the style as the window caps it.
    const StyleRule rule = styleRuleFor(job.style);
    const QString size = job.size ? *job.size : DefaultSize;
    const std::optional<double> points = fontSizeFromText(size);
    if (!points)
        return Failure{ExitBadArguments,
                       QStringLiteral("size \"%1\" is not a number from 1 to 2160").arg(size)};
    in.asked = *points;
    spec.points = std::min(*points, double(rule.largestSize));
    spec.ink = job.color ? *job.color : rule.ink;
    spec.worn = job.worn;

    const QString& bg = job.background;
    if (bg == QLatin1String("none"))
        return std::nullopt;
    qsizetype index = DefaultBackground;
    if (!bg.isEmpty()) {
        bool number = false;
        index = bg.toInt(&number);
        if (!number)
            index = catalogue_.backgroundNames().indexOf(bg);
        if (index < 0 || index >= catalogue_.backgrounds.size())
            return Failure{ExitBadArguments,
                           QStringLiteral("no background \"%1\" (see --list)").arg(bg)};
    }
    in.background =
        catalogue_.backgrounds.value(std::min(index, catalogue_.backgrounds.size() - 1)).path;
    return std::nullopt;
}

Layout SignatureRenderer::layoutFor(const Job& job, Drawn& in)
{
    const CompoundSurnames& surnames = values_.compoundSurnames;
    if (job.fit)
        in.spec.points = fittedSize(in.spec, faces_, surnames);
    // An axis not given is centred: where the centred layout puts the text's box on it.
    if (job.x || job.y) {
        QPointF at(job.x.value_or(0), job.y.value_or(0));
        if (!job.x || !job.y) {
            SignatureSpec centred = in.spec;
            centred.position.reset();
            const QRectF box = layOut(centred, faces_, surnames).textBox;
            at = QPointF(job.x ? *job.x : box.left(), job.y ? *job.y : box.top());
        }
        in.spec.position = at;
    }
    return layOut(in.spec, faces_, surnames);
}

// Drawn in memory, then written as every other picture is: a full disk must not cut an
// existing file short. Empty when the generator fails.
QByteArray SignatureRenderer::svgDocument(const Job& job, const Drawn& in, const Layout& layout,
                                          QString& backgroundError)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(SurfaceWidthPx, SurfaceHeightPx));
    svg.setViewBox(QRect(0, 0, SurfaceWidthPx, SurfaceHeightPx));
    svg.setResolution(96);
    svg.setTitle(AppTitle);
    QPainter painter;
    if (!painter.begin(&svg))
        return {};
    VectorSurface surface(painter, job.transparent, svgBackground_);
    drawPicture(surface, in.background, layout);
    backgroundError = surface.backgroundError();
    if (!painter.end())
        return {};
    QByteArray document = buffer.data();
    if (const QImage shown = surface.standIn(); !shown.isNull() && !putBackground(document, shown))
        return {};
    return document;
}

RasterPicture SignatureRenderer::rasterPicture(const Job& job, const Drawn& in,
                                               const Layout& layout, QString& backgroundError)
{
    ImageSurface& surface = surfaceFor(job);
    surface.setDragging(trusted_);
    drawPicture(surface, in.background, layout);
    backgroundError = surface.backgroundError();
    RasterPicture picture;
    if (suffixOf(job.output) != QLatin1String("png")) {
        picture.image = surface.image();
        return picture;
    }
    // A batch over one background compresses the background's rows once, and hands on only
    // the rows its drawing changed.
    const QImage blank = surface.blankPicture();
    if (!pngBackground_ || pngBackground_->cacheKey() != blank.cacheKey())
        pngBackground_ = std::make_shared<const PngBackground>(blank);
    picture.background = pngBackground_;
    const QRect drawn = surface.drawnRect();
    if (!drawn.isEmpty())
        picture.changed =
            surface.image().copy(0, drawn.top(), surface.image().width(), drawn.height());
    picture.firstChanged = drawn.isEmpty() ? 0 : drawn.top();
    return picture;
}

namespace {

QJsonObject boxObject(const QRectF& box)
{
    return QJsonObject{{QStringLiteral("left"), box.left()},
                       {QStringLiteral("top"), box.top()},
                       {QStringLiteral("width"), box.width()},
                       {QStringLiteral("height"), box.height()}};
}

} // namespace

std::optional<Failure> SignatureRenderer::render(const Job& job, QJsonObject* report,
                                                 const PictureWriter& write)
{
    Drawn in;
    if (auto failure = inputsFor(job, in))
        return failure;
    const Layout layout = layoutFor(job, in);
    Degradation lacks;
    lacks.boxes = charactersNoFaceDraws(layout, faces_);
    lacks.fallback = charactersFallbackDraws(layout, faces_);
    lacks.leftOut = layout.leftOut;
    QString& backgroundError = lacks.backgroundError;
    const QString suffix = suffixOf(job.output);
    if (suffix == QLatin1String("pdf") || suffix == QLatin1String("svg")) {
        const QByteArray document =
            suffix == QLatin1String("pdf")
                ? picturePdf(job.transparent, in.background, layout, &backgroundError)
                : svgDocument(job, in, layout, backgroundError);
        if (document.isEmpty())
            return Failure{ExitFailure, QStringLiteral("cannot write %1").arg(job.output)};
        if (auto failure = degraded(job, in, lacks))
            return failure;
        if (auto error = writeFile(job.output, document))
            return Failure{ExitFailure,
                           QStringLiteral("cannot write %1: %2").arg(job.output, *error)};
    } else {
        const RasterPicture picture = rasterPicture(job, in, layout, backgroundError);
        if (auto failure = degraded(job, in, lacks))
            return failure;
        if (auto failure = write(picture))
            return failure;
    }
    say(in, lacks);
    if (report) {
        QJsonObject background{{QStringLiteral("path"), in.background}};
        if (!backgroundError.isEmpty())
            background.insert(QStringLiteral("error"), backgroundError);
        *report = drawnReport(job, in, lacks);
        report->insert(QStringLiteral("sizeAsked"), in.asked);
        report->insert(QStringLiteral("mover"), boxObject(layout.textBox));
        report->insert(QStringLiteral("inkBox"), boxObject(layout.inkBox));
        report->insert(QStringLiteral("background"), background);
        report->insert(QStringLiteral("backgroundError"), backgroundError);
        report->insert(QStringLiteral("output"), QFileInfo(job.output).absoluteFilePath());
    }
    return std::nullopt;
}

std::optional<Failure> SignatureRenderer::degraded(const Job& job, const Drawn& in,
                                                   Degradation& lacks)
{
    // What the picture was drawn without: said on stderr and in the report, a failure when
    // strict. Known once it is drawn, before it is written.
    if (in.background.isEmpty())
        lacks.backgroundError.clear();
    for (const QString& file : in.spec.style->files)
        if (fonts_.unusable(file))
            lacks.substituted << file;
    substitutedPictures_ += lacks.substituted.isEmpty() ? 0 : 1;
    picturesOnWhite_ += lacks.backgroundError.isEmpty() ? 0 : 1;
    if (!job.strict ||
        (lacks.substituted.isEmpty() && lacks.backgroundError.isEmpty() && lacks.boxes.isEmpty()))
        return std::nullopt;
    return Failure{ExitDegraded,
                   !lacks.substituted.isEmpty()
                       ? QStringLiteral("%1 not written: the font file %2 %3")
                             .arg(job.output, lacks.substituted.first(),
                                  whatIsWrongWith(lacks.substituted.first()))
                   : !lacks.backgroundError.isEmpty()
                       ? QStringLiteral("%1 not written: the background %2 cannot be read (%3)")
                             .arg(job.output, in.background, lacks.backgroundError)
                       : QStringLiteral("%1 not written: no face draws %2")
                             .arg(job.output, lacks.boxes.join(QString()))};
}

void SignatureRenderer::say(const Drawn& in, const Degradation& lacks)
{
    if (!lacks.backgroundError.isEmpty())
        sayBackgroundFailed(in.background, lacks.backgroundError);
    sayUnusableFonts(*in.spec.style);
    sayMissingCharacters(lacks.boxes);
    if (const qsizetype n = characters(lacks.leftOut).size(); n > 0)
        err_ << "sorvex-sign-render: a seal holds nine characters; "
             << (n == 1 ? QStringLiteral("the one after them is")
                        : QStringLiteral("the %1 after them are").arg(n))
             << " left out" << Qt::endl;
}

QJsonObject SignatureRenderer::drawnReport(const Job& job, const Drawn& in,
                                           const Degradation& lacks) const
{
    return QJsonObject{{QStringLiteral("style"), job.style},
                       {QStringLiteral("size"), in.spec.points},
                       {QStringLiteral("ink"), hexColor(in.spec.ink)},
                       {QStringLiteral("substituted"), QJsonArray::fromStringList(lacks.substituted)},
                       {QStringLiteral("missingCharacters"), QJsonArray::fromStringList(lacks.boxes)},
                       {QStringLiteral("fallbackCharacters"), QJsonArray::fromStringList(lacks.fallback)},
                       {QStringLiteral("leftOut"), lacks.leftOut}};
}

std::variant<QJsonObject, Failure> SignatureRenderer::layoutOf(const Job& job)
{
    Drawn in;
    if (auto failure = inputsFor(job, in))
        return *failure;
    QJsonObject json = layoutJson(layoutFor(job, in));
    json.insert(QStringLiteral("style"), job.style);
    json.insert(QStringLiteral("size"), in.spec.points);
    return json;
}

std::variant<QByteArray, Failure> SignatureRenderer::inkBoxPdf(const Job& job,
                                                              QJsonObject* report)
{
    Drawn in;
    if (auto failure = inputsFor(job, in))
        return *failure;
    // Drawn whole, every glyph an outline in the document: a name of thousands of characters
    // makes a form that takes seconds and hundreds of megabytes, and no signature is that long.
    const QString& name =
        in.spec.style->kind == Style::Kind::LatinFolder ? in.spec.latinName : in.spec.chineseName;
    if (characters(name, LongestName + 1).size() > LongestName)
        return Failure{ExitFailure, QStringLiteral("the name is too long to put on a document "
                                                   "(more than %1 characters)")
                                        .arg(LongestName)};
    in.background.clear();
    const Layout layout = layOut(in.spec, faces_, values_.compoundSurnames);
    const QByteArray document = visibleName(name).isEmpty() ? QByteArray() : ::inkBoxPdf(layout);
    if (document.isEmpty())
        return Failure{ExitFailure, QStringLiteral("nothing to draw: the name draws no ink")};
    // The same checks as a picture's: a signature drawn in a substitute face, or with boxes
    // for characters no face draws, is said, and refused when strict.
    Degradation lacks;
    lacks.boxes = charactersNoFaceDraws(layout, faces_);
    lacks.fallback = charactersFallbackDraws(layout, faces_);
    lacks.leftOut = layout.leftOut;
    if (auto failure = degraded(job, in, lacks))
        return *failure;
    say(in, lacks);
    if (report) {
        *report = drawnReport(job, in, lacks);
        report->insert(QStringLiteral("inkBox"), boxObject(layout.inkBox));
    }
    return document;
}

// Puts the background's data, encoded once for all pictures over it, where the surface drew
// its one-pixel stand-in: the first image of the file.
bool SignatureRenderer::putBackground(QByteArray& svg, const QImage& background)
{
    if (svgEncodedKey_ != background.cacheKey() || svgEncoded_.isEmpty()) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        if (!writeFastPng(background, png))
            return false;
        svgEncoded_ = png.data().toBase64();
        svgEncodedKey_ = background.cacheKey();
    }
    const QByteArray uri("data:image/png;base64,");
    const qsizetype image = svg.indexOf("<image");
    const qsizetype start = image < 0 ? -1 : svg.indexOf(uri, image);
    const qsizetype end = start < 0 ? -1 : svg.indexOf('"', start);
    if (end <= start)
        return false; // no stand-in to put it in: the picture would lack its background
    svg.replace(start + uri.size(), end - start - uri.size(), svgEncoded_);
    return true;
}

QString SignatureRenderer::whatIsWrongWith(const QString& file) const
{
    switch (fonts_.fault(file).value_or(AppFontTable::Fault::Unreadable)) {
    case AppFontTable::Fault::NoOutlines:
        return QStringLiteral("cannot be used: it holds bitmaps and no outlines, so it cannot be "
                              "drawn at the size asked");
    case AppFontTable::Fault::OwnNames:
        return QStringLiteral("cannot be used: its faces cannot be given names of their own, so "
                              "another font of the same name could draw instead");
    case AppFontTable::Fault::Unreadable:
        break;
    }
    if (!fonts_.copiesProblem().isEmpty())
        return QStringLiteral("cannot be used: ") + fonts_.copiesProblem();
    return QStringLiteral("cannot be read");
}

// A style's font file that cannot be used draws in a substitute face: said once per file.
void SignatureRenderer::sayUnusableFonts(const Style& style)
{
    for (const QString& file : style.files) {
        if (!fonts_.unusable(file) || fontsSaid_.contains(file))
            continue;
        fontsSaid_.insert(file);
        err_ << "sorvex-sign-render: the font file " << file << ' ' << whatIsWrongWith(file)
             << "; the style draws in a substitute face\n";
        err_.flush();
    }
}

// Characters that draw as empty boxes: said once each, with their code points.
void SignatureRenderer::sayMissingCharacters(const QStringList& characters)
{
    QStringList fresh;
    for (const QString& c : characters) {
        if (charactersSaid_.contains(c))
            continue;
        charactersSaid_.insert(c);
        QStringList codes;
        for (const char32_t u : c.toUcs4())
            codes << QStringLiteral("U+%1").arg(uint(u), 4, 16, QLatin1Char('0')).toUpper();
        fresh << QStringLiteral("%1 (%2)").arg(c, codes.join(u' '));
    }
    if (fresh.isEmpty())
        return;
    err_ << "sorvex-sign-render: no face of the kit draws " << fresh.join(QStringLiteral(", "))
         << "; it shows as an empty box" << Qt::endl;
}

void SignatureRenderer::sayBackgroundFailed(const QString& path, const QString& why)
{
    if (backgroundsSaid_.contains(path))
        return;
    backgroundsSaid_.insert(path);
    err_ << "sorvex-sign-render: the background " << path << " cannot be shown (" << why
         << "); drawn on white" << Qt::endl;
}

std::optional<Failure> drawJob(SignatureRenderer& renderer, const Job& job, bool report,
                               QTextStream& out, const PictureWriter& write)
{
    if (auto failure = checkOutputFormat(job))
        return failure;
    QJsonObject json;
    if (auto failure = renderer.render(job, report ? &json : nullptr, write))
        return failure;
    if (report)
        out << QJsonDocument(json).toJson(QJsonDocument::Compact) << Qt::endl;
    return std::nullopt;
}
