#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CatalogueRoutines.h"
#include "CExceptionMgrPeriodical.h"
#include "COpenDialog.h"
#include "CVisualTask.h"
#include "LThread.h"
#include "ErrorCodes.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "Preferences.h"
#include "TestIndexWindow.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QAbstractItemView>
#include <QImage>
#include <QStandardPaths>

namespace {
FileRef MakePackage(const QString& relative)
{
    QString path = TestTempDir() + QLatin1Char('/') + relative;
    EXPECT_TRUE(QDir().mkpath(path));
    return FileRef(path);
}

std::vector<CIndexDoc*> IndexDocuments()
{
    std::vector<CIndexDoc*> documents;
    for (LDocument* document : LDocument::GetDocumentList()) {
        if (auto* index = dynamic_cast<CIndexDoc*>(document))
            documents.push_back(index);
    }
    return documents;
}

OSStatus CodeOf(const std::function<void()>& body)
{
    return CatchCode(body);
}
} // namespace

// The real application with its own index window, and tasks that work at once.
class AppDocuments : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = std::make_unique<IdleApp>();
        app->ClearRecentItems();
        classes = std::make_unique<StIndexDocServices>();
        SetIndexDocAppServices(app.get());
    }
    void TearDown() override
    {
        TerminateTasks();
        classes.reset();
        app.reset();
    }

    // A folder import task the application started on the index's model: running
    // now, then ended with the folder's items after those the index held (any
    // number for a negative count).
    static void ExpectImportTaskRuns(CIndexDoc& document, SInt32 itemsAfter)
    {
        EXPECT_EQ(document.GetModel().CountRunningTasks(), 1);
        EXPECT_TRUE(LThread::RunUntil([&] {
            return document.GetModel().CountRunningTasks() == 0 && (itemsAfter < 0 || document.CountAllItems() == itemsAfter);
        }, 10000)) << document.CountAllItems();
    }

    std::unique_ptr<IdleApp> app;
    std::unique_ptr<StIndexDocServices> classes;
};

TEST_F(AppDocuments, APackageOpensOnceAndIsARecentItem)
{
    FileRef package = MakePackage(QStringLiteral("docs/Trip.idxp"));
    app->OpenDocument(package);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    ASSERT_EQ(app->GetRecentItemCount(), 1);
    EXPECT_EQ(app->GetRecentItems().At(0), package);
    EXPECT_EQ(classes->tasks.readTasks, 1);

    // Again: its window comes forward; no second document, no new recent entry.
    app->ClearRecentItems();
    app->OpenDocument(FileRef(package.Path() + QLatin1Char('/')));
    EXPECT_EQ(IndexDocuments().size(), 1u);
    EXPECT_EQ(app->GetRecentItemCount(), 0);
    EXPECT_EQ(classes->tasks.readTasks, 1);
}

TEST_F(AppDocuments, APlainFileWithNoIndexOpenGoesIntoANewUntitledIndex)
{
    FileRef photo = MakeTestFile(QStringLiteral("docs/photo.jpg"));
    app->OpenDocument(photo);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    CIndexDoc* document = IndexDocuments().front();
    EXPECT_TRUE(document->GetWindow()->IsVisible());
    ASSERT_EQ(document->CountAllItems(), 1);
    EXPECT_EQ(document->GetModel().ItemAt(1)->GetURL(), photo.ToUrl());
    EXPECT_EQ(app->GetRecentItems().At(0), photo);
}

TEST_F(AppDocuments, FilesGoToTheFrontIndexEvenWhenAnotherHasTheSameTitle)
{
    app->MakeNewDocument();
    app->MakeNewDocument();
    ASSERT_EQ(IndexDocuments().size(), 2u);
    CIndexDoc* back = IndexDocuments()[0];
    CIndexDoc* front = IndexDocuments()[1];
    back->SetWindowTitleCF(QStringLiteral("Holiday"));
    front->SetWindowTitleCF(QStringLiteral("Holiday"));
    front->GetWindow()->Select();
    ASSERT_EQ(CIndexDoc::GetFrontDocument(), front);

    app->OpenDocument(MakeTestFile(QStringLiteral("docs/same-title.jpg")));
    EXPECT_EQ(front->CountAllItems(), 1);
    EXPECT_EQ(back->CountAllItems(), 0);
}

