#pragma once

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <future>
#include <list>
#include <memory>
#include <optional>

// Font files registered for this process only. The renderer calls addFont just before it
// selects a file's face and removeFont right after drawing with it.
class FontTable
{
public:
    virtual ~FontTable() = default;
    virtual void addFont(const QString& path) = 0;
    virtual void removeFont(const QString& path) = 0;
    // The family to select for `face` from the file at `path`: the name its registration
    // answers to, or, for a file that could not be registered, the face itself, so that a
    // substitute draws. Of a collection, the family named `face` where it has one, else its
    // first.
    virtual QString familyFor(const QString& path, const QString& face) const = 0;
    // Names the registration of the file at `path`: a file registered afresh gets a new name.
    virtual QString sourceOf(const QString& path) const { return path; }
    // Families that draw what the selected `face` lacks, in order, for drawing `text`.
    virtual QStringList fallbackFamilies(const QString& /*text*/, const QString& /*face*/)
    {
        return {};
    }
    // Whether a fallback family is the face's own source, drawing what the face's file leaves
    // out in the same hand.
    virtual bool continuesFace(const QString& /*family*/) const { return false; }
};

// Whether `text` holds a character beyond those every face of the kit draws: the ideographs of
// GB2312, Latin letters and punctuation.
bool needsFallback(const QString& text);

// A font file's bytes as FreeType reads them fastest: WOFF2 unpacked to TrueType. Empty when
// the file is not a regular file, or is larger than a font can be once unpacked.
QByteArray unpackedFont(const QString& path);
inline constexpr qint64 MaxFontFileBytes = 64 * 1024 * 1024;

// Registration through QFontDatabase application fonts.
//
// removeFont releases a file; with keepAlive > 0 the registration behind it stays until more
// than keepAlive released files pile up, so a drag that redraws on every mouse move does not
// re-read a 16 MB font each time. A file whose size or modification time changed is registered
// afresh. keepAlive 0 removes each file as soon as it is released.
class AppFontTable : public FontTable
{
public:
    explicit AppFontTable(int keepAlive = 8) : keepAlive_(keepAlive) {}
    ~AppFontTable() override;
    AppFontTable(const AppFontTable&) = delete;
    AppFontTable& operator=(const AppFontTable&) = delete;

    void addFont(const QString& path) override;
    void removeFont(const QString& path) override;
    QString familyFor(const QString& path, const QString& face) const override;
    QStringList fallbackFamilies(const QString& text, const QString& face) override;
    bool continuesFace(const QString& family) const override;
    QString sourceOf(const QString& path) const override;

    // The face that draws characters beyond a style's own: the file at `path`, after files
    // beside it named after the style's face where there are any: "continued(face).dat", the
    // rest of the face's own source, then "fallback(face).dat", a face like it in size and
    // weight, so that a face can have rare characters drawn in a hand like its own. They are large and
    // compressed, so each is registered only once a text needs it, and then kept for as long
    // as the table lives. A missing or broken file leaves the system's fallback alone to do it.
    void useFallback(const QString& path) { fallbackPath_ = path; }
    // The families of that shared fallback: a plain face that draws every name, for the words
    // written beside a signature. Empty where it cannot be registered.
    QStringList plainFamilies() { return fallback(fallbackPath_).families; }

    // While trusted, a kept registration is used without asking the file system whether its
    // file changed: a drag redraws many times a second.
    void setTrusted(bool trusted) { trusted_ = trusted; }

    int registeredCount() const { return int(entries_.size()); }

    // Unpacks and renames these files on a worker thread, one after another, so that a style
    // chosen later is registered at once. Once per table.
    void prepareAhead(const QStringList& paths);

    // Why no font file can be registered, where that is the folder its copy goes to and not
    // the file: empty otherwise.
    const QString& copiesProblem() const { return copiesProblem_; }

    // Why a file could not be registered when it was last added: what it should draw is drawn
    // in a substitute face.
    enum class Fault {
        Unreadable, // missing, cut short, not a font, or its copy could not be written
        NoOutlines, // bitmaps alone: it draws at the sizes it was drawn at, not the size asked
        OwnNames,   // its faces cannot be given names of their own: another font could answer
    };
    std::optional<Fault> fault(const QString& path) const
    {
        const auto it = unusable_.constFind(files_.value(path, path));
        return it == unusable_.constEnd() ? std::nullopt : std::optional<Fault>(*it);
    }
    bool unusable(const QString& path) const { return fault(path).has_value(); }

private:
    struct FaceNames
    {
        QStringList former; // the families the face answers to in its file
        QString family;     // the one it was registered under
    };
    struct Entry
    {
        int id = -1; // -1: the file could not be registered, for this reason
        Fault fault = Fault::Unreadable;
        QStringList families;
        QList<FaceNames> faces;
        qint64 size = -1;
        QDateTime modified;
        int uses = 0;
        QString copy; // the file Qt reads: the font under a family name of its own
    };

    QString fileOf(const QString& path);
    int registerFile(const QString& path, QString& copy, QList<FaceNames>* faces, Fault* fault);
    void unregister(const QString& path);
    Entry registered(const QString& path);
    void trim();

    int keepAlive_;
    QHash<QString, Entry> entries_;  // by the file a path is, links followed
    QHash<QString, QString> files_;  // the file each path given is
    QHash<QString, Fault> unusable_; // files that could not be registered
    std::list<QString> released_; // released files still registered, oldest first
    bool trusted_ = false;
    struct Fallback
    {
        int id = -1; // -1: the file could not be registered
        QStringList families;
        QFont font; // holds the decoded face, so that new sizes do not unpack it again
    };
    QString fallbackPath_;
    QHash<QString, Fallback> fallbacks_; // by path; tried once each
    QHash<QString, QStringList> fallbackOf_; // the families serving each face
    QSet<QString> continuing_;               // families of continued(face).dat files
    const Fallback& fallback(const QString& path);
    // One unpacked, renamed copy per font file for the table's life, by the file, its size and
    // time: registering a style's faces again, as the style list and long drags do, costs Qt's
    // reading of the copy alone.
    struct Unpacked
    {
        QString copy; // empty where the file cannot be registered
        QList<FaceNames> faces;
        Fault fault = Fault::Unreadable;
    };
    static Unpacked unpackCopy(const QString& path, const QString& folder);
    bool makeCopiesFolder();
    QHash<QString, Unpacked> unpacked_;
    QHash<QString, std::shared_future<Unpacked>> prepared_; // by the same key
    std::future<void> ahead_;
    std::atomic<bool> stopAhead_ = false;
    QString fallbackText_;                // the text last asked about, and its answer
    bool textNeedsFallback_ = false;
    std::unique_ptr<QTemporaryDir> copiesDir_;
    QString copiesProblem_;
};
