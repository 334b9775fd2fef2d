#include "AppTestSupport.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "LWindow.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace {
constexpr int kPatienceMilliseconds = 60000;

CIndexDoc* OnlyIndexDocument()
{
    CIndexDoc* found = nullptr;
    for (LDocument* document : LDocument::GetDocumentList()) {
        if (auto* index = dynamic_cast<CIndexDoc*>(document)) {
            EXPECT_EQ(found, nullptr) << "more than one index is open";
            found = index;
        }
    }
    return found;
}

// Runs the program's loop until `done` holds; false when it never did.
bool RunUntil(const std::function<bool()>& done)
{
    return RunEventsUntil(done, kPatienceMilliseconds);
}

bool IsIdle(CIndexDoc* document)
{
    IndexDocViewServices* view = document->GetIndexView();
    return !view->IsBusy() && view->CountRunningTasks() == 0;
}

QStringList ItemNames(CIndexDoc* document)
{
    QStringList names;
    auto* view = dynamic_cast<CIndexView*>(document->GetIndexViewPane());
    EXPECT_NE(view, nullptr);
    for (SInt32 i = 1; view && i <= view->CountAllItems(); ++i) {
        CIndexItem* item = nullptr;
        if (view->GetItemAt(i, item) && item)
            names << item->GetName();
    }
    names.sort();
    return names;
}
} // namespace

// The program as a user meets it: a new index, photographs added, saved, the program
// quit; started again, the index comes back from the recent items with its items.
TEST(EndToEnd, AnIndexMadeSavedAndReopenedFromTheRecentItemsKeepsItsPhotographs)
{
    QStringList photos;
    for (const QFileInfo& info : QDir(TestDataPath(QStringLiteral("exif-samples/jpg"))).entryInfoList({ "*.jpg" }, QDir::Files, QDir::Name))
        photos << info.absoluteFilePath();
    ASSERT_GE(photos.size(), 5);
    const QString package = TestTempDir() + QStringLiteral("/Photographs.idxp");
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    QStringList savedNames;
    {
        COrvexApp app;
        app.ClearRecentItems();
        app.MakeMenuBar();
        app.Initialize();
        app.StartUp();
        CIndexDoc* document = OnlyIndexDocument();
        ASSERT_NE(document, nullptr);
        EXPECT_TRUE(document->GetWindow()->IsVisible());

        for (const QString& photo : photos)
            document->AddItem(QUrl::fromLocalFile(photo));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
        ASSERT_EQ(document->CountAllItems(), photos.size());
        savedNames = ItemNames(document);

        document->HandleSheetAnswer(CIndexDoc::sheet_SaveAs, QUrl::fromLocalFile(package));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));
        EXPECT_TRUE(QFileInfo(package + QStringLiteral("/index.db")).size() > 0);
        EXPECT_TRUE(app.AttemptQuit());
        EXPECT_EQ(OnlyIndexDocument(), nullptr);
    }
    // The program has ended: its preferences reach the disk and are read again.
    ASSERT_TRUE(SynchronizePrefs());
    PreferenceDomain::Application().Reload();

    COrvexApp app;
    app.MakeMenuBar();
    app.Initialize();
    ASSERT_GE(app.GetRecentItemCount(), 1);
    EXPECT_EQ(app.GetRecentItems().At(0), FileRef(package));
    app.OpenRecentItem(0);
    CIndexDoc* reopened = OnlyIndexDocument();
    ASSERT_NE(reopened, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(reopened) && reopened->GetWindow()->IsVisible(); }));
    EXPECT_EQ(ItemNames(reopened), savedNames);

    LWindow* window = reopened->GetWindow();
    window->GetShell()->resize(900, 640);
    ProcessEventsFor(200);
    window->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/index-window.png"));
    // The Index menu as the index window's commands enable it, with the window in
    // front and its chain the target (as the user's click makes it).
    window->Select();
    LCommander::SwitchTarget(window);
    ASSERT_NE(window->GetMenuBar(), nullptr);
    for (QAction* action : window->GetMenuBar()->actions()) {
        if (action->text() != QLatin1String("Index"))
            continue;
        action->menu()->popup(QPoint(0, 0));
        QStringList enabled;
        for (QAction* item : action->menu()->actions()) {
            if (item->isEnabled() && !item->isSeparator())
                enabled << item->text();
        }
        EXPECT_TRUE(enabled.contains(QStringLiteral("as List")));
        EXPECT_TRUE(enabled.contains(QStringLiteral("Rebuild Thumbnails")));
        action->menu()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/index-window-menu.png"));
        action->menu()->hide();
    }
    EXPECT_TRUE(app.AttemptQuit());
}

// The sample index made at build time carries its pictures: a copy moved anywhere
// opens with every item found inside it.
TEST(EndToEnd, TheSampleIndexOpensWhereverItIsWithItsPicturesInside)
{
    const QString copy = TestTempDir() + QStringLiteral("/elsewhere/Sample.idxp");
    ASSERT_TRUE(QDir().mkpath(copy));
    QDirIterator it(QStringLiteral(ORVEX_SAMPLE_INDEX), QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = copy + from.mid(QStringLiteral(ORVEX_SAMPLE_INDEX).size());
        QDir().mkpath(QFileInfo(to).absolutePath());
        // "index.db alias" is a relative link: it is copied as the link it is.
        if (QFileInfo(from).isSymLink())
            std::filesystem::copy_symlink(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString());
        else
            ASSERT_TRUE(QFile::copy(from, to)) << from.toStdString();
    }

    COrvexApp app;
    app.MakeMenuBar();
    app.Initialize();
    // No sample lies beside the test program.
    EXPECT_EQ(CatchCode([&] { app.OpenSampleIndex(); }), err_NilPointer);

    app.OpenDocument(FileRef(copy));
    CIndexDoc* sample = OnlyIndexDocument();
    ASSERT_NE(sample, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(sample) && sample->GetWindow()->IsVisible(); }));
    auto* view = dynamic_cast<CIndexView*>(sample->GetIndexViewPane());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->CountAllItems(), 10);
    for (SInt32 i = 1; i <= view->CountAllItems(); ++i) {
        CIndexItem* item = nullptr;
        ASSERT_TRUE(view->GetItemAt(i, item));
        const QString file = item->GetURL().toLocalFile();
        EXPECT_TRUE(file.startsWith(copy + QStringLiteral("/media/"))) << file.toStdString();
        EXPECT_TRUE(QFileInfo::exists(file));
    }
    EXPECT_TRUE(app.AttemptQuit());
}
