#pragma once

#include <QHash>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QRectF>

#include <list>
#include <vector>

class FaceState;

// A text shaped at the 96-dpi reference: its glyphs with positions and ink boxes relative to
// the baseline's origin, in reference pixels. Shaping the whole text once and then taking only
// the glyphs that can show is what keeps a name of thousands of characters cheap to draw.
struct ShapedText
{
    struct Run
    {
        QRawFont font;
        QList<quint32> glyphs;
        QList<QPointF> positions;
        std::vector<QRectF> ink;
    };
    std::vector<Run> runs;
    QRectF ink;
    qsizetype glyphCount = 0;
};

// Shapes texts in the selected face, keeping them (bounded by their glyphs, oldest dropped
// first) unless told to keep nothing.
class TextShaper
{
public:
    explicit TextShaper(bool keep) : keep_(keep) {}
    const ShapedText& shaped(const FaceState& face, const QString& text);

private:
    bool keep_;
    QHash<std::pair<QString, QString>, ShapedText> kept_;
    std::list<std::pair<QString, QString>> order_;
    qsizetype glyphs_ = 0;
    ShapedText scratch_;
    static constexpr qsizetype MaxGlyphs = 200'000;
};
