// Add Files… as the user meets it: chosen from the index window's menu, a folder
// typed into the real file dialog, the import stopped from the window's own Stop.
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CCacheTask.h"
#include "CInfoView.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <algorithm>

#include <unistd.h>

namespace {

constexpr CommandT kAddFilesCommand = 1023;
constexpr int kFolders = 60;
constexpr int kPicturesEach = 250;

// A folder of pictures, made quickly as links to one photograph.
QString MakeFolderOfPictures(const QString& root, int folders = kFolders, int picturesEach = kPicturesEach)
{
    QDir(root).removeRecursively();
    const QByteArray photo = QFile::encodeName(CameraPhotos().value(0));
    for (int f = 0; f < folders; ++f) {
        const QString folder = root + QStringLiteral("/Roll %1").arg(f, 3, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int p = 0; p < picturesEach; ++p) {
            const QByteArray link = QFile::encodeName(folder + QStringLiteral("/IMG_%1.jpg").arg(p, 4, 10, QLatin1Char('0')));
            if (::link(photo.constData(), link.constData()) != 0)
                return {};
        }
    }
    return root;
}

// Add Files… chosen from the window's menu, the folder typed into the file dialog;
// false when nothing came into the index.
bool AddFolderThroughTheDialog(LWindow* window, CIndexDoc* document, const QString& folder)
{
    UserSteps user({
        [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* field = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            if (!field || !dialog->isVisible())
                return false;
            field->setFocus(Qt::MouseFocusReason);
            QTest::keyClicks(field, folder);
            QWidget* popup = QApplication::activePopupWidget();
            QTest::keyClick(popup ? popup : field, Qt::Key_Return);
            return true;
        },
    });
    QAction* add = OpenMenuItem(window, kAddFilesCommand);
    if (!add)
        return false;
    ChooseMenuItemLater(add);
    return RunUntil([&] { return user.AllDone() && document->CountAllItems() > 0; });
}

} // namespace

TEST(AddFiles, AFolderTypedIsImportedAndStopEndsTheImport)
{
    const QString folder = MakeFolderOfPictures(TestTempDir() + QStringLiteral("/add-files-large"));
    ASSERT_FALSE(folder.isEmpty());
    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);
    LWindow* window = document->GetWindow();

    ASSERT_TRUE(AddFolderThroughTheDialog(window, document, folder)) << "the typed folder was not imported";

    // Stop, as soon as the window shows it.
    LPane* stop = nullptr;
    ASSERT_TRUE(RunUntil([&] {
        stop = window->FindPaneByID(CInfoView::kPaneStopButton);
        return stop && stop->isVisible();
    })) << "no Stop shown while the import ran";
    ClickPane(window, CInfoView::kPaneStopButton);
    EXPECT_TRUE(RunEventsUntil([&] { return IsIdle(document); }, 5000)) << "the import went on after Stop";
    const SInt32 atStop = document->CountAllItems();
    ProcessEventsFor(1000);
    EXPECT_EQ(document->CountAllItems(), atStop) << "items kept coming after Stop";
    EXPECT_LT(atStop, kFolders * kPicturesEach);
    for (const QString& name : ItemNames(document).mid(0, 5))
        EXPECT_TRUE(name.startsWith(QLatin1String("IMG_"))) << name.toStdString();

    document->SetModified(false);
    app->AttemptQuit();
}

// Once the import and the caching of its items are over, the tasks end and the
// status strip shows the index's counts again, with no task left in it.
TEST(AddFiles, AFolderImportedToTheEndLeavesTheStatusStripIdle)
{
    const QString folder = MakeFolderOfPictures(TestTempDir() + QStringLiteral("/add-files-small"), 2, 150);
    ASSERT_FALSE(folder.isEmpty());
    SetPrefBoolean(QStringLiteral("IndexShowStatusBar"), true);
    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);
    LWindow* window = document->GetWindow();
    ASSERT_TRUE(AddFolderThroughTheDialog(window, document, folder)) << "the typed folder was not imported";
    LPane* task = window->FindPaneByID(CInfoView::kPaneTaskGroup);
    ASSERT_NE(task, nullptr);
    const auto caching = [] {
        const auto tasks = CVisualTask::GetAllTasks();
        return std::any_of(tasks.begin(), tasks.end(), [](CVisualTask* task) { return dynamic_cast<CCacheTask*>(task); });
    };
    EXPECT_TRUE(RunUntil([&] { return IsIdle(document) && !caching(); })) << TaskTitles().toStdString();
    EXPECT_EQ(document->CountAllItems(), 300);
    ProcessEventsFor(500);
    EXPECT_FALSE(task->isVisible()) << "the strip still shows a task: "
                                    << window->FindPaneByID(CInfoView::kPaneTaskTitle)->GetCFDescriptor().toStdString();
    EXPECT_TRUE(window->FindPaneByID(CInfoView::kPaneIdleGroup)->isVisible());

    document->SetModified(false);
    app->AttemptQuit();
    SetPrefDefault(QStringLiteral("IndexShowStatusBar"));
}
