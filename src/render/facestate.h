#pragma once

#include <QFont>
#include <QHash>
#include <QString>
#include <QStringList>

class QPaintDevice;

// The selected face and size, measured at the 96-dpi reference whatever the output, so that
// the layout in twips never depends on the output's resolution.
class FaceState
{
public:
    FaceState();

    // Selecting a face forgets its source; setSource names the file it comes from.
    void setFace(const QString& face);
    void setSource(const QString& source);
    void setFallback(const QStringList& faces);
    void setPoints(double points);

    const QFont& font() const { return font_; }
    double points() const { return points_; }
    // Names the face, its source file, its fallbacks and its size: what kept measurements and
    // renderings are filed under. Two files whose fonts share a family name get different keys.
    const QString& key() const { return key_; }
    // In reference pixels. Held from the moment the face is selected: a face's registration
    // may be dropped before its height is asked for, and it must stay that of the selected face.
    double ascentPx() const { return ascentPx_; }
    double heightPx() const { return heightPx_; }
    // Remembered per key and text, so that a drag measures nothing twice.
    double advancePx(const QString& s);

    // Text is measured on this device: 3780 dots per metre is 96 dpi.
    static const QPaintDevice* referenceDevice();

private:
    void update();

    QFont font_;
    QString face_;
    QString source_;
    QStringList fallback_;
    double points_ = 9;
    double ascentPx_ = 0;
    double heightPx_ = 0;
    QString key_;

    struct Metrics
    {
        double ascent, height;
    };
    QHash<QString, Metrics> metrics_;                     // by key
    QHash<std::pair<QString, QString>, double> advances_; // by key and text
    static constexpr qsizetype MaxRemembered = 8192;
};
