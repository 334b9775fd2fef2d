#include "TaskTestSupport.h"

#include "CCriteria.h"
#include "CIndexModel.h"
#include "CSearchTask.h"
#include "ErrorReport.h"
#include "FieldKeys.h"
#include "LDialogBox.h"

#include "TestSupport.h"
#include "TickCount.h"

#include <QFile>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

class SearchTaskTest : public ReportingTaskTest {
protected:

    // Items named and sized as given, added to the owner's index.
    void AddItems(const std::vector<std::pair<const char*, UInt32>>& items)
    {
        for (const auto& [name, size] : items) {
            auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/") + QLatin1String(name)));
            item->SetFileTypeCode('JPEG', false);
            item->SetTotalSize(size);
            Model().InsertItem(item, kInsertAtEnd);
        }
    }
    CIndexModel& Model() { return owner_.GetModel(); }
    CIndexItem* Item(SInt32 index) { return Model().ItemAt(index); }
    std::vector<CIndexItem*> List(const TArray<CIndexItem*>& list) { return { list.begin(), list.end() }; }

    // A task over every item of the current list with one criterion, run to its end.
    CSearchTask* Make(SInt16 kind, SInt32 action, SInt32 category, SInt32 selector, const QString& value)
    {
        auto* task = new CSearchTask(QStringLiteral("601:39"), owner_.model, kind);
        task->SetResultAction(action);
        for (CIndexItem* item : List(Model().GetItemList()))
            task->InsertItem(item, kInsertAtEnd);
        task->AddCriterion(std::make_unique<CCriteria>(category, selector, value));
        return task;
    }
    void RunToEnd(CVisualTask* task)
    {
        const ThreadID id = task->GetID();
        task->Start();
        ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }));
    }
};

} // namespace

TEST_F(SearchTaskTest, FoundItemsEnterTheFilterOnlyAndAnEmptyQuickSearchReportsNothing)
{
    AddItems({ { "harbour-1.jpg", 10 }, { "boats.jpg", 20 }, { "Harbour-2.jpg", 30 } });
    RunToEnd(Make(kSearchKindSearch, kResultShowFilter, kFieldName, kSelectorContains, QStringLiteral("HARBOUR")));
    EXPECT_TRUE(Model().IsFiltered());
    EXPECT_EQ(List(Model().GetFilterList()), (std::vector<CIndexItem*> { Model().GetAllItems()[1],
                                                  Model().GetAllItems()[3] }));
    EXPECT_EQ(Model().CountAllItems(), 3); // never a second time into all items

    RunToEnd(Make(kSearchKindSearch, kResultShowFilter, kFieldName, kSelectorContains, QStringLiteral("nothing")));
    EXPECT_TRUE(Model().IsFiltered());
    EXPECT_EQ(Model().CountItems(), 0);
    EXPECT_EQ(Model().CountAllItems(), 3);
    EXPECT_TRUE(reported.empty());
    EXPECT_FALSE(Model().IsBusy());
    EXPECT_EQ(Model().CountRunningTasks(), 0);

    // A task stopped before it ran never made the owner busy, and lowers nothing:
    // the index stays busy for the one who made it so.
    Model().SetBusy(true);
    Make(kSearchKindSearch, kResultShowFilter, kFieldName, kSelectorContains, QStringLiteral("x"))->Stop();
    ProcessEventsFor(20);
    EXPECT_TRUE(Model().IsBusy());
    Model().SetBusy(false);
    EXPECT_EQ(Model().CountRunningTasks(), 0);
}

TEST_F(SearchTaskTest, ResultActionsOnTheModel)
{
    AddItems({ { "a.jpg", 1 }, { "b.jpg", 2 }, { "c.jpg", 3 }, { "d.jpg", 4 } });
    CIndexItem* b = Item(2);
    CIndexItem* d = Item(4);
    // 8000 selects what was found, and nothing else.
    Model().SelectIndex(1);
    RunToEnd(Make(kSearchKindSearch, kResultSelect, kFieldTotalSize, kSelectorGreaterThan, QStringLiteral("1")));
    EXPECT_EQ(Model().SelectedItems(), (std::vector<CIndexItem*> { b, Item(3), d }));

    // 8013 puts the found items first, in reverse order of finding, all selected.
    RunToEnd(Make(kSearchKindSearch, kResultMoveToTop, kFieldName, kSelectorEndsWith, QStringLiteral("b.jpg")));
    RunToEnd(Make(kSearchKindSearch, kResultMoveToTop, kFieldTotalSize, kSelectorGreaterThan, QStringLiteral("3")));
    EXPECT_EQ(Item(1), d);
    EXPECT_EQ(Item(2), b);
    EXPECT_EQ(Model().CountAllItems(), 4);
    EXPECT_TRUE(Model().IsModified());
    // 8014 puts them last.
    RunToEnd(Make(kSearchKindSearch, kResultMoveToEnd, kFieldName, kSelectorIs, QStringLiteral("d.jpg")));
    EXPECT_EQ(Item(4), d);
    EXPECT_EQ(Model().CountAllItems(), 4);

    // 8006 deletes; 8000 with nothing found reports 100050.
    RunToEnd(Make(kSearchKindSearch, kResultDelete, kFieldName, kSelectorIs, QStringLiteral("D.JPG")));
    EXPECT_EQ(Model().CountAllItems(), 3);
    RunToEnd(Make(kSearchKindSearch, kResultSelect, kFieldName, kSelectorIs, QStringLiteral("d.jpg")));
    EXPECT_EQ(reported, (std::vector<SInt16> { 50 }));
}

