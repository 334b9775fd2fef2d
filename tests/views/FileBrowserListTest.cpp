// The file browser beside the index view: its Places from a private user-dirs
// file, its Devices from a volume source the test drives.

#include "AliasRecord.h"
#include "CDataBrowser.h"
#include "CFileBrowserListView.h"
#include "CImportFolderTask.h"
#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "IndexTaskServices.h"
#include "IndexWindowTest.h"
#include "LThread.h"
#include "LWindow.h"
#include "Preferences.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QMimeData>
#include <QTest>
#include <QTreeView>

namespace {

class FakeVolumes : public VolumeSource {
public:
    std::vector<MountedVolume> CurrentVolumes() override { return volumes; }
    void Change(std::vector<MountedVolume> now)
    {
        volumes = std::move(now);
        NotifyChanged();
    }
    std::vector<MountedVolume> volumes;
};

class FileBrowserList : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        home = mDir + "/home";
        for (const char* folder : { "Desktop", "Downloads/trips", "Downloads/.cache", "Downloads/album.idxp", "Bilder" })
            QDir().mkpath(home + "/" + folder);
        QFile::link(home + "/Downloads/trips", home + "/Downloads/link to trips");
        Write(home + "/Downloads/notes.txt", "x");
        Write(mDir + "/user-dirs.dirs",
            "# written by the test\n"
            "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
            "XDG_DOCUMENTS_DIR=\"$HOME/\"\n" // switched off
            "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
            "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
        QDir().mkpath(mDir + "/Trash/files");
        FileBrowserEnvironment environment { home, mDir + "/user-dirs.dirs", mDir + "/Trash/files", {} };
        // A list of a closed window still waiting to be deleted keeps this maker:
        // once this test is over it makes no volumes rather than read a gone fixture.
        live = this;
        environment.makeVolumeSource = [] {
            FileBrowserList* self = live;
            if (!self)
                return std::unique_ptr<FakeVolumes>();
            auto source = std::make_unique<FakeVolumes>();
            source->volumes = self->volumes;
            self->fake = source.get();
            return source;
        };
        CFileBrowserListView::SetEnvironment(environment);
        for (const char* pref : { "SourceListDevicesOpenState", "SourceListPlacesOpenState" })
            SetPrefBoolean(QString::fromLatin1(pref), true);
        for (const char* pref : { "SourceListRecentOpenState", "SourceListUsseerItemsOpenState" })
            SetPrefBoolean(QString::fromLatin1(pref), false);
    }
    void TearDown() override
    {
        live = nullptr;
        IndexWindowTest::TearDown();
        // The closed windows go now: a list of theirs still waiting for a window to
        // show would otherwise make its volumes, from this test's fixture, in the next test.
        FlushDeletes();
        CFileBrowserListView::SetEnvironment({});
    }
    static inline FileBrowserList* live = nullptr;
    CFileBrowserListView* Show()
    {
        doc = new CIndexDoc(nullptr, {}, false, false);
        auto* list = dynamic_cast<CFileBrowserListView*>(doc->GetWindow()->FindPaneByID(kPaneSourceList));
        if (!list)
            return nullptr;
        doc->ShowWindow();
        QApplication::processEvents();
        return list;
    }
    QStringList Names(CFileBrowserListView* list, const LDataBrowserItem* parent)
    {
        QStringList names;
        for (LDataBrowserItem* row : list->GetChildRows(parent)) {
            if (auto* location = dynamic_cast<CSourceItemURL*>(row))
                names << location->GetName();
        }
        return names;
    }
    // A click of the real mouse on a row, at its release.
    void Click(CFileBrowserListView* list, LDataBrowserItem* row, Qt::KeyboardModifiers modifiers = {})
    {
        QTreeView* tree = list->GetControlRef();
        const QRect cell = tree->visualRect(list->GetImp().GetModel().IndexOf(row));
        ASSERT_FALSE(cell.isEmpty());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers, cell.center());
    }
    CIndexView* View() const { return dynamic_cast<CIndexView*>(doc->GetIndexViewPane()); }
    QString Photo(const QString& path)
    {
        EXPECT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), path));
        return path;
    }
    // User locations stored before the list is shown, in order.
    void StoreUserLocations(const QStringList& folders)
    {
        QVariantList stored;
        for (const QString& folder : folders) {
            QDir().mkpath(home + "/" + folder);
            QByteArray alias;
            ASSERT_EQ(NewAliasBytes(nullptr, FileRef(home + "/" + folder), alias), noErr);
            stored.push_back(alias);
        }
        SetPrefValue(QStringLiteral("SourceListUserItems"), stored);
        SetPrefBoolean(QStringLiteral("SourceListUsseerItemsOpenState"), true);
    }
    CSourceItemURL* Row(CFileBrowserListView* list, const LDataBrowserItem* parent, const QString& name)
    {
        for (LDataBrowserItem* row : list->GetChildRows(parent)) {
            auto* location = dynamic_cast<CSourceItemURL*>(row);
            if (location && location->GetName() == name)
                return location;
        }
        return nullptr;
    }

    QString home;
    std::vector<MountedVolume> volumes;
    FakeVolumes* fake = nullptr;
    CIndexDoc* doc = nullptr;
};

} // namespace

