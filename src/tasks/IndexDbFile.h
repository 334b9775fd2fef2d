#pragma once

#include "MacTypes.h"
#include "RegularFile.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <memory>
#include <optional>

// The optional password header at the start of "index.db": a 16-byte marker
// (four zero bytes and ASCII text) saying where the password is kept, then the
// password scrambled, as a length byte and its bytes. The item records follow.
inline constexpr int kPasswordMarkerSize = 16;
// The password is kept in the keychain.
inline constexpr std::array<char, kPasswordMarkerSize> kKeychainMarker {
    0, 0, 0, 0, 'q', 'm', 'z', 't', '4', '7', 'w', 'k', '2', 'c', 0, '5'};
// The password is kept in the package.
inline constexpr std::array<char, kPasswordMarkerSize> kPackageMarker {
    0, 0, 0, 0, 'v', 'e', 'x', 'u', '9', 'b', 0, '3', '1', '8', '4', '6'};

// What the header of a file said.
struct PasswordHeader {
    bool present = false;
    bool keychain = false; // the keychain marker, not the package marker
    QByteArray password; // unscrambled, Mac Roman
};

// Reads the header from the start of the file's bytes and answers where the
// records begin (0 without a header). A marker whose password is cut short
// throws eofErr.
qsizetype ReadPasswordHeader(const QByteArray& data, PasswordHeader& out);
// The header for a password (at most 255 bytes; the rest is dropped).
QByteArray MakePasswordHeader(const QByteArray& password, bool keychain);

// The scrambling of the stored password: every byte but the last moved by 7.
QByteArray ScramblePassword(QByteArray password);
QByteArray UnscramblePassword(QByteArray password);

// Replaces a file with new bytes through a temporary file beside it that is
// renamed into place once every byte is written and flushed, so the old file
// stays whole whatever happens on the way. Answers the OS error of the first
// step that failed. `failAfter` (tests only) makes the write fail once that
// many bytes are written. With `modified` the file is dated so before it is
// renamed into place; `inPlace` then says which file that is.
OSStatus ReplaceFileContents(const QString& path, const QByteArray& bytes, qint64 failAfter = -1,
    const timespec* modified = nullptr, FileIdentity* inPlace = nullptr);

// The same replacement for contents still being made: the pieces handed over
// are written in their order into the temporary file, on the worker pool once
// WriteInBackground is asked, while the rest is made. Dropped without Commit,
// or after a failed write, the file stays as it was and the temporary file goes.
class FileReplacement {
public:
    explicit FileReplacement(const QString& path, qint64 failAfter = -1);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void Append(QByteArray piece);
    // Hands the pieces appended so far to a worker; returns at once.
    void WriteInBackground();
    // Writes what is left, waiting for the worker, then dates, flushes and
    // renames the file into place, as ReplaceFileContents does.
    OSStatus Commit(const timespec* modified = nullptr, FileIdentity* inPlace = nullptr);

private:
    struct State;
    std::shared_ptr<State> mState;
};

// Reports of a damaged "index.db" (texts "500:72" and "500:73").
inline constexpr SInt32 kMsgIndexDbDamaged = 100072; // some records could not be read
inline constexpr SInt32 kMsgIndexDbSavedBeside = 100073; // the save went beside the damaged file

// Beside an "index.db" that was not read whole, saving writes this file instead.
inline constexpr char kRecoveredIndexDbName[] = "index.db.recovered";

// Far above any real index (a hundred thousand items take some tens of megabytes).
inline constexpr qint64 kMaxIndexDbBytes = qint64(1) << 31;

// index.db is read this many bytes at a time.
inline constexpr qint64 kIndexDbPieceBytes = qint64(1) << 20;

// index.db as a worker reads it (ReadIndexDbPieces), a piece at a time, so that
// its records are used while the rest is still read.
struct IndexDbPieces {
    QString path;
    // When set, only this very file is read: any other in its place reads as fnfErr.
    std::optional<FileIdentity> expected;
    // The buffer faulted in large pages where the system offers them: far fewer
    // faults, but each may wait for the system to make a large page, holding up
    // the window's own allocations meanwhile. For a save's read of the old file,
    // not while an index opens and its window is being made.
    bool largePages = false;
    FileIdentity identity; // the file opened; set before `size`
    QByteArray bytes; // the file's size, filled from the front; set before `size`
    std::atomic<qint64> size {-1}; // once known
    std::atomic<qint64> done {0}; // bytes in place
    std::atomic<bool> finished {false};
    std::atomic<bool> stop {false};
    std::atomic<OSStatus> status {noErr};

    // Until `bytes` are in place or the reading has finished; the other threads
    // and the event loop run meanwhile.
    void WaitFor(qint64 bytes);
    // Until the worker no longer touches `bytes`.
    void WaitUntilFinished();
    // The bytes in place before `offset` are never looked at again: their memory
    // is given back (they read as zeros from then on). A file of a million
    // records is then never held whole beside the items made of it.
    void ReleaseBefore(qint64 offset);

private:
    quintptr mReleasedTo = 0; // the address up to which the pages were given back
};

// Reads `read.path` into `read` on a worker: only a regular file of at most
// kMaxIndexDbBytes (and `read.expected` when given), and only the bytes it held
// when opened.
void ReadIndexDbPieces(IndexDbPieces& read);
