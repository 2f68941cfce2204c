#include "stylerules.h"

#include <QLocale>

#include <cmath>

StyleRule styleRuleFor(const QString& styleName)
{
    if (styleName.contains(LatinStyleMark) || styleName == QStringLiteral("毛体"))
        return {72, qRgb(0, 0, 0)};
    if (styleName == SealStyle)
        return {48, SealFrameColor};
    if (styleName == SealStyleIntaglio)
        return {48, qRgb(255, 255, 255)};
    return {72, qRgb(0, 0, 0)};
}

namespace {

// A Chinese input method in full-width mode types ７２ and ３６．５: the digits, point and
// signs they stand for.
QString halfWidth(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if ((u >= 0xFF10 && u <= 0xFF19) || u == 0xFF0E || u == 0xFF0B || u == 0xFF0D ||
            u == 0xFF45 || u == 0xFF25)
            c = QChar(u - 0xFF00 + 0x20);
        else if (u == 0x3000)
            c = u' ';
    }
    return out;
}

} // namespace

double leadingNumber(const QString& typed)
{
    const QString text = halfWidth(typed);
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto at = [&](qsizetype k) {
        return k < n ? text.at(k) : QChar();
    };
    while (i < n && (at(i) == u' ' || at(i) == u'\t' || at(i) == u'\r' || at(i) == u'\n'))
        ++i;
    const qsizetype start = i;
    if (at(i) == u'+' || at(i) == u'-')
        ++i;
    bool digits = false;
    while (at(i).isDigit() && at(i).unicode() < 128) {
        ++i;
        digits = true;
    }
    if (at(i) == u'.') {
        ++i;
        while (at(i).isDigit() && at(i).unicode() < 128) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return 0;
    qsizetype end = i;
    if (at(i) == u'e' || at(i) == u'E') {
        qsizetype k = i + 1;
        if (at(k) == u'+' || at(k) == u'-')
            ++k;
        if (at(k).isDigit() && at(k).unicode() < 128) {
            while (at(k).isDigit() && at(k).unicode() < 128)
                ++k;
            end = k;
        }
    }
    const double value = QLocale::c().toDouble(text.mid(start, end - start));
    return std::isfinite(value) ? value : 0;
}

QString cappedSizeText(const QString& sizeText, const StyleRule& rule)
{
    return leadingNumber(sizeText) > rule.largestSize ? QString::number(rule.largestSize)
                                                      : sizeText;
}

std::optional<double> fontSizeFromText(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(halfWidth(text).trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < SmallestFontSize || value > LargestFontSize)
        return std::nullopt;
    return value;
}
