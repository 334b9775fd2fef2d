#include "CReadIndexPackageTask.h"

#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "IndexDbFile.h"
#include "IndexDbRecord.h"
#include "IndexPackageDocument.h"
#include "LSemaphore.h"
#include "LeasedFile.h"
#include "LThread.h"
#include "LStream.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "ThreadUtilities.h"
#include "WorkerPool.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <deque>
#include <cstdlib>
#include <limits>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcErrors, "orvex.errors")

// The view is drawn once this many items are in, so the window is not empty
// while a large index reads on.
constexpr SInt32 kFirstDrawCount = 20;

// The task yields after this many time slices of reading.
constexpr UInt32 kReadSlices = 4;
// A read this large gives the room its workers used back to the system, and
// has the event loop turn between its last items and the window's show (which
// with its first paint takes about kShowWindowMs at a million items): the
// read's last pieces and that room are let go of on workers meanwhile, since
// unmapping holds the process's memory map, which that paint needs.
constexpr SInt32 kLargeReadItems = 100000;
constexpr SInt64 kShowWindowMs = 60;

struct StWatchCursor {
    StWatchCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~StWatchCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

CReadIndexPackageTask::CReadIndexPackageTask(SInt16 titleList, SInt16 titleIndex, IndexPackageDocument* document)
    : CVisualTask(titleList, titleIndex, document ? document->GetModel() : nullptr)
    , mDocument(document)
{
    ThrowIfNil_(document);
    mPackage = document->GetPackage();
    ThrowIfNil_(mPackage);
    HoldModelForPackageTask(GetModel(), 0);
}

CReadIndexPackageTask::~CReadIndexPackageTask()
{
    ReleaseModelFromPackageTask(GetModel());
    if (mFailed && mDocument && !mDocument->TestFlags(kDocClosing))
        mDocument->DiscardDocument();
    else if (!mFailed && mDocument)
        mDocument->ReadingEnded();
}

void CReadIndexPackageTask::Finish(bool)
{
    if (!mFailed) {
        SInt32 zero = 0;
        Broadcast(msg_ViewStateChanged, &zero);
    }
}

void CReadIndexPackageTask::RunTask()
{
    CIndexModel* model = GetModel();
    const bool keepHidden = mDocument->TestFlags(kDocKeepHidden);
    StWatchCursor watch;
    try {
        const SInt32 expected = mDocument->ReadSettings(mDocument->TestFlags(kDocClosing));
        SetProgressMax(expected);
        if (model)
            model->ReserveItems(expected);
        SetStatusCaption(601, 3);
        ShowStopButton(false);
        if (TaskOwnerView* view = GetOwnerView())
            SetCaption6(view->GetWindowTitle());

        const QString path = mPackage->GetIndexDbURL().toLocalFile();
        // A package without "index.db" is a new, empty index.
        if (!path.isEmpty() && QFile::exists(path))
            ReadIndexDb(path);
        if (!keepHidden && model && model->CountItems() >= kLargeReadItems)
            YieldBeforeStep(kShowWindowMs);
        {
            if (!keepHidden)
                mDocument->ShowWindow();
            if (model)
                model->ApplyKeptSort();
            if (TaskOwnerView* view = GetOwnerView())
                view->FinishReading();
        }
        // A package opened from an address elsewhere is read-only.
        if (model && !mPackage->GetSettingsURL().isLocalFile())
            model->LockItemList();
    } catch (const ThreadUnwind&) {
        throw;
    } catch (const ExceptionCode& e) {
        qCWarning(lcErrors) << "index package not read:" << e.what();
        if (e.Code() == kMsgIndexPassword)
            ReportError(kMsgIndexPassword, kNoteAlert);
        else if (!IsUserCancelCode(e.Code()))
            ReportError(kMsgReadIndexPackage, kCautionAlert);
        mFailed = true;
    } catch (...) {
        qCWarning(lcErrors) << "index package not read";
        ReportError(kMsgReadIndexPackage, kCautionAlert);
        mFailed = true;
    }
    Finish(false);
}

qsizetype CReadIndexPackageTask::ReadPasswordHeader(const QByteArray& data)
{
    PasswordHeader header;
    qsizetype offset = ::ReadPasswordHeader(data, header);
    CIndexModel* model = GetModel();
    if (!header.present || !model)
        return offset;
    model->RestorePassword(header.password, model->GetKeepPasswordInKeychain());
    if (header.keychain && !mDocument->VerifyPassword())
        ThrowOSErr_(kMsgIndexPassword, "password refused");
    mCompletionSound.Restart(); // the time spent asking does not count
    model->RestorePassword(header.password, header.keychain);
    return offset;
}

void CReadIndexPackageTask::ReadIndexDb(const QString& path)
{
    auto read = std::make_shared<IndexDbPieces>();
    read->path = path;
    // Held under a lease, the file gives the items' rarely used blocks back when
    // asked for, so they need not stay in memory; the read takes this very file.
    LeasedFile* blocksFile = LeasedFile::Open(path);
    const auto releaseFile = qScopeGuard([&] {
        if (blocksFile)
            blocksFile->Release();
    });
    if (blocksFile)
        read->expected = blocksFile->Identity();
    WorkerPool::Start([read] { ReadIndexDbPieces(*read); });
    // Stopped or failed here: the worker stops too. The file's last pieces are
    // given back on a worker: unmapping them held the window.
    const auto stopReading = qScopeGuard([&] {
        read->stop = true;
        WorkerPool::LetGo([read = std::move(read)]() mutable { read.reset(); });
    });
    // The first piece holds the password header.
    read->WaitFor(kIndexDbPieceBytes);
    if (read->status != noErr && read->done == 0) {
        // Nothing could be read: the index opens empty, but the file the user
        // has is never saved over.
        if (CIndexModel* model = GetModel())
            model->SetIndexDbDamaged(true);
        qCWarning(lcErrors) << "index.db not readable:" << path << read->status.load();
        ReportError(kMsgReadIndexPackage, kCautionAlert);
        return;
    }
    const qsizetype offset = ReadPasswordHeader(QByteArray::fromRawData(read->bytes.constData(), read->done));
    ShowProgress(0.1);
    ReadItems(read, offset, blocksFile);
    // A later save takes records from this very file only.
    if (CIndexModel* model = GetModel(); model && read->status == noErr)
        model->SetStoredRecordsFile(read->identity);
    if (read->status != noErr) {
        // Cut short by a failing read: what was read stays, the file is kept as it is.
        if (CIndexModel* model = GetModel())
            model->SetIndexDbDamaged(true);
        qCWarning(lcErrors) << "index.db not read whole:" << path << read->status.load();
        ReportError(kMsgReadIndexPackage, kCautionAlert);
    }
}

namespace {

// Records are made into items on the worker pool a run at a time, the runs
// handed to the model in the file's order: a run small enough that handing it
// over (its values entered) is a short step of the GUI thread, large enough that
// it costs little beside making it, and few enough in flight that the file's
// bytes behind them are soon given back.
constexpr size_t kRunRecords = 2048;
// The records walked between two looks at the clock while a run is filled.
constexpr size_t kRecordsBetweenLooks = 256;
// Only the workers of a large index grow their heaps ahead: a small one's take little.
constexpr qint64 kGrowHeapFromBytes = qint64(64) << 20;

// Counted up on the GUI thread as each run is made, so that the reading task
// goes on at once rather than at the scheduler's next tick. Shared by every
// read and never destroyed: a run may end after its task has.
LSemaphore& RunsMade()
{
    static auto* made = new LSemaphore(0);
    return *made;
}

// The C library grows a worker thread's heap a page at a time, each step an
// mprotect that holds every other thread's page faults up: a worker that makes
// items grows its heap once, by what a share of a large index takes, before it
// starts. The room given back stays the heap's, without its pages.
void GrowWorkerHeap()
{
    constexpr size_t kBlock = 96 * 1024; // under the size the library maps apart
    constexpr size_t kGrowth = size_t(48) << 20;
    thread_local bool grown = false;
    if (std::exchange(grown, true))
        return;
    std::vector<void*> blocks;
    blocks.reserve(kGrowth / kBlock);
    for (size_t size = 0; size < kGrowth; size += kBlock)
        blocks.push_back(::malloc(kBlock));
    for (void* block : blocks)
        ::free(block);
}

// A run of records made into items (and their values collected) on a worker.
struct ItemRun {
    std::shared_ptr<IndexDbPieces> file; // the records' bytes, until the run is made
    CIndexPackage* package = nullptr;
    LeasedFile* blocksFile = nullptr; // held by the run; null keeps the blocks in memory
    std::vector<IndexStoredRecord> places; // of the records, in the file
    UInt64 firstSequence = 0;
    std::vector<SInt32> keys; // indexed now; none without a value index
    // Made by the worker; `done` says when.
    std::vector<CIndexItem*> items;
    std::vector<IndexStoredRecord> itemPlaces;
    std::vector<std::pair<qsizetype, OSStatus>> failures; // where a record made no item, and why
    std::vector<std::pair<qsizetype, std::string>> partsDropped; // where an item was made without a damaged part
    SInt32 highestThumbnail = 0;
    CIndexModel::CollectedValuesPtr values;
    std::atomic<bool> done {false};
    std::atomic<bool> stop {false};

