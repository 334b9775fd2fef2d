#include "CFileBrowserListView.h"

#include "AliasRecord.h"
#include "CImportFolderTask.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "DeferredIcon.h"
#include "DisplayUtilities.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FileRoutines.h"
#include "FileSystemRoutines.h"
#include "FirstWindowShown.h"
#include "IndexDocServices.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "TaskServices.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QHash>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace {

constexpr UInt16 kNameColumnWidth = 94;
constexpr UInt16 kNameColumnMaxWidth = 2000;
const QString kUserItemsPref = QStringLiteral("SourceListUserItems");

// What a user row dragged out of the list carries: its location, for this
// program's eyes only.
const QString kSourceRowType = QStringLiteral("application/x-orvex-source-row");

// The contextual menu; its command 1 (Refresh) only rebuilds the list, as every choice does.
constexpr ResIDT kContextMenuID = 305;
constexpr CommandT kCmdRemoveLocation = 2;

// The floating window that holds the program's shared file browser, and its list.
constexpr ResIDT kSharedWindowLayout = 923;
constexpr PaneIDT kSharedListPane = 928;

// CopyURLToFolder's mode that gives the copy a free name ("name copy N"): a copy
// never replaces a file already in the folder.
constexpr SInt16 kCopyKeepingBoth = 0;

bool IsUserLocation(const QUrl& url)
{
    return url.isLocalFile() && (IsIndexPackageURL(url) || ResolvesToFolder(url));
}

FileBrowserEnvironment& EnvironmentOverride()
{
    static FileBrowserEnvironment environment;
    return environment;
}

QIcon StandardIcon(QAbstractFileIconProvider::IconType type)
{
    // Made when the list first draws a row of the kind, not while the window is
    // built, and once for all the rows of that kind.
    return DeferredThemeIcon([type] {
        static QFileIconProvider provider;
        static QHash<int, QIcon> made;
        auto found = made.constFind(type);
        if (found == made.constEnd())
            found = made.insert(type, provider.icon(type));
        return *found;
    });
}

// The value of one "XDG_<NAME>_DIR" line, "$HOME" expanded; null when absent.
QString UserDirEntry(const QByteArray& contents, const QByteArray& name, const QString& home)
{
    const QByteArray key = "XDG_" + name + "_DIR";
    for (QByteArray line : contents.split('\n')) {
        line = line.trimmed();
        if (!line.startsWith(key) || line.mid(key.size()).trimmed().left(1) != "=")
            continue;
        QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        QString path = QString::fromUtf8(value);
        if (path.startsWith(QLatin1String("$HOME")))
            path = home + path.mid(5);
        return QDir::cleanPath(path);
    }
    return {};
}

} // namespace

// --- Environment -------------------------------------------------------------------------------------

FileBrowserEnvironment FileBrowserEnvironment::System()
{
    FileBrowserEnvironment environment;
    environment.home = QDir::homePath();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = environment.home + QStringLiteral("/.config");
    environment.userDirsFile = config + QStringLiteral("/user-dirs.dirs");
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = environment.home + QStringLiteral("/.local/share");
    environment.trashFolder = data + QStringLiteral("/Trash/files");
    environment.makeVolumeSource = [] { return MakeSystemVolumeSource(); };
    return environment;
}

std::vector<QString> UserPlaceFolders(const QString& home, const QString& userDirsFile)
{
    QByteArray contents;
    QFile file(userDirsFile);
    if (file.open(QIODevice::ReadOnly))
        contents = file.readAll();
    const QString cleanHome = QDir::cleanPath(home);
    std::vector<QString> folders { cleanHome };
    for (const char* name : { "DESKTOP", "DOWNLOAD", "DOCUMENTS", "PICTURES" }) {
        QString folder = UserDirEntry(contents, name, cleanHome);
        if (folder.isNull() && qstrcmp(name, "DESKTOP") == 0)
            folder = cleanHome + QStringLiteral("/Desktop");
        // A user folder set to the home folder is switched off.
        if (folder.isEmpty() || folder == cleanHome || !QFileInfo(folder).isDir())
            continue;
        folders.push_back(folder);
    }
    return folders;
}

// --- The list --------------------------------------------------------------------------------------

CFileBrowserListView::CFileBrowserListView(const LLayoutData& data)
    : CDataBrowser(data)
    , mEnvironment(EnvironmentOverride().home.isEmpty() ? FileBrowserEnvironment::System() : EnvironmentOverride())
{
    sLists.push_back(this);
}

