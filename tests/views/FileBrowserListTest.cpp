// The file browser beside the index view: its Places from a private user-dirs
// file, its Devices from a volume source the test drives.

#include "AliasRecord.h"
#include "CFileBrowserListView.h"
#include "CIndexView.h"
#include "IndexWindowTest.h"
#include "LWindow.h"
#include "Preferences.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QMimeData>

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
        environment.makeVolumeSource = [this] {
            auto source = std::make_unique<FakeVolumes>();
            source->volumes = volumes;
            fake = source.get();
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
        IndexWindowTest::TearDown();
        CFileBrowserListView::SetEnvironment({});
    }
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
