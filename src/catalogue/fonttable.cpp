#include "fonttable.h"

#include "app/programvalues.h"
#include "app/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QSet>

#include <woff2/decode.h>

#include <algorithm>

AppFontTable::~AppFontTable()
{
    for (const Entry& e : std::as_const(entries_))
        if (e.id >= 0)
            QFontDatabase::removeApplicationFont(e.id);
    if (fallbackId_ >= 0)
        QFontDatabase::removeApplicationFont(fallbackId_);
}

QByteArray unpackedFont(const QString& path)
{
    const std::optional<QByteArray> read = readRegularFile(path, MaxFontFileBytes);
    if (!read)
        return {};
    const QByteArray& data = *read;
    if (!data.startsWith("wOF2"))
        return data;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    const size_t size = woff2::ComputeWOFF2FinalSize(bytes, size_t(data.size()));
    if (size == 0 || size > size_t(MaxFontFileBytes))
        return {};
    QByteArray font(qsizetype(size), Qt::Uninitialized);
    if (!woff2::ConvertWOFF2ToTTF(reinterpret_cast<uint8_t*>(font.data()), size, bytes,
                                  size_t(data.size())))
        return {};
    return font;
}

QStringList AppFontTable::fallbackFamilies(const QString& text)
{
    if (fallbackId_ < 0 && !fallbackPath_.isEmpty() && needsFallback(text)) {
        // Registered unpacked: Qt reads every application font again whenever one is added,
        // and a compressed one would be unpacked again each time.
        const QByteArray font = unpackedFont(fallbackPath_);
        if (!font.isEmpty())
            fallbackId_ = QFontDatabase::addApplicationFontFromData(font);
        fallbackPath_.clear(); // one attempt
        if (fallbackId_ >= 0) {
            fallbackFamilies_ = QFontDatabase::applicationFontFamilies(fallbackId_);
            fallbackFont_.setFamilies(fallbackFamilies_);
            QFontMetricsF(fallbackFont_).height();
        }
    }
    return fallbackFamilies_;
}

namespace {

QSet<char32_t> gb2312Hanzi()
{
    QSet<char32_t> set;
    for (int hi = 0xB0; hi <= 0xF7; ++hi)
        for (int lo = 0xA1; lo <= 0xFE; ++lo)
            for (const char32_t c :
                 decodeGbk(QByteArray().append(char(hi)).append(char(lo))).toUcs4())
                set.insert(c);
    return set;
}

} // namespace

bool needsFallback(const QString& text)
{
    static const QSet<char32_t> promised = gb2312Hanzi();
    for (const char32_t c : text.toUcs4()) {
        const bool punctuation = (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF);
        const bool privateUse = c >= 0xE000 && c <= 0xF8FF; // compound-surname glyphs
        if (c >= 0x2E80 && !punctuation && !privateUse && !promised.contains(c))
            return true;
    }
    return false;
}

void AppFontTable::AddFont(const QString& path)
{
    auto it = entries_.find(path);
    if (it != entries_.end() && !trusted_) {
        const QFileInfo info(path);
        if (it->size != info.size() || it->modified != info.lastModified()) {
            unregister(path);
            it = entries_.end();
        }
    }
    const bool fresh = it == entries_.end();
    if (fresh) {
        const QFileInfo info(path);
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
    if (fresh)
        dropOthersAnsweringTo(path);
}

// A face is selected by its family name. Another kept file whose font has the same name would
// be taken for this one, so it goes; it is registered again when its own style is drawn.
void AppFontTable::dropOthersAnsweringTo(const QString& path)
{
    const QStringList families = entries_.value(path).families;
    QStringList others;
    for (auto e = entries_.cbegin(); e != entries_.cend(); ++e)
        if (e.key() != path && e->uses == 0 &&
            std::any_of(e->families.cbegin(), e->families.cend(), [&](const QString& f) {
                return families.contains(f, Qt::CaseInsensitive);
            }))
            others << e.key();
    for (const QString& other : std::as_const(others))
        unregister(other);
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

QString AppFontTable::sourceOf(const QString& path) const
{
    const auto it = entries_.constFind(path);
    return it == entries_.constEnd() ? path : path + u'#' + QString::number(it->id);
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