CFileBrowserListView::~CFileBrowserListView()
{
    std::erase(sLists, this);
    mVolumes.reset();
    RemoveAllItems();
}

void CFileBrowserListView::SetEnvironment(const FileBrowserEnvironment& environment)
{
    EnvironmentOverride() = environment;
}

void CFileBrowserListView::FinishCreateSelf()
{
    CDataBrowser::FinishCreateSelf();
    SetUpAsSideList();
    QTreeView* tree = GetControlRef();
    // Location rows are as tall as their icons; the section titles need less.
    tree->setUniformRowHeights(false);
    AddColumn(kSourceNameProperty, QStringLiteral("Organize"), kColumnJustifyLeft, kDataBrowserCustomType,
        kNameColumnWidth, kNameColumnMaxWidth, kNameColumnWidth, false, false);
    tree->header()->setStretchLastSection(true);
    // A click acts at its release, so that a press that moves on drags instead.
    QObject::connect(tree, &QAbstractItemView::clicked, tree, [this](const QModelIndex& index) {
        auto* row = dynamic_cast<CSourceItemURL*>(GetImp().GetModel().ItemAt(index));
        if (row && !row->IsUnresolved()) {
            const QUrl url = row->GetURL();
            const bool commandKey = QGuiApplication::keyboardModifiers() & Qt::ControlModifier;
            RunReported([&] { ClickLocation(url, commandKey); });
        }
    });
    // A drop lands on the row under the pointer, never between rows (on their container).
    tree->setDragDropOverwriteMode(true);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(tree, &QWidget::customContextMenuRequested, tree,
        [this](QPoint where) { RunReported([&] { ShowContextualMenu(where); }); });
}

void CFileBrowserListView::RecentItemsChanged()
{
    // After the event at hand: a click on a recent row is what changed the list.
    for (CFileBrowserListView* list : sLists) {
        QTimer::singleShot(0, list->GetControlRef(), [list] {
            for (CSourceParentRecent* group : { list->mRecentIndexes, list->mRecentFolders })
                if (group)
                    group->RefillRecentRows();
        });
    }
}

void CFileBrowserListView::Rebuild()
{
    mDraggedRows.clear();
    mRecentIndexes = mRecentFolders = nullptr;
    RemoveAllItems();
    LoadUserItems();
    mDevices = new CSourceItemDividerDevices;
    mPlaces = new CSourceItemDividerPlaces;
    mRecent = new CSourceItemDividerRecentItems;
    mUserItems = new CSourceItemDividerUserItems;
    for (CSourceItemDivider* header : { mDevices, mPlaces, mRecent, mUserItems }) {
        AddItem(header);
        if (header->GetStoredOpenState())
            OpenContainer(header);
    }
    AdjustScrollbars();
}

void CFileBrowserListView::SectionOpened(CSourceItemDivider& header)
{
    if (&header == mDevices)
        FillDevices();
    else if (&header == mPlaces)
        FillPlaces();
    else if (&header == mRecent)
        FillRecent();
    else if (&header == mUserItems)
        FillUserItems();
}

void CFileBrowserListView::SectionClosed(CSourceItemDivider& header)
{
    // Volume changes matter only while the volumes are shown.
    if (&header == mDevices)
        mVolumes.reset();
    else if (&header == mRecent)
        mRecentIndexes = mRecentFolders = nullptr; // the browser removes them
}

std::vector<LDataBrowserItem*> CFileBrowserListView::GetChildRows(const LDataBrowserItem* parent) const
{
    std::vector<LDataBrowserItem*> rows;
    if (!parent)
        return rows;
    std::vector<std::pair<UInt32, LDataBrowserItem*>> ordered;
    for (LDataBrowserItem* row : GetItems()) {
        if (row->GetContainer() == parent->GetItemID())
            ordered.emplace_back(GetRowOfItem(row), row);
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : ordered)
        rows.push_back(entry.second);
    return rows;
}

