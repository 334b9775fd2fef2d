#pragma once

#include "CDataBrowser.h"
#include "CSourceItem.h"
#include "LBroadcaster.h"
#include "MountedVolumes.h"

#include <QIcon>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class CIndexItem;
class CSourceItemDivider;
class CSourceItemURL;
class CSourceParentRecent;
class LWindow;
class QMimeData;

// Where the file browser finds the user's places and the mounted volumes; tests
// give their own.
struct FileBrowserEnvironment {
    QString home;
    QString userDirsFile; // the XDG user-dirs.dirs naming Desktop, Downloads and the others
    QString trashFolder; // the freedesktop Trash's files folder
    std::function<std::unique_ptr<VolumeSource>()> makeVolumeSource;

    // The current user's: $HOME, $XDG_CONFIG_HOME and $XDG_DATA_HOME (or their defaults).
    static FileBrowserEnvironment System();
};

// The Places section's folders, in order: home, Desktop, Downloads, Documents,
// Pictures. A folder the user-dirs file sets to the home folder itself, or that
// does not exist, is left out; without an entry Desktop is "$HOME/Desktop".
std::vector<QString> UserPlaceFolders(const QString& home, const QString& userDirsFile);

// The file browser beside the index view (class ID 'FbLv'): a source list in four
// sections, Devices (the mounted volumes other than network file systems, kept
// current), Places (the home folder, the user's folders and the Trash), Recent and
// the user's own locations. Folder rows open into their subfolders; a click on a
// location opens it in this window.
class CFileBrowserListView : public CDataBrowser, public LListener {
public:
    static constexpr ClassIDT class_ID = 'FbLv';

    explicit CFileBrowserListView(const LLayoutData& data);
    ~CFileBrowserListView() override;

    // Lists made from now on use `environment`; an empty one restores the system's.
    static void SetEnvironment(const FileBrowserEnvironment& environment);

    void FinishCreateSelf() override;
    // Empties the list and adds the four section headers, opening those stored open.
    void Rebuild() override;

    void SectionOpened(CSourceItemDivider& header) override;
    void SectionClosed(CSourceItemDivider& header) override;
    // The Devices rows made to match the mounted volumes again.
    void RefreshDevices();
    // A click on a location: opens the index package or folder in this window, in
    // place of the current index, and adds it to the recent list.
    void OpenLocation(const QUrl& url);
    // A click on a location row: with Ctrl on a folder its files are imported into
    // the current index at the end, in every other case the location opens.
    void ClickLocation(const QUrl& url, bool commandKey);
    // Imports a folder into the current index as a folder import task.
    void ImportFolder(const QUrl& folder);

    CSourceItemDivider* GetDevicesHeader() const { return mDevices; }
    CSourceItemDivider* GetPlacesHeader() const { return mPlaces; }
    CSourceItemDivider* GetRecentHeader() const { return mRecent; }
    CSourceItemDivider* GetUserItemsHeader() const { return mUserItems; }
    // The two recent groups while the Recent section is open, else null.
    CSourceParentRecent* GetRecentIndexes() const { return mRecentIndexes; }
    CSourceParentRecent* GetRecentFolders() const { return mRecentFolders; }
    // The user's own locations, in their order: each an alias record, kept as read
    // when it no longer resolves (its row is then greyed) so that an unplugged disk
    // loses nothing; written at once on every change.
    const std::vector<QByteArray>& GetUserLocations() const { return mUserLocations; }
    // Appends locations (folders and index packages) to the user's own and saves them.
    void AddUserItems(const QList<QUrl>& urls);
    // A drop on no row: accepted when it names only folders and index packages.
    bool AcceptDragItem(const QMimeData& drag) override;
    bool ReceiveDragItem(const QMimeData& drag) override;

    // The rows directly under a row, in their order.
    std::vector<LDataBrowserItem*> GetChildRows(const LDataBrowserItem* parent) const;

    // User rows dragged out: they go (and the user items are saved) only when the
    // drop was taken outside the list; a cancelled drag or a drop back on the list
    // keeps them.
    bool AddDragItem(QMimeData& drag, LDataBrowserItem* item) override;
    void PostProcessDrag(const QMimeData& drag, Qt::DropAction action) override;
    // Takes a user row out of the list and the stored user items.
    void RemoveUserRow(CSourceItemURL* row);

    // The contextual menu (menu 305) over a row or the empty list; a choice is
    // carried out and the list rebuilt.
    void ShowContextualMenu(QPoint where);
    void ObeyContextualCommand(CommandT command, LDataBrowserItem* row);

    // Listens to the document's index view.
    void SetIndexDocument(CIndexDoc* document) override;
    // All items shown again (the filter ended): the selected row is deselected.
    void ListenToMessage(MessageT message, void* ioParam) override;
    void ItemNotification(LDataBrowserItem* item, DataBrowserItemNotification message) override;

