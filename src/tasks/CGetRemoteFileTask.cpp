#include "CGetRemoteFileTask.h"

#include "AliasRecord.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "CatalogueRoutines.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileRef.h"
#include "FieldKeys.h"
#include "FileSystemRoutines.h"
#include "Preferences.h"
#include "RemoteNames.h"
#include "SafeSave.h"
#include "TaskOwnerView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Reserves a new file named after `name` in the folder: "photo.jpg", then
// "photo 1.jpg", "photo 2.jpg" ... Answers its name.
QString CreateUniqueFile(const QString& folder, const QString& name)
{
    for (int counter = 0;; ++counter) {
        const QString candidate = counter == 0 ? name : Net::NumberedName(name, counter);
        const QByteArray path = QDir(folder).filePath(candidate).toLocal8Bit();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST || counter >= 100000)
            ThrowOSErr_(WriteFailureCode(errno), "cannot create " + path.toStdString());
    }
}

// A temporary file beside `target`, private until it is renamed into place.
QString CreateTemporaryBeside(const QString& target)
{
    const QFileInfo info(target);
    QByteArray pattern = info.dir().filePath(QStringLiteral(".%1.download-XXXXXX").arg(info.fileName().left(64)))
                             .toLocal8Bit();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        ThrowOSErr_(WriteFailureCode(errno), "cannot create a temporary file beside " + target.toStdString());
    ::close(fd);
    return QString::fromLocal8Bit(pattern);
}

} // namespace

CGetRemoteFileTask::CGetRemoteFileTask(
    SInt16 titleList, SInt16 titleIndex, const QUrl& url, CIndexItem* item, CIndexModel* model)
    : CInternetTask(titleList, titleIndex, model, url)
    , mItem(item)
{
    if (Net::HasControlCharacters(url.path(QUrl::FullyDecoded)))
        ThrowOSErr_(paramErr, "control characters in the remote path");
    QByteArray alias;
    bool hasAlias = false;
    if (item && model) {
        // A remote item that was never downloaded has no file to make an alias of.
        try {
            if (const QByteArray* held = item->GetAlias()) {
                alias = *held;
                hasAlias = true;
            }
        } catch (const ExceptionCode&) {
        }
        mItemWasSelected = model->IsSelected(model->GetIndexOfItem(item));
        model->SelectItem(item);
    }
    FileRef existing;
    if (hasAlias && ResolveAliasHandle(&alias, &existing, true) == noErr && QFileInfo(existing.Path()).isFile()) {
        mTarget = existing.Path();
    } else {
        const FileRef folder = GetDownloadFolderRef();
        const QString name = CreateUniqueFile(folder.Path(), Net::SafeLocalName(GetName()));
        SetName(name);
        mTarget = QDir(folder.Path()).filePath(name);
        mCreatedTarget = true;
    }
    SetProgressMin(0);
    SetIndeterminate(true);
    SetStatusCaption(601, 24);
    SetCaption6(GetName());
}

CGetRemoteFileTask::~CGetRemoteFileTask()
{
    // A task that ends without finishing (stopped, or the program ends) leaves nothing behind.
    if (!mFinished)
        RemoveTemporaryFiles();
    if (CIndexItem* item = mItem.Get(); item && GetModel() && !mItemWasSelected)
        GetModel()->DeselectItem(item);
}

void CGetRemoteFileTask::RemoveTemporaryFiles()
{
    if (!mTemporary.isEmpty())
        QFile::remove(mTemporary);
    mTemporary.clear();
    if (mCreatedTarget && !mTarget.isEmpty())
        QFile::remove(mTarget);
    mCreatedTarget = false;
}

void CGetRemoteFileTask::RevealItem()
{
    TaskOwnerView* view = GetOwnerView();
    CIndexItem* item = mItem.Get();
    if (view && item)
        view->RevealItem(GetModel()->GetIndexOfItem(item));
}

int CGetRemoteFileTask::NewFileMode() const
{
    // The replaced file keeps its permissions.
    struct stat old {};
    if (::stat(mTarget.toLocal8Bit().constData(), &old) == 0)
        return int(old.st_mode & 07777);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return int(0666 & ~mask);
}

void CGetRemoteFileTask::Download(Net::TransferRequest request)
{
    ShowProgress(3.0);
    request.kind = Net::TransferKind::Download;
    request.url = GetURL();
    if (mCreatedTarget) {
        // A file this task made holds nothing of the user's: the bytes go
        // straight into it, and a failure deletes it.
        request.localPath = mTarget;
    } else {
        // The user's copy is replaced only by a complete file.
        try {
            mTemporary = CreateTemporaryBeside(mTarget);
        } catch (const ExceptionCode& code) {
            ReportCode(code);
            TransferFailed();
            return;
        }
        request.localPath = mTemporary;
        request.renameTo = mTarget;
        request.renameMode = NewFileMode();
    }
    const Net::TransferResult result = RunTransfer(std::move(request));
    if (result.Succeeded())
        TransferDone();
    else
        ReportFailure(result);
}

void CGetRemoteFileTask::TransferDone()
{
    // The complete file is in place (renamed there by the transfer thread).
    mTemporary.clear();
    mCreatedTarget = false;
    mFinished = true;

    const FileRef file(mTarget);
    CIndexModel* model = GetModel();
    if (CIndexItem* item = mItem.Get()) {
        QByteArray alias;
        if (NewAliasBytes(nullptr, file, alias) == noErr) {
            // The item's file is now the one fetched, with its size, dates and
            // type: a change the index keeps.
            const auto takeFile = [&] {
                item->SetAlias(alias);
                item->TakeFileFacts(file);
                item->SetError(nullptr); // what failed while the file was missing
                return noErr;
            };
            if (model)
                model->ChangeItem(item, kAllItemFields, takeFile);
            else
                takeFile();
        }
    }
    SetDTComment(file, GetStoredURL().toString());
    if (CIndexItem* item = mItem.Get(); model && item && GetPrefBoolean(QStringLiteral("AutoCreateThumbnail"))) {
        const bool applyToFile = GetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"));
        model->ChangeItem(item, kFieldHasThumbnail, [&] {
            item->CreateThumbnail(applyToFile);
            return noErr;
        });
    }
    CInternetTask::TransferDone();
    RevealItem();
}

void CGetRemoteFileTask::TransferFailed()
{
    CInternetTask::TransferFailed();
    RemoveTemporaryFiles();
    mFinished = true;
    RevealItem();
}

void CGetFTPFileTask::RunTask()
{
    Net::TransferRequest request;
    request.passive = PassiveMode();
    Download(std::move(request));
}

void CGetHTTPFileTask::RunTask()
{
    Download(Net::TransferRequest());
}