void CFileBrowserListView::FillDevices()
{
    if (mVolumes || !mEnvironment.makeVolumeSource) {
        RefreshDevices();
        return;
    }
    if (mVolumesWaiting)
        return;
    // The desktop's volume monitor loads GIO and its modules: it starts once the
    // program's first window is on the screen, and the rows follow a moment later.
    mVolumesWaiting = true;
    RunOnceAWindowIsShown(this, [this] {
        mVolumesWaiting = false;
        if (mVolumes || !mDevices || !IsContainerOpen(mDevices))
            return; // the section was closed meanwhile
        RunReported([this] {
            mVolumes = mEnvironment.makeVolumeSource();
            if (mVolumes)
                mVolumes->SetChangedCallback([this] { RunReported([this] { RefreshDevices(); }); });
            RefreshDevices();
        });
    });
}

void CFileBrowserListView::RefreshDevices()
{
    if (!mDevices || !mVolumes || !IsContainerOpen(mDevices))
        return;
    std::vector<MountedVolume> volumes = mVolumes->CurrentVolumes();
    std::erase_if(volumes, [](const MountedVolume& volume) { return IsNetworkFileSystem(volume.fileSystemType); });
    // Rows of volumes gone go; rows of volumes still there stay as they are.
    for (LDataBrowserItem* row : GetChildRows(mDevices)) {
        auto* volumeRow = dynamic_cast<CSourceVolumeURL*>(row);
        if (!volumeRow)
            continue;
        auto kept = std::find_if(volumes.begin(), volumes.end(),
            [&](const MountedVolume& volume) { return volume.mountPoint == volumeRow->GetMountPoint(); });
        if (kept == volumes.end())
            RemoveItem(volumeRow);
        else
            volumes.erase(kept);
    }
    std::vector<LDataBrowserItem*> added;
    for (const MountedVolume& volume : volumes)
        added.push_back(new CSourceVolumeURL(volume));
    if (!added.empty())
        AddItems(added, mDevices->GetItemID());
    AdjustScrollbars();
}

void CFileBrowserListView::FillPlaces()
{
    std::vector<LDataBrowserItem*> rows;
    for (const QString& folder : UserPlaceFolders(mEnvironment.home, mEnvironment.userDirsFile))
        rows.push_back(new CSourceItemURL(QUrl::fromLocalFile(folder), QString::fromLatin1(SourceSort::kPlace)));
    if (!mEnvironment.trashFolder.isEmpty()) {
        auto* trash = new CSourceItemURL(QUrl::fromLocalFile(mEnvironment.trashFolder),
            QString::fromLatin1(SourceSort::kPlace), CopyLocalizedString(QStringLiteral("600:130")),
            StandardIcon(QAbstractFileIconProvider::Trashcan));
        trash->SetTrash();
        rows.push_back(trash);
    }
    AddItems(rows, mPlaces->GetItemID());
}

void CFileBrowserListView::FillRecent()
{
    mRecentIndexes = new CSourceParentRecent(CSourceParentRecent::kRecentIndexes);
    mRecentFolders = new CSourceParentRecent(CSourceParentRecent::kRecentFolders);
    AddItems({ mRecentIndexes, mRecentFolders }, mRecent->GetItemID());
    for (CSourceParentRecent* group : { mRecentIndexes, mRecentFolders }) {
        if (group->GetStoredOpenState())
            OpenContainer(group);
    }
}

void CFileBrowserListView::LoadUserItems()
{
    mUserLocations.clear();
    for (const QVariant& entry : CopyPrefValue(kUserItemsPref).toList())
        mUserLocations.push_back(entry.toByteArray());
}

void CFileBrowserListView::SaveUserItems()
{
    QVariantList entries;
    for (const QByteArray& alias : mUserLocations)
        entries.push_back(alias);
    SetPrefValue(kUserItemsPref, entries);
}

void CFileBrowserListView::FillUserItems()
{
    std::vector<LDataBrowserItem*> rows;
    for (QByteArray& alias : mUserLocations) {
        FileRef target;
        bool changed = false;
        QByteArray resolved = alias;
        if (ResolveAliasBytes(nullptr, resolved, target, changed) == noErr) {
            rows.push_back(new CSourceItemURL(target.ToUrl(), QString::fromLatin1(SourceSort::kUserItem)));
            continue;
        }
        // Kept, greyed, under the name it had.
        AliasRecord record;
        AliasRecord::FromBytes(alias, record);
        auto* row = new CSourceItemURL(QUrl::fromLocalFile(record.Path()),
            QString::fromLatin1(SourceSort::kUserItem), QFileInfo(record.ReadablePath()).fileName(),
            StandardIcon(QAbstractFileIconProvider::Folder));
        row->SetUnresolved(true);
        rows.push_back(row);
    }
    if (!rows.empty())
        AddItems(rows, mUserItems->GetItemID());
}

