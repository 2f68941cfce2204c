#pragma once

#include "drawing.h"
#include "output/filewrite.h"

#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QSet>
#include <QStringList>
#include <QThreadPool>

// Encodes and writes pictures on the other cores, a bounded number of pictures ahead of the
// drawing, which stays on this thread. Pictures are written under temporary names and put in
// place a thousand at a time, after one sync of the file system for all of them: a picture
// under its name is whole, also after a crash, without a sync per file.
class BackgroundWriter
{
public:
    // Every picture goes into `folder`, held open: what its name leads to later is not written.
    explicit BackgroundWriter(std::shared_ptr<OpenFolder> folder);

    PictureWriter writerFor(qsizetype number, const QString& path);
    // Waits for every picture and puts the last ones in place; the rows that could not be
    // written.
    QStringList finish();
    // After finish: whether row `number`'s picture could not be written.
    bool failed(qsizetype number) const { return failedRows_.contains(number); }

private:
    struct Staged
    {
        qsizetype number;
        QString path;
        StagedFile file;
    };
    static constexpr qsizetype PlaceEvery = 1000;

    void write(qsizetype number, const QString& path, const RasterPicture& picture);
    void place(const QList<Staged>& staged);
    void fail(qsizetype number, const QString& path, const QString& why);

    std::shared_ptr<OpenFolder> folder_;
    QThreadPool pool_;
    QSemaphore slots_;
    QMutex lock_;
    QList<Staged> staged_; // written, waiting to be put in place
    QStringList errors_;
    QSet<qsizetype> failedRows_;
};
