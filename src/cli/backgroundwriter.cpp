#include "backgroundwriter.h"

#include "base/text.h"
#include "output/saveimage.h"

#include <QThread>

#include <algorithm>
#include <utility>

// Threads: twice the cores, as a thread that waits for the disk to take a file leaves its
// core to another. Pictures ahead: at least 32, as on few cores a shorter queue runs dry
// whenever the drawing thread waits for its turn on a core, and the encoders then wait.
BackgroundWriter::BackgroundWriter(std::shared_ptr<OpenFolder> folder)
    : folder_(std::move(folder)), slots_(std::max(32, 4 * QThread::idealThreadCount()))
{
    pool_.setMaxThreadCount(2 * QThread::idealThreadCount());
}

PictureWriter BackgroundWriter::writerFor(qsizetype number, const QString& path)
{
    return [this, number, path](const RasterPicture& picture) -> std::optional<Failure> {
        slots_.acquire();
        pool_.start([this, number, path, picture] {
            write(number, path, picture);
            slots_.release();
        });
        return std::nullopt;
    };
}

QStringList BackgroundWriter::finish()
{
    pool_.waitForDone();
    place(std::exchange(staged_, {}));
    return errors_;
}

void BackgroundWriter::write(qsizetype number, const QString& path, const RasterPicture& picture)
{
    const std::optional<QByteArray> bytes = picture.encoded(path);
    if (!bytes)
        return fail(number, path, CannotEncode);
    // A link planted in the folder is refused, not written through.
    auto staged = stageFile(path, *bytes, folder_);
    if (const auto* why = std::get_if<QString>(&staged))
        return fail(number, path, *why);
    QList<Staged> ready;
    {
        const QMutexLocker locked(&lock_);
        staged_.append({number, path, std::get<StagedFile>(staged)});
        if (staged_.size() >= PlaceEvery)
            ready = std::exchange(staged_, {});
    }
    place(ready);
}

void BackgroundWriter::place(const QList<Staged>& staged)
{
    QList<StagedFile> files;
    for (const Staged& s : staged)
        files << s.file;
    for (const auto& [index, why] : placeStagedFiles(files))
        fail(staged[index].number, staged[index].path, why);
}

void BackgroundWriter::fail(qsizetype number, const QString& path, const QString& why)
{
    const QMutexLocker locked(&lock_);
    errors_ << QStringLiteral("row %1: cannot write %2: %3").arg(number).arg(path, why);
    failedRows_.insert(number);
}
