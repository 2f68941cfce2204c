#include "pagelist.h"

#include <limits>
#include <set>

namespace {

// One item of a page list: its first and last page, "last" standing for `count`; none where it
// is no item. Against a document of fewer pages "last" may come before a page named with it.
std::optional<std::pair<qint64, qint64>> pageItem(const QString& item, qint64 count)
{
    const QString text = item.trimmed();
    if (text == QLatin1String("all"))
        return std::pair<qint64, qint64>(1, count);
    const auto one = [count](const QString& n) -> std::optional<qint64> {
        if (n.trimmed() == QLatin1String("last"))
            return count;
        bool ok = false;
        const qint64 v = n.trimmed().toLongLong(&ok);
        return ok && v >= 1 ? std::optional<qint64>(v) : std::nullopt;
    };
    const qsizetype dash = text.indexOf(u'-');
    const auto first = one(dash < 0 ? text : text.left(dash));
    const auto last = dash < 0 ? first : one(text.mid(dash + 1));
    if (!first || !last)
        return std::nullopt;
    return std::pair(*first, *last);
}

} // namespace

std::optional<SignError> pageListProblem(const QString& list)
{
    // Read against the largest document there can be, "last" is after every page named.
    for (const QString& item : list.split(u',')) {
        const auto read = pageItem(item, std::numeric_limits<int>::max());
        if (!read || read->second < read->first) {
            SignError e{SignError::Kind::BadPageList};
            e.detail = item.trimmed();
            return e;
        }
    }
    return std::nullopt;
}

std::variant<std::vector<int>, SignError> pageList(const QString& list, int count)
{
    if (auto problem = pageListProblem(list))
        return *problem;
    if (count < 1)
        return SignError{SignError::Kind::NoPages};
    std::vector<int> pages;
    std::set<int> seen;
    for (const QString& item : list.split(u',')) {
        const auto [first, last] = *pageItem(item, count);
        // "5-last" of three pages names page 5, which there is not.
        if (first > count || last > count || last < first) {
            SignError e{SignError::Kind::NoSuchPage};
            e.page = int(std::min<qint64>(std::max(first, last), std::numeric_limits<int>::max()));
            e.count = count;
            return e;
        }
        for (qint64 page = first; page <= last; ++page)
            if (seen.insert(int(page)).second)
                pages.push_back(int(page));
    }
    return pages;
}