// Handed over while the index just opened is still being read: the photograph
// joins it once read, as a change to save, not an untitled index of its own.
TEST_F(AppDocuments, AFileHandedOverWhileAnIndexOpensJoinsIt)
{
    classes->tasks.holdReads = true;
    app->OpenDocument(MakePackage(QStringLiteral("docs/Opening.idxp")));
    ASSERT_EQ(IndexDocuments().size(), 1u);
    CIndexDoc* document = IndexDocuments().front();
    const FileRef photo = MakeTestFile(QStringLiteral("docs/handed.jpg"));
    app->OpenDocument(photo);
    EXPECT_EQ(IndexDocuments().size(), 1u);
    EXPECT_EQ(document->CountAllItems(), 0);

    classes->tasks.FinishRead(document);
    ASSERT_TRUE(LThread::RunUntil([&] { return document->CountAllItems() == 1; }, 5000));
    EXPECT_EQ(document->GetModel().ItemAt(1)->GetURL(), photo.ToUrl());
    EXPECT_TRUE(document->IsModified());
}

TEST_F(AppDocuments, AFolderWithNoIndexOpenGetsAnIndexOfItsOwn)
{
    FileRef folder = MakePackage(QStringLiteral("docs/Pictures of Spring"));
    app->OpenDocument(folder);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    EXPECT_EQ(IndexDocuments().front()->GetDescriptor(), QStringLiteral("Pictures of Spring"));
    ASSERT_EQ(classes->tasks.importedFolders.size(), 1u);
    EXPECT_EQ(classes->tasks.importedFolders.front(), folder);
    EXPECT_EQ(app->GetRecentItems().At(0), folder);
}

TEST_F(AppDocuments, AFolderJoinsTheFrontIndexWhetherItHoldsItemsOrNot)
{
    InitializeTasks();
    app->MakeNewDocument();
    CIndexDoc* document = IndexDocuments().front();
    document->GetModel().InsertItem(new CIndexItem(MakeTestFile(QStringLiteral("docs/held.jpg"))), kInsertAtEnd);
    const FileRef more = MakePackage(QStringLiteral("docs/more"));
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(more.Path() + QStringLiteral("/green.png"), "PNG"));
    EXPECT_EQ(CodeOf([&] { app->OpenDocument(more); }), noErr);
    ExpectImportTaskRuns(*document, 2);
    EXPECT_EQ(document->GetModel().ItemAt(2)->GetURL(), QUrl::fromLocalFile(more.Path() + QStringLiteral("/green.png")));
    EXPECT_TRUE(classes->tasks.importedFolders.empty()) << "not the index's own folder import";
    EXPECT_EQ(app->GetRecentItems().At(0), more);

    // An empty index in front takes the folder too.
    for (CIndexItem* item : document->GetModel().TakeAllItems())
        delete item;
    document->GetModel().SetModified(false);
    app->OpenDocument(MakePackage(QStringLiteral("docs/other")));
    EXPECT_EQ(classes->tasks.importedFolders.size(), 1u);
    EXPECT_EQ(IndexDocuments().size(), 1u);
}

TEST_F(AppDocuments, AnIndexFileThatIsNoPackageIsRefused)
{
    FileRef file = MakeTestFile(QStringLiteral("docs/old index"));
    ASSERT_EQ(ChangeCreatorAndType(file, 'JWZ7', 'OIDX'), noErr);
    EXPECT_EQ(CodeOf([&] { app->OpenDocument(file); }), kMsgIndexDocOperation);
    EXPECT_TRUE(IndexDocuments().empty());
    EXPECT_EQ(app->GetRecentItemCount(), 0);
}

TEST_F(AppDocuments, UserFoldersMakeAnIndexOrJoinTheFrontOneWithTheDesktopsOption)
{
    InitializeTasks();
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    ASSERT_TRUE(QDir().mkpath(desktop));
    app->NewSpecialFolderIndex(cmd_NewDesktopIndex);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    EXPECT_EQ(classes->tasks.importedFolders.size(), 1u);
    EXPECT_EQ(app->GetRecentItems().At(0), FileRef(QFileInfo(desktop).canonicalFilePath()));

    // With items in front the folder is imported into it by a task; no new index.
    CIndexDoc* document = IndexDocuments().front();
    document->GetWindow()->Select();
    document->GetModel().InsertItem(new CIndexItem(MakeTestFile(QStringLiteral("docs/held.jpg"))), kInsertAtEnd);
    app->NewSpecialFolderIndex(cmd_NewDesktopIndex);
    EXPECT_EQ(IndexDocuments().size(), 1u);
    EXPECT_EQ(classes->tasks.importedFolders.size(), 1u);
    ExpectImportTaskRuns(*document, -1);
}

