#pragma once

#include "FileErrorCodes.h"

#include <QByteArray>
#include <QString>

class QFile;
class QSaveFile;

// Writing files so that a full disk, a quota or a failing device never leaves a
// cut file behind: the bytes go to a temporary file in the same folder, every
// write and the flush are checked, the size on disk is compared with the size
// meant, and only then is the file renamed into place and its folder synced.

// Finishes a QSaveFile that was opened and written: flushes and checks the flush
// (a commit alone can report success after a failed last flush), checks that
// `expectedSize` bytes reached the file, commits and syncs the folder. On any
// failure the temporary file is dropped and the old file stays as it was.
OSStatus CommitSaveFile(QSaveFile& file, qint64 expectedSize);

// Finishes a QFile that was written: flushes, syncs and closes it, each checked.
OSStatus FinishFileWrite(QFile& file);

// Replaces the file at `path` by `bytes` as above.
OSStatus ReplaceFileSafely(const QString& path, const QByteArray& bytes);

// Syncs the folder holding `path`, so that a rename into it survives a crash.
OSStatus SyncFolderOf(const QString& path);

// The code for a failed write: a full disk or a file too large reads as disk full,
// a read-only disk as wPrErr.
OSStatus WriteFailureCode(int error);

// Whether `path` (or, for a file not yet made, the nearest folder above it that
// exists) lies on a volume mounted read-only.
bool IsOnReadOnlyVolume(const QString& path);
