// The file browser's Recent section filled from the application's own recent items.

#include "AppRunSupport.h"
#include "CFileBrowserListView.h"
#include "CImportFilesTask.h"
#include "Preferences.h"

#include <QFile>
#include <QTreeView>

namespace {

QStringList RowNames(CFileBrowserListView* list, const LDataBrowserItem* group)
{
    QStringList names;
    for (LDataBrowserItem* row : list->GetChildRows(group)) {
        if (auto* location = dynamic_cast<CSourceItemURL*>(row))
            names << location->GetName();
    }
    return names;
}

} // namespace

TEST(FileBrowserRecent, RecentIndexesAndFoldersAreListedNewestFirstAndAClickedLocationJoinsThem)
{
    const QString dir = TestTempDir() + QStringLiteral("/recent-browser");
    QDir(dir).removeRecursively();
    for (const char* folder : { "Old.idxp", "New.idxp", "Trips", "Family" })
        ASSERT_TRUE(QDir().mkpath(dir + "/" + folder));
    {
        QFile photo(dir + "/photo.jpg");
        ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    }
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    SetPrefBoolean(QStringLiteral("SourceListRecentOpenState"), true);
    SetPrefBoolean(QStringLiteral("SourceListRecentIndexOpenState"), true);
    SetPrefBoolean(QStringLiteral("SourceListRecentFolderOpenState"), false);

    IdleApp app;
    CIndexDoc* document = StartFirstRun(app);
    ASSERT_NE(document, nullptr);
    for (const char* entry : { "Old.idxp", "Trips", "photo.jpg", "Family", "New.idxp" })
        app.AddRecentItem(FileRef(dir + "/" + entry));
    auto* list = dynamic_cast<CFileBrowserListView*>(document->GetWindow()->FindPaneByID(928));
    ASSERT_NE(list, nullptr);
    list->Rebuild();

    CSourceParentRecent* indexes = list->GetRecentIndexes();
    CSourceParentRecent* folders = list->GetRecentFolders();
    ASSERT_TRUE(indexes && folders);
    EXPECT_EQ(list->GetChildRows(list->GetRecentHeader()), (std::vector<LDataBrowserItem*> { indexes, folders }));
    EXPECT_EQ(indexes->GetTitle(), QStringLiteral("Recent Indexes"));
    EXPECT_EQ(folders->GetTitle(), QStringLiteral("Recent Folders"));
    for (CSourceParentRecent* group : { indexes, folders })
        EXPECT_FALSE(LDataBrowser::ItemFlag(group, kDataBrowserItemIsSelectableProperty, true));
    EXPECT_EQ(RowNames(list, indexes), (QStringList { "New.idxp", "Old.idxp" }));
    EXPECT_TRUE(RowNames(list, folders).isEmpty()); // stored closed
    list->OpenContainer(folders);
    EXPECT_EQ(RowNames(list, folders), (QStringList { "Family", "Trips" }));

    // The user closes the indexes; the open states are stored as the groups go.
    QTreeView* tree = list->GetControlRef();
    tree->collapse(list->GetImp().GetModel().IndexOf(indexes));
    list->Rebuild();
    EXPECT_FALSE(GetPrefBoolean(QStringLiteral("SourceListRecentIndexOpenState")));
    EXPECT_TRUE(GetPrefBoolean(QStringLiteral("SourceListRecentFolderOpenState")));
    EXPECT_TRUE(RowNames(list, list->GetRecentIndexes()).isEmpty());
    EXPECT_EQ(RowNames(list, list->GetRecentFolders()), (QStringList { "Family", "Trips" }));

    // A click on a location opens it and puts it at the top of the recent items.
    for (LDataBrowserItem* row : list->GetChildRows(list->GetRecentFolders())) {
        if (auto* location = dynamic_cast<CSourceItemURL*>(row); location && location->GetName() == "Trips")
            list->SelectItem(location);
    }
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    EXPECT_EQ(app.GetRecentItems().At(0).Name(), QStringLiteral("Trips"));
    EXPECT_TRUE(document->IsImportedFolderProxy());

    // A folder chosen in Add Files… is added, and heads the open Recent Folders at once.
    ASSERT_TRUE(QDir().mkpath(dir + "/Holidays"));
    auto* adding = new CImportFilesTask(601, 16, document->GetModel()); // the task layer deletes it
    adding->SetChosenURLs({ QUrl::fromLocalFile(dir + "/Holidays") });
    adding->Start();
    EXPECT_TRUE(RunUntil([&] { return RowNames(list, list->GetRecentFolders()).value(0) == "Holidays"; }))
        << RowNames(list, list->GetRecentFolders()).join(", ").toStdString();
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    EXPECT_TRUE(app.AttemptQuit());
}
