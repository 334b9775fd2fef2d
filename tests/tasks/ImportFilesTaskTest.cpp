#include "TaskTestSupport.h"

#include "CImportFilesTask.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"

#include "TestSupport.h"
#include "UserSteps.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

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
    auto* task = new CImportFilesTask(601, 16, owner_.model);
    EXPECT_EQ(owner_.model.CountRunningTasks(), 1);
    const QList<QUrl> chosen {QUrl::fromLocalFile(folder + "/two.png"), QUrl::fromLocalFile(folder + "/one.jpg")};
    task->SetChosenURLs(chosen);
    RunToEnd(task);
    std::vector<QUrl> imported;
    for (CIndexItem* item : owner_.Items())
        imported.push_back(item->GetURL());
    EXPECT_EQ(imported, std::vector<QUrl>(chosen.begin(), chosen.end()));
    EXPECT_TRUE(owner_.model.IsModified());
    EXPECT_FALSE(owner_.model.IsBusy());
    EXPECT_EQ(owner_.model.CountRunningTasks(), 0);
}

TEST_F(ImportFilesTaskTest, ACancelledChoiceEndsAtOnceAndLowersNothing)
{
    RunToEnd(new CImportFilesTask(601, 16, owner_.model));
    EXPECT_TRUE(owner_.Items().empty());
    EXPECT_FALSE(owner_.model.IsBusy()) << "a busy count never raised is not lowered";
    EXPECT_FALSE(owner_.model.IsModified());
}

TEST_F(ImportFilesTaskTest, ALockedListRefusesTheImport)
{
    owner_.model.LockItemList();
    try {
        new CImportFilesTask(601, 16, owner_.model);
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

namespace {

// One way a user names what Add Files imports, and what must be imported.
struct ChooserCase {
    const char* what;
    std::function<std::vector<UserSteps::Step>(QFileDialog*&, const QString& folder, const QString& elsewhere)> steps;
    QStringList expected; // paths under the test folder ("@/" for the other folder)
};

QFileDialog* ShownChooser()
{
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

QLineEdit* NameField(QFileDialog* dialog)
{
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// The chooser up and showing the folder's entries.
UserSteps::Step ChooserShowing(QFileDialog*& dialog, const QString& folder)
{
    return [&dialog, folder] {
        dialog = ShownChooser();
        if (!dialog)
            return false;
        if (QDir(dialog->directory()).absolutePath() != folder) {
            dialog->setDirectory(folder);
            return false;
        }
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        return list && list->model()->rowCount(list->rootIndex()) >= 4;
    };
}

UserSteps::Step TypeName(QFileDialog*& dialog, const QString& text)
{
    return [&dialog, text] {
        QLineEdit* field = NameField(dialog);
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
        return true;
    };
}

// Return as the user presses it: the completion list takes it when it shows.
UserSteps::Step PressReturn(QFileDialog*& dialog)
{
    return [&dialog] {
        QWidget* popup = QApplication::activePopupWidget();
        QTest::keyClick(popup ? popup : NameField(dialog), Qt::Key_Return);
        return true;
    };
}

UserSteps::Step ClickImport(QFileDialog*& dialog)
{
    return [&dialog] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->hide();
        QPushButton* button = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    };
}

UserSteps::Step ClickRows(QFileDialog*& dialog, QStringList names)
{
    return [&dialog, names] {
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        QAbstractItemModel* model = list->model();
        Qt::KeyboardModifiers modifiers;
        for (const QString& name : names) {
            for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
                const QModelIndex index = model->index(row, 0, list->rootIndex());
                if (index.data().toString() != name)
                    continue;
                QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualRect(index).center());
                modifiers = Qt::ControlModifier;
            }
        }
        return true;
    };
}

} // namespace

// Whatever the list or the side bar highlights, a name typed last is what is
// imported, a file or a folder, by Return or by the button; rows clicked last are.
TEST_F(ImportFilesTaskTest, TheChooserImportsWhatTheUserNamedLast)
{
    const QString elsewhere = TestTempDir() + QStringLiteral("/choose-elsewhere");
    QDir(elsewhere).removeRecursively();
    QDir().mkpath(elsewhere + "/Harbour");
    QFileDialog* dialog = nullptr;
    using Steps = std::vector<UserSteps::Step>;
    const ChooserCase cases[] = {
        { "a folder elsewhere, its full path typed, Return",
            [](QFileDialog*& d, const QString& f, const QString& e) {
                return Steps { ChooserShowing(d, f), TypeName(d, e + "/Harbour"), PressReturn(d) };
            },
            { "@/Harbour" } },
        { "a file of the shown folder typed by its name, the Import button",
            [](QFileDialog*& d, const QString& f, const QString&) {
                return Steps { ChooserShowing(d, f), TypeName(d, "two.png"), ClickImport(d) };
            },
            { "two.png" } },
        { "a folder of the shown folder typed, Return",
            [](QFileDialog*& d, const QString& f, const QString&) {
                return Steps { ChooserShowing(d, f), TypeName(d, "Trip"), PressReturn(d) };
            },
            { "Trip" } },
        { "two names in quotes, Return",
            [](QFileDialog*& d, const QString& f, const QString&) {
                return Steps { ChooserShowing(d, f), TypeName(d, "\"one.jpg\" \"Trip\""), PressReturn(d) };
            },
            { "one.jpg", "Trip" } },
        { "a row clicked, then another name typed",
            [](QFileDialog*& d, const QString& f, const QString&) {
                return Steps { ChooserShowing(d, f), ClickRows(d, { "one.jpg" }), TypeName(d, "two.png"), PressReturn(d) };
            },
            { "two.png" } },
        { "a name typed, then a folder and a file clicked",
            [](QFileDialog*& d, const QString& f, const QString&) {
                return Steps { ChooserShowing(d, f), TypeName(d, "two.png"), ClickRows(d, { "Trip", "one.jpg" }), ClickImport(d) };
            },
            { "Trip", "one.jpg" } },
    };
    for (const ChooserCase& c : cases) {
        SCOPED_TRACE(c.what);
        // The folder shown is also a place of the side bar, highlighted there.
        QTimer::singleShot(0, [this] {
            if (QFileDialog* shown = ShownChooser())
                shown->setSidebarUrls({ QUrl::fromLocalFile(folder), QUrl::fromLocalFile(QDir::rootPath()) });
        });
        UserSteps user(c.steps(dialog, folder, elsewhere), 10000);
        QStringList chosen;
        for (const QUrl& url : CImportFilesTask::ChooseFilesAndFolders(nullptr, "Add", "Files:"))
            chosen << url.toLocalFile();
        EXPECT_TRUE(user.AllDone()) << user.Done() << " steps done";
        QStringList expected;
        for (const QString& name : c.expected)
            expected << (name.startsWith("@/") ? elsewhere + name.mid(1) : folder + "/" + name);
        chosen.sort();
        expected.sort();
        EXPECT_EQ(chosen.join('\n').toStdString(), expected.join('\n').toStdString());
    }
}