void CFileBrowserListView::AddUserItems(const QList<QUrl>& urls)
{
    std::vector<LDataBrowserItem*> rows;
    for (const QUrl& url : urls) {
        QByteArray alias;
        ThrowIfOSErr_(NewAliasBytes(nullptr, FileRef::FromUrl(url), alias));
        mUserLocations.push_back(alias);
        rows.push_back(new CSourceItemURL(url, QString::fromLatin1(SourceSort::kUserItem)));
    }
    SaveUserItems();
    if (mUserItems && IsContainerOpen(mUserItems) && !rows.empty())
        AddItems(rows, mUserItems->GetItemID());
    else
        std::for_each(rows.begin(), rows.end(), [](LDataBrowserItem* row) { delete row; });
}

bool CFileBrowserListView::AcceptDragItem(const QMimeData& drag)
{
    const QList<QUrl> urls = drag.urls();
    return !urls.empty() && std::all_of(urls.begin(), urls.end(), IsUserLocation);
}

bool CFileBrowserListView::ReceiveDragItem(const QMimeData& drag)
{
    if (!AcceptDragItem(drag))
        return false;
    return RunReported([&] { AddUserItems(drag.urls()); });
}

void CFileBrowserListView::OpenLocation(const QUrl& url)
{
    CIndexDoc* document = GetDocument();
    if (!document)
        return;
    document->OpenInWindow(url);
    if (IndexDocAppServices* app = GetIndexDocAppServices())
        app->AddRecentURL(url);
}

void CFileBrowserListView::ClickLocation(const QUrl& url, bool commandKey)
{
    if (!commandKey || IsIndexPackageURL(url) || !ResolvesToFolder(url)) {
        OpenLocation(url);
        return;
    }
    ImportFolder(url);
    if (IndexDocAppServices* app = GetIndexDocAppServices())
        app->AddRecentURL(url);
}

void CFileBrowserListView::ImportFolder(const QUrl& folder)
{
    CIndexView* view = GetIndexView();
    if (!view)
        ThrowOSErr_(err_NilPointer, "a folder import without an index window");
    if (view->IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "a folder import while a task holds the item list");
    StartImportFolderTask(view->GetModel(), FileRef::FromUrl(folder), kInsertAtEnd, 0);
}

// --- Dragging user rows out --------------------------------------------------------------------------

bool UserRowDragRemovesRows(Qt::DropAction action, bool releasedOverNoWindow)
{
    // The list never takes its own rows, so a drop that was taken was taken outside.
    return action != Qt::IgnoreAction || releasedOverNoWindow;
}

bool CFileBrowserListView::AddDragItem(QMimeData& drag, LDataBrowserItem* item)
{
    if (!CDataBrowser::AddDragItem(drag, item))
        return false;
    mDraggedRows.push_back(item);
    return true;
}

void CFileBrowserListView::PostProcessDrag(const QMimeData& drag, Qt::DropAction action)
{
    const std::vector<LDataBrowserItem*> dragged = std::exchange(mDraggedRows, {});
    if (!drag.hasFormat(kSourceRowType) || !mUserItems)
        return;
    // Let go over no window (not cancelled: Escape leaves the button down).
    const bool overNoWindow = QGuiApplication::mouseButtons() == Qt::NoButton
        && !QGuiApplication::topLevelAt(QCursor::pos());
    if (!UserRowDragRemovesRows(action, overNoWindow))
        return;
    bool removed = false;
    const std::vector<LDataBrowserItem*> rows = GetChildRows(mUserItems);
    for (LDataBrowserItem* row : dragged) {
        // Only rows still in the list: the list may have been rebuilt meanwhile.
        if (std::find(rows.begin(), rows.end(), row) == rows.end())
            continue;
        RemoveUserRow(static_cast<CSourceItemURL*>(row));
        removed = true;
    }
    if (removed)
        AnimatePoof(QCursor::pos());
}

