#include "handwriting.h"

#include <QPainter>

#include <QColor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineF>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

constexpr double Streamline = 0.5;      // how far a drawn point lags behind the pen: smoothing
constexpr double Thinnest = 0.3;        // the line's width at no pressure, of the pen's width
constexpr double TaperPens = 1.5;       // the ends narrow over this many pen widths
constexpr double FastestPxPerMs = 2.5;  // a pen moving this fast draws its thinnest line
constexpr double Closest = 1.5;         // points nearer than this to the last add nothing: a mouse's
                                        // whole-pixel steps would show as a wobble

const QString Format = QStringLiteral("sorvex-handwriting");
constexpr int Version = 1;

struct Sample
{
    QPointF at;
    double radius;
};

double pressureOf(double p)
{
    return Thinnest + (1 - Thinnest) * std::clamp(p, 0.0, 1.0);
}

// The points a stroke's line passes through, each with the radius the pen's pressure gives it;
// the ends are narrowed later, along the curve.
std::vector<Sample> samples(const PenStroke& stroke, double penWidth)
{
    std::vector<Sample> out;
    QPointF shown;
    double lastMs = 0;
    double simulated = 1;
    for (size_t i = 0; i < stroke.size(); ++i) {
        const PenPoint& p = stroke[i];
        const QPointF pen(p.x, p.y);
        shown = i == 0 ? pen : shown + (pen - shown) * (1 - Streamline);
        if (!out.empty() && QLineF(out.back().at, shown).length() < Closest)
            continue;
        if (p.pressure < 0 && !out.empty()) {
            // No pen pressure: a slow line is a heavy one, as with a brush.
            const double speed = QLineF(out.back().at, shown).length() / std::max(1.0, p.ms - lastMs);
            simulated += (1 - std::min(1.0, speed / FastestPxPerMs) - simulated) * 0.15;
        }
        lastMs = p.ms;
        out.push_back({shown, penWidth / 2 * pressureOf(p.pressure >= 0 ? p.pressure : simulated)});
    }
    // The line reaches where the pen lifted, however far the smoothing lagged.
    if (stroke.size() > 1) {
        const QPointF end(stroke.back().x, stroke.back().y);
        if (QLineF(out.back().at, end).length() >= Closest)
            out.push_back({end, out.back().radius});
    }
    return out;
}

// The points joined by a curve through them (Catmull-Rom), a point every `step` pixels at
// most, the radius following as smoothly: a pen's sparse points make a smooth line of an evenly
// changing width, not a polygon with a bump at every point.
std::vector<Sample> curved(const std::vector<Sample>& s, double step)
{
    if (s.size() < 3)
        return s;
    std::vector<Sample> out;
    const auto at = [&s](qsizetype i) {
        return s[size_t(std::clamp<qsizetype>(i, 0, qsizetype(s.size()) - 1))];
    };
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        const Sample s0 = at(qsizetype(i) - 1), s1 = s[i], s2 = s[i + 1], s3 = at(qsizetype(i) + 2);
        const QPointF p0 = s0.at, p1 = s1.at, p2 = s2.at, p3 = s3.at;
        const double r0 = s0.radius, r1 = s1.radius, r2 = s2.radius, r3 = s3.radius;
        const auto [thinnest, widest] = std::minmax(r1, r2);
        const int pieces = std::max(1, int(std::ceil(QLineF(p1, p2).length() / step)));
        for (int j = 0; j < pieces; ++j) {
            const double t = double(j) / pieces, t2 = t * t, t3 = t2 * t;
            const QPointF p = 0.5 * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                                     (3 * p1 - p0 - 3 * p2 + p3) * t3);
            const double r = 0.5 * (2 * r1 + (r2 - r0) * t + (2 * r0 - 5 * r1 + 4 * r2 - r3) * t2 +
                                    (3 * r1 - r0 - 3 * r2 + r3) * t3);
            // Never wider or thinner than the points either side: no swelling between them.
            out.push_back({p, std::clamp(r, thinnest, widest)});
        }
    }
    out.push_back(s.back());
    return out;
}

// The stroke's ends narrowed along the curve, over a length of the pen's width, easing in and
// out: the taper has no corner where it starts.
void taper(std::vector<std::vector<Sample>>& pieces, double penWidth)
{
    double length = 0;
    for (const auto& piece : pieces)
        for (size_t i = 1; i < piece.size(); ++i)
            length += QLineF(piece[i - 1].at, piece[i].at).length();
    const double reach = TaperPens * penWidth;
    double along = 0;
    for (auto& piece : pieces)
        for (size_t i = 0; i < piece.size(); ++i) {
            if (i > 0)
                along += QLineF(piece[i - 1].at, piece[i].at).length();
            const double x = std::min(1.0, std::min(along, length - along) / reach);
            piece[i].radius *= 0.4 + 0.6 * x * x * (3 - 2 * x);
        }
}