TEST_F(AppDocuments, RevertingReopensThePackageThroughTheApplication)
{
    FileRef package = MakePackage(QStringLiteral("docs/Revert.idxp"));
    app->SendOpenDocumentEvent(package.ToUrl());
    EXPECT_TRUE(IndexDocuments().empty()); // it comes as an event
    ProcessEventsFor(50);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    EXPECT_TRUE(IndexDocuments().front()->UsesFile(package));
}

TEST_F(AppDocuments, CloseAllAsksEveryDocumentAndEachKeepsItsSettings)
{
    // Closing writes the window's settings before the window goes.
    SetPrefBoolean(QStringLiteral("SaveViewSettingsCloseWindow"), true);
    SetPrefNumber(QStringLiteral("DefaultSourceViewWidth"), 150);
    app->MakeNewDocument();
    app->MakeNewDocument();
    ASSERT_EQ(IndexDocuments().size(), 2u);
    app->ProcessCommand(cmd_CloseAll);
    FlushDeletes();
    EXPECT_TRUE(IndexDocuments().empty());
    EXPECT_GT(GetPrefNumber(QStringLiteral("DefaultSourceViewWidth")), 0);
}

TEST(OpenDialog, ShowsIndexesFoldersAndMediaButNotOtherFiles)
{
    FileRef folder = MakePackage(QStringLiteral("dialog/folder"));
    FileRef index = MakeTestFile(QStringLiteral("dialog/typed index"));
    ASSERT_EQ(ChangeCreatorAndType(index, 'JWZ7', 'OIDX'), noErr);
    FileRef jpeg = MakeTestFile(QStringLiteral("dialog/photo.JPG"));
    FileRef raw = MakeTestFile(QStringLiteral("dialog/frame.cr2"));
    FileRef text = MakeTestFile(QStringLiteral("dialog/notes.txt"), "just words");
    // A picture under a name that says nothing is recognised by its bytes.
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QString sniffed = TestTempDir() + QStringLiteral("/dialog/picture.data");
    ASSERT_TRUE(picture.save(sniffed, "PNG"));

    EXPECT_TRUE(COrvexApp::OpenDialogShows(folder));
    EXPECT_TRUE(COrvexApp::OpenDialogShows(index));
    EXPECT_TRUE(COrvexApp::OpenDialogShows(jpeg));
    EXPECT_TRUE(COrvexApp::OpenDialogShows(raw));
    EXPECT_TRUE(COrvexApp::OpenDialogShows(FileRef(sniffed)));
    EXPECT_FALSE(COrvexApp::OpenDialogShows(text));
}

TEST_F(AppDocuments, QuittingIsRefusedWhileAnIndexHasTasksAndAllowedOnceTheyEnd)
{
    InstallErrorManager();
    ClearPendingError(GetErrorNotifier());
    app->MakeNewDocument();
    CIndexDoc* document = IndexDocuments().front();
    document->GetModel().AddRunningTask(false);

    EXPECT_FALSE(app->AttemptQuit());
    EXPECT_EQ(IndexDocuments().size(), 1u);
    EXPECT_TRUE(IsErrorPending(GetErrorNotifier())); // the index is busy
    ClearPendingError(GetErrorNotifier());

    document->GetModel().RemoveRunningTask(false);
    EXPECT_TRUE(app->AttemptQuit());
    FlushDeletes();
    EXPECT_TRUE(IndexDocuments().empty());
}

