#include "fonttable.h"

#include <QFileInfo>
#include <QFontDatabase>

AppFontTable::~AppFontTable()
{
    for (const Entry& e : std::as_const(entries_))
        if (e.id >= 0)
            QFontDatabase::removeApplicationFont(e.id);
}

void AppFontTable::AddFont(const QString& path)
{
    const QFileInfo info(path);
    auto it = entries_.find(path);
    if (it != entries_.end() && (it->size != info.size() || it->modified != info.lastModified())) {
        unregister(path);
        it = entries_.end();
    }
    if (it == entries_.end()) {
        Entry e;
        e.size = info.size();
        e.modified = info.lastModified();
        if (info.isFile() && info.size() > 0) {
            e.id = QFontDatabase::addApplicationFont(path);
            if (e.id >= 0)
                e.families = QFontDatabase::applicationFontFamilies(e.id);
        }
        it = entries_.insert(path, e);
    }
    ++it->uses;
    released_.remove(path);
}

void AppFontTable::RemoveFont(const QString& path)
{
    auto it = entries_.find(path);
    if (it == entries_.end() || it->uses == 0)
        return;
    if (--it->uses > 0)
        return;
    if (keepAlive_ <= 0) {
        unregister(path);
        return;
    }
    released_.push_back(path);
    trim();
}

QString AppFontTable::familyFor(const QString& path, const QString& face) const
{
    const auto it = entries_.constFind(path);
    if (it == entries_.constEnd() || it->families.isEmpty())
        return face;
    for (const QString& family : it->families)
        if (family.compare(face, Qt::CaseInsensitive) == 0)
            return family;
    return it->families.first();
}

void AppFontTable::unregister(const QString& path)
{
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return;
    if (it->id >= 0)
        QFontDatabase::removeApplicationFont(it->id);
    entries_.erase(it);
    released_.remove(path);
}

void AppFontTable::trim()
{
    while (int(released_.size()) > keepAlive_)
        unregister(released_.front());
}
