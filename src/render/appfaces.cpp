#include "appfaces.h"

#include "catalogue/fonttable.h"
#include "geometry.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

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

// The outlines of `text` from its top-left corner, in reference pixels.
QPainterPath AppFaces::outline(const FaceState& state, const QString& text)
{
    QPainterPath path;
    for (const ShapedText::Run& run : shaper_.shaped(state, text).runs)
        for (qsizetype i = 0; i < run.glyphs.size(); ++i)
            path.addPath(run.font.pathForGlyph(run.glyphs[i])
                             .translated(run.positions[i] + QPointF(0, state.ascentPx())));
    return path;
}

QRectF AppFaces::ink(const RunFace& face, double points, const QString& text)
{
    const FaceState& state = use(face, points);
    const std::pair<QString, QString> key{state.key(), text};
    auto it = inks_.constFind(key);
    if (it == inks_.constEnd()) {
        // The outlines' own bounds, not the glyphs' boxes, which reach to their curves' control
        // points: what is put on a document, and what a person takes hold of, is the ink.
        QRectF bounds;
        for (const ShapedText::Run& run : shaper_.shaped(state, text).runs)
            for (qsizetype i = 0; i < run.glyphs.size(); ++i)
                bounds |= run.font.pathForGlyph(run.glyphs[i])
                              .boundingRect()
                              .translated(run.positions[i]);
        if (inks_.size() >= MaxInks)
            inks_.clear();
        it = inks_.insert(key, bounds.translated(0, state.ascentPx()));
    }
    const QRectF& ink = *it;
    return {ink.x() * TwipsPerPixel, ink.y() * TwipsPerPixel, ink.width() * TwipsPerPixel,
            ink.height() * TwipsPerPixel};
}

const QRawFont& AppFaces::rawFace(const QString& family)
{
    auto it = rawFaces_.constFind(family);
    if (it == rawFaces_.constEnd()) {
        if (rawFaces_.size() >= MaxRawFaces)
            rawFaces_.clear();
        QFont font(family);
        font.setPixelSize(32);
        it = rawFaces_.insert(family, QRawFont::fromFont(font));
    }
    return *it;
}

bool AppFaces::fallsBack(const RunFace& face, double, const QString& text)
{
    // Told by what each face has: what another face draws, or nothing does, the face lacks.
    const QRawFont& own = rawFace(face.family);
    for (const char32_t c : text.toUcs4()) {
        if (own.supportsCharacter(c))
            continue;
        const bool continued =
            std::any_of(face.fallbacks.cbegin(), face.fallbacks.cend(), [&](const QString& f) {
                return fonts_.continuesFace(f) && rawFace(f).supportsCharacter(c);
            });
        if (!continued)
            return true;
    }
    return false;
}

bool AppFaces::lacksGlyphs(const RunFace& face, double points, const QString& text)
{
    // A glyph numbered 0 is the empty box a face draws for what it does not have.
    for (const ShapedText::Run& run : shaper_.shaped(use(face, points), text).runs)
        if (run.glyphs.contains(0))
            return true;
    return false;
}

InkProfile AppFaces::profile(const RunFace& face, double points, const QString& text)
{
    const FaceState& state = use(face, points);
    const std::pair<QString, QString> key{state.key(), text};
    if (auto it = profiles_.constFind(key); it != profiles_.constEnd())
        return *it;
    InkProfile profile;
    const QRectF box = ink(face, points, text);
    profile.band = hairAt(points);
    if (!box.isEmpty() && profile.band > 0) {
        profile.top = box.top();
        const auto bands = size_t(std::ceil(box.height() / profile.band)) + 1;
        profile.left.assign(bands, std::numeric_limits<double>::infinity());
        profile.right.assign(bands, -std::numeric_limits<double>::infinity());
        // The ink's edges, each clipped to the bands it crosses: the ink in a band reaches no
        // further than its edges there.
        for (const QPolygonF& polygon : outline(state, text).toSubpathPolygons()) {
            for (qsizetype i = 0; i + 1 < polygon.size(); ++i) {
                QPointF a = polygon[i] * TwipsPerPixel, b = polygon[i + 1] * TwipsPerPixel;
                if (a.y() > b.y())
                    std::swap(a, b);
                const auto first = size_t(std::max(0.0, (a.y() - profile.top) / profile.band));
                const size_t last = std::min(
                    bands - 1, size_t(std::max(0.0, (b.y() - profile.top) / profile.band)));
                const bool flat = a.y() == b.y();
                const auto xAt = [&](double y) {
                    return a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y());
                };
                for (size_t k = first; k <= last; ++k) {
                    const double y0 = std::max(a.y(), profile.top + double(k) * profile.band);
                    const double y1 =
                        std::min(b.y(), profile.top + double(k + 1) * profile.band);
                    const double x0 = flat ? a.x() : xAt(y0), x1 = flat ? b.x() : xAt(y1);
                    profile.left[k] = std::min({profile.left[k], x0, x1});
                    profile.right[k] = std::max({profile.right[k], x0, x1});
                }
            }
        }
    }
    if (profiles_.size() >= MaxInks)
        profiles_.clear();
    profiles_.insert(key, profile);
    return profile;
}
