#include "fonttable.h"

#include "fontnames.h"

#include "base/programvalues.h"
#include "base/text.h"
#include "base/regularfile.h"
#include "base/temporaries.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>

#include <woff2/decode.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

AppFontTable::~AppFontTable()
{
    // The worker writes into the copies' folder, which goes with the table: it stops after the
    // file at hand.
    stopAhead_ = true;
    if (ahead_.valid())
        ahead_.wait();
    for (const Entry& e : std::as_const(entries_))
        if (e.id >= 0)
            QFontDatabase::removeApplicationFont(e.id);
    for (const Fallback& f : std::as_const(fallbacks_))
        if (f.id >= 0)
            QFontDatabase::removeApplicationFont(f.id);
}

namespace {

// Unpacking a large face costs a tenth of a second in every run: the unpacked bytes are kept in
// the cache folder for the next one, under a name made of what the file is (its path, device,
// inode, size and time), so that a file changed or replaced is unpacked afresh.
QString unpackedCopyName(const QString& path)
{
    struct stat st = {};
    if (::stat(encodeFileName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty() || QDir::isRelativePath(base))
        return {};
    const QByteArray identity = encodeFileName(QFileInfo(path).absoluteFilePath()) + '|' +
                                QByteArray::number(qulonglong(st.st_dev)) + '|' +
                                QByteArray::number(qulonglong(st.st_ino)) + '|' +
                                QByteArray::number(qlonglong(st.st_size)) + '|' +
                                QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.' +
                                QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
    return base + QStringLiteral("/sorvex-sign/faces/") +
           QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha256)
                                   .toHex()) +
           QStringLiteral(".ttf");
}

// Written beside and renamed into place, so that a reader finds a whole file or none; the
// folder keeps the newest few, a kit's worth.
void keepUnpacked(const QString& name, const QByteArray& font)
{
    const QFileInfo info(name);
    if (!QDir().mkpath(info.path()))
        return;
    QFile part(name + QStringLiteral(".%1.part").arg(::getpid()));
    if (!part.open(QIODevice::WriteOnly) || part.write(font) != font.size() ||
        !part.flush() || !QFile::rename(part.fileName(), name)) {
        part.remove();
        return;
    }
    constexpr qint64 KeptBytes = 256 * 1024 * 1024;
    qint64 kept = 0;
    for (const QFileInfo& f : QDir(info.path()).entryInfoList({QStringLiteral("*.ttf")}, QDir::Files,
                                                              QDir::Time))
        if ((kept += f.size()) > KeptBytes)
            QFile::remove(f.filePath());
}

} // namespace

QByteArray unpackedFont(const QString& path)
{
    const QString cached = unpackedCopyName(path);
    if (!cached.isEmpty())
        if (const std::optional<QByteArray> kept = readRegularFile(cached, MaxFontFileBytes))
            if (!kept->isEmpty()) {
                // Its time says when it was last used: the folder keeps the newest.
                ::utimensat(AT_FDCWD, encodeFileName(cached).constData(), nullptr, 0);
                return *kept;
            }
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
    if (!cached.isEmpty())
        keepUnpacked(cached, font);
    return font;
}