void CFileBrowserListView::RemoveUserRow(CSourceItemURL* row)
{
    if (!row || !mUserItems)
        return;
    // The user rows stand in the stored order, one per stored location.
    const std::vector<LDataBrowserItem*> rows = GetChildRows(mUserItems);
    const auto at = std::find(rows.begin(), rows.end(), row);
    if (at == rows.end() || rows.size() != mUserLocations.size())
        ThrowOSErr_(err_AssertFailed, "a user row that is not among the stored locations");
    mUserLocations.erase(mUserLocations.begin() + (at - rows.begin()));
    RemoveItem(row);
    SaveUserItems();
    AdjustScrollbars();
}

// --- The contextual menu -----------------------------------------------------------------------------

void CFileBrowserListView::ShowContextualMenu(QPoint where)
{
    QTreeView* tree = GetControlRef();
    LDataBrowserItem* row = GetImp().GetModel().ItemAt(tree->indexAt(where));
    std::unique_ptr<LMenu> source = LMenu::Load(kContextMenuID);
    QMenu menu;
    for (SInt16 index = 1; index <= source->CountItems(); ++index) {
        const SMenuItem* item = source->Item(index);
        if (item->IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(CopyLocalizedString(item->text));
        action->setData(int(item->command));
        auto* location = dynamic_cast<CSourceItemURL*>(row);
        if (item->command == kCmdRemoveLocation)
            action->setEnabled(location && location->IsUserRow());
    }
    QPointer<QAction> chosen = menu.exec(tree->viewport()->mapToGlobal(where));
    // The list may have changed while the menu was up.
    const std::vector<LDataBrowserItem*> rows = GetItems();
    if (std::find(rows.begin(), rows.end(), row) == rows.end())
        row = nullptr;
    if (chosen)
        RunReported([&] { ObeyContextualCommand(CommandT(chosen->data().toInt()), row); });
}

void CFileBrowserListView::ObeyContextualCommand(CommandT command, LDataBrowserItem* row)
{
    if (command == kCmdRemoveLocation) {
        auto* location = dynamic_cast<CSourceItemURL*>(row);
        if (location && location->IsUserRow())
            RemoveUserRow(location);
    }
    Rebuild();
}

// --- The shared floating window ------------------------------------------------------------------------

void CFileBrowserListView::ToggleSharedWindow(LCommander* superCommander)
{
    if (!sSharedWindow) {
        LWindow* window = LWindow::CreateWindow(kSharedWindowLayout, superCommander);
        auto* list = window ? window->FindPaneByID(kSharedListPane) : nullptr;
        auto* browser = dynamic_cast<CFileBrowserListView*>(list);
        if (!browser) {
            delete window;
            ThrowOSErr_(err_NilPointer, "the shared window has no file browser");
        }
        browser->SetFollowsFrontDocument(true);
        sSharedWindow = window;
        QObject::connect(window->GetShell(), &QObject::destroyed, [] { sSharedWindow = nullptr; });
    }
    if (sSharedWindow->IsVisible())
        sSharedWindow->Hide();
    else
        sSharedWindow->Show();
}

bool CFileBrowserListView::IsSharedWindowVisible()
{
    return sSharedWindow && sSharedWindow->IsVisible();
}

void CFileBrowserListView::SetIndexDocument(CIndexDoc* document)
{
    if (CIndexView* view = GetIndexView())
        view->RemoveListener(this);
    CDataBrowser::SetIndexDocument(document);
    if (CIndexView* view = GetIndexView())
        view->AddListener(this);
}

void CFileBrowserListView::ListenToMessage(MessageT message, void*)
{
    // The one column stretches with the list, so it needs no sizing here.
    // When the index shows all its items again, no location stands for what it
    // shows any more.
    if (message == msg_FilterEnded)
        SelectNone();
}

void CFileBrowserListView::ItemNotification(LDataBrowserItem* item, DataBrowserItemNotification message)
{
    CDataBrowser::ItemNotification(item, message);
    if (message == kDataBrowserContainerOpened || message == kDataBrowserContainerClosed)
        AdjustScrollbars();
}

// --- Location rows ---------------------------------------------------------------------------------

CSourceItemURL::CSourceItemURL(const QUrl& url, const QString& sortString, const QString& name, const QIcon& icon)
    : CSourceItem(sortString)
    , mURL(url)
    , mName(name)
    , mIcon(icon)
{
    if (mName.isEmpty()) {
        const QString path = url.toLocalFile();
        mName = path == QDir::homePath() || path == QLatin1String("/") ? path : QFileInfo(path).fileName();
        if (mName.isEmpty())
            mName = path;
    }
    if (mIcon.isNull()) {
        mFolder = ResolvesToFolder(url) && !IsIndexPackageURL(url);
        mIcon = StandardIcon(mFolder ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
    } else {
        mFolder = !IsIndexPackageURL(url);
    }
}

OSStatus CSourceItemURL::GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue)
{
    if (setValue)
        return errDataBrowserPropertyNotSupported;
    switch (property) {
    case kSourceNameProperty:
        itemData.value = mName;
        itemData.icon = mIcon;
        return noErr;
    case kDataBrowserItemIsContainerProperty:
        itemData.value = mFolder && !mUnresolved;
        return noErr;
    case kDataBrowserItemIsSelectableProperty:
        itemData.value = !mUnresolved;
        return noErr;
    default:
        return CSourceItem::GetSetItemData(property, itemData, setValue);
    }
}

void CSourceItemURL::ItemNotification(DataBrowserItemNotification message)
{
    switch (message) {
    case kDataBrowserContainerOpened:
        AddChildFolders();
        break;
    case kDataBrowserItemSelected:
        // A press selects; its release acts, unless the mouse moved on into a drag.
        if (QGuiApplication::mouseButtons() != Qt::NoButton)
            break;
        if (auto* list = dynamic_cast<CFileBrowserListView*>(GetOwningBrowser()))
            CDataBrowser::RunReported([&] { list->ClickLocation(mURL, IsCommandKeyDown()); });
        break;
    default:
        CSourceItem::ItemNotification(message); // deletes the row on removal
        break;
    }
}

bool CSourceItemURL::IsUserRow() const
{
    return GetSortString() == QLatin1String(SourceSort::kUserItem);
}

bool CSourceItemURL::AddDragItem(QMimeData& drag)
{
    if (!IsDraggable())
        return false;
    drag.setData(kSourceRowType, mURL.toEncoded());
    return true;
}

bool CSourceItemURL::AcceptDrag(const QMimeData& drag)
{
    SInt32 source = 0;
    if (!CIndexItem::PeekDragSource(drag, source))
        return CSourceItem::AcceptDrag(drag);
    // Files put straight into the Trash's folder could never be put back: refused there.
    if (!mFolder || mUnresolved || mTrash)
        return false;
    // Files are not moved under a task that holds the items.
    const CIndexView::DroppedItems dropped = CIndexView::FindDroppedItems(&drag);
    return !dropped.items.empty() && dropped.source && !dropped.source->IsItemListLocked();
}

bool CSourceItemURL::ReceiveDrag(const QMimeData& drag)
{
    SInt32 source = 0;
    if (!CIndexItem::PeekDragSource(drag, source))
        return CSourceItem::ReceiveDrag(drag);
    if (!AcceptDrag(drag))
        return false;
    const CIndexView::DroppedItems dropped = CIndexView::FindDroppedItems(&drag);
    const bool copy = QGuiApplication::keyboardModifiers() & Qt::AltModifier;
    CIndexModel* model = dropped.source ? &dropped.source->GetModel() : nullptr;
    return CDataBrowser::RunReported([&] { ReceiveIndexItems(dropped.items, copy, model); });
}

void CSourceItemURL::ReceiveIndexItems(const std::vector<CIndexItem*>& items, bool copy, CIndexModel* model)
{
    if (!mFolder || mUnresolved || mTrash)
        ThrowOSErr_(dirNFErr, mURL.toLocalFile().toStdString() + " is no folder to drop items on");
    const QString folder = QDir(mURL.toLocalFile()).canonicalPath();
    ExceptionCode firstError(noErr);
    for (CIndexItem* item : items) {
        const ExceptionCode error = CatchException([&] {
            if (copy) {
                ThrowIfOSErr_(CopyURLToFolder(item->LocateFile(false), mURL, kCopyKeepingBoth));
                return;
            }
            const QUrl file = item->GetURL();
            // A file already in the folder stays as it is.
            if (file.isLocalFile() && QFileInfo(file.toLocalFile()).canonicalPath() == folder)
                return;
            if (!model) {
                item->MoveFileTo(mURL, kConflictKeepBoth);
                return;
            }
            ThrowIfOSErr_(model->ChangeItem(item, kFieldName, [&] {
                item->MoveFileTo(mURL, kConflictKeepBoth);
                return noErr;
            }));
        });
        if (error.Code() != noErr && firstError.Code() == noErr)
            firstError = error;
    }
    if (firstError.Code() != noErr)
        throw firstError;
}

void CSourceItemURL::AddChildFolders()
{
    LDataBrowser* list = GetOwningBrowser();
    if (!list)
        return;
    QDir folder(mURL.toLocalFile());
    std::vector<LDataBrowserItem*> children;
    // Links and hidden folders are left out; listing stops quietly at an error.
    const QFileInfoList entries
        = folder.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        if (entry.isHidden() || entry.fileName().startsWith(QLatin1Char('.')))
            continue;
        children.push_back(new CSourceItemURL(QUrl::fromLocalFile(entry.absoluteFilePath()), QString()));
    }
    if (!children.empty())
        list->AddItems(children, GetItemID());
}

