#pragma once

#include "faces.h"
#include "facestate.h"
#include "shapedtext.h"

#include <QHash>
#include <QPainterPath>
#include <QRawFont>

#include <optional>

class FontTable;

// The program's faces: files registered through a font table, measured as the surfaces draw.
class AppFaces : public Faces
{
public:
    explicit AppFaces(FontTable& fonts) : fonts_(fonts) {}

    RunFace select(const QString& file, const QString& face, const QString& text,
                   FontHold& hold) override;
    double width(const RunFace& face, double points, const QString& text) override;
    double height(const RunFace& face, double points) override;
    QRectF ink(const RunFace& face, double points, const QString& text) override;
    InkProfile profile(const RunFace& face, double points, const QString& text) override;
    bool fallsBack(const RunFace& face, double points, const QString& text) override;
    bool lacksGlyphs(const RunFace& face, double points, const QString& text) override;

private:
    FaceState& use(const RunFace& face, double points);
    QPainterPath outline(const FaceState& state, const QString& text);
    const QRawFont& rawFace(const QString& family);

    FontTable& fonts_;
    FaceState state_;
    std::optional<RunFace> used_;
    TextShaper shaper_{true};
    QHash<std::pair<QString, QString>, QRectF> inks_; // by face key and text, in pixels
    QHash<std::pair<QString, QString>, InkProfile> profiles_; // in twips
    QHash<QString, QRawFont> rawFaces_; // by family: what each face has
    static constexpr qsizetype MaxInks = 8192;
    static constexpr qsizetype MaxRawFaces = 64;
};
