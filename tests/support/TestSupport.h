#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>

// tests/data: the camera and program files the tests read in place (read-only).
QString TestDataPath(const QString& relative = QString());

// A fresh folder for the running test; removed when the test ends.
QString TestTempDir();

QByteArray ReadWholeFile(const QString& path);

// Runs `body` in a child process that may write no file beyond `limitBytes`
// (a full disk as a writer sees it: writes past the limit fail with EFBIG) and
// hands back the code it returned; nothing when the child died or hung.
std::optional<qint32> RunWithFileSizeLimit(qint64 limitBytes, const std::function<qint32()>& body);
// Runs `body` in a child process and hands back its code; nothing when the child
// crashed or took longer than `seconds`.
std::optional<qint32> RunInChildWithin(int seconds, const std::function<qint32()>& body);

// How a full disk is made for a writer running in a child process.
enum class FullDisk {
    FileSizeLimit,   // no file may grow past the room: writes fail with EFBIG
    SmallFilesystem, // the folder is a small tmpfs with only the room left: writes fail with ENOSPC
};
inline constexpr FullDisk kFullDisks[] = { FullDisk::FileSizeLimit, FullDisk::SmallFilesystem };
const char* FullDiskName(FullDisk kind);

// Runs `body` in a child process that meets a full disk of the kind asked, with
// about `roomBytes` left, and hands back the code it returned; nothing when the
// child died or hung. A small filesystem is a tmpfs mounted over `folder` in a
// mount namespace of the child's own (nothing outlives the child), holding a
// copy of what the folder held and a filler that leaves the room (in whole
// pages); afterwards the folder holds what the body left there. Where no tmpfs
// may be mounted (not root) the file-size limit stands in.
std::optional<qint32> RunOnFullDisk(FullDisk kind, const QString& folder, qint64 roomBytes,
    const std::function<qint32()>& body);
// Runs `body` in a child process that sees `folder` mounted read-only (a bind
// mount in a mount namespace of its own) and hands back its code; nothing when
// that cannot be mounted here (not root), or the child died or hung.
std::optional<qint32> RunOnReadOnlyFolder(const QString& folder, const std::function<qint32()>& body);
// Whether RunOnFullDisk can mount its small filesystem here (asked once).
bool SmallFilesystemsCanBeMounted();

// Runs the event loop for a while (timers, posted events, deferred deletes).
void ProcessEventsFor(int milliseconds);
// Runs the event loop until `done` holds; false when it did not within the time.
bool RunEventsUntil(const std::function<bool()>& done, int milliseconds = 60000);
// Deletes the objects waiting for deleteLater now.
void FlushDeletes();

// Keeps what is logged under one category while it lives; the rest goes on to
// the handler that was there before.
class StLogCapture {
public:
    explicit StLogCapture(const char* category);
    ~StLogCapture();
    StLogCapture(const StLogCapture&) = delete;
    StLogCapture& operator=(const StLogCapture&) = delete;

    QStringList Lines() const;
    QString All() const { return Lines().join(QLatin1Char('\n')); }
};
