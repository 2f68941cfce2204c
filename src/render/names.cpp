#include "names.h"

#include <QTextBoundaryFinder>

QStringList characters(const QString& text, qsizetype atMost)
{
    QStringList out;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = 0; at < text.size() && out.size() != atMost;) {
        qsizetype next = graphemes.toNextBoundary();
        if (next <= at)
            next = text.size();
        out << text.mid(at, next - at);
        at = next;
    }
    return out;
}

bool isBlankCharacter(const QString& character)
{
    for (const char32_t c : character.toUcs4()) {
        const bool invisible =
            c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 ||
            c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F) ||
            (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) ||
            c == 0xFEFF || c == 0xFFA0 || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
            (c >= 0xE0000 && c <= 0xE0FFF);
        const QChar::Category kind = QChar::category(c);
        const bool mark = kind == QChar::Mark_NonSpacing || kind == QChar::Mark_SpacingCombining ||
                          kind == QChar::Mark_Enclosing;
        if (!invisible && !mark && !QChar::isSpace(c))
            return false;
    }
    return true;
}

QString visibleName(const QString& name)
{
    QStringList shown = characters(name);
    shown.removeIf([](const QString& c) { return isBlankCharacter(c); });
    return shown.join(QString());
}

QString completedSealName(const QString& name)
{
    switch (characters(name, 9).size()) {
    case 2:
    case 7:
        return name + QStringLiteral("之印");
    case 3:
    case 5:
    case 8:
        return name + QStringLiteral("印");
    default:
        return name;
    }
}

double tighteningAt(double points)
{
    return points >= 72 ? Rules::Tightening : Rules::Tightening * points / 72;
}

std::optional<QString> compoundSurnameGlyph(const CompoundSurnames& surnames, const QString& name)
{
    const auto entry = surnames.constFind(characters(name, 2).join(QString()));
    if (entry == surnames.constEnd())
        return std::nullopt;
    return *entry;
}

namespace {

QString joined(const QStringList& parts, qsizetype from, qsizetype count)
{
    return parts.mid(from, count).join(QString());
}

// Head, middle and tail of a name of L characters from `first` on: the first, the ones between
// and the last.
Pieces headMiddleTail(const QStringList& c, qsizetype first)
{
    const qsizetype L = c.size() - first;
    if (L <= 0)
        return {};
    if (L == 1)
        return {c[first], {}, {}};
    if (L == 2)
        return {c[first], {}, c[first + 1]};
    return {c[first], joined(c, first + 1, L - 2), c.last()};
}

} // namespace

Pieces splitChinese(const QString& n, const CompoundSurnames& surnames)
{
    const QStringList c = characters(n);
    if (const std::optional<QString> glyph = compoundSurnameGlyph(surnames, n)) {
        if (c.size() <= 2)
            return {*glyph, {}, {}};
        if (c.size() == 3)
            return {*glyph, {}, c[2]};
        return {*glyph, joined(c, 2, c.size() - 3), c.last()};
    }
    return headMiddleTail(c, 0);
}

Pieces splitLatin(const QString& n)
{
    return headMiddleTail(characters(n), 0);
}
