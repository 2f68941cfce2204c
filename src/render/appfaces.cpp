#include "appfaces.h"

#include "catalogue/fonttable.h"
#include "geometry.h"

#include <QPainterPath>

RunFace AppFaces::select(const QString& file, const QString& face, const QString& text,
                         FontHold& hold)
{
    fonts_.addFont(file);
    FontTable* fonts = &fonts_;
    hold = FontHold(nullptr, [fonts, file](const void*) { fonts->removeFont(file); });
    return RunFace{fonts_.familyFor(file, face), fonts_.sourceOf(file),
                   fonts_.fallbackFamilies(text, face)};
}

FaceState& AppFaces::use(const RunFace& face, double points)
{
    // A name is measured character by character in one face: selected once for all of them.
    if (used_ && face == *used_ && state_.points() == points)
        return state_;
    state_.setPoints(points);
    state_.setFallback(face.fallbacks);
    state_.setFace(face.family);
    state_.setSource(face.source);
    used_ = face;
    return state_;
}

double AppFaces::width(const RunFace& face, double points, const QString& text)
{
    return use(face, points).advancePx(text) * TwipsPerPixel;
}

double AppFaces::height(const RunFace& face, double points)
{
    return use(face, points).heightPx() * TwipsPerPixel;
}

QRectF AppFaces::ink(const RunFace& face, double points, const QString& text)
{
    const FaceState& state = use(face, points);
    const std::pair<QString, QString> key{state.key(), text};
    auto it = inks_.constFind(key);
    if (it == inks_.constEnd()) {
        // The outlines' own bounds, not the glyphs' boxes, which reach to their curves' control
        // points: what is put on a document, and what a person takes hold of, is the ink.
        QRectF outline;
        for (const ShapedText::Run& run : shaper_.shaped(state, text).runs)
            for (qsizetype i = 0; i < run.glyphs.size(); ++i)
                outline |= run.font.pathForGlyph(run.glyphs[i])
                               .boundingRect()
                               .translated(run.positions[i]);
        if (inks_.size() >= MaxInks)
            inks_.clear();
        it = inks_.insert(key, outline.translated(0, state.ascentPx()));
    }
    const QRectF& ink = *it;
    return {ink.x() * TwipsPerPixel, ink.y() * TwipsPerPixel, ink.width() * TwipsPerPixel,
            ink.height() * TwipsPerPixel};
}

bool AppFaces::lacksGlyphs(const RunFace& face, double points, const QString& text)
{
    // A glyph numbered 0 is the empty box a face draws for what it does not have.
    for (const ShapedText::Run& run : shaper_.shaped(use(face, points), text).runs)
        if (run.glyphs.contains(0))
            return true;
    return false;
}
