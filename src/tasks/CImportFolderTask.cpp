#include "CImportFolderTask.h"

#include "PrefKeys.h"

#include "CIndexItem.h"
#include "CatalogueRoutines.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "IndexDocServices.h"
#include "MediaFactory.h"
#include "Preferences.h"
#include "RegularFile.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Internet location files are never catalogued.
constexpr OSType kInternetLocationHTTP = 'ilht';
constexpr OSType kInternetLocationFTP = 'ilft';
constexpr OSType kIndexPackageType = 'OIDX';

Q_LOGGING_CATEGORY(lcErrors, "orvex.errors")

// Files whose items are made together on the worker pool.
constexpr std::size_t kBatchSize = 64;

// Folder extensions that mark a package: always the index's own, the others
// with "ImportSkipPackages".
const QStringList& PackageExtensions()
{
    static const QStringList extensions {QStringLiteral("app"), QStringLiteral("bundle"), QStringLiteral("framework"),
        QStringLiteral("plugin"), QStringLiteral("appdir"), QStringLiteral("photoslibrary"), QStringLiteral("fcpbundle")};
    return extensions;
}

QString Canonical(const QString& path)
{
    QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

const QStringList& CImportFolderTask::SpecialFolders()
{
    static const QStringList folders = [] {
        QStringList list;
        for (const char* system : {"/usr", "/proc", "/sys", "/dev", "/run", "/boot", "/etc", "/var", "/bin", "/sbin",
                 "/lib", "/lib32", "/lib64", "/libx32", "/snap", "/lost+found"})
            list << QString::fromLatin1(system);
        list << QDir::homePath() + QStringLiteral("/.local/share/Trash");
        for (auto location : {QStandardPaths::AppDataLocation, QStandardPaths::AppLocalDataLocation,
                 QStandardPaths::CacheLocation, QStandardPaths::AppConfigLocation})
            list << QStandardPaths::writableLocation(location);
        QStringList canonical;
        for (const QString& path : list)
            if (!path.isEmpty())
                canonical << Canonical(path);
        return canonical;
    }();
    return folders;
}

CImportFolderTask::CImportFolderTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, const FileRef& folder,
    SInt32 position, UInt32 maxDepth)
    : CVisualTask(titleList, titleIndex, &model)
    , mFolder(folder)
    , mMaxDepth(maxDepth)
    , mPosition(position)
{
    ThrowIfNot_(folder.IsValid(), "folder import without a folder");
    SpecialFolders();
    model.AddRunningTask(false);
}

CImportFolderTask::~CImportFolderTask()
{
    mBusy.Lower(GetModel());
    if (CIndexModel* model = GetModel())
        model->RemoveRunningTask(false);
}

void CImportFolderTask::Finish(bool)
{
    CIndexModel* model = GetModel();
    if (!model)
        return;
    // Raised and lowered in pairs: a task stopped before it ran lowers nothing.
    mBusy.Lower(model);
    if (TaskOwnerView* view = GetOwnerView())
        view->AdjustImageSize();
    SInt32 zero = 0;
    Broadcast(msg_ViewStateChanged, &zero);
}

void CImportFolderTask::RunTask()
{
    CIndexModel* model = GetModel();
    ThrowIfNil_(model);
    mResolveLinks = GetPrefBoolean(QStringLiteral("ImportResolveAliases"));
    mSkipSpecial = GetPrefBoolean(QStringLiteral("ImportSkipSpecialFolders"));
    mSkipPackages = GetPrefBoolean(QStringLiteral("ImportSkipPackages"));
    mSkipDuplicates = Pref::ImportSkipDuplicates.Get();

    mBusy.Raise(*model);
    ShowPauseButton(true);
    SetIndeterminate(true);
    SetTitleCaption(601, 35);
    SetStatusCaption(601, 53);
    SetCaption6(QFileInfo(mFolder.Path()).fileName());
    ShowProgress(0.1);

    const UInt32 depth = IsOptionKeyDown() ? 1 : std::min(mMaxDepth == 0 ? kMaxWalkDepth : mMaxDepth, kMaxWalkDepth);
    FileStat root;
    if (mFolder.Stat(root) == noErr)
        mWalkedFolders.insert({root.device, root.inode});
    OSStatus status = IterateFolderTree(mFolder, depth, [this](const FolderWalkItem& entry) { return FilterEntry(entry); });
    FlushBatch();
    ThrowIfOSErr_(status);
    if (!mSkippedFolders.isEmpty()) {
        for (const QString& folder : mSkippedFolders)
            qCWarning(lcErrors) << "folder left out of the import:" << folder;
        ReportError(kMsgFoldersSkipped, kCautionAlert);
    }
    Finish(false);
}

bool CImportFolderTask::IsSkippedFolder(const FolderWalkItem& entry) const
{
    const QString name = entry.ref.Name();
    const QString extension = QFileInfo(name).suffix().toLower();
    if (IsIndexPackageURL(entry.ref.ToUrl()))
        return true;
    if (mSkipPackages && PackageExtensions().contains(extension))
        return true;
    if (mSkipSpecial && SpecialFolders().contains(Canonical(entry.ref.Path())))
        return true;
    return false;
}

