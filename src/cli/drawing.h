#pragma once

#include "catalogue/fonttable.h"
#include "job.h"
#include "rasterpicture.h"
#include "output/pdfpicture.h"
#include "consoleplatform.h"
#include "output/pngwriter.h"
#include "render/background.h"
#include "render/appfaces.h"
#include "render/imagesurface.h"
#include "render/layout.h"

#include <QImage>
#include <QJsonObject>
#include <QSet>

#include <functional>
#include <memory>
#include <variant>

struct ProgramValues;
class QTextStream;

// The output formats by extension; a failure for any other, and for --transparent where the
// format has no transparency.
std::optional<Failure> checkOutputFormat(const Job& job);

// Hands a finished raster picture on; may keep it to write later.
using PictureWriter = std::function<std::optional<Failure>(const RasterPicture&)>;

// Writes the picture to the job's output now.
PictureWriter writeTo(const Job& job);

// Draws jobs with one catalogue, one font table and, for raster pictures, one surface per
// scale and transparency, so that a batch keeps its decoded background and rendered glyphs.
class SignatureRenderer
{
public:
    // A background that cannot be shown is said once on `err`; the picture is drawn on white.
    SignatureRenderer(const ProgramValues& values, const Catalogue& catalogue, QTextStream& err);

    // Registers the fonts of these styles for as long as the renderer lives. Each registration
    // makes Qt read every registered font again, so a batch registers what it needs once,
    // before it draws, instead of as its rows come.
    void prepare(const QStringList& styles);

    // A raster picture goes to `write`; a vector one is written at once. With `report`, fills
    // it with what was drawn.
    std::optional<Failure> render(const Job& job, QJsonObject* report, const PictureWriter& write);

    // Pictures drawn in a substitute face, and on white, so far.
    int substitutedPictures() const { return substitutedPictures_; }
    int picturesOnWhite() const { return picturesOnWhite_; }

    // The job's layout as JSON, as it would be drawn.
    std::variant<QJsonObject, Failure> layoutOf(const Job& job);

    // The signature alone, on a page the size of its ink: what is put onto a document, its
    // corner where the ink's is. Checked as a picture is (a substitute face, characters no face
    // draws); with `report`, what was drawn.
    std::variant<QByteArray, Failure> inkBoxPdf(const Job& job, QJsonObject* report = nullptr);

private:
    // What one picture is drawn from: the signature, its background, and the size asked.
    struct Drawn
    {
        SignatureSpec spec;
        QString background; // empty: none
        double asked = 0;
    };
    // What a drawing was made without: font files drawn in a substitute face, the background,
    // characters no face draws; and the characters a fallback face draws in its own hand,
    // which a person is told of but which fail nothing.
    struct Degradation
    {
        QStringList substituted;
        QString backgroundError;
        QStringList boxes;
        QStringList fallback;
        QString leftOut; // what a seal cannot hold
    };
    // Counts what `lacks` holds; a failure where the job is strict and it holds anything.
    std::optional<Failure> degraded(const Job& job, const Drawn& in, Degradation& lacks);
    // Says on stderr, once each, what `lacks` holds.
    void say(const Drawn& in, const Degradation& lacks);
    QJsonObject drawnReport(const Job& job, const Drawn& in, const Degradation& lacks) const;
    std::optional<Failure> inputsFor(const Job& job, Drawn& in) const;
    // The job's layout: at the size that keeps it whole unless asked for the exact size, at
    // its position or centred.
    Layout layoutFor(const Job& job, Drawn& in);
    ImageSurface& surfaceFor(const Job& job);
    QByteArray svgDocument(const Job& job, const Drawn& in, const Layout& layout,
                           QString& backgroundError);
    RasterPicture rasterPicture(const Job& job, const Drawn& in, const Layout& layout,
                                QString& backgroundError);

    void sayBackgroundFailed(const QString& path, const QString& why);
    void sayUnusableFonts(const Style& style);
    // Why a font file of a style draws in a substitute face, as words after its name.
    QString whatIsWrongWith(const QString& file) const;
    void sayMissingCharacters(const QStringList& characters);
    // False when the background cannot be encoded: the document is not to be written.
    bool putBackground(QByteArray& svg, const QImage& background);

    const ProgramValues& values_;
    const Catalogue& catalogue_;
    QTextStream& err_;
    QSet<QString> backgroundsSaid_;
    QSet<QString> fontsSaid_;
    QSet<QString> charactersSaid_;
    QSet<QString> prepared_; // font files registered for the renderer's whole life
    bool trusted_ = false;   // after prepare: kept files are not checked again
    AppFontTable fonts_;
    AppFaces faces_{fonts_};
    std::unique_ptr<ImageSurface> surface_;
    std::shared_ptr<const PngBackground> pngBackground_; // of the surface's blank picture
    BackgroundPicture svgBackground_;                    // kept across SVG pictures
    qint64 svgEncodedKey_ = 0;
    QByteArray svgEncoded_; // the background's PNG in base64, made once
    std::pair<double, bool> surfaceKind_;
    int substitutedPictures_ = 0;
    int picturesOnWhite_ = 0;
};

// One job as the command line does it: the format checked, the picture drawn and handed to
// `write`, and with `report` one line of JSON on `out`.
std::optional<Failure> drawJob(SignatureRenderer& renderer, const Job& job, bool report,
                               QTextStream& out, const PictureWriter& write);