// One piece of a stroke, turning gently, as one outline: its left edge out, a round cap, its
// right edge back, a round cap. Filled by the non-zero rule, where the stroke crosses itself the
// ink stays ink.
void addPiece(QPainterPath& path, const std::vector<Sample>& s, int capPoints)
{
    const size_t n = s.size();
    std::vector<QPointF> across(n);
    for (size_t i = 0; i < n; ++i) {
        const QPointF d = s[std::min(i + 1, n - 1)].at - s[i > 0 ? i - 1 : 0].at;
        const double length = std::hypot(d.x(), d.y());
        across[i] = length > 0 ? QPointF(-d.y() / length, d.x() / length) : QPointF(0, 1);
    }
    const auto cap = [&](QPolygonF& outline, size_t i, double side) {
        const QPointF normal = across[i] * side;
        const QPointF ahead(normal.y(), -normal.x());
        for (int k = 1; k < capPoints; ++k) {
            const double phi = M_PI * k / capPoints;
            outline << s[i].at + (normal * std::cos(phi) + ahead * std::sin(phi)) * s[i].radius;
        }
    };
    QPolygonF outline;
    for (size_t i = 0; i < n; ++i)
        outline << s[i].at + across[i] * s[i].radius;
    cap(outline, n - 1, 1);
    for (size_t i = n; i-- > 0;)
        outline << s[i].at - across[i] * s[i].radius;
    cap(outline, 0, -1);
    outline << outline.first();
    path.addPolygon(outline);
}

// Where the pen turns sharply the stroke is cut, each part capped round: an edge offset round a
// sharp turn would cross itself and leave a hair.
std::vector<std::vector<Sample>> gentlePieces(const std::vector<Sample>& s)
{
    constexpr double SharpestCos = 0.25; // about 75 degrees
    std::vector<std::vector<Sample>> pieces{{s.front()}};
    for (size_t i = 1; i < s.size(); ++i) {
        pieces.back().push_back(s[i]);
        if (i + 1 < s.size()) {
            const QPointF a = s[i].at - s[i - 1].at, b = s[i + 1].at - s[i].at;
            const double la = std::hypot(a.x(), a.y()), lb = std::hypot(b.x(), b.y());
            if (la > 0 && lb > 0 && (a.x() * b.x() + a.y() * b.y()) / (la * lb) < SharpestCos)
                pieces.push_back({s[i]});
        }
    }
    return pieces;
}

bool finite(const QJsonValue& v, double most)
{
    return v.isDouble() && std::isfinite(v.toDouble()) && std::abs(v.toDouble()) <= most;
}

} // namespace

QPainterPath strokeInk(const PenStroke& stroke, double penWidth, double step)
{
    if (stroke.empty() || !(penWidth > 0))
        return {};
    const std::vector<Sample> s = samples(stroke, penWidth);
    const double length = [&] {
        double sum = 0;
        for (size_t i = 1; i < s.size(); ++i)
            sum += QLineF(s[i - 1].at, s[i].at).length();
        return sum;
    }();
    QPainterPath ink;
    if (s.size() == 1 || length < penWidth / 2) {
        // A tap: a dot as wide as the pen, pressed as hard as it was.
        const double p = stroke.front().pressure;
        const double r = penWidth / 2 * (p >= 0 ? pressureOf(p) : 1);
        ink.addEllipse(s.front().at, r, r);
        return ink;
    }
    QPainterPath pieces;
    pieces.setFillRule(Qt::WindingFill);
    const auto parts = gentlePieces(s);
    // A stroke that turns sharply at every point is capped with fewer points a turn.
    const int capPoints = parts.size() > 1000 ? 3 : 12;
    std::vector<std::vector<Sample>> smooth;
    smooth.reserve(parts.size());
    for (const std::vector<Sample>& piece : parts)
        smooth.push_back(curved(piece, step));
    taper(smooth, penWidth);
    for (const std::vector<Sample>& piece : smooth)
        addPiece(pieces, piece, capPoints);
    return pieces;
}

std::vector<QPainterPath> handwritingInk(const Handwriting& writing)
{
    // However many points and however long the lines, the outlines' points stay bounded: a
    // signature's lines are drawn a point every pixel and a half, a scribble of a thousand
    // metres more coarsely.
    double length = 0;
    for (const PenStroke& stroke : writing.strokes)
        for (size_t i = 1; i < stroke.size(); ++i)
            length += std::hypot(stroke[i].x - stroke[i - 1].x, stroke[i].y - stroke[i - 1].y);
    const double step = std::max(CurveStep, length / MostCurveSamples);
    std::vector<QPainterPath> ink;
    ink.reserve(writing.strokes.size());
    for (const PenStroke& stroke : writing.strokes)
        ink.push_back(strokeInk(stroke, writing.penWidth, step));
    return ink;
}

QRectF inkBounds(const std::vector<QPainterPath>& ink)
{
    QRectF box;
    for (const QPainterPath& path : ink)
        if (!path.isEmpty())
            box = box.isNull() ? path.boundingRect() : box.united(path.boundingRect());
    return box;
}