TEST(MountedVolumes, NetworkFileSystemsAreKnownByTypeAndTheMountTableIsUnescaped)
{
    const struct {
        const char* type;
        bool network;
    } cases[] = { { "nfs", true }, { "nfs4", true }, { "cifs", true }, { "smb3", true }, { "fuse.sshfs", true },
        { "davfs", true }, { "ext4", false }, { "vfat", false }, { "fuse.ntfs-3g", false }, { "", false } };
    for (const auto& c : cases)
        EXPECT_EQ(IsNetworkFileSystem(QString::fromLatin1(c.type)), c.network) << c.type;

    const auto table = ParseMountTable("/dev/sdb1 /media/me/My\\040Card vfat rw 0 0\n"
                                       "server:/photos /mnt/photos nfs4 rw 0 0\n");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].first, QStringLiteral("/media/me/My Card"));
    EXPECT_EQ(table[0].second, QStringLiteral("vfat"));
    EXPECT_EQ(table[1].second, QStringLiteral("nfs4"));
}

TEST_F(FileBrowserList, ListsPlacesAndLocalVolumesKeptCurrent)
{
    volumes = { { "Card", "/media/me/Card", "vfat" }, { "Photos", "/mnt/photos", "nfs4" },
        { "Office", "/mnt/office", "cifs" }, { "Remote", "/home/me/remote", "fuse.sshfs" },
        { "Backup", "/media/me/Backup", "ext4" } };
    CFileBrowserListView* list = Show();
    ASSERT_TRUE(list);
    ASSERT_TRUE(list->IsBuilt());
    EXPECT_EQ(Names(list, list->GetPlacesHeader()),
        QStringList({ "home", "Desktop", "Downloads", "Bilder", "Trash" }));
    // The volume source starts once the window is on the screen; its rows follow.
    QTRY_VERIFY(fake);
    EXPECT_EQ(Names(list, list->GetDevicesHeader()), QStringList({ "Card", "Backup" }));

    // Mounted and unmounted while shown: the rows follow at once.
    ASSERT_TRUE(fake);
    fake->Change({ { "Backup", "/media/me/Backup", "ext4" }, { "Stick", "/media/me/Stick", "exfat" },
        { "Share", "/mnt/share", "smb3" } });
    EXPECT_EQ(Names(list, list->GetDevicesHeader()), QStringList({ "Backup", "Stick" }));

    // A folder opens into its visible subfolders; an index package is a leaf.
    CSourceItemURL* downloads = Row(list, list->GetPlacesHeader(), "Downloads");
    ASSERT_TRUE(downloads && downloads->IsFolderRow());
    list->OpenContainer(downloads);
    EXPECT_EQ(Names(list, downloads), QStringList({ "album.idxp", "trips" }));
    EXPECT_FALSE(Row(list, downloads, "album.idxp")->IsFolderRow());

    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("file-browser-window.png");
    EXPECT_TRUE(doc->GetWindow()->GetShell()->grab().save(shot));

    // A click opens the location in this window.
    list->SelectItem(Row(list, list->GetPlacesHeader(), "Bilder"));
    EXPECT_TRUE(doc->IsImportedFolderProxy());
    EXPECT_EQ(doc->GetWindow()->GetShell()->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("Bilder"));
}

