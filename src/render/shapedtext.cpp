#include "shapedtext.h"

#include "facestate.h"

#include <QGlyphRun>
#include <QTextLayout>

#include <algorithm>

namespace {

ShapedText shape(const FaceState& face, const QString& s)
{
    ShapedText text;
    QTextLayout layout(s, face.font(), FaceState::referenceDevice());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const QPointF toBaseline(0, -line.ascent());
    for (const QGlyphRun& glyphRun : layout.glyphRuns()) {
        ShapedText::Run run;
        run.font = glyphRun.rawFont();
        run.glyphs = glyphRun.glyphIndexes();
        run.positions = glyphRun.positions();
        run.ink.reserve(size_t(run.glyphs.size()));
        for (qsizetype i = 0; i < run.glyphs.size(); ++i) {
            run.positions[i] += toBaseline;
            const QRectF box = run.font.boundingRect(run.glyphs[i]).translated(run.positions[i]);
            run.ink.push_back(box);
            text.ink |= box;
        }
        text.glyphCount += run.glyphs.size();
        text.runs.push_back(std::move(run));
    }
    // Runs in the order their glyphs stand: Qt hands a text's runs in different faces over in
    // the order their fonts were loaded, which differs from run to run, and an SVG or PDF
    // would hold the same outlines in another order each time.
    std::stable_sort(text.runs.begin(), text.runs.end(), [](const auto& a, const auto& b) {
        const auto first = [](const ShapedText::Run& r) {
            return r.positions.isEmpty() ? 0.0 : r.positions.first().x();
        };
        return first(a) < first(b);
    });
    return text;
}

} // namespace

const ShapedText& TextShaper::shaped(const FaceState& face, const QString& text)
{
    if (!keep_) {
        scratch_ = shape(face, text);
        return scratch_;
    }
    const std::pair<QString, QString> key{face.key(), text};
    if (const auto it = kept_.constFind(key); it != kept_.constEnd())
        return *it;
    ShapedText made = shape(face, text);
    while (glyphs_ + made.glyphCount > MaxGlyphs && !order_.empty()) {
        glyphs_ -= kept_.value(order_.front()).glyphCount;
        kept_.remove(order_.front());
        order_.pop_front();
    }
    glyphs_ += made.glyphCount;
    order_.push_back(key);
    return *kept_.insert(key, std::move(made));
}
