#include "CWriteIndexTask.h"

#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "CatalogueRoutines.h"
#include "DisplayUtilities.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileRoutines.h"
#include "FolderChecks.h"
#include "IndexDbFile.h"
#include "IndexDbRecord.h"
#include "IndexPackageDocument.h"
#include "LStream.h"
#include "LeasedFile.h"
#include "StoredRecordBlocks.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

Q_LOGGING_CATEGORY(lcErrors, "orvex.errors")

// The step in which the next record waits for the update task.
constexpr UInt32 kUpdateWaitMilliseconds = 100;
// Items whose aliases are made ahead at once (see WriteItems).
constexpr SInt32 kFirstPremadeRun = 512;
constexpr SInt32 kLongestPremadeRun = 16384;
constexpr double kPremadeRunMilliseconds = 10;

// Errors of a locked volume or file that deserve a note rather than a stop alert.
bool IsLockedError(OSStatus code)
{
    return code == -44 || code == -45 || code == -54 || code == -61;
}

} // namespace

CWriteIndexTask::CWriteIndexTask(SInt16 titleList, SInt16 titleIndex, IndexPackageDocument* document)
    : CVisualTask(titleList, titleIndex, document ? document->GetModel() : nullptr)
    , mDocument(document)
{
    ThrowIfNil_(document);
    mPackage = document->GetPackage();
    ThrowIfNil_(mPackage);
#ifdef __GLIBC__
    // A save's buffers (the new file, the old one, the record places) are as
    // large as the index. Once such a block was freed the C library would keep
    // every later one of that size in its heap, and holes it cannot give back
    // would stay behind at each save: large blocks keep their own mappings
    // (set at each save, as a sort sets the threshold back).
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    HoldModelForPackageTask(GetModel(), 1);
}

CWriteIndexTask::~CWriteIndexTask()
{
    if (mOldFile)
        mOldFile->stop = true;
    ReleaseModelFromPackageTask(GetModel());
    if (mDocument) {
        SInt32 action = mDocument->GetPendingSaveAction();
        if (action != kSaveActionNone) {
            mDocument->SetPendingSaveAction(kSaveActionNone);
            mDocument->RunPendingSaveAction(action);
        }
    }
}

void CWriteIndexTask::WritePasswordHeader(LStream& stream)
{
    CIndexModel* model = GetModel();
    if (!model || !model->HasPassword())
        return;
    const QByteArray header = MakePasswordHeader(model->GetPassword(), model->GetKeepPasswordInKeychain());
    stream.WriteBlock(header.constData(), header.size());
}

QByteArrayView CWriteIndexTask::OldFileUpTo(qint64 end)
{
    if (!mOldFile) {
        mOldFile = std::make_shared<IndexDbPieces>();
        mOldFile->path = mPackage->GetIndexDbURL().toLocalFile();
        mOldFile->expected = GetModel()->GetStoredRecordsFile();
        mOldFile->largePages = true;
        WorkerPool::Start([read = mOldFile] { ReadIndexDbPieces(*read); });
    }
    mOldFile->WaitFor(end);
    // `bytes` is set before the first byte counts as read, and never again.
    const qint64 done = mOldFile->done;
    return done > 0 ? QByteArrayView(mOldFile->bytes.constData(), qsizetype(std::min(done, end))) : QByteArrayView();
}

// The record the item had in the file on disk, whole by its counts; empty when it
// had none (a new item), or the file in index.db's place is not the one last read
// or written (whatever it holds at that place belongs to no item of this index).
QByteArrayView CWriteIndexTask::StoredRecord(const CIndexItem* item, IndexDbRecordPlaces* foundPlaces)
{
    CIndexModel* model = GetModel();
    IndexStoredRecord stored;
    if (!model || model->IsIndexDbDamaged() || !model->GetStoredRecordsFile() || !model->GetStoredRecord(item, stored))
        return {};
    if (stored.offset < 0 || stored.length <= 0)
        return {};
    const QByteArrayView old = OldFileUpTo(stored.offset + stored.length);
    if (stored.offset + stored.length > old.size())
        return {};
    const auto* begin = reinterpret_cast<const UInt8*>(old.data()) + stored.offset;
    IndexDbRecordPlaces places;
    if (!FindIndexDbRecordPlaces(begin, begin + stored.length, places))
        return {};
    if (foundPlaces)
        *foundPlaces = places;
    return old.sliced(stored.offset, stored.length);
}

