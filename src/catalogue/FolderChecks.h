#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <ctime>
#include <optional>

// A folder's dates are the file system's coarse clock, on some volumes rounded to
// whole or even two seconds: a change just after a round began may carry a date
// just before it. Folders dated this close before the start count as changed.
inline constexpr time_t kClockMarginSeconds = 3;

// Which folders of an index's files changed since the files were last checked:
// a save looks at each folder once (one stat) instead of at each file. A file
// that appears, goes or is renamed changes its folder's dates.
class FolderChecks {
public:
    // A round of checks (one save) begins: each folder is looked at once in it.
    // The first round of an index opened from `recordsFile` (its index.db)
    // compares folders with that file's date, which the save that wrote it set to
    // its own round's start (StampRoundStart): the first save after opening
    // looks again only at what changed since.
    void BeginRound(const QString& recordsFile = {});
    // Every item's file was checked or reused in this round: the next round
    // compares folders with this one's start. A round that fails is not ended.
    void EndRound();
    // Dates the file the ended round's records were written to with the round's
    // start.
    void StampRoundStart(const QString& recordsFile) const;
    // True when the folder of a "file:" URL (its encoded bytes) has not changed
    // since the last ended round began; false for other URLs, or with no such round.
    bool IsUnchanged(QByteArrayView fileURL);

    // How long before a round's start a folder's date still counts as a change
    // after it (see kClockMarginSeconds); tests on one volume need none.
    void SetClockMargin(time_t seconds) { mMargin = seconds; }

private:
    bool FolderUnchanged(const QByteArray& folderURL) const;

    std::optional<timespec> mLastStart; // the start of the last ended round
    timespec mStart {};
    time_t mMargin = kClockMarginSeconds;
    QHash<QByteArray, bool> mFolders; // this round's answers, by the folder's URL
    QByteArray mLastFolder; // the folder asked last: items of one folder come together
    bool mLastAnswer = false;
};