namespace {

QString keyOf(const QString& path)
{
    const QFileInfo info(path);
    return path + u'|' + QString::number(info.size()) + u'|' +
           QString::number(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

// The file unpacked and renamed into a copy in `folder`; no copy, and why, where it cannot be.
// Touches nothing of the table: it runs on a worker thread for files prepared ahead.
AppFontTable::Unpacked AppFontTable::unpackCopy(const QString& path, const QString& folder)
{
    const QByteArray font = unpackedFont(path);
    if (font.isEmpty() || !tablesLieWithin(font))
        return {};
    if (!everyFaceHasOutlines(font))
        return {{}, {}, Fault::NoOutlines};
    static const QString process = QString::number(QRandomGenerator::system()->generate(), 36);
    static std::atomic<quint64> registrations = 0;
    const quint64 n = ++registrations;
    const QString family = QStringLiteral("Sorvex %1 %2").arg(process).arg(n);
    const std::optional<RenamedFont> renamed = withFamilyName(font, family);
    if (!renamed)
        return {{}, {}, Fault::OwnNames};
    Unpacked made{QDir(folder).filePath(QString::number(n) + QStringLiteral(".ttf")), {}};
    QFile file(made.copy);
    if (!file.open(QIODevice::WriteOnly) || file.write(renamed->bytes) != renamed->bytes.size()) {
        file.remove();
        return {};
    }
    const auto& former = renamed->formerFamilies;
    for (qsizetype i = 0; i < former.size(); ++i)
        made.faces << FaceNames{former[i], renamedFamily(family, i, former.size())};
    return made;
}

// The temporary folder first; where it cannot be written (read-only, full), the runtime folder,
// then the cache folder, so that the kit still draws.
bool AppFontTable::makeCopiesFolder()
{
    if (copiesDir_)
        return true;
    if (!copiesProblem_.isEmpty())
        return false;
    QStringList places{QDir::tempPath()};
    for (const QString& other : {qEnvironmentVariable("XDG_RUNTIME_DIR"),
                                 QStandardPaths::writableLocation(QStandardPaths::CacheLocation)})
        if (!other.isEmpty())
            places << other;
    QString problem;
    // A TMPDIR that does not exist makes the temporary folder empty: named as it was set.
    if (places.first().isEmpty())
        problem = QStringLiteral("the temporary folder %1 cannot be written (it does not exist)")
                      .arg(qEnvironmentVariable("TMPDIR"));
    for (const QString& place : std::as_const(places)) {
        if (place.isEmpty() || QDir::isRelativePath(place))
            continue;
        QDir().mkpath(place);
        auto dir = std::make_unique<QTemporaryDir>(runFolderTemplate(place));
        QFile probe(dir->isValid() ? dir->filePath(QStringLiteral("probe")) : QString());
        if (dir->isValid() && probe.open(QIODevice::WriteOnly) && probe.write("0") == 1 &&
            probe.flush()) {
            probe.remove();
            copiesDir_ = std::move(dir);
            return true;
        }
        if (problem.isEmpty())
            problem = QStringLiteral("the temporary folder %1 cannot be written (%2)")
                          .arg(place, dir->isValid() ? probe.errorString() : dir->errorString());
    }
    copiesProblem_ = problem;
    return false;
}

void AppFontTable::prepareAhead(const QStringList& paths)
{
    if (!makeCopiesFolder() || ahead_.valid())
        return;
    QList<std::pair<QString, std::shared_ptr<std::promise<Unpacked>>>> work;
    for (const QString& linked : paths) {
        const QString path = fileOf(linked);
        const QString key = keyOf(path);
        if (unpacked_.contains(key) || prepared_.contains(key) || !QFileInfo(path).isFile())
            continue;
        auto promise = std::make_shared<std::promise<Unpacked>>();
        prepared_.insert(key, promise->get_future().share());
        work.push_back({path, promise});
    }
    ahead_ = std::async(std::launch::async, [this, work, folder = copiesDir_->path()] {
        // Work nobody waits for yet: it yields to the window and the desktop.
        ::setpriority(PRIO_PROCESS, pid_t(::gettid()), 19);
        for (const auto& [path, promise] : work)
            promise->set_value(stopAhead_ ? Unpacked{} : unpackCopy(path, folder));
    });
}

// A face is selected by its family name, and the names in a font file are whatever its maker
// chose: another style's file, or a font the person installed, may answer to the same one. So
// each file is registered as a copy of its own whose family is a name no other font has. (A
// copy, not bytes: Qt files a font handed over as bytes under a name a later one may get again
// once the first is removed, and then draws the later one with the glyphs of the first.) The
// faces of a collection are numbered, and the face a style asks for is found by its old names.
// A file whose faces cannot all be renamed is not registered.
int AppFontTable::registerFile(const QString& path, QString& copy, QList<FaceNames>* faces,
                               Fault* fault)
{
    const QString key = keyOf(path);
    std::optional<Unpacked> made;
    if (const auto ahead = prepared_.find(key); ahead != prepared_.end()) {
        // Waits only where the worker has not got to it yet.
        made = ahead->get();
        prepared_.erase(ahead);
    }
    auto kept = unpacked_.constFind(key);
    if (kept == unpacked_.constEnd()) {
        if (!made || made->copy.isEmpty()) {
            if (!makeCopiesFolder())
                return -1;
            made = unpackCopy(path, copiesDir_->path());
        }
        if (made->copy.isEmpty()) {
            if (fault)
                *fault = made->fault;
            return -1;
        }
        kept = unpacked_.insert(key, *made);
    }
    const int id = QFontDatabase::addApplicationFont(kept->copy);
    if (id < 0) {
        QFile::remove(kept->copy);
        unpacked_.remove(key);
        return -1;
    }
    copy = kept->copy;
    if (faces)
        *faces = kept->faces;
    return id;
}

QStringList AppFontTable::fallbackFamilies(const QString& text, const QString& face)
{
    if (fallbackPath_.isEmpty())
        return {};
    // Asked for every face a drawing selects, with the same names: looked at once.
    if (text != fallbackText_) {
        fallbackText_ = text;
        textNeedsFallback_ = needsFallback(text);
    }
    if (!textNeedsFallback_)
        return {};
    // Which files serve a face is asked of the file system once: a drag redraws many times a
    // second. The face's own fallback comes first; what it lacks, the shared one draws.
    auto chosen = fallbackOf_.constFind(face);
    if (chosen == fallbackOf_.constEnd()) {
        QStringList families;
        const QDir data = QFileInfo(fallbackPath_).dir();
        const QString continued = data.filePath(QStringLiteral("continued(%1).dat").arg(face));
        const QString own = data.filePath(QStringLiteral("fallback(%1).dat").arg(face));
        if (!face.isEmpty() && QFileInfo(continued).isFile()) {
            const QStringList more = fallback(continued).families;
            families += more;
            continuing_.unite(QSet<QString>(more.cbegin(), more.cend()));
        }
        if (!face.isEmpty() && QFileInfo(own).isFile())
            families += fallback(own).families;
        families += fallback(fallbackPath_).families;
        chosen = fallbackOf_.insert(face, families);
    }
    return *chosen;
}

bool AppFontTable::continuesFace(const QString& family) const
{
    return continuing_.contains(family);
}

const AppFontTable::Fallback& AppFontTable::fallback(const QString& path)
{
    auto it = fallbacks_.find(path);
    if (it == fallbacks_.end()) {
        Fallback f;
        QString copy;
        f.id = registerFile(path, copy, nullptr, nullptr);
        if (f.id >= 0) {
            f.families = QFontDatabase::applicationFontFamilies(f.id);
            f.font.setFamilies(f.families);
            QFontMetricsF(f.font).height();
        }
        it = fallbacks_.insert(path, f);
    }
    return *it;
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

// Several styles may draw with one file, through links to it: it is registered once, as the
// file it is, so that two registrations of one font never answer to the same families.
QString AppFontTable::fileOf(const QString& path)
{
    if (trusted_)
        if (const auto known = files_.constFind(path); known != files_.constEnd())
            return *known;
    const QString real = QFileInfo(path).canonicalFilePath();
    if (files_.size() >= 4096)
        files_.clear();
    return *files_.insert(path, real.isEmpty() ? path : real);
}

void AppFontTable::addFont(const QString& linked)
{
    const QString path = fileOf(linked);
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
        it = entries_.insert(path, registered(path));
        if (it->id < 0)
            unusable_.insert(path, it->fault);
        else
            unusable_.remove(path);
    }
    ++it->uses;
    released_.remove(path);
}

AppFontTable::Entry AppFontTable::registered(const QString& path)
{
    const QFileInfo info(path);
    Entry e;
    e.size = info.size();
    e.modified = info.lastModified();
    if (info.isFile() && info.size() > 0) {
        e.id = registerFile(path, e.copy, &e.faces, &e.fault);
        if (e.id >= 0)
            e.families = QFontDatabase::applicationFontFamilies(e.id);
    }
    return e;
}

void AppFontTable::removeFont(const QString& linked)
{
    const QString path = files_.value(linked, linked);
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

QString AppFontTable::sourceOf(const QString& linked) const
{
    const QString path = files_.value(linked, linked);
    const auto it = entries_.constFind(path);
    return it == entries_.constEnd() ? path : path + u'#' + QString::number(it->id);
}

QString AppFontTable::familyFor(const QString& linked, const QString& face) const
{
    const auto it = entries_.constFind(files_.value(linked, linked));
    if (it == entries_.constEnd() || it->families.isEmpty())
        return face;
    // Every registered file was renamed: its faces are known by their former names.
    for (const FaceNames& names : it->faces)
        if (names.former.contains(face, Qt::CaseInsensitive))
            return names.family;
    return it->faces.isEmpty() ? it->families.first() : it->faces.first().family;
}

void AppFontTable::unregister(const QString& path)
{
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return;
    // The copy stays for a later registration of the same file.
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