SInt64 CWriteIndexTask::Position(const LStream& stream) const
{
    // Nothing is in the stream, nor handed over, while bytes are kept.
    return mKept + mHandedOver + stream.GetMarker();
}

void CWriteIndexTask::CopyKeptBytes(LStream& stream)
{
    mMayKeep = false;
    if (mKept > 0)
        stream.WriteBlock(mOldFile->bytes.constData(), SInt32(mKept));
    mKept = 0;
}

// An item that changed nothing since its record was written keeps the record's
// bytes, unless the folder of its file changed since the last save checked it.
bool CWriteIndexTask::ReuseStoredRecord(LStream& stream, const CIndexItem* item)
{
    if (!item->IsRecordCurrentIn(*mPackage))
        return false;
    // An index this program never saved (nothing vouches for its folders) keeps
    // no record of a file outside the package: its old file is not even read.
    if (!item->IsStoredInPackage() && !mPackage->GetFolderChecks().MayFindUnchanged())
        return false;
    IndexDbRecordPlaces places;
    const QByteArrayView record = StoredRecord(item, &places);
    if (record.isEmpty())
        return false;
    // A file stored inside the package is never looked for by a save.
    if (!places.hasStoredName && !mPackage->GetFolderChecks().IsUnchanged(places.fileURL))
        return false;
    if (mMayKeep && record.data() == mOldFile->bytes.constData() + mKept) {
        mKept += record.size();
        return true;
    }
    CopyKeptBytes(stream);
    stream.WriteBlock(record.data(), SInt32(record.size()));
    return true;
}

// The record the item had, appended as it was; false when there is none.
bool CWriteIndexTask::AppendStoredRecord(LStream& stream, const CIndexItem* item)
{
    const QByteArrayView record = StoredRecord(item);
    if (record.isEmpty())
        return false;
    const auto* begin = reinterpret_cast<const UInt8*>(record.data());
    const UInt8* pos = begin;
    IndexDbRecord check;
    if (ParseIndexDbRecord(pos, begin + record.size(), check) != noErr || pos != begin + record.size())
        return false;
    stream.WriteBlock(begin, SInt32(record.size()));
    return true;
}

// Grown on the window's thread, each piece's reallocations and page faults
// waited there on the workers' use of the process's memory map: at a million
// items that held the window over a tenth of a second. The next piece's room is
// made, and its pages touched, on a worker instead.
struct CWriteIndexTask::PieceRoom {
    std::mutex lock;
    std::vector<QByteArray> made;
    int making = 0;
    bool closed = false; // the stream wants no more
};

// Two rooms are kept ahead: with one, a piece filled while its room was still
// being made grew by reallocation, each one copying the piece so far, on the
// window's thread (two fifths of a first save's time there).
constexpr std::size_t kRoomsAhead = 2;
// A piece ends with the record that takes it past its size.
constexpr qsizetype kRoomBytes = qsizetype(kIndexDbPieceBytes + kIndexDbPieceBytes / 16);

void CWriteIndexTask::MakeRoomAhead()
{
    if (!mRoom)
        mRoom = std::make_shared<PieceRoom>();
    for (;;) {
        {
            const std::lock_guard hold(mRoom->lock);
            if (mRoom->made.size() + std::size_t(mRoom->making) >= kRoomsAhead)
                return;
            ++mRoom->making;
        }
        const OSStatus started = CatchCode([&] {
            WorkerPool::Start([room = mRoom] {
                QByteArray made(kRoomBytes, Qt::Uninitialized);
                for (qsizetype at = 0; at < made.size(); at += 4096)
                    made.data()[at] = 0;
                const std::lock_guard hold(room->lock);
                --room->making;
                if (!room->closed)
                    room->made.push_back(std::move(made));
            });
        });
        if (started != noErr) {
            // The pool takes no more (the program is ending): the stream grows as it goes.
            const std::lock_guard hold(mRoom->lock);
            --mRoom->making;
            return;
        }
    }
}

