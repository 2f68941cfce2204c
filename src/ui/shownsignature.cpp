#include "shownsignature.h"

#include "base/programvalues.h"
#include "output/pdfpicture.h"
#include "render/fitting.h"

ShownSignature::ShownSignature(const ProgramValues& values, qreal scale)
    : values_(values), surface_(scale)
{
    fonts_.useFallback(fallbackFontPath(values_));
}

double ShownSignature::fittedSize(const SignatureSpec& spec)
{
    const QString style = spec.style ? spec.style->name : QString();
    if (!fit_ || fit_->chineseName != spec.chineseName || fit_->latinName != spec.latinName ||
        fit_->style != style || fit_->asked != spec.points) {
        SignatureSpec fitted = spec;
        fitted.points = ::fittedSize(spec, faces_, values_.compoundSurnames);
        fit_ = Fit{spec.chineseName, spec.latinName, style, spec.points, fitted.points};
        fitted.position.reset();
        missing_ = charactersNoFaceDraws(layOut(fitted, faces_, values_.compoundSurnames), faces_);
    }
    return fit_->points;
}

void ShownSignature::show(const SignatureSpec& spec, const QString& background)
{
    // The last layout goes after the new one is made: the faces both draw with stay
    // registered in between.
    Layout next = layOut(spec, faces_, values_.compoundSurnames);
    layout_ = std::move(next);
    drawn_ = spec;
    background_ = background;
    drawPicture(surface_, background, layout_);
}

QImage ShownSignature::picture(qreal scale, bool transparent)
{
    if ((qFuzzyCompare(scale, surface_.scale()) && !transparent) || !drawn_)
        return surface_.image();
    // Drawn afresh at the scale asked for, so that the text stays sharp.
    ImageSurface out(scale, true, transparent);
    drawPicture(out, background_, layout_);
    return out.image();
}

QByteArray ShownSignature::picturePdf() const
{
    return ::picturePdf(false, background_, layout_);
}

QByteArray ShownSignature::inkBoxPdf() const
{
    return drawn_ ? ::inkBoxPdf(layout_) : QByteArray();
}

QImage ShownSignature::preview(SignatureSpec spec, qreal scale)
{
    spec.position.reset();
    spec.points = ::fittedSize(spec, faces_, values_.compoundSurnames);
    ImageSurface out(scale, true, true);
    drawPicture(out, QString(), layOut(spec, faces_, values_.compoundSurnames));
    return out.image();
}
