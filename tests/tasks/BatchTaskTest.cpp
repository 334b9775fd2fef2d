// Batches run as search tasks of kind 6102: what they ask for, and the steps on
// the items' files (copy, move, open in an application).

#include "AliasRecord.h"
#include "BatchActions.h"
#include "CCriteria.h"
#include "CIndexItem.h"
#include "CSearchTask.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExivTestFiles.h"
#include "FieldKeys.h"
#include "FileSystemRoutines.h"
#include "LDialogBox.h"
#include "LThread.h"
#include "Preferences.h"
#include "TaskTestSupport.h"
#include "URegistrar.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class BatchTaskTest : public ReportingTaskTest {
protected:
    void TearDown() override
    {
        owner_.DeleteItems();
        ReportingTaskTest::TearDown();
    }

    CIndexItem* AddFile(const QString& path)
    {
        auto* item = new CIndexItem(FileRef(path));
        owner_.GetModel().InsertItem(item, kInsertAtEnd, ItemInsert::Filling);
        return item;
    }
    // A batch over every item of the index, catalogue only.
    CSearchTask* Batch()
    {
        auto* task = new CSearchTask(QStringLiteral("601:39"), owner_.model, kSearchKindBatch);
        task->SetResultAction(kResultBatchCatalogue);
        for (CIndexItem* item : owner_.Items())
            task->InsertItem(item, kInsertAtEnd);
        return task;
    }
    void RunToEnd(CSearchTask* task)
    {
        const ThreadID id = task->GetID();
        task->Start();
        ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 10000));
    }
    static QString Folder(const QString& name)
    {
        const QString path = TestTempDir() + QStringLiteral("/batch-files/") + name;
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }
    static CCriteria FileStep(SInt32 selector, const QString& folder, SInt16 mode, bool takeOut = false)
    {
        CCriteria step(kFieldFileState, selector, QString());
        QByteArray alias;
        EXPECT_EQ(NewAliasBytes(nullptr, FileRef(folder), alias), noErr);
        step.SetData(kCriteriaAliasKey, alias);
        step.SetNumber(kCriteriaMoveCopyOptionsKey, mode);
        if (takeOut)
            step.SetNumber(kCriteriaMoveRemoveKey, 1);
        return step;
    }
};

} // namespace

TEST_F(BatchTaskTest, OnlyRowsThatTakeAValueAreAskedForAndTheAnswerRunsTheBatch)
{
    CIndexItem* item = AddFile(SampleWithExivCommands("ask.jpg", QByteArray()));
    CSearchTask* task = Batch();
    const ThreadID id = task->GetID();
    task->LoadCriteria({ CCriteria(kFieldHeadline, kBatchSet, QStringLiteral(" ")).GetDictionary(),
        CCriteria(kFieldTurnState, SInt32(kItemFlagRotate90CW), QString()).GetDictionary(),
        CCriteria(kFieldHasThumbnail, kBatchRemove, QString()).GetDictionary() });
    ASSERT_EQ(task->CountPendingAnswers(), 1) << "only the headline has nothing to set";
    LDialogBox* dialog = nullptr;
    for (LWindow* window : LWindow::FetchWindows())
        if (auto* box = dynamic_cast<LDialogBox*>(window))
            dialog = box;
    ASSERT_NE(dialog, nullptr);
    dialog->FindPaneByID(kAskValueField)->SetCFDescriptor(QStringLiteral("Harbour"));
    dialog->ListenToMessage(msg_AskValueOK, nullptr);
    ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 10000));
    EXPECT_EQ(item->CopyFieldString(kFieldHeadline, kFieldTextEmpty), QStringLiteral("Harbour"));
    EXPECT_TRUE(item->TestFlags(kItemFlagRotate90CW)) << "the step that takes no value ran as well";
    EXPECT_TRUE(owner_.GetModel().IsModified());
    EXPECT_TRUE(reported.empty());
}

TEST_F(BatchTaskTest, FilesAreCopiedAndMovedToTheChosenFolderByTheConflictMode)
{
    const QString source = SampleWithExivCommands("harbour.jpg", QByteArray());
    CIndexItem* first = AddFile(source);
    AddFile(SampleWithExivCommands("market.jpg", QByteArray()));
    const QString copies = Folder("copies"), moved = Folder("moved");

    // Twice into one folder: the second copy keeps both.
    for (int run = 0; run < 2; ++run) {
        CSearchTask* task = Batch();
        task->AddCriterion(std::make_unique<CCriteria>(FileStep(kSelectorCopyToFolder, copies, kConflictKeepBoth)));
        RunToEnd(task);
    }
    EXPECT_EQ(QDir(copies).entryList(QDir::Files).size(), 4);
    EXPECT_TRUE(QFile::exists(source)) << "a copy leaves the file";
    EXPECT_EQ(first->GetURL(), QUrl::fromLocalFile(source));

    // Skipping never replaces.
    CSearchTask* refused = Batch();
    refused->AddCriterion(std::make_unique<CCriteria>(FileStep(kSelectorCopyToFolder, copies, kConflictNone)));
    RunToEnd(refused);
    EXPECT_EQ(QDir(copies).entryList(QDir::Files).size(), 4);

    // A move that takes the items out: the files are in the folder, the index empty,
    // the items held by the task rather than deleted under the run.
    CSearchTask* move = Batch();
    move->AddCriterion(std::make_unique<CCriteria>(FileStep(kSelectorMoveToFolder, moved, kConflictNone, true)));
    RunToEnd(move);
    EXPECT_FALSE(QFile::exists(source));
    EXPECT_TRUE(QFile::exists(moved + QStringLiteral("/harbour.jpg")));
    EXPECT_TRUE(QFile::exists(moved + QStringLiteral("/market.jpg")));
    EXPECT_EQ(owner_.GetModel().CountAllItems(), 0);
    EXPECT_TRUE(owner_.GetModel().IsModified());
}