Handwriting trimmed(const Handwriting& writing, double margin)
{
    const QRectF box = inkBounds(handwritingInk(writing));
    Handwriting out = writing;
    if (box.isEmpty())
        return out;
    const QPointF by = QPointF(margin, margin) - box.topLeft();
    for (PenStroke& stroke : out.strokes)
        for (PenPoint& p : stroke) {
            p.x += by.x();
            p.y += by.y();
        }
    out.size = box.size() + QSizeF(2 * margin, 2 * margin);
    return out;
}

QByteArray handwritingJson(const Handwriting& writing)
{
    const auto round = [](double v) { return std::round(v * 100) / 100; };
    QJsonArray strokes;
    for (const PenStroke& stroke : writing.strokes) {
        QJsonArray points;
        for (const PenPoint& p : stroke)
            points.append(QJsonArray{round(p.x), round(p.y), round(p.ms),
                                     p.pressure < 0 ? -1 : std::round(p.pressure * 1000) / 1000});
        strokes.append(points);
    }
    return QJsonDocument(
               QJsonObject{{QStringLiteral("format"), Format},
                           {QStringLiteral("version"), Version},
                           {QStringLiteral("penWidth"), writing.penWidth},
                           {QStringLiteral("ink"), QColor(writing.ink).name()},
                           {QStringLiteral("size"), QJsonArray{round(writing.size.width()),
                                                               round(writing.size.height())}},
                           {QStringLiteral("strokes"), strokes}})
        .toJson(QJsonDocument::Compact);
}

std::variant<Handwriting, HandwritingError> readHandwriting(const QByteArray& json)
{
    using E = HandwritingError;
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return E::Unreadable;
    const QJsonObject o = document.object();
    if (o.value(QStringLiteral("format")).toString() != Format)
        return E::NotOurs;
    if (!o.value(QStringLiteral("version")).isDouble())
        return E::Malformed;
    if (o.value(QStringLiteral("version")).toDouble() > Version)
        return E::NewerVersion;
    Handwriting writing;
    // Reference pixels: a page of a metre at most, a pen of a centimetre.
    constexpr double Farthest = 4000;
    const QJsonValue pen = o.value(QStringLiteral("penWidth"));
    const QColor ink(o.value(QStringLiteral("ink")).toString());
    const QJsonArray size = o.value(QStringLiteral("size")).toArray();
    if (!finite(pen, 40) || pen.toDouble() <= 0 || !ink.isValid() || size.size() != 2 ||
        !finite(size[0], Farthest) || !finite(size[1], Farthest) ||
        !o.value(QStringLiteral("strokes")).isArray())
        return E::Malformed;
    writing.penWidth = pen.toDouble();
    writing.ink = ink.rgb();
    writing.size = QSizeF(size[0].toDouble(), size[1].toDouble());
    const QJsonArray strokes = o.value(QStringLiteral("strokes")).toArray();
    qsizetype points = 0;
    for (const QJsonValue& s : strokes)
        points += s.toArray().size();
    if (points > MostPenPoints)
        return E::TooManyPoints;
    for (const QJsonValue& s : strokes) {
        if (!s.isArray())
            return E::Malformed;
        PenStroke stroke;
        for (const QJsonValue& v : s.toArray()) {
            const QJsonArray p = v.toArray();
            if (p.size() != 4 || !finite(p[0], Farthest) || !finite(p[1], Farthest) ||
                !finite(p[2], 1e9) || !finite(p[3], 1))
                return E::Malformed;
            stroke.push_back({p[0].toDouble(), p[1].toDouble(), p[2].toDouble(), p[3].toDouble()});
        }
        if (!stroke.empty())
            writing.strokes.push_back(std::move(stroke));
    }
    if (writing.strokes.empty())
        return E::NoInk;
    return writing;
}

DrawnSignature drawnSignature(const Handwriting& writing)
{
    const Handwriting ink = trimmed(writing, 0);
    return {handwritingInk(ink), QImage(), ink.size};
}

QImage recoloured(const QImage& ink, QRgb color)
{
    QImage out = ink.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            row[x] = qRgba(qRed(color), qGreen(color), qBlue(color), qAlpha(row[x]));
    }
    return out;
}

void paintDrawn(QPainter& painter, const DrawnSignature& drawn, const QRectF& box, QRgb ink)
{
    if (drawn.size.isEmpty() || box.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!drawn.scan.isNull()) {
        painter.drawImage(box, recoloured(drawn.scan, ink));
    } else {
        painter.translate(box.topLeft());
        painter.scale(box.width() / drawn.size.width(), box.height() / drawn.size.height());
        for (const QPainterPath& stroke : drawn.strokes)
            painter.fillPath(stroke, QColor::fromRgb(ink | 0xFF000000));
    }
    painter.restore();
}
