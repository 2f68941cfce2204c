#include "layoutjson.h"

#include "catalogue/stylerules.h"
#include "render/fitting.h"
#include "render/geometry.h"
#include "render/layout.h"
#include "render/placementrules.h"

#include <QJsonArray>

namespace {

QJsonObject box(const QRectF& r)
{
    return QJsonObject{{QStringLiteral("left"), r.left()},
                       {QStringLiteral("top"), r.top()},
                       {QStringLiteral("width"), r.width()},
                       {QStringLiteral("height"), r.height()}};
}

} // namespace

QJsonObject rulesJson()
{
    return QJsonObject{
        {QStringLiteral("twipsPerPixel"), TwipsPerPixel},
        {QStringLiteral("pictureWidthPx"), SurfaceWidthPx},
        {QStringLiteral("pictureHeightPx"), SurfaceHeightPx},
        {QStringLiteral("fitMarginPx"), FitMarginPx},
        {QStringLiteral("centreShiftLeft"), Rules::CentreShiftLeft},
        {QStringLiteral("centreShiftUp"), Rules::CentreShiftUp},
        {QStringLiteral("sealShiftLeft"), Rules::SealShiftLeft},
        {QStringLiteral("sealShiftUp"), Rules::SealShiftUp},
        {QStringLiteral("frameMarginLeft"), Rules::FrameMarginLeft},
        {QStringLiteral("frameMarginTop"), Rules::FrameMarginTop},
        {QStringLiteral("tightening"), Rules::Tightening},
        {QStringLiteral("sealLargestSize"), styleRuleFor(SealStyle).largestSize},
    };
}

QJsonObject layoutJson(const Layout& layout)
{
    QJsonArray runs;
    for (const PlacedRun& run : layout.runs)
        runs.append(QJsonObject{{QStringLiteral("text"), run.text},
                                {QStringLiteral("points"), run.points},
                                {QStringLiteral("left"), run.at.x()},
                                {QStringLiteral("top"), run.at.y()},
                                {QStringLiteral("ink"), box(run.ink)}});
    QJsonObject json{{QStringLiteral("textBox"), box(layout.textBox)},
                     {QStringLiteral("inkBox"), box(layout.inkBox)},
                     {QStringLiteral("runs"), runs}};
    if (layout.frame)
        json.insert(QStringLiteral("frame"),
                    box(QRectF(QPointF(layout.frame->left, layout.frame->top),
                               QPointF(layout.frame->right, layout.frame->bottom))));
    return json;
}
