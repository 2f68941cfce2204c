#include "shownsignature.h"

#include "base/programvalues.h"
#include "output/pdfpicture.h"
#include "render/fitting.h"
#include "render/names.h"

ShownSignature::ShownSignature(const ProgramValues& values, qreal scale)
    : values_(values), surface_(scale)
{
    fonts_.useFallback(fallbackFontPath(values_));
}

double ShownSignature::fittedSize(const SignatureSpec& spec)
{
    const QString style = spec.style ? spec.style->name : QString();
    if (!fit_ || fit_->chineseName != spec.chineseName || fit_->latinName != spec.latinName ||
        fit_->style != style || fit_->asked != spec.points || fit_->drawn != spec.drawn.get()) {
        SignatureSpec fitted = spec;
        fitted.points = ::fittedSize(spec, faces_, values_.compoundSurnames);
        fit_ = Fit{spec.chineseName, spec.latinName, style, spec.points, fitted.points,
                   spec.drawn.get()};
        fitted.position.reset();
        const Layout layout = layOut(fitted, faces_, values_.compoundSurnames);
        missing_ = charactersNoFaceDraws(layout, faces_);
        fallback_ = charactersFallbackDraws(layout, faces_);
        leftOut_ = layout.leftOut;
    }
    return fit_->points;
}

namespace {

// Whether two signatures differ in their position alone.
bool movedOnly(const SignatureSpec& a, const SignatureSpec& b)
{
    return a.chineseName == b.chineseName && a.latinName == b.latinName && a.points == b.points &&
           a.ink == b.ink && a.worn == b.worn && a.drawn == b.drawn &&
           a.style.has_value() == b.style.has_value() &&
           (!a.style || a.style->name == b.style->name);
}

} // namespace

void ShownSignature::show(const SignatureSpec& spec, const QString& background)
{
    // A drag moves a signature from one place to another: the rules put every text of it at
    // whole twips from its place, so the last layout moved by whole twips is the new one.
    if (drawn_ && drawn_->position && spec.position && movedOnly(*drawn_, spec)) {
        layout_.translate(QPointF(nearest(spec.position->x()), nearest(spec.position->y())) -
                          layout_.textBox.topLeft());
    } else {
        // The last layout goes after the new one is made: the faces both draw with stay
        // registered in between.
        Layout next = layOut(spec, faces_, values_.compoundSurnames);
        layout_ = std::move(next);
    }
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
