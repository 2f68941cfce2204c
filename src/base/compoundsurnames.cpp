#include "compoundsurnames.h"

#include <QTextBoundaryFinder>

CompoundSurnames parseCompoundSurnames(const QString& list)
{
    CompoundSurnames surnames;
    // Characters as a person sees them: CR LF, or a letter with its marks, is one.
    const auto firstCharacters = [](const QString& text, int count) {
        QStringList out;
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        for (qsizetype at = 0; at < text.size() && out.size() < count;) {
            const qsizetype next = finder.toNextBoundary();
            out << text.mid(at, (next > at ? next : text.size()) - at);
            at = next > at ? next : text.size();
        }
        return out;
    };
    const QStringList chunks = list.split(u' ');
    for (qsizetype i = 1; i < chunks.size(); ++i) {
        const QStringList c = firstCharacters(chunks[i], 5);
        if (c.size() < 3 || c[2] != QLatin1String("-"))
            continue;
        const QString surname = c[0] + c[1];
        if (!surnames.contains(surname))
            surnames.insert(surname, c.value(4));
    }
    return surnames;
}
