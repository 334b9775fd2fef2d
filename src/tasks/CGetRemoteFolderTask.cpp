#include "CGetRemoteFolderTask.h"

#include "CIndexItem.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "Preferences.h"
#include "TaskOwnerView.h"
#include "WorkerPool.h"

#include <memory>

namespace {

// Replies of servers that do not know a command (MLSD on older servers).
bool IsUnknownCommand(long status)
{
    return status == 500 || status == 501 || status == 502 || status == 504;
}

} // namespace

CGetRemoteFolderTask::CGetRemoteFolderTask(SInt16 titleList, SInt16 titleIndex, const QUrl& url, CIndexModel& model)
    : CInternetTask(titleList, titleIndex, &model, url)
{
}

CGetRemoteFolderTask::~CGetRemoteFolderTask()
{
    // What a Stop left waiting (most of a large folder) is freed on a worker:
    // a hundred thousand addresses take a thread a while.
    if (!mEntries.empty())
        WorkerPool::LetGo([entries = std::move(mEntries)]() mutable { entries.clear(); });
}

void CGetRemoteFolderTask::Stop()
{
    mStopRequested = true;
    CInternetTask::Stop();
}

void CGetRemoteFolderTask::RunTask()
{
    SetIndeterminate(true);
    SetCaption6(GetName());
    SetStatusCaption(601, 24);
    ShowProgress(3.0);
    FetchListing();
    SetTitleCaption(601, 34);
    StartEntryDownloads();
    HideProgressPane();
}

void CGetRemoteFolderTask::AddEntry(const QUrl& url)
{
    CIndexModel* model = GetModel();
    ThrowIfNil_(model);
    const QUrl stored = Net::WithoutPassword(url);
    auto item = std::make_unique<CIndexItem>(stored);
    item->SetRemoteURL(stored);
    CIndexItem* inserted = item.get();
    const SInt32 at = model->InsertItem(item.release(), kInsertAtEnd);
    if (TaskOwnerView* view = GetOwnerView()) {
        view->AdjustImageSize();
        view->RefreshItem(at);
    }
    SInt32 zero = 0;
    Broadcast(msg_ViewStateChanged, &zero);
    if (GetPrefBoolean(QStringLiteral("DownloadFiles")))
        mEntries.push_back({TLivePtr<CIndexItem>(inserted), url});
    YieldIfTimeUp(); // a listing of many thousands keeps the window live
}

void CGetRemoteFolderTask::StartEntryDownloads()
{
    if (mEntries.empty())
        return;
    // The listing is read and this task moves no more bytes: it gives back its
    // slots (its pane stays, so that Stop ends the rest) and makes each entry's
    // task only when a download slot is free, handing that slot over. The
    // entries wait here as list entries, not as thousands of tasks and files,
    // and the downloads never wait for a slot this task holds.
    ReleaseDownloadSlot();
    ReleaseSlot();
    SetIndeterminate(false);
    SetProgressMin(0);
    SetProgressMax(SInt32(mEntries.size()));
    SetStatusCaption(601, 22);
    SInt32 counter = 0;
    for (const Entry& entry : mEntries) {
        if (mStopRequested)
            break;
        SetProgress(++counter);
        CIndexItem* item = entry.item.Get();
        if (!item)
            continue; // removed from the index meanwhile
        StDownloadSlot slot;
        if (!slot.Acquire())
            break;
        item = entry.item.Get();
        if (mStopRequested)
            break;
        if (!item)
            continue;
        SetItemCaption(item->GetName());
        try {
            StartDownloadTaskForItem(GetModel(), item, entry.url, &slot);
        } catch (const ExceptionCode& code) {
            ReportCode(code);
        }
        YieldIfTimeUp();
    }
}

void CGetFTPFolderTask::FetchListing()
{
    QUrl folder = GetURL();
    Net::TransferRequest request;
    request.kind = Net::TransferKind::Listing;
    request.url = folder;
    request.passive = PassiveMode();
    request.listCommand = QStringLiteral("MLSD");
    SetStatusCaption(601, 31);
    Net::TransferResult result = RunTransfer(request);
    bool machineListing = true;
    if (!result.Succeeded() && !result.aborted && IsUnknownCommand(result.status)) {
        request.listCommand = QStringLiteral("LIST");
        result = RunTransfer(request);
        machineListing = false;
    }
    if (!result.Succeeded()) {
        ReportFailure(result);
        return;
    }
    // A listing of many thousands of entries is read on a worker: the window
    // stays live meanwhile.
    const auto entries = WorkerPool::Run([&result, machineListing] {
        return machineListing ? Net::ParseMLSDListing(result.body) : Net::ParseLISTListing(result.body);
    });
    try {
        for (const Net::RemoteEntry& entry : entries) {
            if (!entry.isFolder)
                AddEntry(Net::ChildURL(folder, entry.name));
        }
    } catch (const ExceptionCode& code) {
        ReportCode(code);
        TransferFailed();
    }
}

void CGetHTTPFolderTask::FetchListing()
{
    Net::TransferRequest request;
    request.kind = Net::TransferKind::Download;
    request.url = GetURL();
    request.memoryLimit = kMaxIndexPageBytes;
    const Net::TransferResult result = RunTransfer(request);
    if (!result.Succeeded()) {
        if (result.tooLarge)
            ReportCode(ExceptionCode(kErrNetworkFailed, "the folder's index page is larger than 4 MB"));
        else
            ReportFailure(result);
        return;
    }
    TransferDone();
    try {
        const QUrl page = GetURL();
        const auto links = WorkerPool::Run([&result, &page] { return Net::FileLinksOfIndexPage(result.body, page); });
        for (const QUrl& link : links)
            AddEntry(link);
    } catch (const ExceptionCode& code) {
        ReportCode(code);
    }
}
