#pragma once

#include "RegularFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>

// A folder's dates are the file system's coarse clock, on some volumes rounded to
// whole or even two seconds, or another machine's clock: a change just after a
// round began may carry a date just before it. Folders dated this close before
// the start count as changed. Volumes whose dates this system's clock gives in
// nanoseconds need only two of its coarse ticks.
inline constexpr time_t kClockMarginSeconds = 3;

// Which folders of an index's files changed since the files were last checked:
// a save looks at each folder once (one stat) instead of at each file. A file
// that appears, goes or is renamed changes its folder's dates.
class FolderChecks {
public:
    FolderChecks() = default;
    FolderChecks(const FolderChecks&) = delete; // it keeps a view into its own table
    FolderChecks& operator=(const FolderChecks&) = delete;

    // A round of checks (one save) begins: each folder is looked at once in it.
    // The first round of an index opened from `recordsFile` (the index.db it read,
    // as it was then) compares folders with that file's date, which the save that
    // wrote it set to its own round's start: the first save after opening looks
    // again only at what changed since. A date the last write gave the file (a
    // copy made without its dates) vouches for nothing.
    void BeginRound(const std::optional<FileIdentity>& recordsFile = std::nullopt);
    // Every item's file was checked or reused in this round: the next round
    // compares folders with this one's start. A round that fails is not ended.
    void EndRound();
    // The date to give the file this round's records are written to.
    const timespec& RoundStart() const { return mStart; }
    // True when the folder of a "file:" URL (its encoded bytes) has not changed
    // since the last ended round began; false for other URLs, or with no such round.
    bool IsUnchanged(QByteArrayView fileURL);
    // False while no folder can be answered unchanged (no round ended, and no
    // date of a save on the records file): every item's file must be looked at.
    bool MayFindUnchanged() const { return mLastStart.has_value(); }

    // How long before a round's start a folder's date still counts as a change
    // after it, on every volume alike (see kClockMarginSeconds).
    void SetClockMargin(time_t seconds) { mMargin = timespec {seconds, 0}; }

private:
    bool FolderUnchanged(std::string_view folderURL);
    // The margin for the volume a folder lies on, looked at once a round.
    const timespec& MarginOf(const char* folderPath, dev_t volume);

    std::optional<timespec> mLastStart; // the start of the last ended round
    timespec mStart {};
    std::optional<timespec> mMargin; // else each volume's own
    std::unordered_map<dev_t, timespec> mVolumeMargins;
    // This round's answers, by the folder's URL; asked with a view of the file's
    // URL, so that a million items in folders taken in turn make no copies.
    struct ViewHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::unordered_map<std::string, bool, ViewHash, std::equal_to<>> mFolders;
    std::string_view mLastFolder; // a key of mFolders: items of one folder often come together
    bool mLastAnswer = false;
};