TEST_F(SearchTaskTest, EveryOpenIndexOnlyCopiesAndBatchPreferenceIsStored)
{
    CSearchTask task(QStringLiteral("601:54"), owner_.model, kSearchKindSearch);
    task.SetSourceKind(kSearchSourceOpenIndexes);
    task.SetResultAction(kResultShowFilter);
    EXPECT_EQ(task.GetResultAction(), kResultCopyToNewIndex);
    CSearchTask batch(QStringLiteral("601:43"), owner_.model, kSearchKindBatch);
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), true);
    batch.SetResultAction(kResultBatchByPreference);
    EXPECT_EQ(batch.GetResultAction(), kResultBatchFiles);
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
    batch.SetResultAction(kResultBatchByPreference);
    EXPECT_EQ(batch.GetResultAction(), kResultBatchCatalogue);
}

TEST_F(SearchTaskTest, ACancelledPromptDropsItsCriterionAndTheRunGoesOn)
{
    URegistrar::RegisterFrameworkClasses();
    AddItems({ { "sky.jpg", 1 }, { "sea.jpg", 2 } });
    auto* task = new CSearchTask(QStringLiteral("601:39"), owner_.model, kSearchKindSearch);
    task->SetResultAction(kResultShowFilter);
    for (CIndexItem* item : List(Model().GetItemList()))
        task->InsertItem(item, kInsertAtEnd);
    const ThreadID id = task->GetID();
    task->LoadCriteria({ CCriteria(kFieldName, kSelectorContains, QString()).GetDictionary(),
        CCriteria(kFieldName, kSelectorBeginsWith, QStringLiteral("s")).GetDictionary(),
        CCriteria(kFieldName, kSelectorEndsWith, QString()).GetDictionary() });
    ASSERT_EQ(task->CountPendingAnswers(), 2);
    std::vector<LDialogBox*> dialogs;
    for (LWindow* window : LWindow::FetchWindows())
        if (auto* dialog = dynamic_cast<LDialogBox*>(window))
            dialogs.push_back(dialog);
    ASSERT_EQ(dialogs.size(), 2u);
    // One answer: the run still waits for the other.
    dialogs[0]->FindPaneByID(kAskValueField)->SetCFDescriptor(QStringLiteral(".JPG"));
    dialogs[0]->ListenToMessage(msg_AskValueOK, nullptr);
    ProcessEventsFor(50);
    EXPECT_EQ(task->CountPendingAnswers(), 1);
    EXPECT_FALSE(Model().IsFiltered());
    // The cancelled criterion is left out: an empty one would have matched nothing.
    dialogs[1]->ListenToMessage(msg_AskValueCancel, nullptr);
    ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }));
    EXPECT_TRUE(Model().IsFiltered());
    EXPECT_EQ(Model().CountItems(), 2);
}

TEST_F(SearchTaskTest, DuplicatesAreFoundFirstUnmarkedThenMarkedAndSelected)
{
    AddItems({ { "one.jpg", 500 }, { "lone.jpg", 7 }, { "two.jpg", 500 }, { "three.jpg", 500 } });
    RunToEnd(Make(kSearchKindDuplicates, kResultNothing, kDuplicatesCategory, kSelectorSameSize, QStringLiteral("-")));
    EXPECT_FALSE(Item(1)->TestFlags(kItemFlagDuplicate));
    EXPECT_TRUE(Item(3)->TestFlags(kItemFlagDuplicate));
    EXPECT_TRUE(Item(4)->TestFlags(kItemFlagDuplicate));
    EXPECT_FALSE(Item(2)->TestFlags(kItemFlagDuplicate));
    EXPECT_TRUE(reported.empty());

    RunToEnd(Make(kSearchKindDuplicates, kResultShowFilter, kDuplicatesCategory, kSelectorSameSize,
        QStringLiteral("-")));
    EXPECT_EQ(List(Model().GetFilterList()).size(), 3u);
    EXPECT_EQ(Model().CountAllItems(), 4);
    EXPECT_EQ(Model().CountSelectedItems(), 2); // the marked two
}

