#include "CPutRemoteFileTask.h"

#include "Alerts.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileSystemRoutines.h"
#include "RemoteNames.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <unistd.h>
#include <vector>

namespace {

constexpr long kLoginRefused = 530;

std::vector<CPutRemoteFileTask*>& LiveUploads()
{
    static std::vector<CPutRemoteFileTask*> uploads;
    return uploads;
}

QString ServerKey(const QUrl& url)
{
    return QStringLiteral("%1@%2:%3").arg(url.userName(), url.host().toLower()).arg(url.port(21));
}

} // namespace

CPutRemoteFileTask::CPutRemoteFileTask(SInt16 titleList, SInt16 titleIndex, const QUrl& url, const QByteArray* fileAlias)
    : CInternetTask(titleList, titleIndex, nullptr, url)
{
    if (!fileAlias)
        ThrowOSErr_(err_NilPointer, "upload without a file");
    QByteArray alias = *fileAlias;
    FileRef file;
    if (ResolveAliasHandle(&alias, &file, true) != noErr || !QFileInfo(file.Path()).isFile())
        ThrowOSErr_(err_NilPointer, "upload file not found");
    mLocalPath = file.Path();
    SetName(QFileInfo(mLocalPath).fileName());
    // A CR or LF in a name would end the FTP command early and start another.
    if (Net::HasControlCharacters(GetName()) || Net::HasControlCharacters(url.path(QUrl::FullyDecoded)))
        ThrowOSErr_(paramErr, "control characters in an upload name");
    mFolder = GetURL();
    if (!IsFolderURL(mFolder))
        mFolder.setPath(mFolder.path(QUrl::FullyEncoded) + QLatin1Char('/'), QUrl::TolerantMode);

    // Uploads to the same server that exist together make one batch.
    const QString key = ServerKey(GetURL());
    for (CPutRemoteFileTask* other : LiveUploads()) {
        if (ServerKey(other->GetURL()) == key) {
            mBatch = other->mBatch;
            break;
        }
    }
    if (!mBatch)
        mBatch = std::make_shared<Batch>();
    LiveUploads().push_back(this);

    SetProgressMin(0);
    SetProgressMax(SInt32(std::min<qint64>(QFileInfo(mLocalPath).size() / 1024, 0x7FFFFFFF)));
    SetIndeterminate(true);
    SetStatusCaption(601, 24);
    SetCaption6(GetName());
}

CPutRemoteFileTask::~CPutRemoteFileTask()
{
    std::erase(LiveUploads(), this);
    if (!mTemporaryName.isEmpty())
        TransferFailed();
}

void CPutRemoteFileTask::TransferDone()
{
    mTemporaryName.clear();
    CInternetTask::TransferDone();
}

void CPutRemoteFileTask::TransferFailed()
{
    CInternetTask::TransferFailed();
    if (mTemporaryName.isEmpty())
        return;
    // The cut file goes; nobody waits for the server's answer.
    Net::TransferRequest request;
    request.kind = Net::TransferKind::Commands;
    request.url = mFolder;
    request.passive = PassiveMode();
    // Quoted commands go before the change of folder: the path is the login folder's.
    request.commands = {QStringLiteral("DELE ") + mFolder.path(QUrl::FullyDecoded).mid(1) + mTemporaryName};
    Net::RemoteTransfer::RunDetached(std::move(request));
    mTemporaryName.clear();
}

void CPutRemoteFileTask::ReportUploadFailure(const Net::TransferResult& result)
{
    if (result.status == kLoginRefused)
        mBatch->loginRefused = true;
    if (result.aborted || mBatch->reported)
        return;
    mBatch->reported = true;
    HideProgressPane();
    if (result.status >= 400)
        ShowErrorDialog(gErrorRecord, SInt32(result.status), kStopAlert, result.serverText);
    else
        ReportError(FailureCode(result), kStopAlert);
}

void CPutFTPFileTask::RunTask()
{
    ShowProgress(3.0);
    if (GetBatch()->loginRefused) {
        HideProgressPane();
        return;
    }
    const bool passive = PassiveMode();

    // The names the folder holds, so that none is replaced.
    Net::TransferRequest listing;
    listing.kind = Net::TransferKind::Listing;
    listing.url = mFolder;
    listing.passive = passive;
    listing.listCommand = QStringLiteral("NLST");
    const Net::TransferResult names = RunTransfer(listing);
    // An empty folder answers NLST with 450 or 550 on some servers.
    if (!names.Succeeded() && !(names.status == 450 || names.status == 550)) {
        ReportUploadFailure(names);
        HideProgressPane();
        return;
    }
    QSet<QString> taken;
    for (const QByteArray& line : names.body.split('\n')) {
        const QString name = QString::fromUtf8(line.trimmed());
        taken.insert(name.mid(name.lastIndexOf(QLatin1Char('/')) + 1));
    }
    // Nothing yields from here to the claim: no other upload of the batch takes the name between.
    const QString folder = mFolder.path(QUrl::FullyDecoded);
    QSet<QString>& claimed = GetBatch()->claimedNames;
    mRemoteName = GetName();
    for (int counter = 1; taken.contains(mRemoteName) || claimed.contains(folder + mRemoteName); ++counter)
        mRemoteName = Net::NumberedName(GetName(), counter);
    claimed.insert(folder + mRemoteName);

    static std::atomic<int> sUploadNumber {0};
    mTemporaryName = QStringLiteral(".%1.upload-%2-%3").arg(mRemoteName.left(64)).arg(::getpid()).arg(++sUploadNumber);
    Net::TransferRequest upload;
    upload.kind = Net::TransferKind::Upload;
    upload.url = Net::ChildURL(mFolder, mTemporaryName);
    upload.localPath = mLocalPath;
    upload.passive = passive;
    upload.postCommands = {QStringLiteral("RNFR ") + mTemporaryName, QStringLiteral("RNTO ") + mRemoteName};
    SetIndeterminate(false);
    const Net::TransferResult result = RunTransfer(upload);
    if (result.Succeeded()) {
        TransferDone();
    } else {
        ReportUploadFailure(result);
        TransferFailed();
    }
    HideProgressPane();
}
