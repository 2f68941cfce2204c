#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

// A file is written under a temporary name beside its place and takes that place only once it
// is whole, so an existing file is never seen half replaced and a failed write leaves nothing
// behind. Paths are file-name text (decodeFileName): their bytes are kept. Reasons are in words
// for a person.

// Writes the file, syncs it and puts it in place. With a `prefix`, the file is the first
// `prefixLength` bytes of that open file followed by `bytes`, copied by the kernel.
std::optional<QString> writeFile(const QString& path, const QByteArray& bytes, int prefix = -1,
                                 qint64 prefixLength = 0);

// Writes the file as writeFile does, its bytes put into the open temporary by `fill`; it takes
// its place only once `check`, given the temporary synced, finds nothing wrong. Where either
// fails, its reason (which may be empty) is the answer, and nothing is left behind.
using FileStep = std::function<std::optional<QString>(int fd)>;
std::optional<QString> writeFileWith(const QString& path, const FileStep& fill,
                                     const FileStep& check = {});

// Into the open file `fd`: the first `prefixLength` bytes of the open file `prefix` (none where
// it is -1), copied by the kernel, then `bytes`. Why not, in words.
std::optional<QString> writeAfterPrefix(int fd, int prefix, qint64 prefixLength,
                                        const QByteArray& bytes);

// A folder held open: files are made in it, and put in place, through it, whatever its name
// leads to meanwhile. A folder swapped for a link while a program writes is not written through.
struct OpenFolder
{
    int fd = -1;
    QByteArray path;
    OpenFolder() = default;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder();
};
// The folder at `path` (its name's bytes), or why not in `error`.
std::shared_ptr<OpenFolder> openFolder(const QByteArray& path, QString* error = nullptr);

// A file written under a temporary name, not yet synced nor in place.
struct StagedFile
{
    QByteArray temporary;
    QByteArray target;
    std::shared_ptr<OpenFolder> folder; // where both names are
    QByteArray temporaryName, targetName; // their names in it
};
// With `folder`, the file of that name in it, `path` being what a person is told.
std::variant<StagedFile, QString> stageFile(const QString& path, const QByteArray& bytes,
                                            std::shared_ptr<OpenFolder> folder = {});

// Puts staged files in place once their bytes are on disk: one sync of the file system for all
// of them, then each renamed, then their folders synced. The reasons for those that could not
// be put in place, by their index in `files`.
QList<std::pair<qsizetype, QString>> placeStagedFiles(const QList<StagedFile>& files);

// Whether a file name is that of a temporary left behind by a program that is gone: one still
// running is writing it.
bool isLeftoverTemporary(const QString& fileName);

// Removes such temporaries from the folder of `target`, or from `folder`.
void clearLeftoversBeside(const QByteArray& target);
void clearLeftoversIn(const QByteArray& folder);

// Makes a folder and those it lies in, its name's bytes kept; why not, in words.
std::optional<QString> makeFolders(const QString& path);
