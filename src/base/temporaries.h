#pragma once

#include <QString>

// The folders of font copies a run keeps in the temporary folder are named for the process
// that made them, so that a run can tell which are left by runs no longer alive, and removed
// when the run is stopped by a signal as they are when it ends.

// A template for QTemporaryDir: a folder of this process's under `parent`. Folders there of
// processes that are gone are removed first.
QString runFolderTemplate(const QString& parent);

// Whether the process of this number has ended: what a run's temporaries are named for.
bool processIsGone(const QString& pid);

// Removes this process's folders on SIGINT, SIGTERM, SIGHUP and SIGPIPE before the signal ends
// the process as it would have. SIGKILL cannot be caught: the next run clears after it.
void removeRunFoldersOnSignals();

// Files this process writes under a temporary name in `folder`, named `prefix` followed by its
// process number and a dash, are removed on the same signals: a signing stopped while it writes
// a large document leaves nothing behind. A few folders at a time are watched, the latest kept.
void removePartFilesOnSignals(const QByteArray& folder, const QByteArray& prefix);