bool CImportFolderTask::FilterEntry(const FolderWalkItem& entry)
{
    const QString name = entry.ref.Name();
    if (name.startsWith(QLatin1Char('.')))
        return true;

    if (entry.info.isFolder) {
        if (IsSkippedFolder(entry))
            return true;
        // Folders the walk must not enter: unreadable ones, ones met before (a loop
        // of mounts), ones deeper than the stack allows. The walk goes on without them.
        const int opened = ::open(entry.ref.NativePath().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (opened < 0) {
            mSkippedFolders << entry.ref.Path();
            return true;
        }
        ::close(opened);
        if (!mWalkedFolders.insert({entry.info.device, entry.info.inode}).second
            || entry.depth >= kMaxWalkDepth) {
            mSkippedFolders << entry.ref.Path();
            return true;
        }
        if (YieldIfTimeUp(GetTaskSlice() / 2)) {
            SetCaption6(name);
            SInt32 zero = 0;
            Broadcast(msg_ViewStateChanged, &zero);
        }
        CheckPause();
        return false;
    }

    // Pipes, devices and sockets are no media, and nothing may wait on reading one.
    if (entry.info.isSymLink ? CheckRegularFile(entry.ref.Path()) == notAFileErr : !entry.info.isRegularFile)
        return true;

    Candidate candidate;
    candidate.file = entry.ref;
    candidate.name = name;
    if (entry.info.isSymLink) {
        if (mResolveLinks) {
            // The link's target, under the link's own name; a link to a folder is
            // never walked and makes no item.
            const FileRef target = entry.ref.Canonical();
            if (!target.IsValid() || target.IsFolder())
                return false;
            candidate.file = target;
        }
    }
    candidate.typeKnown = IsSupportedMediaType(GetFileTypeForExtension(name));
    mBatch.push_back(std::move(candidate));
    if (mBatch.size() >= kBatchSize)
        FlushBatch();
    if (YieldIfTimeUp(GetTaskSlice() / 2)) {
        SetItemCaption(name);
        SInt32 zero = 0;
        Broadcast(msg_ViewStateChanged, &zero);
    }
    CheckPause();
    return false;
}

void CImportFolderTask::FlushBatch()
{
    if (mBatch.empty())
        return;
    std::vector<Candidate> batch;
    batch.swap(mBatch);
    std::vector<std::unique_ptr<CIndexItem>> items(batch.size());
    // Reading each file's type, sizes and dates is the slow part: the workers do
    // it, and the items are then inserted here in the walk's order.
    WorkerPool::RunEach(batch.size(), [&](std::size_t i) {
        const Candidate& candidate = batch[i];
        if (!candidate.typeKnown) {
            // The type stored with the file, or else the one its content shows.
            FinderInfo info;
            if (GetFinderInfoOfFSRef(candidate.file, &info) != noErr || !IsSupportedMediaType(info.Type()))
                return;
        }
        CatchCode([&] { items[i] = std::make_unique<CIndexItem>(candidate.file); });
    });
    CIndexModel* model = GetModel();
    for (std::size_t i = 0; i < batch.size(); ++i) {
        std::unique_ptr<CIndexItem>& item = items[i];
        if (!item)
            continue;
        if (item->GetName() != batch[i].name)
            item->SetName(batch[i].name);
        if (mSkipDuplicates && model->ContainsURL(item->GetURL()))
            continue;
        // Every item added is a change to save, also into an empty index.
        model->InsertItem(item.release(), mPosition, ItemInsert::Change);
        ++mImported;
        if (mPosition != kInsertAtEnd)
            ++mPosition;
    }
}

SInt32 ImportURL(CIndexModel& model, const QUrl& url, SInt32 index)
{
    if (Pref::ImportSkipDuplicates.Get() && model.ContainsURL(url))
        return 0;
    if (url.isLocalFile()) {
        OSType type = '????';
        OSType creator = '????';
        ThrowIfOSErr_(GetFileTypeAndCreator(url, &type, &creator));
        if (type == kIndexPackageType || IsIndexPackageURL(url)) {
            // Not an item: the view's listeners hear of it (an index opens apart).
            if (TaskOwnerView* view = FindTaskOwnerView(&model)) {
                SInt32 zero = 0;
                view->BroadcastMessage(msg_ViewStateChanged, &zero);
            }
            return 0;
        }
        if (ResolvesToFolder(url)) {
            StartImportFolderTask(model, FileRef(url.toLocalFile()), index, 0);
            return 0;
        }
        if (type == kInternetLocationHTTP || type == kInternetLocationFTP)
            return 0;
    }
    auto item = std::make_unique<CIndexItem>(url);
    const SInt32 at = model.InsertItem(item.get(), index, ItemInsert::Change);
    item.release();
    return at;
}

void StartImportFolderTask(CIndexModel& model, const FileRef& folder, SInt32 position, SInt32 option)
{
    // A folder the user adds is one of the places used lately.
    if (IndexDocAppServices* app = GetIndexDocAppServices())
        app->AddRecentURL(folder.ToUrl());
    (new CImportFolderTask(601, 17, model, folder, position, UInt32(std::max<SInt32>(option, 0))))->Start();
}