TEST_F(AppDocuments, TheWindowMenuListsTheIndexWindowsAndTheMenusHaveAWindowWhenNoneIsOpen)
{
    auto idle = [&] { app->SpendTime(EventRecord {}); };
    app->MakeMenuBar();
    app->Initialize();
    LMenu* windowMenu = app->GetMenuBar()->FetchMenu(kWindowMenuID);
    const SInt16 fixed = windowMenu->CountItems();
    idle();
    EXPECT_EQ(windowMenu->CountItems(), fixed);
    // Without an index window the menus have a small window of their own.
    EXPECT_TRUE(app->GetMenuBarWindow()->isVisible());

    app->MakeNewDocument();
    app->MakeNewDocument();
    IndexDocuments()[0]->SetWindowTitleCF(QStringLiteral("Birds"));
    IndexDocuments()[1]->SetWindowTitleCF(QStringLiteral("Trees"));
    idle();
    ASSERT_EQ(windowMenu->CountItems(), fixed + 3);
    EXPECT_FALSE(app->GetMenuBarWindow()->isVisible());
    EXPECT_TRUE(windowMenu->Item(SInt16(fixed + 1))->IsSeparator());
    QStringList titles { windowMenu->Item(SInt16(fixed + 2))->text, windowMenu->Item(SInt16(fixed + 3))->text };
    titles.sort();
    EXPECT_EQ(titles, (QStringList { "Birds", "Trees" }));

    // Choosing a window's item brings it to the front.
    const SInt16 birds = windowMenu->Item(SInt16(fixed + 2))->text == QLatin1String("Birds") ? SInt16(fixed + 2) : SInt16(fixed + 3);
    app->ProcessCommand(windowMenu->CommandFromIndex(birds));
    EXPECT_EQ(CIndexDoc::GetFrontDocument(), IndexDocuments()[0]);

    app->ProcessCommand(cmd_CloseAll);
    FlushDeletes();
    idle();
    EXPECT_EQ(windowMenu->CountItems(), fixed);
    EXPECT_TRUE(app->GetMenuBarWindow()->isVisible());
}

TEST_F(AppDocuments, PrintingAClosedIndexOpensItOutOfSightPrintsItAndClosesIt)
{
    // No printer is reachable: the job fails at the printer, which is reported.
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
    StLogCapture errors("orvex.errors");
    FileRef package = MakePackage(QStringLiteral("docs/Print.idxp"));
    app->PrintDocument(package);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    CIndexDoc* document = IndexDocuments().front();
    EXPECT_FALSE(document->GetWindow()->IsVisible());

    ProcessEventsFor(400);
    FlushDeletes();
    // Once read it was printed (the printer's answer reported) and closed.
    EXPECT_TRUE(errors.All().contains(QStringLiteral("printer"))) << errors.All().toStdString();
    EXPECT_TRUE(IndexDocuments().empty());

    // A plain file is not an index to print.
    EXPECT_EQ(CodeOf([&] { app->PrintDocument(MakeTestFile(QStringLiteral("docs/print.jpg"))); }), kMsgIndexDocOperation);
}

TEST(OpenDialog, APackageIsChosenAsAWholeAndOnlyOpenableFilesShow)
{
    FileRef folder = MakePackage(QStringLiteral("dialog-look"));
    MakePackage(QStringLiteral("dialog-look/Trip.idxp"));
    MakePackage(QStringLiteral("dialog-look/More Pictures"));
    MakeTestFile(QStringLiteral("dialog-look/photo.jpg"));
    MakeTestFile(QStringLiteral("dialog-look/notes.txt"), "words");

    COpenDialog dialog;
    dialog.setDirectory(folder.Path());
    dialog.resize(720, 460);
    dialog.show();
    ProcessEventsFor(300);
    dialog.grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/open-dialog.png"));

    // Opening a package from its row chooses it rather than going into it.
    auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("treeView"));
    ASSERT_NE(view, nullptr);
    QModelIndex trip;
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
        QModelIndex index = view->model()->index(row, 0, view->rootIndex());
        if (index.data().toString() == QLatin1String("Trip.idxp"))
            trip = index;
    }
    ASSERT_TRUE(trip.isValid());
    emit view->activated(trip);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen(), QStringList { folder.Path() + QStringLiteral("/Trip.idxp") });

    // A plain folder chosen with Open is taken as it is (it is imported).
    COpenDialog again;
    again.setDirectory(folder.Path());
    again.selectFile(folder.Path() + QStringLiteral("/More Pictures"));
    again.accept();
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(again.Chosen(), QStringList { folder.Path() + QStringLiteral("/More Pictures") });
}
