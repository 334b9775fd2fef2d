// The index model with no widget at all: its lists, filter, lock, selection,
// value index and modified state.

#include "CIndexModel.h"

#include "CIndexItem.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "Preferences.h"
#include "TaskServices.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>
#include <memory>

namespace {

class IndexModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QObject::connect(&model, &CIndexModel::itemsInserted,
            [this](SInt32 first, SInt32 count) { inserted.push_back({ first, count }); });
        QObject::connect(&model, &CIndexModel::itemsRemoved,
            [this](SInt32 first, SInt32 count) { removed.push_back({ first, count }); });
        QObject::connect(&model, &CIndexModel::selectionChanged, [this] { ++selectionChanges; });
        QObject::connect(&model, &CIndexModel::modifiedChanged, [this](bool) { ++modifiedChanges; });
    }

    static CIndexItem* Item(const QString& name)
    {
        return new CIndexItem(QUrl(QStringLiteral("http://example.org/photos/") + name));
    }

    // Items named by the letters, in that order, none of them a change to save.
    void Fill(const QString& names)
    {
        for (QChar c : names)
            model.InsertItem(Item(QString(c) + QStringLiteral(".jpg")), kInsertAtEnd, ItemInsert::Filling);
    }

    QString Names() const
    {
        QString names;
        for (CIndexItem* item : model.GetItemList())
            names += item->GetName().left(1);
        return names;
    }

    QString SelectedNames() const
    {
        QString names;
        for (CIndexItem* item : model.SelectedItems())
            names += item->GetName().left(1);
        return names;
    }

    CIndexModel model;
    std::vector<std::pair<SInt32, SInt32>> inserted;
    std::vector<std::pair<SInt32, SInt32>> removed;
    int selectionChanges = 0;
    int modifiedChanges = 0;
};

} // namespace

TEST_F(IndexModelTest, AnItemAddedUnderTheFilterJoinsAllItemsOnceAndAFoundItemNeverTwice)
{
    Fill("abcde");
    ASSERT_TRUE(model.ReplaceFilterItems({ model.ItemAt(2), model.ItemAt(4) }));
    model.ShowFilter(false);
    EXPECT_EQ(Names(), "bd");

    // A found item handed to the filter again, by either path, stays one item.
    CIndexItem* b = model.ItemAt(1);
    EXPECT_EQ(model.AddFoundItem(b), 1);
    EXPECT_EQ(model.InsertItem(b, kInsertAtEnd), 1);
    CIndexItem* e = model.GetAllItems()[5];
    EXPECT_EQ(model.InsertItem(e, kInsertAtEnd), 3) << "an item of the index joins the filter";
    EXPECT_EQ(model.CountAllItems(), 5);
    EXPECT_FALSE(model.IsModified()) << "no item was added to the index";

    // A new item belongs to the index as well as to the filter shown.
    model.InsertItem(Item("f.jpg"), 2);
    EXPECT_EQ(Names(), "bfde");
    EXPECT_EQ(model.CountAllItems(), 6);
    EXPECT_TRUE(model.IsModified());

    // A removal under the filter takes the item out of the index.
    std::unique_ptr<CIndexItem> gone(model.TakeItemAt(3));
    EXPECT_EQ(gone->GetName(), "d.jpg");
    EXPECT_EQ(model.CountAllItems(), 5);
    model.ShowAllItems();
    EXPECT_EQ(Names(), "abcef");
    EXPECT_EQ(model.GetIndexOfItem(gone.get()), 0);
    EXPECT_EQ(removed, (std::vector<std::pair<SInt32, SInt32>> { { 3, 1 } }));
}

