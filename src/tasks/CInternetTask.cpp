#include "CInternetTask.h"

#include "CGetRemoteFileTask.h"
#include "CGetRemoteFolderTask.h"
#include "CIndexItem.h"
#include "CPutRemoteFileTask.h"
#include "ErrorReport.h"
#include "LView.h"
#include "ExceptionCode.h"
#include "Keychain.h"
#include "Preferences.h"
#include "RemoteNames.h"
#include "SafeSave.h"
#include "TaskOwnerView.h"

#include <QApplication>

#include <curl/curl.h>

namespace {

const QString kKeychainService = QStringLiteral("Orvex FTP");

QString KeychainAccount(const QUrl& url)
{
    return QStringLiteral("%1@%2:%3").arg(url.userName(), url.host()).arg(url.port(21));
}

bool IsScheme(const QUrl& url, const char* scheme)
{
    return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

bool IsHTTP(const QUrl& url)
{
    return IsScheme(url, "http") || IsScheme(url, "https");
}

} // namespace

QUrl CompleteCredentials(const QUrl& url, bool keepPassword)
{
    if (!IsScheme(url, "ftp") || url.userName().isEmpty() || !Keychain::IsAvailable())
        return url;
    if (!url.password().isEmpty()) {
        if (keepPassword)
            Keychain::SetGenericPassword(kKeychainService, KeychainAccount(url), url.password().toUtf8());
        return url;
    }
    QByteArray password;
    if (Keychain::FindGenericPassword(kKeychainService, KeychainAccount(url), password) != noErr)
        return url;
    QUrl complete = url;
    complete.setPassword(QString::fromUtf8(password));
    return complete;
}

CInternetTask::CInternetTask(SInt16 titleList, SInt16 titleIndex, CIndexModel* model, const QUrl& url)
    : CVisualTask(titleList, titleIndex, model)
    , mName(Net::LastPathComponent(url))
    , mURL(CompleteCredentials(url, false)) // a password given is kept by whoever asked for it
{
    ShowPauseButton(false);
    if (LPane* resume = GetProgressPane() ? GetProgressPane()->FindPaneByID(kPaneResumeButton) : nullptr)
        resume->Hide();
    SetStatusString(QStringLiteral(" KB"));
    if (model)
        model->AddRunningTask(false);
}

CInternetTask::~CInternetTask()
{
    if (mCurrent)
        mCurrent->Abort();
    if (CIndexModel* model = GetModel())
        model->RemoveRunningTask(false);
}

QUrl CInternetTask::GetStoredURL() const
{
    return Net::WithoutPassword(mURL);
}

bool CInternetTask::PassiveMode()
{
    return GetPrefBoolean(QStringLiteral("FTPPassiveMode"));
}

void CInternetTask::ListenToMessage(MessageT message, void* ioParam)
{
    const auto* progress = static_cast<const TransferProgress*>(ioParam);
    auto kilobytes = [](qint64 bytes) { return SInt32(std::min<qint64>(bytes / 1024, 0x7FFFFFFF)); };
    switch (message) {
    case msg_TransferFailed:
        TransferFailed();
        break;
    case msg_TransferConnecting:
    case msg_TransferConnected:
        SetStatusCaption(601, 25);
        break;
    case msg_TransferLoggingIn:
    case msg_TransferLoggedIn:
        SetStatusCaption(601, 28);
        break;
    case msg_TransferReceived:
        SetStatusCaption(601, 36);
        SetProgress(kilobytes(progress->done));
        break;
    case msg_TransferReceivedOf:
        SetStatusCaption(601, 26);
        SetIndeterminate(false);
        SetProgress(kilobytes(progress->done));
        SetProgressMax(kilobytes(progress->total));
        break;
    case msg_TransferSending:
        SetStatusCaption(601, 30);
        break;
    case msg_TransferAborted:
        TransferFailed();
        SetStatusCaption(601, 29);
        break;
    case msg_TransferStarted:
        SetStatusCaption(601, 36);
        SetCaption6(QString());
        SetItemCaption(mName);
        SetIndeterminate(false);
        break;
    case msg_TransferStartedOf:
        SetStatusCaption(601, 26);
        SetCaption6(QString());
        SetItemCaption(mName);
        SetIndeterminate(false);
        SetProgressMax(kilobytes(progress->total));
        break;
    case msg_TransferWaiting:
    case msg_TransferListing:
        SetIndeterminate(true);
        SetStatusCaption(601, 27);
        break;
    case msg_TransferLookingUp:
        SetStatusCaption(601, 24);
        break;
    case msg_TransferClosed:
        SetStatusCaption(601, 29);
        break;
    default:
        CVisualTask::ListenToMessage(message, ioParam);
        break;
    }
}

void CInternetTask::ShowProgress(double delay)
{
    mCompletion.Restart();
    CVisualTask::ShowProgress(delay);
}

void CInternetTask::Stop()
{
    if (IsStopping() || IsCompleted())
        return;
    if (mCurrent)
        mCurrent->Abort();
    TransferFailed();
    CVisualTask::Stop();
}

void CInternetTask::AcquireSlot()
{
    // The download slot first, so that a transfer waiting for the network
    // never holds a task slot that other tasks could use.
    mDownloadSlot.Acquire();
    CVisualTask::AcquireSlot();
}

void CInternetTask::TransferDone()
{
    mCurrent = nullptr;
}

void CInternetTask::TransferFailed()
{
    mCurrent = nullptr;
}

void CInternetTask::ReportResponse(long status)
{
    if (status == 404 || status == 550)
        ReportError(ExceptionCode(kErrRemoteFileNotFound, GetStoredURL().toString().toStdString()), kNoteAlert);
    else
        ReportError(ExceptionCode(OSStatus(status), GetStoredURL().toString().toStdString()), kCautionAlert);
}

void CInternetTask::ReportCode(const ExceptionCode& code)
{
    if (code.Code() == kErrTransferAborted)
        return;
    ReportError(code, kCautionAlert);
}

ExceptionCode CInternetTask::FailureCode(const Net::TransferResult& result)
{
    if (result.aborted)
        return ExceptionCode(kErrTransferAborted);
    if (result.fileError != 0)
        return ExceptionCode(WriteFailureCode(result.fileError), "local file: " + std::string(strerror(result.fileError)));
    if (result.longerThanAnnounced)
        return ExceptionCode(kErrNetworkFailed, "the server sent more than the length it announced");
    return ExceptionCode(kErrNetworkFailed, result.errorText.toStdString());
}

Net::TransferResult CInternetTask::RunTransfer(Net::TransferRequest request)
{
    Net::RemoteTransfer transfer(std::move(request));
    mCurrent = &transfer;
    bool started = false;
    ListenToMessage(msg_TransferConnecting, nullptr);
    const Net::TransferResult& result = transfer.Run([&] {
        TransferProgress progress {transfer.BytesTotal(), transfer.BytesDone()};
        if (progress.done == 0 && progress.total < 0)
            return;
        if (!started) {
            ListenToMessage(progress.total >= 0 ? msg_TransferStartedOf : msg_TransferStarted, &progress);
            started = true;
        }
        ListenToMessage(progress.total >= 0 ? msg_TransferReceivedOf : msg_TransferReceived, &progress);
    });
    mCurrent = nullptr;
    return result;
}

void CInternetTask::ReportFailure(const Net::TransferResult& result)
{
    if (!result.aborted) {
        // A server's refusal carries its status; a cut or refused connection a code.
        const bool refused = result.status >= 400 || (result.status >= 300 && result.curlCode != CURLE_OK);
        if (refused)
            ReportResponse(result.status);
        else
            ReportCode(FailureCode(result));
    }
    TransferFailed();
}

bool LacksPassword(const QUrl& url)
{
    return IsScheme(url, "ftp") && !url.userName().isEmpty() && CompleteCredentials(url, false).password().isEmpty();
}

// --- The factories ------------------------------------------------------------------------------

bool IsFolderURL(const QUrl& url)
{
    return url.path().endsWith(QLatin1Char('/'));
}

void StartDownloadTaskForURL(const QUrl& url, const QByteArray* /*downloadFolderAlias*/, CIndexModel* model,
    CIndexItem* item)
{
    CInternetTask* task = nullptr;
    if (IsScheme(url, "ftp")) {
        if (IsFolderURL(url)) {
            ThrowIfNil_(model); // a folder's items go into an index
            task = new CGetFTPFolderTask(601, 31, url, *model);
        }
        else
            task = new CGetFTPFileTask(601, 22, url, item, model);
    } else if (IsHTTP(url)) {
        // A folder's address answers with its listing page: its links are what
        // the user asked for, never the page itself saved as a file.
        if (IsFolderURL(url)) {
            ThrowIfNil_(model); // a folder's items go into an index
            task = new CGetHTTPFolderTask(601, 22, url, *model);
        } else {
            task = new CGetHTTPFileTask(601, 22, url, item, model);
        }
    }
    if (task)
        task->Start();
}

CInternetTask* StartDownloadTaskForItem(
    CIndexModel* model, CIndexItem* item, const QUrl& credentials, StDownloadSlot* slot)
{
    ThrowIfNil_(item);
    QUrl url = item->GetRemoteURL();
    if (url.isEmpty())
        ThrowOSErr_(err_NilPointer, "item without a remote URL");
    if (!credentials.isEmpty())
        url = credentials;
    CInternetTask* task = nullptr;
    if (IsScheme(url, "ftp")) {
        if (IsFolderURL(url))
            ThrowOSErr_(1, "FTP folder item");
        task = new CGetFTPFileTask(601, 22, url, item, model);
    } else if (IsHTTP(url)) {
        if (IsFolderURL(url)) {
            ThrowIfNil_(model); // a folder's items go into an index
            task = new CGetHTTPFolderTask(601, 22, url, *model);
        }
        else
            task = new CGetHTTPFileTask(601, 22, url, item, model);
    } else {
        return nullptr;
    }
    if (slot)
        task->AdoptDownloadSlot(*slot);
    task->Start();
    return task;
}

void StartUploadTaskForURL(const QUrl& url, const QByteArray* fileAlias)
{
    if (IsScheme(url, "ftp"))
        (new CPutFTPFileTask(601, 23, url, fileAlias))->Start();
    else if (IsHTTP(url))
        QApplication::beep(); // there is no upload over HTTP
}
