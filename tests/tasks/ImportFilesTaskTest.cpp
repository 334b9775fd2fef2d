#include "TaskTestSupport.h"

#include "CImportFilesTask.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"

#include "TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QPushButton>
#include <QTimer>

namespace {

class ImportFilesTaskTest : public TaskTest {
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        folder = TestTempDir() + QStringLiteral("/choose");
        QDir(folder).removeRecursively();
        QDir().mkpath(folder + "/Trip");
        QDir().mkpath(folder + "/Old.idxp");
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(Qt::blue);
        image.save(folder + "/one.jpg", "JPEG");
        image.save(folder + "/two.png", "PNG");
        QFile text(folder + "/notes.txt");
        text.open(QIODevice::WriteOnly);
        text.write("text");
    }
    void TearDown() override
    {
        owner_.DeleteItems();
        TaskTest::TearDown();
    }

    void RunToEnd(CVisualTask* task)
    {
        ThreadID id = task->GetID();
        task->Start();
        ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }));
    }

    QString folder;
};

} // namespace

TEST_F(ImportFilesTaskTest, ChosenFilesAreImportedInTheirOrderAndTheIndexMarkedModified)
{
    auto* task = new CImportFilesTask(601, 16, &owner_);
    EXPECT_EQ(owner_.model.CountRunningTasks(), 1);
    const QList<QUrl> chosen {QUrl::fromLocalFile(folder + "/two.png"), QUrl::fromLocalFile(folder + "/one.jpg")};
    task->SetChosenURLs(chosen);
    RunToEnd(task);
    EXPECT_EQ(owner_.imported, std::vector<QUrl>(chosen.begin(), chosen.end()));
    EXPECT_TRUE(owner_.model.IsModified());
    EXPECT_FALSE(owner_.model.IsBusy());
    EXPECT_EQ(owner_.model.CountRunningTasks(), 0);
}

TEST_F(ImportFilesTaskTest, ACancelledChoiceEndsAtOnceAndLowersNothing)
{
    RunToEnd(new CImportFilesTask(601, 16, &owner_));
    EXPECT_TRUE(owner_.imported.empty());
    EXPECT_FALSE(owner_.model.IsBusy()) << "a busy count never raised is not lowered";
    EXPECT_FALSE(owner_.model.IsModified());
}

TEST_F(ImportFilesTaskTest, ALockedListRefusesTheImport)
{
    owner_.model.LockItemList();
    try {
        new CImportFilesTask(601, 16, &owner_);
        FAIL() << "made while the list was locked";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), kMsgImportFiles);
    }
    owner_.model.UnlockItemList();
    EXPECT_EQ(owner_.model.CountRunningTasks(), 0);
}

TEST_F(ImportFilesTaskTest, TheChooserShowsFoldersMediaAndIndexesOnly)
{
    EXPECT_TRUE(CImportFilesTask::IsShownInChooser(folder + "/Trip"));
    EXPECT_TRUE(CImportFilesTask::IsShownInChooser(folder + "/Old.idxp"));
    EXPECT_TRUE(CImportFilesTask::IsShownInChooser(folder + "/one.jpg"));
    EXPECT_TRUE(CImportFilesTask::IsShownInChooser(folder + "/two.png"));
    EXPECT_FALSE(CImportFilesTask::IsShownInChooser(folder + "/notes.txt"));
}

TEST_F(ImportFilesTaskTest, TheChooserTakesFilesAndFoldersTogether)
{
    // Plays the user: once the folder is listed, selects a folder and a file in
    // the list and presses Import (the dialog is closed in any case).
    int attempts = 0;
    bool directorySet = false;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (!directorySet) {
            dialog->setDirectory(folder);
            directorySet = true;
            return;
        }
        if (++attempts > 200) {
            dialog->reject();
            return;
        }
        for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
            if (!view->isVisible() || !view->model())
                continue;
            QAbstractItemModel* model = view->model();
            QModelIndexList wanted;
            for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
                QModelIndex index = model->index(row, 0, view->rootIndex());
                if (index.data().toString() == "Trip" || index.data().toString() == "one.jpg")
                    wanted << index;
            }
            if (wanted.size() != 2)
                continue;
            for (const QModelIndex& index : wanted)
                view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            driver.stop();
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
            return;
        }
    });
    driver.start();
    QList<QUrl> chosen = CImportFilesTask::ChooseFilesAndFolders(nullptr, "Add", "Files:");
    std::sort(chosen.begin(), chosen.end());
    EXPECT_EQ(chosen, (QList<QUrl> {QUrl::fromLocalFile(folder + "/Trip"), QUrl::fromLocalFile(folder + "/one.jpg")}));
}