TEST_F(IndexModelTest, TheLockRefusesEveryChangeOfTheListsUntilLetGo)
{
    Fill("cab");
    model.ReplaceFilterItems({ model.ItemAt(1) });
    model.ShowFilter(false);
    model.LockItemList();
    model.ShowAllItems(); // shows all items; the locked filter keeps its walk's items
    EXPECT_EQ(model.GetFilterList().GetCount(), 1);
    EXPECT_TRUE(model.IsItemListLocked()) << "a walk of the filter still holds it";

    std::unique_ptr<CIndexItem> extra(Item("d.jpg"));
    const struct {
        const char* what;
        std::function<void()> change;
    } refused[] = {
        { "insert", [&] { model.InsertItem(extra.get(), 1); } },
        { "take", [&] { model.TakeItemAt(1); } },
        { "found", [&] { model.AddFoundItem(model.ItemAt(2)); } },
    };
    for (const auto& each : refused)
        EXPECT_EQ(CatchCode(each.change), kMsgIndexViewOperation) << each.what;
    EXPECT_FALSE(model.ReplaceFilterItems({}));
    model.SetSortKey(4001, false);
    EXPECT_EQ(Names(), "cab") << "no sort while locked";
    EXPECT_EQ(model.CountAllItems(), 3);
    EXPECT_TRUE(inserted.size() == 3 && removed.empty());

    model.ShowFilter(false);
    model.UnlockItemList();
    EXPECT_FALSE(model.IsItemListLocked());
    model.ShowAllItems();
    EXPECT_EQ(model.InsertItem(extra.release(), 1), 1);
    EXPECT_EQ(Names(), "dcab");
}

TEST_F(IndexModelTest, TheSelectionStaysWithItsItemsAcrossSortsAndRemovals)
{
    Fill("dbeac");
    model.SelectIndex(1); // d
    model.SelectIndex(4); // a
    EXPECT_EQ(selectionChanges, 2);
    model.SelectIndex(4);
    EXPECT_EQ(selectionChanges, 2) << "an unchanged selection is no change";

    const struct {
        SInt32 key;
        bool descending;
        const char* order;
        SInt32 first;
        SInt32 last;
    } sorts[] = {
        { 4001, false, "abcde", 1, 4 },
        { 4001, true, "edcba", 2, 5 },
    };
    for (const auto& sort : sorts) {
        model.SetSortKey(sort.key, sort.descending);
        EXPECT_EQ(Names(), sort.order);
        EXPECT_EQ(SelectedNames(), sort.descending ? "da" : "ad");
        EXPECT_EQ(model.GetFirstSelectedIndex(), sort.first);
        EXPECT_EQ(model.GetLastSelectedIndex(), sort.last);
        EXPECT_EQ(model.GetIndexOfItem(model.SelectedItems().front()), sort.first) << "rows renewed after the sort";
    }

    // Kept sorted: a new item goes to its place, the selection moves with its items.
    model.InsertItem(Item("f.jpg"), kInsertAtEnd);
    EXPECT_EQ(Names(), "fedcba");
    EXPECT_EQ(model.GetLastSelectedIndex(), 6);

    std::unique_ptr<CIndexItem> d(model.TakeItemAt(3));
    EXPECT_FALSE(d->IsHilited()) << "a removed item leaves the selection";
    EXPECT_EQ(SelectedNames(), "a");

    EXPECT_TRUE(model.SelectAll());
    EXPECT_EQ(model.CountSelectedItems(), 5);
    EXPECT_FALSE(model.SelectAll());
    EXPECT_TRUE(model.DeselectAll());
    EXPECT_EQ(model.GetFirstSelectedIndex(), 0);
}

TEST_F(IndexModelTest, TheValueIndexFollowsFieldChangesAndRemovals)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 4001, 6020 });
    Fill("");
    model.InsertItem(Item("Harbour-01.jpg"), kInsertAtEnd);
    model.InsertItem(Item("Harbour-02.jpg"), kInsertAtEnd);
    model.InsertItem(Item("Beach.jpg"), kInsertAtEnd);
    int rebuilt = 0;
    QObject::connect(&model, &CIndexModel::valueIndexRebuilt, [&] { ++rebuilt; });
    model.RebuildValueIndexIfBuilt();
    EXPECT_EQ(rebuilt, 0) << "nothing to rebuild before the first build";
    model.RebuildValueIndex();

    const CIndexModel::ValueSets* names = model.GetValueSets(4001);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->value("Harbour.jpg").size(), 2) << "numbering and separators are left out";
    EXPECT_EQ(model.GetValueSets(6020)->value("0").size(), 0) << "ratings come from captions";
    EXPECT_EQ(model.GetValueSets(6016), nullptr);

    // A field edit moves the item from the old value's set to the new one's.
    CIndexItem* beach = model.ItemAt(3);
    const QString oldValue = QStringLiteral(" Beach.jpg "), newValue = QStringLiteral("Shore.jpg");
    model.UpdateValueIndex(beach, 4001, &oldValue, &newValue);
    EXPECT_FALSE(names->value("Beach.jpg").contains(beach));
    EXPECT_TRUE(names->value("Shore.jpg").contains(beach));

    std::unique_ptr<CIndexItem> taken(model.TakeItemAt(1));
    EXPECT_EQ(names->value("Harbour.jpg").size(), 1);
    for (CIndexItem* item : model.TakeAllItems())
        delete item;
    EXPECT_EQ(rebuilt, 1);
    EXPECT_TRUE(model.GetValueSets(4001)->value("Harbour.jpg").isEmpty());
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