void CWriteIndexTask::TakeRoom(LDataStream& stream)
{
    QByteArray room;
    if (mRoom) {
        const std::lock_guard hold(mRoom->lock);
        if (!mRoom->made.empty()) {
            room = std::move(mRoom->made.back());
            mRoom->made.pop_back();
        }
    }
    // None made yet (the workers are busy writing and making aliases): the
    // room is had here, its pages touched as the piece fills, rather than the
    // piece copied at each of its reallocations.
    if (room.isNull())
        room.reserve(kRoomBytes);
    stream.GiveRoom(std::move(room));
}

void CWriteIndexTask::StartNextPiece(LDataStream& stream, FileReplacement& file)
{
    HandOver(stream.TakeData(), file);
    TakeRoom(stream);
    MakeRoomAhead();
}

void CWriteIndexTask::CloseRoom()
{
    // Let go on a worker, as the pieces are: unmapped here, it waited on every
    // core's acknowledgement while the workers ran.
    if (mRoom)
        WorkerPool::LetGo([room = std::exchange(mRoom, nullptr)] {
            const std::lock_guard hold(room->lock);
            room->closed = true;
            room->made.clear();
        });
}

void CWriteIndexTask::HandOver(QByteArray bytes, FileReplacement& file)
{
    if (bytes.isEmpty())
        return;
    file.Append(bytes);
    file.WriteInBackground();
    mPieces.push_back({mHandedOver, std::move(bytes)});
    mHandedOver += mPieces.back().bytes.size();
}

void CWriteIndexTask::WriteItems(LDataStream& stream, FileReplacement& file, std::vector<WrittenRecord>& starts)
{
    CIndexModel& model = *GetModel();
    // Every item of the index, in its order, whatever the filter shows.
    const TArray<CIndexItem*>& items = model.GetAllItems();
    const SInt32 count = items.GetCount();
    // The aliases a first save makes, each a look at a file, are made ahead on
    // every core, a run of items at a time while the window waits; a run is
    // sized to hold the window about 10 ms (files on a slow volume make it short).
    std::vector<std::optional<PremadeAlias>> premade;
    SInt32 premadeFrom = 1;
    SInt32 run = kFirstPremadeRun;
    // The first piece's room too.
    MakeRoomAhead();
    TakeRoom(stream);
    for (SInt32 index = 1; index <= count; ++index) {
        if (index >= premadeFrom + SInt32(premade.size())) {
            premadeFrom = index;
            premade.assign(size_t(std::min(run, count - index + 1)), std::nullopt);
            // Records kept as they were need none, but whether one is kept is
            // told only at its turn: an item without an alias gets one made.
            const auto mayMake = [&](std::size_t i) {
                const CIndexItem* ahead = items[premadeFrom + SInt32(i)];
                return ahead && ahead->MayPremakeAlias(*mPackage) ? ahead : nullptr;
            };
            bool any = false;
            for (std::size_t i = 0; i < premade.size() && !any; ++i)
                any = mayMake(i) != nullptr;
            if (any) {
                const auto started = std::chrono::steady_clock::now();
                WorkerPool::RunEachHolding(premade.size(), [&](std::size_t i) {
                    if (const CIndexItem* ahead = mayMake(i))
                        premade[i] = ahead->PremakeAlias(*mPackage);
                });
                const double took
                    = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
                run = SInt32(std::clamp(double(premade.size()) * kPremadeRunMilliseconds / std::max(took, 0.1),
                    double(kFirstPremadeRun / 8), double(kLongestPremadeRun)));
            }
        }
        CIndexItem* item = items[index];
        if (!item)
            continue;
        const std::optional<PremadeAlias>& alias = premade[size_t(index - premadeFrom)];
        WaitWhileUpdating(&model, kUpdateWaitMilliseconds);
        CheckPause();
        const SInt64 start = Position(stream);
        // Back to where the record began: the stream holds it whole (pieces
        // are handed over only between records).
        const auto cutBack = [&] {
            stream.SetLength(start - mHandedOver);
            stream.SetMarker(start - mHandedOver);
        };
        OSStatus status = noErr;
        if (!ReuseStoredRecord(stream, item)) {
            CopyKeptBytes(stream);
            status = CatchCode([&] { item->WriteToStream(stream, *mPackage, alias ? &*alias : nullptr); });
        }
        // A record whose blocks are gone from index.db would be written without
        // them: nothing is saved, and index.db stays as it is.
        if (status == kStoredBlockUnreadableErr)
            ThrowOSErr_(status, "a block of " + item->GetName().toStdString() + " could not be read back: index.db not saved");
        if (status != noErr) {
            // No partial record stays behind; the item keeps the record it had.
            cutBack();
            AddItemError(item, std::make_unique<CItemError>(status, QString(), QString()));
            ++mFailedItems;
            if (!AppendStoredRecord(stream, item)) {
                cutBack();
                qCWarning(lcErrors) << "item left out of index.db:" << item->GetName() << status;
            }
        }
        if (Position(stream) > start)
            starts.push_back({item, start, status == noErr});
        if (stream.GetMarker() >= kIndexDbPieceBytes)
            StartNextPiece(stream, file);
        if (YieldIfTimeUp(2 * GetTaskSlice())) {
            SetProgress(index);
            SetItemCaption(item->GetName());
        }
    }
}