void CSourceItemURL::DrawItem(
    DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect, QPainter& painter)
{
    CDataBrowser* list = GetSourceList();
    if (property != kSourceNameProperty || !list)
        return;
    SourceListColors colors = list->GetColors();
    if (mUnresolved)
        colors.text = list->palette().color(QPalette::Disabled, QPalette::Text);
    DrawSourceRow(painter, rect, state & kDataBrowserItemIsSelected,
        mUnresolved ? QIcon(mIcon.pixmap(16, QIcon::Disabled)) : mIcon, mName, colors);
}

CSourceVolumeURL::CSourceVolumeURL(const MountedVolume& volume)
    : CSourceItemURL(QUrl::fromLocalFile(volume.mountPoint), QString::fromLatin1(SourceSort::kVolume), volume.name,
        StandardIcon(QAbstractFileIconProvider::Drive))
    , mMountPoint(volume.mountPoint)
{
}

// --- Recent groups ---------------------------------------------------------------------------------

CSourceParentRecent::CSourceParentRecent(Kind kind)
    : CSourceItemDivider(kind == kRecentIndexes ? "600:128" : "600:139", SourceSort::kRecentGroup,
        kind == kRecentIndexes ? "SourceListRecentIndexOpenState" : "SourceListRecentFolderOpenState")
    , mKind(kind)
{
}

