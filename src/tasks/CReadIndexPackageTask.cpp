#include "CReadIndexPackageTask.h"

#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "IndexDbFile.h"
#include "IndexDbRecord.h"
#include "IndexPackageDocument.h"
#include "LThread.h"
#include "LStream.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "WorkerPool.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QScopeGuard>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcErrors, "orvex.errors")

// The view is drawn once this many items are in, so the window is not empty
// while a large index reads on.
constexpr SInt32 kFirstDrawCount = 20;

// The task yields after this many time slices of reading.
constexpr UInt32 kReadSlices = 4;
constexpr SInt32 kItemsBetweenClockReads = 32;

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
    WorkerPool::Start([read] { ReadIndexDbPieces(*read); });
    // Stopped or failed here: the worker stops too.
    const auto stopReading = qScopeGuard([&] { read->stop = true; });
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
    ReadItems(*read, offset);
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

void CReadIndexPackageTask::ReadItems(IndexDbPieces& file, qsizetype offset)
{
    if (!GetModel())
        return;
    CIndexModel& model = *GetModel();
    // The records after the header, without a copy of the bytes, parsed as far
    // as they are read.
    IndexDbReader reader(QByteArray::fromRawData(file.bytes.constData() + offset, file.bytes.size() - offset));
    // Each item copies what it keeps of its record.
    reader.BorrowFields();
    bool complete = false;
    const auto catchUp = [&] {
        complete = file.finished; // first: the bytes in place are then all there will be
        reader.SetBytesRead(file.done - offset, complete);
    };
    catchUp();
    IndexDbRecord record;
    SInt32 highestThumbnail = 0;
    // Items are handed to the model a batch at a time, one change for the views
    // each; a batch goes in before the task yields, so what the window shows
    // meanwhile is every item read so far.
    std::vector<CIndexItem*> batch;
    std::vector<IndexStoredRecord> places;
    const auto dropBatch = qScopeGuard([&] {
        for (CIndexItem* item : batch)
            delete item; // never handed over: the read failed or was stopped
    });
    const auto handOver = [&] {
        model.AppendItems(batch, ItemInsert::Filling);
        for (size_t i = 0; i < batch.size(); ++i)
            model.SetStoredRecord(batch[i], places[i]);
        batch.clear();
        places.clear();
        // The items hold copies of what they keep of the records read so far.
        file.ReleaseBefore(offset + reader.Offset());
    };
    bool firstDrawn = false;
    SInt32 read = 0;
    for (;;) {
        if (!reader.Next(record)) {
            if (complete)
                break;
            file.WaitFor(file.done + 1);
            catchUp();
            continue;
        }
        qsizetype start = reader.LastRecordOffset();
        qsizetype end = reader.Offset();
        std::unique_ptr<CIndexItem> item;
        OSStatus status = CatchCode([&] { item = std::make_unique<CIndexItem>(record, mPackage); });
        if (status != noErr) {
            // A record that reads but makes no item is damage as well; the others go on.
            ++mDamagedRecords;
            qCWarning(lcErrors) << "index.db record at" << (offset + start) << "makes no item:" << status;
            continue;
        }
        // A number waiting for its file to be written again is held negated.
        const SInt32 number = item->GetThumbnailNumber();
        if (number != std::numeric_limits<SInt32>::min())
            highestThumbnail = std::max(highestThumbnail, std::abs(number));
        places.push_back({offset + start, end - start});
        batch.push_back(item.release());
        ++read;
        if (!firstDrawn && model.CountItems() + SInt32(batch.size()) >= kFirstDrawCount) {
            handOver();
            firstDrawn = true;
            if (TaskOwnerView* view = GetOwnerView()) {
                view->AdjustImageSize();
                for (SInt32 index = 1; index <= kFirstDrawCount; ++index)
                    view->RefreshItem(index);
            }
        }
        // The clock is looked at every few items: making one takes about a microsecond.
        if (read % kItemsBetweenClockReads != 0 || !IsTaskTimeUp(kReadSlices * GetTaskSlice()))
            continue;
        const QString name = batch.empty() ? QString() : batch.back()->GetName();
        handOver();
        SetProgress(model.CountItems());
        if (!name.isNull())
            SetItemCaption(name);
        if (TaskOwnerView* view = GetOwnerView())
            view->AdjustImageSize();
        SInt32 zero = 0;
        Broadcast(msg_ViewStateChanged, &zero);
        YieldIfTimeUp(kReadSlices * GetTaskSlice());
    }
    handOver();
    // settings.xml may be older than index.db (or gone): no number an item holds is handed out again.
    mPackage->ReserveThumbIDsUpTo(highestThumbnail);
    mDamagedRecords += SInt32(reader.Errors().size());
    for (const auto& error : reader.Errors())
        qCWarning(lcErrors) << error.message;
    if (mDamagedRecords > 0) {
        model.SetIndexDbDamaged(true);
        ReportError(kMsgIndexDbDamaged, kCautionAlert);
    }
}