TEST_F(FileBrowserList, UserLocationsKeepTheirOrderAndOnesThatNoLongerResolve)
{
    for (const char* folder : { "Alpha", "Beta", "Gamma", "Gone" })
        QDir().mkpath(home + "/" + folder);
    Write(home + "/plain.txt", "x");
    QVariantList stored;
    for (const char* folder : { "Beta", "Gone", "Alpha" }) {
        QByteArray alias;
        ASSERT_EQ(NewAliasBytes(nullptr, FileRef(home + "/" + folder), alias), noErr);
        stored.push_back(alias);
    }
    QDir(home + "/Gone").removeRecursively(); // an unplugged disk
    SetPrefValue(QStringLiteral("SourceListUserItems"), stored);
    SetPrefBoolean(QStringLiteral("SourceListUsseerItemsOpenState"), true);

    CFileBrowserListView* list = Show();
    ASSERT_TRUE(list && list->IsBuilt());
    EXPECT_EQ(Names(list, list->GetUserItemsHeader()), QStringList({ "Beta", "Gone", "Alpha" }));
    EXPECT_TRUE(Row(list, list->GetUserItemsHeader(), "Gone")->IsUnresolved());
    EXPECT_FALSE(Row(list, list->GetUserItemsHeader(), "Beta")->IsUnresolved());

    // Only folders and index packages are taken; a drop appends and saves at once.
    QMimeData file;
    file.setUrls({ QUrl::fromLocalFile(home + "/plain.txt") });
    EXPECT_FALSE(list->AcceptDragItem(file));
    QMimeData folder;
    folder.setUrls({ QUrl::fromLocalFile(home + "/Gamma") });
    EXPECT_TRUE(list->ReceiveDragItem(folder));
    const QStringList expected { "Beta", "Gone", "Alpha", "Gamma" };
    EXPECT_EQ(Names(list, list->GetUserItemsHeader()), expected);
    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("file-browser-locations.png");
    EXPECT_TRUE(doc->GetWindow()->GetShell()->grab().save(shot));

    // The next start shows them in the same order, the one gone still there.
    delete doc;
    list = Show();
    ASSERT_TRUE(list);
    EXPECT_EQ(Names(list, list->GetUserItemsHeader()), expected);
    EXPECT_EQ(CopyPrefValue(QStringLiteral("SourceListUserItems")).toList().size(), 4);
}

TEST(FileBrowserRowDrag, RowsGoOnlyWhenTheDropWasTakenOutsideOrTheyWereLetGoOverNoWindow)
{
    const struct {
        Qt::DropAction action;
        bool overNoWindow;
        bool removes;
    } cases[] = {
        { Qt::IgnoreAction, false, false }, // cancelled, or let go over the list or another window
        { Qt::IgnoreAction, true, true }, // thrown away over the desktop
        { Qt::MoveAction, false, true }, // taken by another program
        { Qt::CopyAction, false, true },
    };
    for (const auto& c : cases)
        EXPECT_EQ(UserRowDragRemovesRows(c.action, c.overNoWindow), c.removes) << int(c.action) << c.overNoWindow;
}

