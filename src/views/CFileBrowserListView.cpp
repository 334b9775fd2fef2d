#include "CFileBrowserListView.h"

#include "CIndexDoc.h"
#include "CIndexView.h"
#include "DeferredIcon.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "IndexDocServices.h"
#include "LocalizedStrings.h"
#include "AliasRecord.h"
#include "Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QTreeView>

#include <algorithm>

namespace {

constexpr UInt16 kNameColumnWidth = 94;
constexpr UInt16 kNameColumnMaxWidth = 2000;
constexpr int kIndentPerDepth = 16;
const QString kUserItemsPref = QStringLiteral("SourceListUserItems");

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
    // Made when the list first draws the row, not while the window is built.
    return DeferredIcon([type] {
        static QFileIconProvider provider;
        return provider.icon(type);
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
}

CFileBrowserListView::~CFileBrowserListView()
{
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
    QTreeView* tree = GetControlRef();
    // Keys stay with the index view.
    tree->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::NoFocus);
    tree->setAlternatingRowColors(false);
    tree->setIndentation(kIndentPerDepth);
    tree->setRootIsDecorated(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setHeaderHidden(true);
    // Location rows are as tall as their icons; the section titles need less.
    tree->setUniformRowHeights(false);
    AddColumn(kSourceNameProperty, QStringLiteral("Organize"), kColumnJustifyLeft, kDataBrowserCustomType,
        kNameColumnWidth, kNameColumnMaxWidth, kNameColumnWidth, false, false);
    tree->header()->setStretchLastSection(true);
}

void CFileBrowserListView::Rebuild()
{
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
    else if (&header == mUserItems)
        FillUserItems();
}

void CFileBrowserListView::SectionClosed(CSourceItemDivider& header)
{
    // Volume changes matter only while the volumes are shown.
    if (&header == mDevices)
        mVolumes.reset();
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
    if (!mVolumes && mEnvironment.makeVolumeSource) {
        mVolumes = mEnvironment.makeVolumeSource();
        if (mVolumes)
            mVolumes->SetChangedCallback([this] { RunReported([this] { RefreshDevices(); }); });
    }
    RefreshDevices();
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
        rows.push_back(new CSourceItemURL(QUrl::fromLocalFile(mEnvironment.trashFolder),
            QString::fromLatin1(SourceSort::kPlace), CopyLocalizedString(QStringLiteral("600:130")),
            StandardIcon(QAbstractFileIconProvider::Trashcan)));
    }
    AddItems(rows, mPlaces->GetItemID());
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
        auto* row = new CSourceItemURL(QUrl::fromLocalFile(record.absolutePath),
            QString::fromLatin1(SourceSort::kUserItem), QFileInfo(record.absolutePath).fileName(),
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

void CFileBrowserListView::ListenToMessage(MessageT, void*) { }

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
        if (auto* list = dynamic_cast<CFileBrowserListView*>(GetOwningBrowser()))
            CDataBrowser::RunReported([&] { list->OpenLocation(mURL); });
        break;
    default:
        CSourceItem::ItemNotification(message); // deletes the row on removal
        break;
    }
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
