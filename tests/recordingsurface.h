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

    void Clear() override
    {
        *log << QStringLiteral("Clear");
        texts.clear();
        frames.clear();
    }
    bool SetBackground(const QString& path) override
    {
        *log << QStringLiteral("SetBackground ") + path;
        return true;
    }
    void SetFontName(const QString& f) override
    {
        face = f;
        *log << QStringLiteral("SetFontName ") + f;
    }
    void SetFontSize(double p) override
    {
        points = p;
        *log << QStringLiteral("SetFontSize %1").arg(p);
    }
    void SetInkColor(QRgb c) override { ink = c; }
    double TextWidth(const QString& s) override { return width(face, s) * points / 72; }
    double TextHeight(const QString&) override { return height(face) * points / 72; }
    double InnerWidth() const override { return inner[0]; }
    double InnerHeight() const override { return inner[1]; }
    void DrawText(const QString& s) override
    {
        if (!s.isEmpty())
            texts.push_back({face, CursorX, CursorY, s, ink, points});
        *log << QStringLiteral("DrawText %1 %2,%3 %4").arg(face).arg(CursorX).arg(CursorY).arg(s);
    }
    void DrawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled) override
    {
        frames.push_back({x1, y1, x2, y2, color, filled});
        *log << QStringLiteral("DrawFrame");
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
    void AddFont(const QString& path) override
    {
        ++adds;
        ++live[path];
        *log << QStringLiteral("AddFont ") + path;
    }
    void RemoveFont(const QString& path) override
    {
        ++removes;
        --live[path];
        *log << QStringLiteral("RemoveFont ") + path;
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