TEST_F(FileBrowserList, AUserRowDraggedOutGoesOnlyWhenTakenAndStaysGoneAfterARestart)
{
    StoreUserLocations({ "Alpha", "Beta", "Gamma" });
    CFileBrowserListView* list = Show();
    ASSERT_TRUE(list);
    QTreeView* tree = list->GetControlRef();
    auto drag = [&](const QString& name) {
        CSourceItemURL* row = Row(list, list->GetUserItemsHeader(), name);
        EXPECT_TRUE(row && row->IsDraggable());
        // The drag's data as the view asks the model for it.
        return std::unique_ptr<QMimeData>(
            list->GetImp().GetModel().mimeData({ list->GetImp().GetModel().IndexOf(row) }));
    };
    // Only user rows are dragged; a place row gives nothing to drag.
    std::unique_ptr<QMimeData> place(list->GetImp().GetModel().mimeData(
        { list->GetImp().GetModel().IndexOf(Row(list, list->GetPlacesHeader(), "Downloads")) }));
    EXPECT_TRUE(place->formats().isEmpty());

    // Let go back over the list: refused there, and the row stays.
    std::unique_ptr<QMimeData> beta = drag("Beta");
    EXPECT_FALSE(list->AcceptDragItem(*beta));
    EXPECT_TRUE(beta->urls().isEmpty()); // nothing another program would move or copy
    QCursor::setPos(tree->viewport()->mapToGlobal(tree->viewport()->rect().center()));
    list->PostProcessDrag(*beta, Qt::IgnoreAction);
    EXPECT_EQ(Names(list, list->GetUserItemsHeader()), QStringList({ "Alpha", "Beta", "Gamma" }));

    // Taken outside: it goes, the others keep their order, and so it is stored.
    beta = drag("Beta");
    list->PostProcessDrag(*beta, Qt::MoveAction);
    EXPECT_EQ(Names(list, list->GetUserItemsHeader()), QStringList({ "Alpha", "Gamma" }));
    delete doc;
    list = Show();
    ASSERT_TRUE(list);
    EXPECT_EQ(Names(list, list->GetUserItemsHeader()), QStringList({ "Alpha", "Gamma" }));

    // The contextual menu's Remove takes a row out too; Refresh builds the list anew.
    list->ObeyContextualCommand(2, Row(list, list->GetUserItemsHeader(), "Alpha"));
    EXPECT_EQ(Names(list, list->GetUserItemsHeader()), QStringList({ "Gamma" }));
    QDir().mkpath(home + "/Pictures");
    Write(mDir + "/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
    list->ObeyContextualCommand(1, nullptr);
    EXPECT_EQ(Names(list, list->GetPlacesHeader()), QStringList({ "home", "Desktop", "Pictures", "Trash" }));
    EXPECT_EQ(CopyPrefValue(QStringLiteral("SourceListUserItems")).toList().size(), 1);
}

TEST_F(FileBrowserList, IndexItemsDroppedOnAFolderRowAreMovedThereOrCopiedAndAFailureLosesNothing)
{
    CFileBrowserListView* list = Show();
    ASSERT_TRUE(list);
    CIndexView* view = View();
    ASSERT_TRUE(view);
    std::vector<CIndexItem*> items;
    for (const char* name : { "one.jpg", "two.jpg", "three.jpg" }) {
        const QString path = Photo(mDir + "/" + name);
        items.push_back(
            view->GetModel().ItemAt(view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, false)));
    }
    doc->SetModified(false);
    LDataBrowserModel& model = list->GetImp().GetModel();
    CSourceItemURL* trips = nullptr;
    CSourceItemURL* downloads = Row(list, list->GetPlacesHeader(), "Downloads");
    list->OpenContainer(downloads);
    trips = Row(list, downloads, "trips");
    ASSERT_TRUE(trips);

    // The item flavour as the index view drags it; dropped through the list's model.
    QMimeData drag;
    view->AddDragFlavors(drag, { items[0] });
    EXPECT_TRUE(model.canDropMimeData(&drag, Qt::CopyAction, -1, -1, model.IndexOf(trips)));
    view->GetModel().LockItemList(); // a task holds the items: their files stay
    EXPECT_FALSE(model.canDropMimeData(&drag, Qt::CopyAction, -1, -1, model.IndexOf(trips)));
    view->GetModel().UnlockItemList();
    for (LDataBrowserItem* refusing : { Row(list, downloads, "album.idxp"), Row(list, list->GetPlacesHeader(), "Trash") })
        EXPECT_FALSE(model.canDropMimeData(&drag, Qt::CopyAction, -1, -1, model.IndexOf(refusing)));
    EXPECT_TRUE(model.dropMimeData(&drag, Qt::CopyAction, -1, -1, model.IndexOf(trips)));
    EXPECT_FALSE(QFile::exists(mDir + "/one.jpg"));
    EXPECT_EQ(items[0]->GetURL(), QUrl::fromLocalFile(home + "/Downloads/trips/one.jpg"));
    EXPECT_TRUE(doc->IsModified());

    // With Alt: copied, the item keeps its file; a name taken in the folder is kept too.
    Photo(home + "/Downloads/trips/two.jpg");
    trips->ReceiveIndexItems({ items[1] }, true);
    EXPECT_EQ(items[1]->GetURL(), QUrl::fromLocalFile(mDir + "/two.jpg"));
    EXPECT_TRUE(QFile::exists(mDir + "/two.jpg"));
    EXPECT_TRUE(QFile::exists(home + "/Downloads/trips/two copy 1.jpg"))
        << QDir(home + "/Downloads/trips").entryList().join(", ").toStdString();

    // An item whose file is gone fails; the others are still moved, nothing else changes.
    ASSERT_TRUE(QFile::remove(mDir + "/two.jpg"));
    EXPECT_NE(ThrownCode([&] { trips->ReceiveIndexItems({ items[1], items[2] }, false); }), noErr);
    EXPECT_EQ(items[2]->GetURL(), QUrl::fromLocalFile(home + "/Downloads/trips/three.jpg"));
    EXPECT_TRUE(QFile::exists(home + "/Downloads/trips/two.jpg"));
    EXPECT_EQ(items[1]->GetURL(), QUrl::fromLocalFile(mDir + "/two.jpg"));

    // Moved onto a name the folder holds already: the file there stays as it was, the
    // moved one is numbered.
    Write(home + "/Downloads/trips/four.jpg", "the user's own");
    CIndexItem* four = view->GetModel().ItemAt(
        view->InsertItem(new CIndexItem(QUrl::fromLocalFile(Photo(mDir + "/four.jpg"))), kInsertAtEnd, false, false));
    QMimeData dragFour;
    view->AddDragFlavors(dragFour, { four });
    EXPECT_TRUE(model.dropMimeData(&dragFour, Qt::MoveAction, -1, -1, model.IndexOf(trips)));
    EXPECT_EQ(ReadWholeFile(home + "/Downloads/trips/four.jpg"), QByteArray("the user's own"));
    EXPECT_EQ(four->GetURL(), QUrl::fromLocalFile(home + "/Downloads/trips/four copy 1.jpg"));
    EXPECT_FALSE(QFile::exists(mDir + "/four.jpg"));

    // Files from elsewhere: a plain file is refused on a row and on the list; a folder is a new location.
    Write(mDir + "/plain.txt", "x");
    QMimeData file;
    file.setUrls({ QUrl::fromLocalFile(mDir + "/plain.txt") });
    QMimeData folder;
    folder.setUrls({ QUrl::fromLocalFile(home + "/Bilder") });
    for (const QModelIndex& at : { model.IndexOf(trips), model.IndexOf(list->GetUserItemsHeader()), QModelIndex() }) {
        EXPECT_FALSE(model.canDropMimeData(&file, Qt::CopyAction, -1, -1, at));
        EXPECT_TRUE(model.canDropMimeData(&folder, Qt::CopyAction, -1, -1, at));
    }
}

