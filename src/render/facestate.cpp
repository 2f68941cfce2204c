#include "facestate.h"

#include <QFontMetricsF>
#include <QImage>

#include <bit>

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
    source_.clear();
    update();
}

void FaceState::setSource(const QString& source)
{
    if (source == source_)
        return;
    source_ = source;
    update();
}

void FaceState::setFallback(const QStringList& faces)
{
    if (faces == fallback_)
        return;
    fallback_ = faces;
    update();
}

void FaceState::setPoints(double points)
{
    points_ = points;
    update();
}

void FaceState::update()
{
    font_.setFamilies(QStringList{face_} + fallback_);
    font_.setPointSizeF(points_);
    // The size by its exact bits: quicker to write than its digits.
    key_ = face_ + u'\x1f' + source_ + u'\x1f' + fallback_.join(u'\x1e') + u'\x1f' +
           QString::number(std::bit_cast<quint64>(points_), 16);
    auto it = metrics_.constFind(key_);
    if (it == metrics_.constEnd()) {
        if (metrics_.size() >= MaxRemembered)
            metrics_.clear();
        const QFontMetricsF fm(font_, referenceDevice());
        it = metrics_.insert(key_, {fm.ascent(), fm.height()});
    }
    ascentPx_ = it->ascent;
    heightPx_ = it->height;
}

double FaceState::advancePx(const QString& s)
{
    const std::pair<QString, QString> at{key_, s};
    if (const auto it = advances_.constFind(at); it != advances_.constEnd())
        return *it;
    if (advances_.size() >= MaxRemembered)
        advances_.clear();
    const double advance = QFontMetricsF(font_, referenceDevice()).horizontalAdvance(s);
    advances_.insert(at, advance);
    return advance;
}
