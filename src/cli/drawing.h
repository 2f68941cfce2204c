#pragma once

#include "catalogue/fonttable.h"
#include "job.h"
#include "output/platform.h"
#include "render/imagesurface.h"

#include <QImage>
#include <QJsonObject>
#include <QSet>

#include <functional>
#include <memory>

struct ProgramValues;
class QTextStream;

// Messages the drawing code would show in a box: one line on stderr instead.
class ConsolePlatform : public Platform
{
public:
    explicit ConsolePlatform(QTextStream& err) : err_(err) {}
    void showMessage(const QString& text, const QString& caption, Icon icon) override;
    std::optional<SaveAnswer> askSaveFileName(const QString&, const QStringList&) override
    {
        return std::nullopt;
    }
    ColorAnswer chooseColor(QRgb, const QList<QRgb>&) override { return {}; }
    std::optional<PrintError> printTwips(const std::function<void(QPainter&)>&) override;
    void openUrl(const QUrl&) override {}
    bool confirmReplace(const QString&) override { return false; }

private:
    QTextStream& err_;
};

// The output formats by extension; a failure for any other, and for --transparent where the
// format has no transparency.
std::optional<Failure> checkOutputFormat(const Job& job);

// Hands a finished raster picture on; may keep it to write later.
using PictureWriter = std::function<std::optional<Failure>(const QImage&)>;

// Writes the picture to the job's output now.
PictureWriter writeTo(const Job& job);

// Draws jobs with one catalogue, one font table and, for raster pictures, one surface per
// scale and transparency, so that a batch keeps its decoded background and rendered glyphs.
class SignatureRenderer
{
public:
    // A background that cannot be shown is said once on `err`; the picture is drawn on white.
    SignatureRenderer(const ProgramValues& values, const Catalogue& catalogue, QTextStream& err);

    // A raster picture goes to `write`; a vector one is written at once. With `report`, fills
    // it with what was drawn.
    std::optional<Failure> render(const Job& job, QJsonObject* report, const PictureWriter& write);

private:
    std::optional<Failure> inputsFor(const Job& job, DrawInputs& in) const;
    ImageSurface& surfaceFor(const Job& job);

    void sayBackgroundFailed(const QString& path, const QString& why);

    const ProgramValues& values_;
    const Catalogue& catalogue_;
    QTextStream& err_;
    QSet<QString> backgroundsSaid_;
    AppFontTable fonts_;
    std::unique_ptr<ImageSurface> surface_;
    std::pair<double, bool> surfaceKind_;
};

// One job as the command line does it: the format checked, the picture drawn and handed to
// `write`, and with `report` one line of JSON on `out`.
std::optional<Failure> drawJob(SignatureRenderer& renderer, const Job& job, bool report,
                               QTextStream& out, const PictureWriter& write);
