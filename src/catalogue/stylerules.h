#pragma once

#include <QRgb>
#include <QString>

#include <optional>

// What picking a style implies for the size box and the ink.
struct StyleRule
{
    int largestSize;
    QRgb ink;
};

inline const QString SealStyle = QStringLiteral("篆印体");
inline const QString SealStyleIntaglio = QStringLiteral("篆印体-阴文");
inline const QString LatinStyleMark = QStringLiteral("英文签");
inline constexpr QRgb SealFrameColor = 0xFFC00000; // RGB(192, 0, 0) whatever the ink

StyleRule styleRuleFor(const QString& styleName);

// The number a size text begins with: leading blanks skipped, 0 when it begins with none.
double leadingNumber(const QString& text);

// The size text after a style pick: capped at the rule's largest size, otherwise unchanged.
QString cappedSizeText(const QString& sizeText, const StyleRule& rule);

inline constexpr double SmallestFontSize = 1;
inline constexpr double LargestFontSize = 2160;

// The point size a size text stands for, when it is a whole number text within range.
std::optional<double> fontSizeFromText(const QString& text);
