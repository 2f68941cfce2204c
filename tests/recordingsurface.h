#pragma once

#include "catalogue/fonttable.h"
#include "render/faces.h"
#include "render/surface.h"

#include <QMap>
#include <QStringList>
#include <QTextBoundaryFinder>

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

// Faces whose measures are known exactly.
//
// At 72 points a character is faceWidth[face] twips wide (or charWidth[face][ch]), and a string
// of more than one character is `pairAdjust` narrower per neighbouring pair than the sum of its
// characters, so whole-string and per-character measures differ. Heights are
// faceHeight[face]; every measure scales with the point size. A text's ink is its box, or for a
// single character, its box moved by inkShift.
class RecordingFaces : public Faces
{
public:
    RecordingFontTable& fonts;
    QMap<QString, double> faceWidth;
    QMap<QString, double> faceHeight;
    QMap<QString, QMap<QChar, double>> charWidth;
    QMap<QChar, QPointF> inkShift;
    double pairAdjust = -7.25;

    explicit RecordingFaces(RecordingFontTable& table) : fonts(table) {}

    RunFace select(const QString& file, const QString& face, const QString&,
                   FontHold& hold) override
    {
        fonts.addFont(file);
        RecordingFontTable* table = &fonts;
        hold = FontHold(nullptr, [table, file](const void*) { table->removeFont(file); });
        return RunFace{fonts.familyFor(file, face), file, {}};
    }
    double width(const RunFace& face, double points, const QString& s) override
    {
        const QString& f = face.family;
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
        return w * points / 72;
    }
    double height(const RunFace& face, double points) override
    {
        return faceHeight.value(face.family, 700) * points / 72;
    }
    QRectF ink(const RunFace& face, double points, const QString& s) override
    {
        const QRectF box(0, 0, width(face, points, s), height(face, points));
        return s.size() == 1 ? box.translated(inkShift.value(s.at(0)) * points / 72) : box;
    }
};

// Records what a layout paints, in order.
class RecordingSurface : public Surface
{
public:
    QStringList log;
    std::vector<PlacedRun> runs;
    std::vector<QRgb> inks;
    std::vector<SealFrame> frames;

    void clear() override { log << QStringLiteral("clear"); }
    bool setBackground(const QString& path) override
    {
        log << QStringLiteral("setBackground ") + path;
        return true;
    }
    void drawRun(const PlacedRun& run, QRgb ink) override
    {
        runs.push_back(run);
        inks.push_back(ink);
        log << QStringLiteral("drawRun ") + run.text;
    }
    void drawDrawn(const DrawnSignature&, const QRectF& box, QRgb) override
    {
        log << QStringLiteral("drawDrawn %1,%2").arg(box.left()).arg(box.top());
    }
    void drawFrame(const SealFrame& frame) override
    {
        frames.push_back(frame);
        log << QStringLiteral("drawFrame");
    }
};