void CWriteIndexTask::MoveStoredBlocks(const QString& indexDb, const FileIdentity& written, const std::vector<WrittenRecord>& starts)
{
    // Without a lease on the new file the items keep reading the old one, which
    // stays open (and on disk) for them.
    LeasedFile* file = LeasedFile::Open(indexDb, &written);
    if (!file)
        return;
    size_t piece = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        while (piece + 1 < mPieces.size() && mPieces[piece + 1].start <= starts[i].start)
            ++piece;
        if (!starts[i].written || piece >= mPieces.size())
            continue;
        const WrittenPiece& in = mPieces[piece];
        const auto* begin = reinterpret_cast<const UInt8*>(in.bytes.constData());
        const SInt64 end = i + 1 < starts.size() ? starts[i + 1].start : mHandedOver;
        IndexDbRecordPlaces places;
        if (FindIndexDbRecordPlaces(begin + (starts[i].start - in.start), begin + (end - in.start), places))
            starts[i].item->MoveStoredBlocks(BlocksOnDisk(file, places, begin, in.start), places);
        YieldIfTimeUp(); // a million items take a second
    }
    file->Release();
}

void CWriteIndexTask::RunTask()
{
    CIndexModel* model = GetModel();
    if (!model)
        return;
    // The view hears nothing of the write meanwhile.
    TaskOwnerView* view = GetOwnerView();
    if (view)
        view->StopBroadcasting();
    try {
        SetProgressMax(model->CountAllItems());
        SetStatusCaption(601, 4);
        ShowStopButton(false);
        ShowPauseButton(true);
        if (view)
            SetCaption6(view->GetWindowTitle());
        ShowProgress(0.1);

        StItemListLock lock(model);
        LDataStream stream;
        WritePasswordHeader(stream);
        mMayKeep = stream.GetMarker() == 0;
        mKept = 0;
        mPackage->SetStoreMediaFile(model->TestFlags(0x02000000));
        mPackage->SetRemoveMediaFile(model->TestFlags(0x01000000));

        // Written also when empty: an index whose last items were removed must not
        // get them back from the file of the last save.
        const QString indexDb = mPackage->GetIndexDbURL().toLocalFile();
        ThrowIf_(indexDb.isEmpty(), "index.db is not a local file");

        std::vector<WrittenRecord> starts;
        starts.reserve(size_t(model->CountAllItems())); // not copied whole as it grows
        model->PrepareStoredRecords();
        FolderChecks& checks = mPackage->GetFolderChecks();
        const bool beside = model->IsIndexDbDamaged();
        checks.BeginRound(beside ? std::nullopt : model->GetStoredRecordsFile());
        const QString target = beside ? QFileInfo(indexDb).dir().filePath(QLatin1String(kRecoveredIndexDbName)) : indexDb;
        FileReplacement file(target, mFailAfter);
        mPieces.clear();
        mHandedOver = 0;
        WriteItems(stream, file, starts);
        CloseRoom();
        if (mOldFile && mOldFile->done > 0) {
            // Records were taken from index.db as it was read: only if it stayed the
            // file it was when opened (ReadIndexDbPieces looks again at its end).
            mOldFile->WaitUntilFinished();
            if (const OSStatus read = mOldFile->status; read != noErr && read != userCanceledErr)
                ThrowOSErr_(read, "index.db changed while its records were read: not saved");
        }
        if (mKept > 0) {
            // An index saved again unchanged writes the old file's bytes as they are.
            mOldFile->WaitUntilFinished();
            const qsizetype kept = std::exchange(mKept, 0);
            HandOver(kept == mOldFile->bytes.size() ? mOldFile->bytes : mOldFile->bytes.left(kept), file);
        }
        HandOver(stream.TakeData(), file);
        // The file is dated with the round's start (the folders' dates are compared
        // with it after the next opening) and the next save takes records only from it.
        const timespec roundStart = checks.RoundStart();
        FileIdentity written;
        OSStatus status = WorkerPool::Run([&] { return file.Commit(beside ? nullptr : &roundStart, &written); });
        if (status != noErr)
            ThrowOSErr_(status, "index.db not written: " + target.toStdString());
        if (!beside) {
            OSStatus aliasStatus = CreateIndexDbAliasFile(mPackage->GetIndexDbURL());
            if (aliasStatus != noErr)
                qCWarning(lcErrors) << "index.db alias not made:" << aliasStatus;
            checks.EndRound();
            // The file now holds these records where they were written.
            model->ForgetStoredRecords();
            model->SetStoredRecordsFile(written);
            for (SInt32 i = 0; i < SInt32(starts.size()); ++i) {
                const SInt64 end = i + 1 < SInt32(starts.size()) ? starts[size_t(i + 1)].start : mHandedOver;
                model->SetStoredRecord(starts[size_t(i)].item, {qsizetype(starts[size_t(i)].start),
                                                                   qsizetype(end - starts[size_t(i)].start)});
                YieldIfTimeUp();
            }
            MoveStoredBlocks(indexDb, written, starts);
        }
        // The old and new files' bytes (gigabytes at a million items) take the
        // kernel a while to give back: a worker lets go of them, the old file's a
        // step at a time, so that the window's own allocations are not held behind
        // one long unmapping.
        WorkerPool::LetGo([pieces = std::exchange(mPieces, {}), old = std::exchange(mOldFile, nullptr),
                              starts = std::move(starts)]() mutable {
            pieces.clear();
            starts = {};
            if (old)
                old->ReleaseBefore(old->bytes.size());
            old.reset();
        });

        mDocument->WriteSettings(mDocument->TestFlags(kDocWindowReused));
        // Files of removed stored items go only once the file that no longer names
        // them is the index's own.
        if (!beside)
            model->DeletePendingFiles();
        TouchContentModDate(FileRef::FromUrl(mPackage->GetPackageURL()));
        if (mFailedItems > 0)
            ReportError(kMsgIndexWriteNote, kNoteAlert);
        if (beside)
            ReportError(kMsgIndexDbSavedBeside, kNoteAlert);
        mSucceeded = true;
        if (!beside)
            mDocument->IndexSaved();
    } catch (const ThreadUnwind&) {
        throw;
    } catch (const ExceptionCode& e) {
        qCWarning(lcErrors) << "index not saved:" << e.what();
        ReportError(e, IsLockedError(e.Code()) ? kNoteAlert : kStopAlert);
    } catch (...) {
        const ExceptionCode error = CurrentExceptionCode();
        qCWarning(lcErrors) << "index not saved:" << error.what();
        ReportError(error, kStopAlert);
    }
    HideProgressPane();
    if (view && view == GetOwnerView())
        view->StartBroadcasting();
    if (mSucceeded) {
        model->SetModified(false);
    } else {
        // The index still differs from what is on disk, and whatever was to follow
        // the save (closing, quitting) must not happen on a failed one.
        model->SetModified(true);
        mDocument->SetPendingSaveAction(kSaveActionNone);
    }
    SInt32 zero = 0;
    Broadcast(msg_ViewStateChanged, &zero);
}
