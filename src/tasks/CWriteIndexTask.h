#pragma once

#include "CVisualTask.h"
#include "Sounds.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <vector>

class CIndexItem;
class CIndexPackage;
struct FileIdentity;
class FileReplacement;
class IndexPackageDocument;
class LDataStream;
class LStream;
struct IndexDbPieces;
struct IndexDbRecordPlaces;

// Saves an index document into its package: every item of the index writes its
// record into one block (after the password header when there is a password),
// the block replaces "index.db" through a temporary file renamed into place,
// then the "index.db alias", "settings.xml", the files left by removals and the
// package's date follow, and the document's pending after-save action runs.
//
// An item whose record fails gets an item error and keeps the record it had in
// the file, so nothing disappears; all failures make one report. A save that
// fails leaves the old "index.db" whole, the index marked modified, and calls
// off the pending action. An "index.db" that was not read whole is never
// replaced: the save goes to "index.db.recovered" beside it.
class CWriteIndexTask : public CVisualTask {
public:
    CWriteIndexTask(SInt16 titleList, SInt16 titleIndex, IndexPackageDocument* document);
    ~CWriteIndexTask() override;

    // A write task cannot be stopped.
    void Stop() override {}

    bool HasSucceeded() const { return mSucceeded; }
    SInt32 CountFailedItems() const { return mFailedItems; }
    // Tests only: the file write fails after this many bytes.
    void SetWriteFailureAfter(qint64 bytes) { mFailAfter = bytes; }

protected:
    void RunTask() override;
    virtual void WritePasswordHeader(LStream& stream);

private:
    // Where each item's record begins in the new file, and whether the item wrote
    // it (else the record it had is kept).
    struct WrittenRecord {
        CIndexItem* item;
        SInt64 start;
        bool written;
    };
    void WriteItems(LDataStream& stream, FileReplacement& file, std::vector<WrittenRecord>& starts);
    // Records made go to the file while the next ones are made.
    void HandOver(QByteArray bytes, FileReplacement& file);
    // The items' blocks kept in the old file are read from the new one from now on.
    void MoveStoredBlocks(const QString& indexDb, const FileIdentity& written, const std::vector<WrittenRecord>& starts);
    // The old file's bytes as far as `end`, or fewer where it is shorter or its read failed.
    QByteArrayView OldFileUpTo(qint64 end);
    QByteArrayView StoredRecord(const CIndexItem* item, IndexDbRecordPlaces* places = nullptr);
    bool ReuseStoredRecord(LStream& stream, const CIndexItem* item);
    bool AppendStoredRecord(LStream& stream, const CIndexItem* item);
    // The old file's bytes the new one begins with, not yet copied into the stream.
    void CopyKeptBytes(LStream& stream);
    SInt64 Position(const LStream& stream) const;

    CIndexPackage* mPackage = nullptr;
    IndexPackageDocument* mDocument = nullptr;
    StCompletionSound mCompletionSound {20};
    // index.db as it was, read by a worker while the first records are written.
    std::shared_ptr<IndexDbPieces> mOldFile;
    // While the new file repeats the old one from its start (an index saved again
    // with its items unchanged, in their order), the old bytes are kept rather than
    // copied: mKept of them so far. Only for a stream that starts empty.
    bool mMayKeep = false;
    qsizetype mKept = 0;
    // The new file's bytes handed to its writer, in pieces that each hold whole
    // records; the stream holds those made since.
    struct WrittenPiece {
        SInt64 start;
        QByteArray bytes;
    };
    std::vector<WrittenPiece> mPieces;
    SInt64 mHandedOver = 0;
    // The room of the stream's next piece, made ahead on a worker.
    struct PieceRoom;
    std::shared_ptr<PieceRoom> mRoom;
    void MakeRoomAhead();
    void TakeRoom(LDataStream& stream);
    void StartNextPiece(LDataStream& stream, FileReplacement& file);
    void CloseRoom();
    bool mSucceeded = false;
    SInt32 mFailedItems = 0;
    qint64 mFailAfter = -1;
};