    // The one floating window of the program holding a file browser that acts on
    // the frontmost index window: shown when hidden, hidden when shown.
    static void ToggleSharedWindow(LCommander* superCommander);
    static bool IsSharedWindowVisible();
    static LWindow* GetSharedWindow() { return sSharedWindow; }
    // The application's recent items changed: every list shows them again in its
    // open Recent groups.
    static void RecentItemsChanged();

private:
    friend class CSourceParentRecent;
    void FillDevices();
    void FillPlaces();
    void FillRecent();
    void FillUserItems();
    void LoadUserItems();
    void SaveUserItems();

    FileBrowserEnvironment mEnvironment;
    std::unique_ptr<VolumeSource> mVolumes;
    bool mVolumesWaiting = false; // the volume source starts once a window is shown
    CSourceItemDivider* mDevices = nullptr;
    CSourceItemDivider* mPlaces = nullptr;
    CSourceItemDivider* mRecent = nullptr;
    CSourceItemDivider* mUserItems = nullptr;
    CSourceParentRecent* mRecentIndexes = nullptr;
    CSourceParentRecent* mRecentFolders = nullptr;
    std::vector<QByteArray> mUserLocations;
    // The user rows of the drag under way.
    std::vector<LDataBrowserItem*> mDraggedRows;

    static inline LWindow* sSharedWindow = nullptr;
    static inline std::vector<CFileBrowserListView*> sLists; // every list there is
};

// Whether user rows dragged out of the list go: when a drop outside took them, or
// when they were let go over no window at all (thrown away). A cancelled drag, one
// let go over the list or another window of the program keeps them.
bool UserRowDragRemovesRows(Qt::DropAction action, bool releasedOverNoWindow);

// A group of the Recent section: the application's recent index packages (kind 1)
// or recent folders (kind 2), in the recent list's order. Like a section header it
// cannot be selected and keeps its open state in its preference, written when it
// goes; it draws itself as a row.
class CSourceParentRecent : public CSourceItemDivider {
public:
    enum Kind : SInt16 { kRecentIndexes = 1, kRecentFolders = 2 };

    explicit CSourceParentRecent(Kind kind);

    Kind GetKind() const { return mKind; }
    // Whether a recent location belongs in this group.
    bool Takes(const QUrl& url) const;

    void ItemNotification(DataBrowserItemNotification message) override;
    void DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
        QPainter& painter) override;
    // An open group's rows made again from the recent items.
    void RefillRecentRows();

private:
    void AddRecentRows();

    Kind mKind;
};

// A location row: a file or folder by its URL, shown with its name and icon. A
// folder that is not an index package opens into its subfolders.
class CSourceItemURL : public CSourceItem {
public:
    CSourceItemURL(const QUrl& url, const QString& sortString, const QString& name = QString(),
        const QIcon& icon = QIcon());

    const QUrl& GetURL() const { return mURL; }
    const QString& GetName() const { return mName; }
    QString GetAccessibleName() const override { return mName; }
    bool IsFolderRow() const { return mFolder; }
    // A user location that no longer resolves: shown greyed, not selectable.
    void SetUnresolved(bool unresolved) { mUnresolved = unresolved; }
    bool IsUnresolved() const { return mUnresolved; }
    // The Trash row: it takes no index items.
    void SetTrash() { mTrash = true; }
    bool IsUserRow() const;

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue) override;
    void ItemNotification(DataBrowserItemNotification message) override;
    // Only user rows are dragged out; they carry the source-row flavour alone, so
    // that no other program acts on the location itself.
    bool IsDraggable() const override { return IsUserRow() && !mUnresolved; }
    bool AddDragItem(QMimeData& drag) override;
    // A folder row takes index items dropped on it (their files are moved there,
    // with Alt copied); other drops go to the list.
    bool AcceptDrag(const QMimeData& drag) override;
    bool ReceiveDrag(const QMimeData& drag) override;
    // Moves (or copies) the items' files into this folder. Every item is tried; an
    // item that fails keeps its file where it was, and the first failure is thrown
    // once all were tried. A move is a change of the items in their index's model.
    void ReceiveIndexItems(const std::vector<CIndexItem*>& items, bool copy, CIndexModel* model = nullptr);
    void DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
        QPainter& painter) override;

protected:
    // Rows for the folder's visible subfolders (not links, not hidden).
    void AddChildFolders();

    QUrl mURL;
    QString mName;
    QIcon mIcon;
    bool mFolder = false;
    bool mUnresolved = false;
    bool mTrash = false;
};

// A mounted volume: a folder row known by its mount point, never looked at before
// the user opens it.
class CSourceVolumeURL : public CSourceItemURL {
public:
    explicit CSourceVolumeURL(const MountedVolume& volume);
    const QString& GetMountPoint() const { return mMountPoint; }

private:
    QString mMountPoint;
};