TEST_F(FileBrowserList, AClickOpensALocationAndWithCtrlImportsAFolderButOpensAPackage)
{
    InstallIndexTaskServices();
    Photo(home + "/Bilder/a.jpg");
    Photo(home + "/Bilder/b.jpg");
    CIndexPackage make(QUrl::fromLocalFile(home + "/Downloads/Trip.idxp/"), nullptr);
    CFileBrowserListView* list = Show();
    ASSERT_TRUE(list);
    CSourceItemURL* bilder = Row(list, list->GetPlacesHeader(), "Bilder");
    ASSERT_TRUE(bilder);

    // Ctrl: the folder's pictures join the current index at the end; the window stays.
    Click(list, bilder, Qt::ControlModifier);
    ASSERT_TRUE(LThread::RunUntil([&] { return View()->CountRunningTasks() == 0; }, 20000));
    EXPECT_EQ(doc->CountAllItems(), 2);
    EXPECT_FALSE(doc->IsImportedFolderProxy());
    doc->SetModified(false);

    // Ctrl on an index package opens it.
    CSourceItemURL* downloads = Row(list, list->GetPlacesHeader(), "Downloads");
    list->OpenContainer(downloads);
    Click(list, Row(list, downloads, "Trip.idxp"), Qt::ControlModifier);
    ASSERT_TRUE(LThread::RunUntil([&] { return View()->CountRunningTasks() == 0; }, 20000));
    EXPECT_EQ(doc->CountAllItems(), 0);
    EXPECT_EQ(doc->GetWindow()->GetShell()->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("Trip"));

    // A plain click opens a folder in the window.
    Click(list, Row(list, list->GetPlacesHeader(), "Bilder"));
    EXPECT_TRUE(doc->IsImportedFolderProxy());
    EXPECT_EQ(doc->GetWindow()->GetShell()->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("Bilder"));
}

