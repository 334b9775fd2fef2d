#include "CReadIndexPackageTask.h"

#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "IndexDbFile.h"
#include "IndexDbRecord.h"
#include "IndexPackageDocument.h"
#include "LStream.h"
#include "RegularFile.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "WorkerPool.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

Q_LOGGING_CATEGORY(lcErrors, "orvex.errors")

// The view is drawn once this many items are in, so the window is not empty
// while a large index reads on.
constexpr SInt32 kFirstDrawCount = 20;

// Far above any real index (a hundred thousand items take some tens of megabytes).
constexpr qint64 kMaxIndexDbBytes = qint64(1) << 31;

struct StWatchCursor {
    StWatchCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~StWatchCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

CReadIndexPackageTask::CReadIndexPackageTask(SInt16 titleList, SInt16 titleIndex, IndexPackageDocument* document)
    : CVisualTask(titleList, titleIndex, document ? document->GetOwnerView() : nullptr)
    , mDocument(document)
{
    ThrowIfNil_(document);
    mPackage = document->GetPackage();
    ThrowIfNil_(mPackage);
    HoldViewForPackageTask(GetOwner(), 0);
}

CReadIndexPackageTask::~CReadIndexPackageTask()
{
    ReleaseViewFromPackageTask(GetOwner());
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
    TaskOwnerView* view = GetOwner();
    const bool keepHidden = mDocument->TestFlags(kDocKeepHidden);
    StWatchCursor watch;
    try {
        const SInt32 expected = mDocument->ReadSettings(mDocument->TestFlags(kDocClosing));
        SetProgressMax(expected);
        if (view)
            view->GetModel().ReserveStoredRecords(expected);
        SetStatusCaption(601, 3);
        ShowStopButton(false);
        if (view)
            SetCaption6(view->GetWindowTitle());

        const QString path = mPackage->GetIndexDbURL().toLocalFile();
        // A package without "index.db" is a new, empty index.
        if (!path.isEmpty() && QFile::exists(path)) {
            QByteArray data;
            // Only a regular file, and only the bytes it holds: a pipe or a link to a
            // device in its place is damage, not something to wait on or read forever.
            OSStatus status = WorkerPool::Run([&] { return ReadRegularFile(path, data, kMaxIndexDbBytes); });
            if (status != noErr) {
                // Nothing could be read: the index opens empty, but the file the user
                // has is never saved over.
                if (view)
                    view->GetModel().SetIndexDbDamaged(true);
                qCWarning(lcErrors) << "index.db not readable:" << path << status;
                ReportError(kMsgReadIndexPackage, kCautionAlert);
            } else {
                qsizetype offset = ReadPasswordHeader(data);
                ShowProgress(0.1);
                ReadItems(data, offset);
            }
        }
        {
            if (!keepHidden)
                mDocument->ShowWindow();
            if (view)
                view->FinishReading();
        }
        // A package opened from an address elsewhere is read-only.
        if (view && !mPackage->GetSettingsURL().isLocalFile())
            view->GetModel().LockItemList();
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
    TaskOwnerView* view = GetOwner();
    if (!header.present || !view)
        return offset;
    view->GetModel().SetPassword(header.password);
    if (header.keychain && !view->VerifyPassword())
        ThrowOSErr_(kMsgIndexPassword, "password refused");
    mCompletionSound.Restart(); // the time spent asking does not count
    view->GetModel().SetPassword(header.password);
    view->GetModel().SetKeepPasswordInKeychain(header.keychain);
    return offset;
}

void CReadIndexPackageTask::ReadItems(const QByteArray& data, qsizetype offset)
{
    TaskOwnerView* view = GetOwner();
    if (!view)
        return;
    // The records after the header, without a copy of the bytes.
    IndexDbReader reader(QByteArray::fromRawData(data.constData() + offset, data.size() - offset));
    IndexDbRecord record;
    SInt32 highestThumbnail = 0;
    while (reader.Next(record)) {
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
        CIndexItem* added = item.get();
        // A number waiting for its file to be written again is held negated.
        const SInt32 number = added->GetThumbnailNumber();
        if (number != std::numeric_limits<SInt32>::min())
            highestThumbnail = std::max(highestThumbnail, std::abs(number));
        view->GetModel().InsertItem(item.release(), kInsertAtEnd, ItemInsert::Filling);
        view->GetModel().SetStoredRecord(added, {offset + start, end - start});
        const SInt32 count = view->GetModel().CountItems();
        if (count == kFirstDrawCount) {
            view->AdjustImageSize();
            for (SInt32 index = 1; index <= count; ++index)
                view->RefreshItem(index);
        }
        if (YieldIfTimeUp(4 * GetTaskSlice())) {
            SetProgress(count);
            SetItemCaption(added->GetName());
            view->AdjustImageSize();
            SInt32 zero = 0;
            Broadcast(msg_ViewStateChanged, &zero);
        }
    }
    // settings.xml may be older than index.db (or gone): no number an item holds is handed out again.
    mPackage->ReserveThumbIDsUpTo(highestThumbnail);
    mDamagedRecords += SInt32(reader.Errors().size());
    for (const auto& error : reader.Errors())
        qCWarning(lcErrors) << error.message;
    if (mDamagedRecords > 0) {
        view->GetModel().SetIndexDbDamaged(true);
        ReportError(kMsgIndexDbDamaged, kCautionAlert);
    }
}