TEST_F(SearchTaskTest, ManyDuplicateGroupsShowInGroupOrderAndAreSelectedInOneChange)
{
    // Groups of two to four interleaved through the index, with single sizes between
    // them; the search yields between items.
    std::vector<std::pair<std::string, UInt32>> made;
    for (int i = 0; i < 600; ++i)
        made.emplace_back("item" + std::to_string(i) + ".jpg", i % 3 == 0 ? UInt32(1000 + i) : UInt32(i % 97));
    std::vector<std::pair<const char*, UInt32>> items;
    for (const auto& [name, size] : made)
        items.emplace_back(name.c_str(), size);
    AddItems(items);
    std::vector<std::vector<CIndexItem*>> groups(97);
    for (SInt32 index = 1; index <= Model().CountItems(); ++index) {
        if ((index - 1) % 3 != 0)
            groups[Item(index)->GetTotalSize()].push_back(Item(index));
    }
    std::erase_if(groups, [](const std::vector<CIndexItem*>& group) { return group.size() < 2; });
    std::sort(groups.begin(), groups.end(), [this](const auto& a, const auto& b) {
        return Model().GetIndexOfItem(a.front()) < Model().GetIndexOfItem(b.front());
    });
    std::vector<CIndexItem*> expected;
    std::vector<CIndexItem*> marked;
    for (const auto& group : groups) {
        expected.insert(expected.end(), group.begin(), group.end());
        marked.insert(marked.end(), group.begin() + 1, group.end());
    }

    SetTaskSlice(0);
    int selectionChanges = 0;
    QObject::connect(&Model(), &CIndexModel::selectionChanged, [&] { ++selectionChanges; });
    RunToEnd(Make(kSearchKindDuplicates, kResultShowFilter, kDuplicatesCategory, kSelectorSameSize,
        QStringLiteral("-")));
    ASSERT_TRUE(Model().IsFiltered());
    EXPECT_EQ(List(Model().GetFilterList()), expected);
    EXPECT_EQ(Model().CountAllItems(), 600);
    std::sort(marked.begin(), marked.end(),
        [this](CIndexItem* a, CIndexItem* b) { return Model().GetIndexOfItem(a) < Model().GetIndexOfItem(b); });
    EXPECT_EQ(Model().SelectedItems(), marked);
    EXPECT_EQ(Model().CountSelectedItems(), SInt32(marked.size()));
    EXPECT_EQ(selectionChanges, 1); // the marked items at once, not one at a time
    for (CIndexItem* item : marked)
        EXPECT_TRUE(item->TestFlags(kItemFlagDuplicate));
}

TEST_F(SearchTaskTest, ItemsDeletedWhileSearchesYieldLeaveNoDanglingPointer)
{
    // Each test reads the camera file's records, so the searches yield often.
    const QUrl photo = QUrl::fromLocalFile(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")));
    for (int i = 0; i < 300; ++i)
        Model().InsertItem(new CIndexItem(photo), kInsertAtEnd);
    SetTaskSlice(0);
    auto* search = Make(kSearchKindSearch, kResultShowFilter, kFieldMake, kSelectorContains, QStringLiteral("canon"));
    auto* duplicates = Make(kSearchKindDuplicates, kResultSelect, kDuplicatesCategory, kSelectorSameMediaInfo,
        QStringLiteral("-"));
    const ThreadID one = search->GetID();
    const ThreadID two = duplicates->GetID();
    search->Start();
    duplicates->Start();
    int deleted = 0;
    int refused = 0;
    ASSERT_TRUE(RunUntil([&] {
        // The searches yield once a tick has passed, however fast they read: the
        // first rounds wait for the next tick, so that deletions fall between
        // their items however quick the machine.
        if (deleted + refused < 16) {
            const UInt32 tick = TickCount();
            while (TickCount() == tick)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // The way an item leaves the index: refused for the item under test, purged from
        // every task's pending and found items otherwise.
        for (SInt32 index : { 1, Model().CountItems() / 2 }) {
            if (index < 1 || index > Model().CountItems())
                continue;
            if (CatchCode([&] { RemoveIndexItem(owner_.model, index, false, true); }) == noErr)
                ++deleted;
            else
                ++refused;
        }
        return LThread::FromID(one) == nullptr && LThread::FromID(two) == nullptr;
    }));
    EXPECT_GT(deleted, 4) << refused;
    EXPECT_EQ(Model().CountAllItems(), 300 - deleted);
    // Everything left was found by both: shown by the one, selected by the other.
    EXPECT_EQ(Model().CountItems(), 300 - deleted);
    EXPECT_EQ(Model().CountSelectedItems(), Model().CountItems());
}

// A search, duplicate search or batch that waits while thumbnails are made ends
// when its items are deleted meanwhile, rather than waiting for items for good.
TEST_F(SearchTaskTest, ATaskWhoseItemsAreDeletedWhileThumbnailsAreMadeEnds)
{
    for (const SInt16 kind : { kSearchKindSearch, kSearchKindDuplicates, kSearchKindBatch }) {
        SCOPED_TRACE(kind);
        AddItems({ { "harbour-1.jpg", 10 }, { "boats.jpg", 20 } });
        Model().SetUpdating(true);
        CSearchTask* task = Make(kind, kResultSelect, kFieldName, kSelectorContains, QStringLiteral("harbour"));
        const ThreadID id = task->GetID();
        task->Start();
        RunUntil([] { return false; }, 50);
        while (Model().CountAllItems() > 0)
            RemoveIndexItem(Model(), 1, false, true);
        Model().SetUpdating(false);
        EXPECT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; })) << "the task waits for items for good";
    }
}