bool CSourceParentRecent::Takes(const QUrl& url) const
{
    if (!url.isLocalFile())
        return false;
    if (mKind == kRecentIndexes)
        return IsIndexPackageURL(url);
    return ResolvesToFolder(url) && !IsIndexPackageURL(url);
}

void CSourceParentRecent::ItemNotification(DataBrowserItemNotification message)
{
    if (message != kDataBrowserContainerOpened) {
        CSourceItemDivider::ItemNotification(message);
        return;
    }
    AddRecentRows();
    SetOpen(true);
}

void CSourceParentRecent::RefillRecentRows()
{
    LDataBrowser* list = GetOwningBrowser();
    auto* browser = dynamic_cast<CFileBrowserListView*>(list);
    if (!browser || !list->IsContainerOpen(this))
        return;
    for (LDataBrowserItem* row : browser->GetChildRows(this))
        list->RemoveItem(row);
    AddRecentRows();
}

void CSourceParentRecent::AddRecentRows()
{
    LDataBrowser* list = GetOwningBrowser();
    IndexDocAppServices* app = GetIndexDocAppServices();
    if (!list || !app)
        return;
    std::vector<LDataBrowserItem*> rows;
    const SInt32 count = app->GetRecentItemCount();
    for (SInt32 index = 0; index < count; ++index) {
        const QUrl url = app->CopyRecentItemURL(index);
        if (Takes(url))
            rows.push_back(new CSourceItemURL(url, QString()));
    }
    if (!rows.empty())
        list->AddItems(rows, GetItemID());
}

void CSourceParentRecent::DrawItem(
    DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect, QPainter& painter)
{
    CDataBrowser* list = GetSourceList();
    if (property != kSourceNameProperty || !list)
        return;
    // No look in the theme while its icons are held: the row is drawn again after.
    const QIcon icon = ThemeIconsHeld() ? QIcon()
        : QIcon::fromTheme(QStringLiteral("document-open-recent"),
            StandardIcon(mKind == kRecentIndexes ? QAbstractFileIconProvider::File : QAbstractFileIconProvider::Folder));
    DrawSourceRow(painter, rect, state & kDataBrowserItemIsSelected, icon, GetTitle(), list->GetColors());
}