    ~ItemRun()
    {
        for (CIndexItem* item : items)
            delete item; // never handed over: the read failed or was stopped
        if (blocksFile)
            blocksFile->Release();
    }

    qsizetype End() const { return places.back().offset + places.back().length; }

    // On a worker: the run's items touch nothing but the run until it is handed over.
    void Make()
    {
        if (file->size.load() >= kGrowHeapFromBytes)
            GrowWorkerHeap();
        const auto* bytes = reinterpret_cast<const UInt8*>(file->bytes.constData());
        UInt64 sequence = firstSequence;
        IndexDbRecord record;
        items.reserve(places.size());
        itemPlaces.reserve(places.size());
        for (const IndexStoredRecord& place : places) {
            if (stop || WorkerPool::CancelRequested())
                break;
            const UInt8* pos = bytes + place.offset;
            std::unique_ptr<CIndexItem> item;
            OSStatus status = ParseIndexDbRecord(pos, pos + place.length, record, nullptr, true);
            const UInt64 number = sequence++;
            StoredBlocksOnDisk onDisk;
            IndexDbRecordPlaces blockPlaces;
            if (status == noErr && blocksFile
                && FindIndexDbRecordPlaces(bytes + place.offset, bytes + place.offset + place.length, blockPlaces))
                onDisk = BlocksOnDisk(blocksFile, blockPlaces, bytes);
            if (status == noErr)
                status = CatchCode([&] { item = std::make_unique<CIndexItem>(record, package, number, onDisk); });
            if (status != noErr) {
                // A record that reads but makes no item is damage as well; the others go on.
                failures.emplace_back(place.offset, status);
                continue;
            }
            // The item made without a damaged part of its record says which.
            if (const CItemError* error = item->GetError())
                partsDropped.emplace_back(place.offset, error->GetReason());
            // A number waiting for its file to be written again is held negated.
            const SInt32 thumbnail = item->GetThumbnailNumber();
            if (thumbnail != std::numeric_limits<SInt32>::min())
                highestThumbnail = std::max(highestThumbnail, std::abs(thumbnail));
            items.push_back(item.release());
            itemPlaces.push_back(place);
        }
        // The file's bytes are let go with the last run that reads them, wherever it ends.
        file.reset();
        if (!keys.empty() && !stop)
            values = CIndexModel::CollectValues(keys, items);
        done = true;
        WorkerPool::PostToGuiThread([] { RunsMade().Signal(); });
    }
};

} // namespace

void CReadIndexPackageTask::ReadItems(
    const std::shared_ptr<IndexDbPieces>& pieces, qsizetype offset, LeasedFile* blocksFile)
{
    if (!GetModel())
        return;
    CIndexModel& model = *GetModel();
    IndexDbPieces& file = *pieces;
    // The records after the header, without a copy of the bytes, parsed as far
    // as they are read: here only to find where each begins and ends.
    IndexDbReader reader(QByteArray::fromRawData(file.bytes.constData() + offset, file.bytes.size() - offset));
    reader.BorrowFields();
    bool complete = false;
    const auto catchUp = [&] {
        complete = file.finished; // first: the bytes in place are then all there will be
        reader.SetBytesRead(file.done - offset, complete);
    };
    IndexDbRecord record;
    SInt32 highestThumbnail = 0;
    // Runs in the file's order, the oldest first; each goes to the model as one
    // change once made, so that what the window shows is every item read so far.
    std::deque<std::shared_ptr<ItemRun>> runs;
    const auto stopRuns = qScopeGuard([&] {
        for (const auto& run : runs)
            run->stop = true; // a worker still making one drops it
    });
    const size_t mostInFlight = WorkerPool::ThreadCount() + 2;
    // Made on the GUI thread; counts left by reads before tell nothing of this one.
    while (RunsMade().TryWait()) {
    }
    std::shared_ptr<ItemRun> filling;
    // The first run is short, so that the window has items to draw at once.
    size_t runRecords = size_t(kFirstDrawCount);
    const auto startRun = [&] {
        if (!filling)
            return;
        filling->firstSequence = ReserveItemSequenceNumbers(filling->places.size());
        if (model.HasValueIndex())
            filling->keys = model.GetValueIndexKeys();
        WorkerPool::Start([run = filling] { run->Make(); });
        runs.push_back(std::exchange(filling, nullptr));
        runRecords = kRunRecords;
    };
    bool firstDrawn = false;
    const auto handOver = [&](ItemRun& run) {
        for (const auto& [at, status] : run.failures)
            qCWarning(lcErrors) << "index.db record at" << at << "makes no item:" << status;
        for (const auto& [at, why] : run.partsDropped)
            qCWarning(lcErrors) << "index.db record at" << at << why.c_str();
        mDamagedRecords += SInt32(run.failures.size() + run.partsDropped.size());
        highestThumbnail = std::max(highestThumbnail, run.highestThumbnail);
        model.AppendItems(run.items, ItemInsert::Filling, run.values.get());
        // What the run's values were gathered in (a table per field, a text per
        // value) goes on a worker: freeing it costs the GUI thread as much as
        // entering them.
        if (run.values) {
            const auto values = std::make_shared<CIndexModel::CollectedValuesPtr>(std::move(run.values));
            WorkerPool::LetGo([values] { values->reset(); });
        }
        const std::vector<CIndexItem*> items = std::exchange(run.items, {});
        for (size_t i = 0; i < items.size(); ++i)
            model.SetStoredRecord(items[i], run.itemPlaces[i]);
        // The items hold copies of what they keep of the records so far.
        file.ReleaseBefore(run.End());
        if (!firstDrawn && model.CountItems() >= kFirstDrawCount) {
            firstDrawn = true;
            if (TaskOwnerView* view = GetOwnerView()) {
                view->AdjustImageSize();
                for (SInt32 index = 1; index <= kFirstDrawCount; ++index)
                    view->RefreshItem(index);
            }
        }
        if (!IsTaskTimeUp(kReadSlices * GetTaskSlice()))
            return;
        SetProgress(model.CountItems());
        if (!items.empty())
            SetItemCaption(items.back()->GetName());
        if (TaskOwnerView* view = GetOwnerView())
            view->AdjustImageSize();
        SInt32 zero = 0;
        Broadcast(msg_ViewStateChanged, &zero);
        YieldIfTimeUp(kReadSlices * GetTaskSlice());
    };
    bool parsed = false; // every record is in a run
    SInt64 lastHandOver = 0; // milliseconds
    while (!parsed || !runs.empty()) {
        catchUp();
        while (!parsed && runs.size() < mostInFlight) {
            if (!reader.Next(record)) {
                if (complete) {
                    startRun();
                    parsed = true;
                }
                break; // else the rest is still being read
            }
            if (!filling) {
                filling = std::make_shared<ItemRun>();
                filling->file = pieces;
                filling->package = mPackage;
                if (blocksFile) {
                    blocksFile->Retain();
                    filling->blocksFile = blocksFile;
                }
                filling->places.reserve(runRecords);
            }
            const qsizetype start = reader.LastRecordOffset();
            filling->places.push_back({offset + start, reader.Offset() - start});
            // Finding where the records end is this thread's work too: as many
            // runs as the workers take at once held the window, and on a busy
            // machine a single run did.
            const bool full = filling->places.size() >= runRecords;
            if (full)
                startRun();
            if (full || filling->places.size() % kRecordsBetweenLooks == 0)
                YieldIfTimeUp(kReadSlices * GetTaskSlice());
        }
        if (!runs.empty() && runs.front()->done) {
            // The next run takes about as long as the last did: the loop has its
            // turn first when the slice would run out during it.
            YieldBeforeStep(lastHandOver);
            const SInt64 start = ClockMilliseconds();
            {
                const std::shared_ptr<ItemRun> run = std::move(runs.front());
                runs.pop_front();
                handOver(*run);
            }
            lastHandOver = ClockMilliseconds() - start;
            continue;
        }
        // Until a worker has made the oldest run, or more of the file is read.
        RunsMade().Wait(1);
    }
    // settings.xml may be older than index.db (or gone): no number an item holds is handed out again.
    mPackage->ReserveThumbIDsUpTo(highestThumbnail);
    mDamagedRecords += SInt32(reader.Errors().size());
    for (const auto& error : reader.Errors())
        qCWarning(lcErrors) << error.message;
    if (mDamagedRecords > 0) {
        model.SetIndexDbDamaged(true);
        ReportError(kMsgIndexDbDamaged, kCautionAlert);
    }
    // The workers' heaps keep the room their runs used between the items kept.
    if (model.CountItems() >= kLargeReadItems)
        GiveFreedMemoryBack();
}
