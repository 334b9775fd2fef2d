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

class CSourceItemDivider;

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

    CSourceItemDivider* GetDevicesHeader() const { return mDevices; }
    CSourceItemDivider* GetPlacesHeader() const { return mPlaces; }
    CSourceItemDivider* GetRecentHeader() const { return mRecent; }
    CSourceItemDivider* GetUserItemsHeader() const { return mUserItems; }
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

    void ListenToMessage(MessageT message, void* ioParam) override;
    void ItemNotification(LDataBrowserItem* item, DataBrowserItemNotification message) override;

protected:

private:
    void FillDevices();
    void FillPlaces();
    void FillUserItems();
    void LoadUserItems();
    void SaveUserItems();

    FileBrowserEnvironment mEnvironment;
    std::unique_ptr<VolumeSource> mVolumes;
    CSourceItemDivider* mDevices = nullptr;
    CSourceItemDivider* mPlaces = nullptr;
    CSourceItemDivider* mRecent = nullptr;
    CSourceItemDivider* mUserItems = nullptr;
    std::vector<QByteArray> mUserLocations;
};

// A location row: a file or folder by its URL, shown with its name and icon. A
// folder that is not an index package opens into its subfolders.
class CSourceItemURL : public CSourceItem {
public:
    CSourceItemURL(const QUrl& url, const QString& sortString, const QString& name = QString(),
        const QIcon& icon = QIcon());

    const QUrl& GetURL() const { return mURL; }
    const QString& GetName() const { return mName; }
    bool IsFolderRow() const { return mFolder; }
    // A user location that no longer resolves: shown greyed, not selectable.
    void SetUnresolved(bool unresolved) { mUnresolved = unresolved; }
    bool IsUnresolved() const { return mUnresolved; }

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue) override;
    void ItemNotification(DataBrowserItemNotification message) override;
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