TEST_F(BatchTaskTest, SkipTheFileLeavesAFileInTheWayAloneWithoutAnErrorOrAnAlert)
{
    const QString source = SampleWithExivCommands("harbour.jpg", QByteArray());
    CIndexItem* item = AddFile(source);
    const QString folder = Folder("taken");
    QFile taken(folder + QStringLiteral("/harbour.jpg"));
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.write("already there");
    taken.close();
    for (SInt32 selector : {kSelectorCopyToFolder, kSelectorMoveToFolder}) {
        SCOPED_TRACE(selector);
        CSearchTask* task = Batch();
        task->AddCriterion(std::make_unique<CCriteria>(FileStep(selector, folder, kConflictNone, true)));
        RunToEnd(task);
        EXPECT_EQ(item->GetError(), nullptr);
        EXPECT_TRUE(reported.empty());
        EXPECT_EQ(ReadWholeFile(folder + QStringLiteral("/harbour.jpg")), QByteArray("already there"));
        EXPECT_TRUE(QFile::exists(source));
        EXPECT_EQ(owner_.GetModel().CountAllItems(), 1) << "a skipped file's item is never taken out";
    }
}

TEST_F(BatchTaskTest, FilesOpenInTheChosenApplication)
{
    // An application of this test's own, registered as the desktop would: it
    // writes the path it was given to a marker file.
    const QString marker = TestTempDir() + QStringLiteral("/batch-opened.txt");
    QFile::remove(marker);
    const QString script = TestTempDir() + QStringLiteral("/batch-open.sh");
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(marker).toUtf8());
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    QDir().mkpath(applications);
    {
        QFile entry(applications + QStringLiteral("/orvex-batch-open.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Batch Open\nExec=%1 %f\n").arg(script).toUtf8());
    }
    const QString photo = SampleWithExivCommands("open-me.jpg", QByteArray());
    AddFile(photo);
    CCriteria open(kFieldFileState, kSelectorOpenInApplication, QString());
    open.SetString(kCriteriaApplicationKey, QStringLiteral("orvex-batch-open.desktop"));
    CSearchTask* task = Batch();
    task->AddCriterion(std::make_unique<CCriteria>(open));
    RunToEnd(task);
    EXPECT_TRUE(reported.empty());
    ASSERT_TRUE(RunUntil([&] { return QFile::exists(marker) && QFileInfo(marker).size() > 0; }, 10000));
    QFile written(marker);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()).trimmed(), photo);
}

TEST_F(BatchTaskTest, AnItemRenamedThroughItsFileShowsTheFilesName)
{
    const QString moved = Folder("named");
    // The move finds a file of the same name in its way and keeps both.
    ASSERT_TRUE(QFile::copy(SampleWithExivCommands("in-the-way.jpg", QByteArray()), moved + QStringLiteral("/trip_01.jpg")));
    struct Case {
        QString file;
        CCriteria step;
        QString named;
    };
    const Case cases[] = {
        { "quay.jpg", CCriteria(kFieldName, kBatchSet, QStringLiteral("pier")), "pier.jpg" },
        { "slash.jpg", CCriteria(kFieldName, kBatchSet, QStringLiteral("a/b")), "a_b.jpg" },
        { "colon.jpg", CCriteria(kFieldName, kBatchSet, QStringLiteral("x:y")), "x.y.jpg" },
        { "dot.jpg", CCriteria(kFieldName, kBatchSet, QStringLiteral(".dawn")), "_dawn.jpg" },
        { "trip_01.jpg", FileStep(kSelectorMoveToFolder, moved, kConflictKeepBoth), "trip_01 copy 1.jpg" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        owner_.DeleteItems();
        CIndexItem* item = AddFile(SampleWithExivCommands(c.file, QByteArray()));
        CSearchTask* task = Batch();
        task->SetResultAction(kResultBatchFiles);
        task->AddCriterion(std::make_unique<CCriteria>(c.step));
        RunToEnd(task);
        const QString file = item->GetURL().toLocalFile();
        EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
        EXPECT_EQ(QFileInfo(file).fileName().toStdString(), c.named.toStdString());
        EXPECT_EQ(item->GetName().toStdString(), c.named.toStdString());
    }
    EXPECT_TRUE(reported.empty());
}
