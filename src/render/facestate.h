#pragma once

#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPaintDevice;

// The selected face and size, measured at the 96-dpi reference whatever the output, so that
// the layout in twips never depends on the output's resolution.
class FaceState
{
public:
    FaceState();

    void setFace(const QString& face);
    void setFallback(const QStringList& faces);
    void setPoints(double points);

    const QFont& font() const { return font_; }
    double points() const { return points_; }
    // In reference pixels. Held from the moment the face is selected: a face's registration
    // may be dropped before its height is asked for, and it must stay that of the selected face.
    double ascentPx() const { return ascentPx_; }
    double heightPx() const { return heightPx_; }
    double advancePx(const QString& s) const;
    QRectF boundingRectPx(const QString& s) const;

    // Text is measured on this device: 3780 dots per metre is 96 dpi.
    static const QPaintDevice* referenceDevice();

private:
    void update();

    QFont font_;
    QString face_;
    QStringList fallback_;
    double points_ = 9;
    double ascentPx_ = 0;
    double heightPx_ = 0;
};