TEST_F(IndexModelTest, EveryChangeOfTheItemsMarksTheIndexModifiedOnce)
{
    Fill("ab");
    EXPECT_FALSE(model.IsModified()) << "reading puts back what is stored";
    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        { "insert", [&] { model.InsertItem(Item("c.jpg"), kInsertAtEnd); } },
        { "take", [&] { delete model.TakeItemAt(1); } },
        { "field", [&] { model.ItemChanged(model.ItemAt(1), 4001, true); } },
    };
    for (const auto& each : changes) {
        model.SetModified(false);
        modifiedChanges = 0;
        each.change();
        EXPECT_TRUE(model.IsModified()) << each.what;
        EXPECT_EQ(modifiedChanges, 1) << each.what;
    }
    model.SetModified(false);
    model.ItemChanged(model.ItemAt(1), 4001, false);
    model.SelectAll();
    model.SetSortKey(4001, true);
    EXPECT_FALSE(model.IsModified()) << "drawing, selecting and sorting change nothing stored";
}

TEST_F(IndexModelTest, RecordsAndPendingFilesBelongToTheModel)
{
    Fill("abc");
    CIndexItem* a = model.ItemAt(1);
    model.SetStoredRecord(model.ItemAt(3), { 300, 30 });
    model.SetStoredRecord(a, { 100, 10 });
    model.SetStoredRecord(a, { 110, 11 }); // the later one wins
    IndexStoredRecord record;
    ASSERT_TRUE(model.GetStoredRecord(a, record));
    EXPECT_EQ(record.offset, 110);
    std::unique_ptr<CIndexItem> taken(model.TakeItemAt(1));
    EXPECT_FALSE(model.GetStoredRecord(a, record)) << "a reused address must not find the old record";
    EXPECT_TRUE(model.GetStoredRecord(model.ItemAt(2), record));

    model.SetPassword(QByteArray(300, 'x'));
    EXPECT_EQ(model.GetPassword().size(), 255);
    EXPECT_TRUE(model.HasPassword());
    model.SetPassword({});
    EXPECT_FALSE(model.HasPassword());
}

TEST_F(IndexModelTest, TheTableShowsTheCurrentListAndSharesItsOneSelection)
{
    Fill("cab");
    IndexItemTableModel& table = model.ItemTable();
    QItemSelectionModel& selection = model.SelectionModel();
    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.data(table.index(0, 0), Qt::DisplayRole).toString(), "c") << "the name as the grid shows it";

    // Either side's change is seen in the other.
    model.SelectIndex(2);
    EXPECT_TRUE(selection.isRowSelected(1, {}));
    selection.select(table.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(SelectedNames(), "ab");
    EXPECT_EQ(selectionChanges, 2);

    // Sorting through the table sorts the index; the rows keep their selection.
    table.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(Names(), "abc");
    EXPECT_EQ(selection.selectedRows().size(), 2);
    EXPECT_TRUE(selection.isRowSelected(0, {}) && selection.isRowSelected(1, {}));
    EXPECT_EQ(table.IndexOf(model.ItemAt(3)).row(), 2);

    model.SelectAll();
    EXPECT_EQ(selection.selectedRows().size(), 3);
    std::unique_ptr<CIndexItem> taken(model.TakeItemAt(1));
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(selection.selectedRows().size(), 2);
    model.ReplaceFilterItems({ model.ItemAt(2) });
    model.ShowFilter(false);
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_FALSE(selection.hasSelection()) << "showing the filter drops the selection";
    EXPECT_EQ(table.data(table.index(0, 0), Qt::DisplayRole).toString(), "c");
}