TEST_F(FileBrowserList, ShowingAllItemsAgainDeselectsTheLocation)
{
    InstallIndexTaskServices();
    Photo(home + "/Bilder/a.jpg");
    Photo(home + "/Bilder/b.jpg");
    CFileBrowserListView* list = Show();
    ASSERT_TRUE(list);
    CSourceItemURL* bilder = Row(list, list->GetPlacesHeader(), "Bilder");
    ASSERT_TRUE(bilder);
    Click(list, bilder);
    ASSERT_TRUE(LThread::RunUntil([&] { return View()->CountRunningTasks() == 0 && doc->CountAllItems() == 2; }, 20000));
    EXPECT_TRUE(list->IsItemSelected(bilder));

    // A search keeps the location; showing all items again ends it.
    doc->StartQuickSearch(4001, "a.jpg");
    ASSERT_TRUE(LThread::RunUntil([&] { return View()->CountRunningSearches() == 0; }, 5000));
    EXPECT_EQ(doc->CountItems(), 1);
    EXPECT_TRUE(list->IsItemSelected(bilder));
    View()->ProcessCommand(1079);
    EXPECT_EQ(doc->CountItems(), 2);
    EXPECT_FALSE(list->IsItemSelected(bilder));
}

TEST_F(FileBrowserList, TheSideListsHaveTheirOwnHeadersAndTheSharedWindowFollowsTheFrontIndex)
{
    CFileBrowserListView* list = Show();
    ASSERT_TRUE(list);
    LWindow* window = doc->GetWindow();
    const struct {
        PaneIDT header;
        PaneIDT list;
        const char* title;
    } sides[] = { { 'fbhd', 928, "Files" }, { 'mdhd', 921, "Organizer" } };
    for (const auto& side : sides) {
        auto* header = dynamic_cast<CSourceListHeader*>(window->FindPaneByID(side.header));
        LPane* below = window->FindPaneByID(side.list);
        ASSERT_TRUE(header && below) << side.title;
        EXPECT_EQ(header->GetTitle(), QString::fromLatin1(side.title));
        EXPECT_EQ(below->geometry().top(), header->geometry().bottom() + 1);
    }
    // The placard's task title is left to the tasks.
    EXPECT_TRUE(window->FindPaneByID(957)->GetCFDescriptor().isEmpty());
    const QString dir = QCoreApplication::applicationDirPath();
    EXPECT_TRUE(window->GetShell()->grab().save(dir + "/index-window-side-lists.png"));
    QPixmap sharp(window->GetShell()->size() * 2);
    sharp.setDevicePixelRatio(2);
    window->GetShell()->render(&sharp);
    EXPECT_TRUE(sharp.save(dir + "/index-window-side-lists@2x.png"));

    // Command 1071 shows and hides the one shared window; its list acts on the front index.
    CIndexView* view = View();
    auto status = [&] {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name {};
        view->FindCommandStatus(1071, enabled, usesMark, mark, name);
        EXPECT_TRUE(enabled);
        return PStringToQString(name);
    };
    EXPECT_EQ(status(), QStringLiteral("Show Shared Window"));
    EXPECT_TRUE(view->ObeyCommand(1071, nullptr));
    LWindow* shared = CFileBrowserListView::GetSharedWindow();
    ASSERT_TRUE(shared && shared->IsVisible());
    EXPECT_EQ(status(), QStringLiteral("Hide Shared Window"));
    auto* sharedList = dynamic_cast<CFileBrowserListView*>(shared->FindPaneByID(928));
    ASSERT_TRUE(sharedList && sharedList->IsBuilt());
    EXPECT_EQ(sharedList->GetDocument(), doc);
    EXPECT_EQ(sharedList->GetIndexView(), view);
    EXPECT_TRUE(shared->GetShell()->grab().save(dir + "/shared-file-browser.png"));
    EXPECT_TRUE(view->ObeyCommand(1071, nullptr));
    EXPECT_FALSE(shared->IsVisible());
    EXPECT_EQ(CFileBrowserListView::GetSharedWindow(), shared); // one window, hidden, not made again
    EXPECT_EQ(status(), QStringLiteral("Show Shared Window"));
}
