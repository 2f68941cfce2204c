#include "facestate.h"

#include <QFontMetricsF>
#include <QImage>

FaceState::FaceState()
{
    font_.setHintingPreference(QFont::PreferNoHinting);
    update();
}

const QPaintDevice* FaceState::referenceDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);
        image.setDotsPerMeterY(3780);
        return image;
    }();
    return &device;
}

void FaceState::setFace(const QString& face)
{
    face_ = face;
    font_.setFamilies(QStringList{face} + fallback_);
    update();
}

void FaceState::setFallback(const QStringList& faces)
{
    if (faces == fallback_)
        return;
    fallback_ = faces;
    setFace(face_);
}

void FaceState::setPoints(double points)
{
    points_ = points;
    update();
}

void FaceState::update()
{
    font_.setPointSizeF(points_);
    const QFontMetricsF fm(font_, referenceDevice());
    ascentPx_ = fm.ascent();
    heightPx_ = fm.height();
}

double FaceState::advancePx(const QString& s) const
{
    return QFontMetricsF(font_, referenceDevice()).horizontalAdvance(s);
}

QRectF FaceState::boundingRectPx(const QString& s) const
{
    return QFontMetricsF(font_, referenceDevice()).boundingRect(s);
}
