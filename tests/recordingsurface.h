#pragma once

#include "catalogue/fonttable.h"
#include "render/surface.h"

#include <QMap>
#include <QStringList>
#include <QTextBoundaryFinder>

// A surface whose text measures are known exactly, recording what is drawn.
//
// At 72 points a character is faceWidth[face] twips wide (or charWidth[face][ch]), and a string
// of more than one character is `pairAdjust` narrower per neighbouring pair than the sum of its
// characters, so whole-string and per-character measures differ. Heights are
// faceHeight[face]; every measure scales with the point size.
class RecordingSurface : public Surface
{
public:
    QStringList* log;
    QMap<QString, double> faceWidth;
    QMap<QString, double> faceHeight;
    QMap<QString, QMap<QChar, double>> charWidth;
    // Where a character's ink lies off its box, in twips: a face placing it elsewhere.
    QMap<QChar, QPointF> inkShift;
    double pairAdjust = -7.25;
    double inner[2] = {5820, 3915};

    QString face = QStringLiteral("none");
    double points = 0;
    QRgb ink = 0;

    struct Text
    {
        QString face;
        double x, y;
        QString text;
        QRgb ink;
        double points;
    };
    std::vector<Text> texts;
    struct Frame
    {
        double x1, y1, x2, y2;
        QRgb color;
        bool filled;
    };
    std::vector<Frame> frames;

    explicit RecordingSurface(QStringList* sharedLog) : log(sharedLog) {}

    // Per character as a person sees it: a surrogate pair, a letter with its marks.
    double width(const QString& f, const QString& s) const
    {
        double w = 0;
        int characters = 0;
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, s);
        for (qsizetype at = 0; at < s.size();) {
            const qsizetype next = graphemes.toNextBoundary();
            w += charWidth.value(f).value(s.at(at), faceWidth.value(f, 500));
            ++characters;
            at = next < 0 ? s.size() : next;
        }
        if (characters > 1)
            w += pairAdjust * double(characters - 1);
        return w;
    }
    double height(const QString& f) const { return faceHeight.value(f, 700); }

    void clear() override
    {
        *log << QStringLiteral("clear");
        texts.clear();
        frames.clear();
    }
    bool setBackground(const QString& path) override
    {
        *log << QStringLiteral("setBackground ") + path;
        return true;
    }
    void setFontName(const QString& f) override
    {
        face = f;
        *log << QStringLiteral("setFontName ") + f;
    }
    void setFontSize(double p) override
    {
        points = p;
        *log << QStringLiteral("setFontSize %1").arg(p);
    }
    void setInkColor(QRgb c) override { ink = c; }
    double textWidth(const QString& s) override { return width(face, s) * points / 72; }
    double textHeight(const QString&) override { return height(face) * points / 72; }
    QRectF textInk(const QString& s) override
    {
        const QRectF box(0, 0, textWidth(s), textHeight(s));
        return s.size() == 1 ? box.translated(inkShift.value(s.at(0))) : box;
    }
    double innerWidth() const override { return inner[0]; }
    double innerHeight() const override { return inner[1]; }
    void drawText(QPointF at, const QString& s) override
    {
        if (!s.isEmpty())
            texts.push_back({face, at.x(), at.y(), s, ink, points});
        *log << QStringLiteral("drawText %1 %2,%3 %4").arg(face).arg(at.x()).arg(at.y()).arg(s);
    }
    void drawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled,
                   int) override
    {
        frames.push_back({x1, y1, x2, y2, color, filled});
        *log << QStringLiteral("drawFrame");
    }
};

// Counts registrations; every file "registers" and keeps its face name.
class RecordingFontTable : public FontTable
{
public:
    QStringList* log;
    QMap<QString, int> live;
    int adds = 0;
    int removes = 0;

    explicit RecordingFontTable(QStringList* sharedLog) : log(sharedLog) {}
    void addFont(const QString& path) override
    {
        ++adds;
        ++live[path];
        *log << QStringLiteral("addFont ") + path;
    }
    void removeFont(const QString& path) override
    {
        ++removes;
        --live[path];
        *log << QStringLiteral("removeFont ") + path;
    }
    QString familyFor(const QString&, const QString& face) const override { return face; }
    bool balanced() const
    {
        for (int n : live)
            if (n != 0)
                return false;
        return adds == removes;
    }
};
