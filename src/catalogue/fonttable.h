#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <list>

// Font files registered for this process only. The renderer calls AddFont just before it
// selects a file's face and RemoveFont right after drawing with it.
class FontTable
{
public:
    virtual ~FontTable() = default;
    virtual void AddFont(const QString& path) = 0;
    virtual void RemoveFont(const QString& path) = 0;
    // The family to select for `face` from the file at `path`: the face itself when the file
    // has it (or could not be registered, so that a substitute draws), else the file's own
    // first family, so that a font whose internal name differs from its file name still draws.
    virtual QString familyFor(const QString& path, const QString& face) const = 0;
};

// Registration through QFontDatabase application fonts.
//
// RemoveFont releases a file; with keepAlive > 0 the registration behind it stays until more
// than keepAlive released files pile up, so a drag that redraws on every mouse move does not
// re-read a 16 MB font each time. A file whose size or modification time changed is registered
// afresh. keepAlive 0 removes at once, as the platform call it stands for does.
class AppFontTable : public FontTable
{
public:
    explicit AppFontTable(int keepAlive = 8) : keepAlive_(keepAlive) {}
    ~AppFontTable() override;
    AppFontTable(const AppFontTable&) = delete;
    AppFontTable& operator=(const AppFontTable&) = delete;

    void AddFont(const QString& path) override;
    void RemoveFont(const QString& path) override;
    QString familyFor(const QString& path, const QString& face) const override;

    int registeredCount() const { return int(entries_.size()); }

private:
    struct Entry
    {
        int id = -1; // -1: the file could not be registered
        QStringList families;
        qint64 size = -1;
        QDateTime modified;
        int uses = 0;
    };

    void unregister(const QString& path);
    void trim();

    int keepAlive_;
    QHash<QString, Entry> entries_;
    std::list<QString> released_; // released files still registered, oldest first
};
