// The index model with no widget at all: its lists, filter, lock, selection,
// value index and modified state.

#include "CIndexModel.h"

#include "AliasRecord.h"

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IndexDbRecord.h"
#include "Preferences.h"
#include "TaskServices.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <malloc.h>
#include <map>
#include <random>
#include <memory>
#include <span>
#include <thread>

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

TEST_F(IndexModelTest, ABatchGoesInAsOneChangeInItsOrderWithEachItemOnce)
{
    struct Case {
        const char* what;
        bool sorted; // the list keeps itself sorted by name
        bool filtered; // the (empty) filter shows while the batch comes
        // Letters of new items; an upper-case letter is the item of the index of
        // that name, a letter given twice is one new item handed twice.
        const char* batch;
        const char* names; // the current list afterwards
        std::vector<std::pair<SInt32, SInt32>> inserted;
        std::vector<QString> added; // each itemsAdded, as its items' letters
    };
    const Case cases[] = {
        { "a run", false, false, "cde", "abcde", { { 3, 3 } }, { "cde" } },
        { "an item of the index splits the run", false, false, "cAd", "abcd", { { 3, 1 }, { 4, 1 } }, { "c", "d" } },
        { "an item twice", false, false, "cdc", "abcd", { { 3, 2 } }, { "cd" } },
        { "a sorted list", true, false, "dc", "abcd", { { 3, 1 }, { 3, 1 } }, { "d", "c" } },
        { "under the filter", false, true, "cd", "cd", { { 1, 2 } }, { "cd" } },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        CIndexModel batchModel; // deletes its items
        for (const char* name : { "a.jpg", "b.jpg" })
            batchModel.InsertItem(Item(QString::fromLatin1(name)), kInsertAtEnd, ItemInsert::Filling);
        if (test.sorted)
            batchModel.SetSortKey(4001, false);
        batchModel.SetModified(false); // what the batch changes is looked at alone
        batchModel.SelectIndex(2);
        if (test.filtered)
            batchModel.ShowFilter(true);
        std::vector<std::pair<SInt32, SInt32>> inserted;
        std::vector<QString> added;
        QObject::connect(&batchModel, &CIndexModel::itemsInserted,
            [&](SInt32 first, SInt32 count) { inserted.push_back({ first, count }); });
        QObject::connect(&batchModel, &CIndexModel::itemsAdded, [&](std::span<CIndexItem* const> items) {
            QString letters;
            for (CIndexItem* item : items)
                letters += item->GetName().left(1);
            added.push_back(letters);
        });

        std::map<QChar, CIndexItem*> made;
        std::vector<CIndexItem*> batch;
        for (const char* c = test.batch; *c; ++c) {
            const QChar letter = QChar(*c).toLower();
            if (QChar(*c).isUpper()) {
                batch.push_back(batchModel.GetAllItems()[letter == 'a' ? 1 : 2]);
                continue;
            }
            CIndexItem*& item = made[letter];
            if (!item)
                item = Item(QString(letter) + QStringLiteral(".jpg"));
            batch.push_back(item);
        }
        batchModel.AppendItems(batch, ItemInsert::Filling);

        QString names;
        for (CIndexItem* item : batchModel.GetItemList())
            names += item->GetName().left(1);
        EXPECT_EQ(names, test.names);
        EXPECT_EQ(inserted, test.inserted);
        EXPECT_EQ(added, test.added);
        EXPECT_EQ(batchModel.ItemTable().rowCount(), batchModel.CountItems()) << "the list views see every item";
        EXPECT_EQ(batchModel.CountAllItems(), SInt32(made.size()) + 2);
        EXPECT_FALSE(batchModel.IsModified()) << "filling is no change";
        if (!test.filtered) {
            CIndexItem* selected = batchModel.GetAllItems()[2];
            EXPECT_EQ(batchModel.SelectedItems(), std::vector<CIndexItem*> { selected });
            EXPECT_TRUE(batchModel.SelectionModel().isRowSelected(batchModel.GetIndexOfItem(selected) - 1, {}));
        }
    }

    // New items are a change once for the batch; the lock takes none of them.
    Fill("ab");
    std::vector<CIndexItem*> batch { Item(QStringLiteral("c.jpg")), Item(QStringLiteral("d.jpg")) };
    model.LockItemList();
    EXPECT_EQ(CatchCode([&] { model.AppendItems(batch); }), kMsgIndexViewOperation);
    model.UnlockItemList();
    EXPECT_EQ(model.CountAllItems(), 2);
    EXPECT_TRUE(inserted.size() == 2 && modifiedChanges == 0);
    model.AppendItems(batch);
    EXPECT_EQ(Names(), "abcd");
    EXPECT_TRUE(model.IsModified());
    EXPECT_EQ(modifiedChanges, 1);
    EXPECT_EQ(CatchCode([&] { model.AppendItems(batch, ItemInsert::Foreign); }), err_AssertFailed);
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
    EXPECT_EQ(SelectedNames(), "a") << "a removed item leaves the selection";

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
        { "sort", [&] { model.SetSortKey(4001, true); } }, // the stored order
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
    model.SetSortKey(4001, true); // as sorted already
    EXPECT_FALSE(model.IsModified()) << "drawing, selecting and sorting the same way change nothing stored";
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

TEST_F(IndexModelTest, TheTablesSelectionIsTheOneStoreOfTheSelection)
{
    Fill("abcdef");
    IndexItemTableModel& table = model.ItemTable();
    QItemSelectionModel& selection = model.SelectionModel();
    model.SetTableColumns({ kFieldName, kFieldHeadline });

    // A cell selected in a list view is its item selected, told once.
    selection.select(table.index(1, 1), QItemSelectionModel::Select);
    EXPECT_TRUE(model.IsSelected(2));
    EXPECT_EQ(SelectedNames(), "b");
    EXPECT_EQ(selectionChanges, 1);

    // Found items selected as one change; items already selected stay.
    std::vector<CIndexItem*> found { model.ItemAt(5), model.ItemAt(2), model.ItemAt(4) };
    model.SelectItems(found);
    EXPECT_EQ(SelectedNames(), "bde");
    EXPECT_EQ(selectionChanges, 2);
    EXPECT_EQ(model.CountSelectedItems(), 3);
    EXPECT_EQ(model.GetFirstSelectedIndex(), 2);
    EXPECT_EQ(model.GetLastSelectedIndex(), 5);

    // Other columns, a move: the same items stay selected, and nobody is told.
    model.SetTableColumns({ kFieldName });
    EXPECT_EQ(SelectedNames(), "bde");
    model.MoveItems({ model.ItemAt(4), model.ItemAt(5) }, 1);
    EXPECT_EQ(Names(), "deabcf");
    EXPECT_EQ(SelectedNames(), "deb");
    EXPECT_EQ(selection.selectedRows().size(), 3);
    EXPECT_EQ(selectionChanges, 2);

    // A range and its removal.
    model.SetRangeSelected(1, 6, false);
    EXPECT_EQ(model.CountSelectedItems(), 0);
    model.SetRangeSelected(2, 4, true);
    EXPECT_EQ(SelectedNames(), "eab");
    EXPECT_EQ(selectionChanges, 4);
}

// A long index: its rows are found again after a sort while the window's timers
// run (a repaint asking for an item's row meanwhile gets the row the item is
// in), and every item answers its row after the sort, after more items are
// added and after the filter gave way to all items again.
TEST_F(IndexModelTest, EveryItemOfALongIndexAnswersItsRowAcrossSortsAndAdditions)
{
    constexpr int kItems = 30000;
    std::vector<CIndexItem*> items;
    for (int i = 0; i < kItems; ++i) {
        CIndexItem* item = Item(QStringLiteral("img%1.jpg").arg((i * 7919) % kItems));
        item->SetTotalSize(UInt32(1000 + (i * 7907) % 50000));
        items.push_back(item);
    }
    model.AppendItems(items, ItemInsert::Filling);
    const auto everyRowAnswered = [this] {
        SInt32 wrong = 0;
        for (SInt32 row = 1; row <= model.CountItems(); ++row)
            wrong += model.GetIndexOfItem(model.ItemAt(row)) == row ? 0 : 1;
        return wrong;
    };
    EXPECT_EQ(everyRowAnswered(), 0);

    CIndexItem* watched = items[kItems / 3];
    int asked = 0;
    int answeredWrong = 0;
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] {
        ++asked;
        const SInt32 row = model.GetIndexOfItem(watched);
        answeredWrong += row >= 1 && model.ItemAt(row) == watched ? 0 : 1;
    });
    repaint.start(0);
    for (const SInt32 key : { kFieldTotalSize, kFieldName }) {
        SCOPED_TRACE(key);
        const int askedBefore = asked;
        model.SetSortKey(key, false);
        EXPECT_GT(asked, askedBefore) << "the window went on during the sort";
        EXPECT_EQ(answeredWrong, 0);
        EXPECT_EQ(everyRowAnswered(), 0);
    }
    repaint.stop();

    std::vector<CIndexItem*> more;
    for (int i = 0; i < 1000; ++i)
        more.push_back(Item(QStringLiteral("more%1.jpg").arg(i)));
    model.AppendItems(more, ItemInsert::Filling);
    EXPECT_EQ(model.CountItems(), kItems + 1000);
    EXPECT_EQ(everyRowAnswered(), 0);

    model.ReplaceFilterItems({ watched });
    model.ShowFilter(false);
    EXPECT_EQ(model.GetIndexOfItem(watched), 1);
    EXPECT_EQ(model.GetIndexOfItem(items[0]), 0) << "not in the filter";
    model.ShowAllItems();
    EXPECT_EQ(everyRowAnswered(), 0);
}

TEST_F(IndexModelTest, AnItemKnowsItsPlaceInTheListThatShowsIt)
{
    Fill("abc");
    CIndexItem* b = model.ItemAt(2);
    EXPECT_EQ(b->GetPositionInView(), 2);
    EXPECT_EQ(b->CopyFieldString(kFieldPositionInView, kFieldTextEmpty), QStringLiteral("2"));
    model.ReplaceFilterItems({ b });
    model.ShowFilter(false);
    EXPECT_EQ(b->GetPositionInView(), 1) << "the filter shows it first";
    std::unique_ptr<CIndexItem> alone(Item("z.jpg"));
    EXPECT_EQ(alone->GetPositionInView(), 0);
}

// --- Values of the fields --------------------------------------------------------------------------------

namespace {

CIndexItem* CaptionedItem(const QString& name, const QStringList& keywords, SInt32 urgency,
    const char* copyright = nullptr)
{
    auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/photos/") + name));
    item->SetFileTypeCode('JPEG', false);
    auto caption = std::make_unique<CANPAInfo>();
    for (const QString& keyword : keywords)
        caption->AddKeywordCF(keyword);
    caption->SetUrgency(urgency);
    if (copyright)
        caption->SetCopyrightNotice(Str255(copyright));
    item->SetCaptionInfo(std::move(caption));
    return item;
}

// A caption dataset as an index stores it.
QByteArray Dataset(char number, const QByteArray& text)
{
    return QByteArray("\x1C\x02", 2) + number + char(text.size() >> 8) + char(text.size() & 0xFF) + text;
}

// An item as read from a package's index: "IMG_<number>.JPG", remote, with `caption`.
CIndexItem* StoredItem(CIndexPackage& package, int number, const QByteArray& caption)
{
    IndexDbRecord record;
    const QByteArray name = "IMG_" + QByteArray::number(number) + ".JPG";
    record.name = name;
    record.fileURL = "http://example.org/roll/" + name;
    record.fields = CatalogueFields { 'JPEG', 1000, 3000000000u, 3000000000u, 3000000000u, number + 1, 0 };
    record.caption = Dataset(0, QByteArray("\x00\x04", 2)) + caption;
    return new CIndexItem(record, &package);
}

// A package in a fresh folder of its own.
QUrl FreshPackageURL(const QString& folder)
{
    QDir dir(TestTempDir() + QLatin1Char('/') + folder);
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    return QUrl::fromLocalFile(dir.filePath(QStringLiteral("P.idxp")));
}

} // namespace

TEST_F(IndexModelTest, EachFieldEntersItsValuesByItsRule)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016, 6005, 6020, 4001, 4004 });
    CIndexItem* a = CaptionedItem("IMG_0042.jpg", { "sea", " sky " }, 1, "Ann Example");
    CIndexItem* b = CaptionedItem("IMG-7 (2).jpg", { "sea" }, 5);
    CIndexItem* c = CaptionedItem("2024-01-02", {}, 8, " - ");
    for (CIndexItem* item : { a, b, c })
        model.InsertItem(item, kInsertAtEnd, ItemInsert::Filling);
    model.RebuildValueIndex();

    struct Case {
        SInt32 field;
        const char* value;
        QSet<CIndexItem*> members;
    };
    const Case cases[] = {
        { 6016, "sea", { a, b } },        // entry by entry
        { 6016, "sky", { a } },           // trimmed
        { 6005, "Ann Example", { a } },   // any other field: its text
        { 6020, "0", { a } },             // 1 rates as 0
        { 6020, "4", { b } },             // 5 as 4
        { 6020, "7", { c } },             // 8 as 7, whose label it shares
        { 6020, "9", {} },                // seeded
        { 4001, "IMG.jpg", { a, b } },    // digits and "-_ ()" left out
    };
    for (const Case& test : cases) {
        const CIndexModel::ValueSets* sets = model.GetValueSets(test.field);
        ASSERT_NE(sets, nullptr) << test.field;
        EXPECT_TRUE(sets->contains(QString::fromUtf8(test.value))) << test.field << " " << test.value;
        EXPECT_EQ(sets->value(QString::fromUtf8(test.value)), test.members) << test.field << " " << test.value;
    }
    EXPECT_EQ(model.GetValueSets(6005)->size(), 1) << "a blank or \"-\" is no value";
    EXPECT_EQ(model.GetValueSets(4001)->size(), 1) << "a name of digits and dashes enters nothing";
    const CIndexModel::ValueSets* kinds = model.GetValueSets(4004);
    ASSERT_EQ(kinds->size(), 1);
    EXPECT_EQ(kinds->begin().value().size(), 3) << "one kind for three JPEGs";
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

// The organizer of a large index read from its package: the keywords and
// headlines of its stored captions go into the value index, and the field texts
// a search or a cell asks for are answered, while each item keeps its caption as
// the block it read rather than parsed (a parsed caption with its two sorted
// lists holds kilobytes).
TEST_F(IndexModelTest, TheValueIndexOfStoredCaptionsLeavesThemAsRead)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016, 6003 });
    CIndexPackage package(FreshPackageURL(QStringLiteral("value-index-memory")), nullptr);
    constexpr int kCount = 2000;
    for (int i = 0; i < kCount; ++i) {
        const QByteArray caption = Dataset(25, "harbour") + Dataset(25, "roll " + QByteArray::number(i % 50))
            + Dataset(105, "Trip " + QByteArray::number(i % 20));
        model.InsertItem(StoredItem(package, i, caption), kInsertAtEnd, ItemInsert::Filling);
    }

    const size_t before = mallinfo2().uordblks;
    model.RebuildValueIndex();
    int answered = 0;
    for (CIndexItem* item : model.GetItemList()) {
        const QString keywords = item->CopyFieldString(kFieldKeywords, kFieldTextEmpty);
        answered += keywords.startsWith(QStringLiteral("harbour")) && keywords.contains(QStringLiteral("roll "))
            && item->CopyFieldString(kFieldHeadline, kFieldTextEmpty).startsWith(QStringLiteral("Trip "));
    }
    const double grown = double(ssize_t(mallinfo2().uordblks) - ssize_t(before)) / kCount;
    EXPECT_EQ(answered, kCount) << "items whose keywords and headline read as stored";
    EXPECT_EQ(model.GetValueMembers(6016, QStringLiteral("harbour")).size(), kCount);
    EXPECT_EQ(model.GetValueMembers(6016, QStringLiteral("roll 7")).size(), kCount / 50);
    EXPECT_EQ(model.GetValueMembers(6003, QStringLiteral("Trip 3")).size(), kCount / 20);
    EXPECT_LT(grown, 400) << "bytes each item took on when the value index was built: " << grown;
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

// Items entered in batches, as the cache task enters an opening index: the
// values every item shares (its kind, volume, folder and keyword) gain every
// item, and their members' room never runs far ahead of the index.
TEST_F(IndexModelTest, BatchesFillSharedValuesWithoutRoomAhead)
{
    const QList<SInt32> fields { 4004, 4010, 4011, 6016 };
    QVariantList keys;
    for (SInt32 field : fields)
        keys.append(field);
    SetPrefValue(QStringLiteral("MDIKeys"), keys);
    CIndexPackage package(FreshPackageURL(QStringLiteral("value-index-growth")), nullptr);
    model.RebuildValueIndex();
    constexpr int kCount = 120000;
    std::vector<CIndexItem*> items;
    for (int i = 0; i < kCount; ++i) {
        items.push_back(StoredItem(package, i, Dataset(25, "harbour")));
        model.InsertItem(items.back(), kInsertAtEnd, ItemInsert::Filling);
    }
    // Each field's largest set, by the values' own sets.
    const auto largest = [&](SInt32 field) {
        const ValueMembers* found = nullptr;
        if (const CIndexModel::ValueSets* sets = model.GetValueSets(field)) {
            for (const ValueMembers& set : *sets)
                found = !found || set.size() > found->size() ? &set : found;
        }
        return found;
    };
    for (size_t first = 0; first < items.size(); first += 2048)
        model.AddItemsToValueIndex(std::span(items).subspan(first, std::min<size_t>(2048, items.size() - first)));
    // Then built again at once, the items gathered on several threads.
    for (const bool rebuilt : { false, true }) {
        if (rebuilt)
            model.RebuildValueIndex();
        for (SInt32 field : fields) {
            ASSERT_NE(largest(field), nullptr) << field << (rebuilt ? " rebuilt" : "");
            EXPECT_EQ(largest(field)->size(), kCount) << field;
            EXPECT_LT(largest(field)->capacity(), 2 * kCount) << field << ": room ahead beyond the index";
            EXPECT_TRUE(largest(field)->contains(items[kCount / 3])) << field;
        }
        EXPECT_EQ(model.GetValueMembers(6016, QStringLiteral("harbour")).size(), kCount);
    }
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

// An opening enters each value's members as sorted runs, one per run of records
// read, merged rather than sorted: the members are those any batches give,
// repeats and runs that interleave included.
TEST(ValueMembersTest, SortedRunsMergeToTheMembersOfAnyBatches)
{
    std::mt19937 random(7);
    ValueMembers fromRuns;
    ValueMembers fromBatches;
    for (int run = 0; run < 40; ++run) {
        std::vector<CIndexItem*> items;
        for (int i = 0; i < 50 + run * 13; ++i)
            items.push_back(reinterpret_cast<CIndexItem*>(std::uintptr_t(random() % 100000 + 1) * 16));
        fromBatches.InsertMany(items);
        std::sort(items.begin(), items.end());
        fromRuns.InsertSorted(items);
    }
    EXPECT_EQ(fromRuns.Items(), fromBatches.Items());
}

// The organizer asks whether a value has at least so many members of each of
// tens of thousands of values, before the batches waiting are merged: repeats in
// them and members already in count once.
TEST(ValueMembersTest, AtLeastCountsWaitingBatchesEachMemberOnce)
{
    const auto item = [](int i) { return reinterpret_cast<CIndexItem*>(std::uintptr_t(i + 1) * 16); };
    struct Case {
        std::vector<int> waiting; // a batch too small to be merged at once behind items 0..9
        qsizetype members;
    };
    for (const Case& c : std::vector<Case> { { { 20, 20, 20 }, 11 }, { { 3, 5 }, 10 }, { { 3, 20, 21, 21 }, 12 } }) {
        ValueMembers members;
        std::vector<CIndexItem*> first;
        for (int i = 0; i < 10; ++i)
            first.push_back(item(i));
        members.InsertMany(first);
        std::vector<CIndexItem*> batch;
        for (int i : c.waiting)
            batch.push_back(item(i));
        members.InsertMany(batch);
        for (qsizetype count : { c.members - 1, c.members, c.members + 1 })
            EXPECT_EQ(members.HasAtLeast(count), count <= c.members) << c.members << " members, asked " << count;
        EXPECT_EQ(members.size(), c.members);
    }
}

// The volume and folder of many files are worked out once per folder: each
// item's values must still be the ones its own field texts give, whatever its
// address (files side by side, at the top, escaped, on a host, remote, stored
// inside the package).
TEST_F(IndexModelTest, VolumeAndFolderValuesAreEachItemsOwnTexts)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 4010, 4011 });
    CIndexPackage package(FreshPackageURL(QStringLiteral("value-index-folders")), nullptr);
    const char* const addresses[] = {
        "file:///media/Card/DCIM/100/a.jpg", "file:///media/Card/DCIM/100/b.jpg", "file:///media/Card/DCIM/101/a.jpg",
        "file:///media/Other/DCIM/100/c.jpg", "file:///top.jpg", "file:///media/Card/DCIM/caf%E9/d.jpg",
        "file:///media/Card/DCIM/caf%C3%A9/e.jpg", "file://server/share/DCIM/100/f.jpg",
        "http://example.org/DCIM/100/g.jpg",
    };
    // As an index read from its package holds them (the files need not be there).
    const auto itemAt = [&](const char* address, bool inPackage) {
        IndexDbRecord record;
        record.name = "h.jpg";
        (inPackage ? record.storedName : record.fileURL) = QByteArray(address);
        record.fields = CatalogueFields { 'JPEG', 1000, 3000000000u, 3000000000u, 3000000000u, 1, 0 };
        return new CIndexItem(record, &package);
    };
    std::vector<CIndexItem*> items;
    for (const char* address : addresses)
        items.push_back(itemAt(address, false));
    items.push_back(itemAt("h.jpg", true));
    for (CIndexItem* item : items)
        model.InsertItem(item, kInsertAtEnd, ItemInsert::Filling);

    const auto check = [&](const char* how) {
        for (SInt32 field : { 4010, 4011 }) {
            QHash<QString, QSet<CIndexItem*>> expected;
            for (CIndexItem* item : items) {
                const QString value = CIndexModel::ValueOfText(field, item->CopyFieldString(field, kFieldTextEmpty));
                if (!value.isEmpty())
                    expected[value].insert(item);
            }
            const CIndexModel::ValueSets* sets = model.GetValueSets(field);
            ASSERT_NE(sets, nullptr);
            EXPECT_EQ(sets->size(), expected.size()) << field << " " << how;
            for (auto value = expected.cbegin(); value != expected.cend(); ++value)
                EXPECT_EQ(sets->value(value.key()), value.value()) << field << " " << how << " " << value.key().toStdString();
        }
    };
    model.RebuildValueIndex();
    check("rebuilt");
    for (CIndexItem* item : items)
        model.RemoveFromValueIndex(item);
    model.AddItemsToValueIndex(items); // as the cache task does
    check("entered in a batch");

    // Collected on another thread before the items join the index, as an opening does.
    for (CIndexItem* item : model.TakeAllItems())
        delete item;
    items.clear();
    for (const char* address : addresses)
        items.push_back(itemAt(address, false));
    items.push_back(itemAt("h.jpg", true));
    // Items known by their alias alone, their file there or gone, are found on the worker.
    const QString files = TestTempDir() + QStringLiteral("/value-index-folders-files/Trip");
    ASSERT_TRUE(QDir().mkpath(files));
    for (const char* name : { "there.jpg", "gone.jpg" }) {
        const QString path = files + QLatin1Char('/') + QLatin1String(name);
        ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
        IndexDbRecord record;
        record.name = "h.jpg";
        QByteArray alias;
        ASSERT_EQ(NewAliasBytes(&package.GetIndexDbFile(), FileRef::FromUrl(QUrl::fromLocalFile(path)), alias), noErr);
        record.alias = alias;
        record.fields = CatalogueFields { 'JPEG', 0, 3000000000u, 3000000000u, 3000000000u, 1, 0 };
        items.push_back(new CIndexItem(record, &package));
    }
    ASSERT_TRUE(QFile::remove(files + QStringLiteral("/gone.jpg")));
    model.RebuildValueIndex();
    CIndexModel::CollectedValuesPtr values;
    std::thread([&] { values = CIndexModel::CollectValues(model.GetValueIndexKeys(), items); }).join();
    ASSERT_NE(values, nullptr);
    model.AppendItems(items, ItemInsert::Filling, values.get());
    check("collected on a worker");
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

TEST_F(IndexModelTest, RebuildingLeavesWhatOnlyTheFileCouldTellToTheCacheTask)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016, 4001 });
    CIndexItem* held = CaptionedItem("Harbour.jpg", { "boat" }, 9);
    auto* fromFile = new CIndexItem(QUrl::fromLocalFile(TestDataPath(QStringLiteral("exiftool-images/IPTC.jpg"))));
    model.InsertItem(held, kInsertAtEnd, ItemInsert::Filling);
    model.InsertItem(fromFile, kInsertAtEnd, ItemInsert::Filling);
    std::vector<CIndexItem*> pending;
    QObject::connect(&model, &CIndexModel::valuesPending, [&](CIndexItem* item) { pending.push_back(item); });
    model.RebuildValueIndex();

    EXPECT_EQ(pending, std::vector<CIndexItem*> { fromFile });
    EXPECT_FALSE(fromFile->IsFieldKnownWithoutMedia(6016)) << "the file was not read";
    EXPECT_EQ(model.GetValueMembers(4001, QStringLiteral("IPTC.jpg")), QSet<CIndexItem*> { fromFile })
        << "what the item holds enters at once";
    EXPECT_EQ(model.GetValueMembers(6016, QStringLiteral("boat")), QSet<CIndexItem*> { held });

    model.AddItemToValueIndex(fromFile); // as the cache task does
    EXPECT_EQ(model.GetValueMembers(6016, QStringLiteral("ExifTool")), QSet<CIndexItem*> { fromFile });
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

TEST_F(IndexModelTest, ChangedFieldsMoveItemsBetweenTrimmedValues)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016, 6020, 4001 });
    CIndexItem* a = CaptionedItem("Beach.jpg", { " sky" }, 9);
    model.InsertItem(a, kInsertAtEnd, ItemInsert::Filling);
    model.RebuildValueIndex();
    const CIndexModel::ValueSets& keywords = *model.GetValueSets(6016);

    struct Change {
        SInt32 field;
        const char* oldText; // null: none
        const char* newText;
        const char* leftValue; // the item is no longer there (null: not checked)
        const char* joinedValue; // ... and is here (null: not checked)
    };
    const Change changes[] = {
        { 6016, " sky", " sea ", "sky", "sea" },  // both sides trimmed
        { 6020, "9", "3", "9", "2" },             // ratings by bucket
        { 4001, "Beach.jpg", "Beach 2.JPEG", nullptr, "Beach.JPEG" },
    };
    for (const Change& change : changes) {
        const QString oldText = QString::fromUtf8(change.oldText), newText = QString::fromUtf8(change.newText);
        model.UpdateValueIndex(a, change.field, change.oldText ? &oldText : nullptr, &newText);
        const CIndexModel::ValueSets& sets = *model.GetValueSets(change.field);
        if (change.leftValue)
            EXPECT_FALSE(sets.value(QString::fromUtf8(change.leftValue)).contains(a)) << change.field;
        EXPECT_TRUE(sets.value(QString::fromUtf8(change.joinedValue)).contains(a)) << change.field;
    }
    EXPECT_FALSE(model.GetValueSets(4001)->value(QStringLiteral("Beach.jpg")).contains(a));

    // Without an old value, "", " " and "-" make no set.
    for (const char* none : { "", " ", "-", " - " }) {
        const QString text = QString::fromUtf8(none);
        model.UpdateValueIndex(a, 6016, nullptr, &text);
    }
    EXPECT_EQ(keywords.size(), 2) << "\"sky\" (now empty) and \"sea\"";
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

// A value shared by thousands of items, changed one item at a time (ratings set,
// items taken out) as edits and batches change it: its members follow each change.
TEST_F(IndexModelTest, LargeValuesFollowChangesOneItemAtATime)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016, 6020 });
    constexpr int kCount = 12000;
    std::vector<CIndexItem*> items;
    for (int i = 0; i < kCount; ++i) {
        items.push_back(CaptionedItem(QStringLiteral("Sea %1.jpg").arg(i), { "sea" }, 9));
        model.InsertItem(items.back(), kInsertAtEnd, ItemInsert::Filling);
    }
    model.RebuildValueIndex();
    QSet<CIndexItem*> rated, sea(items.begin(), items.end());
    for (int i = 0; i < kCount; i += 3) {
        ASSERT_EQ(model.SetItemField(items[size_t(i)], 6020, QStringLiteral("3"), CIndexItem::FileWrite::CatalogueOnly), noErr);
        rated.insert(items[size_t(i)]);
        if (i % 5 == 0) // and a few asked for at once, between changes
            ASSERT_EQ(model.GetValueMembers(6020, QStringLiteral("2")), rated) << i;
    }
    for (int i = 1; i < kCount; i += 4) {
        CIndexItem* item = items[size_t(i)];
        model.RemoveFromValueIndex(item);
        sea.remove(item);
        rated.remove(item);
    }
    const CIndexModel::ValueSets& ratings = *model.GetValueSets(6020);
    EXPECT_EQ(ratings.value(QStringLiteral("2")), rated);
    EXPECT_EQ(ratings.value(QStringLiteral("9")).size(), sea.size() - rated.size());
    EXPECT_FALSE(ratings.value(QStringLiteral("9")).contains(items[0]));
    EXPECT_EQ(model.GetValueMembers(6016, QStringLiteral("sea")), sea);
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

TEST_F(IndexModelTest, EveryKindOfChangeReachesAListenerOnce)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016, 6020 });
    Fill("abc");
    model.RebuildValueIndex();
    std::map<QString, int> heard;
    QObject::connect(&model, &CIndexModel::itemsInserted, [&](SInt32, SInt32) { ++heard["inserted"]; });
    QObject::connect(&model, &CIndexModel::itemsRemoved, [&](SInt32, SInt32) { ++heard["removed"]; });
    QObject::connect(&model, &CIndexModel::itemsMoved, [&] { ++heard["moved"]; });
    QObject::connect(&model, &CIndexModel::listChanged, [&] { ++heard["list"]; });
    QObject::connect(&model, &CIndexModel::selectionChanged, [&] { ++heard["selection"]; });
    QObject::connect(&model, &CIndexModel::itemChanged, [&](CIndexItem*, SInt32) { ++heard["field"]; });
    QObject::connect(&model, &CIndexModel::modifiedChanged, [&](bool) { ++heard["modified"]; });
    int tableChanges = 0;
    QObject::connect(&model.ItemTable(), &QAbstractItemModel::dataChanged, [&] { ++tableChanges; });

    const struct {
        const char* what;
        std::function<void()> change;
        std::map<QString, int> expected;
    } changes[] = {
        { "insert", [&] { model.InsertItem(Item("d.jpg"), kInsertAtEnd); }, { { "inserted", 1 }, { "modified", 1 } } },
        { "remove", [&] { delete model.TakeItemAt(4); }, { { "removed", 1 }, { "modified", 1 } } },
        { "sort", [&] { model.SetSortKey(4001, true); }, { { "moved", 1 }, { "modified", 1 } } },
        { "filter", [&] { model.ShowFilter(true); }, { { "list", 1 } } },
        { "all items", [&] { model.ShowAllItems(); }, { { "list", 1 } } },
        { "select", [&] { model.SelectIndex(2); }, { { "selection", 1 } } },
        { "select in the table",
            [&] { model.SelectionModel().select(model.ItemTable().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows); },
            { { "selection", 1 } } },
        { "field", [&] { model.SetItemField(model.ItemAt(1), kFieldCity, QStringLiteral("Oslo")); },
            { { "field", 1 }, { "modified", 1 } } },
        { "rating", [&] { model.SetItemField(model.ItemAt(2), kFieldUrgencyLabel, QStringLiteral("9")); },
            { { "field", 1 }, { "modified", 1 } } },
        { "thumbnail made", [&] { model.ItemRedrawn(model.ItemAt(3), kFieldHasThumbnail); }, { { "field", 1 } } },
    };
    for (const auto& each : changes) {
        model.SetModified(false);
        heard.clear();
        each.change();
        EXPECT_EQ(heard, each.expected) << each.what;
    }
    EXPECT_EQ(tableChanges, 3) << "each changed item's row, once";
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

// The changes the first table leaves out: batches, moves, found items, the other
// ways of selecting, the state the commands read and the value index rebuilt.
TEST_F(IndexModelTest, BatchesMovesSearchesAndStateReachAListenerOnce)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016 });
    Fill("abcde");
    model.RebuildValueIndex();
    std::map<QString, int> heard;
    QObject::connect(&model, &CIndexModel::itemsInserted, [&](SInt32, SInt32) { ++heard["inserted"]; });
    QObject::connect(&model, &CIndexModel::itemsAdded, [&](std::span<CIndexItem* const>) { ++heard["added"]; });
    QObject::connect(&model, &CIndexModel::itemsRemoved, [&](SInt32, SInt32) { ++heard["removed"]; });
    QObject::connect(&model, &CIndexModel::itemsMoved, [&] { ++heard["moved"]; });
    QObject::connect(&model, &CIndexModel::listChanged, [&] { ++heard["list"]; });
    QObject::connect(&model, &CIndexModel::selectionChanged, [&] { ++heard["selection"]; });
    QObject::connect(&model, &CIndexModel::itemChanged, [&](CIndexItem*, SInt32) { ++heard["field"]; });
    QObject::connect(&model, &CIndexModel::modifiedChanged, [&](bool) { ++heard["modified"]; });
    QObject::connect(&model, &CIndexModel::stateChanged, [&] { ++heard["state"]; });
    QObject::connect(&model, &CIndexModel::valueIndexRebuilt, [&] { ++heard["rebuilt"]; });
    std::vector<CIndexItem*> batch { Item("f.jpg"), Item("g.jpg"), Item("h.jpg") };

    const struct {
        const char* what;
        std::function<void()> change;
        std::map<QString, int> expected;
    } changes[] = {
        { "batch of three", [&] { model.AppendItems(batch); }, { { "inserted", 1 }, { "added", 1 }, { "modified", 1 } } },
        { "move two", [&] { model.MoveItems({ model.ItemAt(5), model.ItemAt(4) }, 1); },
            { { "moved", 1 }, { "modified", 1 } } },
        { "error set", [&] { model.ItemRedrawn(model.ItemAt(2), kFieldError); }, { { "field", 1 } } },
        { "select a range", [&] { model.SetRangeSelected(2, 6, true); }, { { "selection", 1 } } },
        { "toggle", [&] { model.ToggleIndex(3); }, { { "selection", 1 } } },
        { "select an item", [&] { model.SelectItem(model.ItemAt(1)); }, { { "selection", 1 } } },
        { "deselect an item", [&] { model.DeselectItem(model.ItemAt(1)); }, { { "selection", 1 } } },
        { "select only", [&] { model.SelectOnly(7); }, { { "selection", 1 } } },
        { "select all", [&] { model.SelectAll(); }, { { "selection", 1 } } },
        { "deselect all", [&] { model.DeselectAll(); }, { { "selection", 1 } } },
        { "empty filter", [&] { model.ShowFilter(true); }, { { "list", 1 } } },
        { "found item", [&] { model.AddFoundItem(model.GetAllItems()[2]); }, { { "inserted", 1 } } },
        { "search result", [&] { model.ReplaceFilterItems({ model.GetAllItems()[1], model.GetAllItems()[4] }); },
            { { "list", 1 } } },
        { "organizer value",
            [&] { model.ShowItemsAsFilter({ model.GetAllItems()[3] }, true); }, { { "list", 1 } } },
        { "all items", [&] { model.ShowAllItems(); }, { { "list", 1 } } },
        { "lock", [&] { model.LockItemList(); }, { { "state", 1 } } },
        { "unlock", [&] { model.UnlockItemList(); }, { { "state", 1 } } },
        { "task starts", [&] { model.AddRunningTask(false); }, { { "state", 1 } } },
        { "search starts", [&] { model.AddRunningTask(true); }, { { "state", 1 } } },
        { "task ends", [&] { model.RemoveRunningTask(false); }, { { "state", 1 } } },
        { "reading", [&] { model.SetViewState(kViewStateReading); }, { { "state", 1 } } },
        { "read", [&] { model.SetViewState(kViewStateIdle); }, { { "state", 1 } } },
        { "same state", [&] { model.SetViewState(kViewStateIdle); }, {} },
        { "value index", [&] { model.RebuildValueIndexIfBuilt(); }, { { "rebuilt", 1 } } },
        { "all taken", [&] {
             for (CIndexItem* item : model.TakeAllItems())
                 delete item;
         }, { { "list", 1 }, { "rebuilt", 1 } } },
    };
    for (const auto& each : changes) {
        model.SetModified(false);
        heard.clear();
        each.change();
        EXPECT_EQ(heard, each.expected) << each.what;
    }
    model.RemoveRunningTask(true);
    SetPrefDefault(QStringLiteral("MDIKeys"));
}

TEST_F(IndexModelTest, TheValueIndexFollowsEveryFieldSetThroughTheModel)
{
    SetPrefValue(QStringLiteral("MDIKeys"), QVariantList { 6016, 6020, 4001, 6010 });
    CIndexItem* a = CaptionedItem("Beach.jpg", { "sky", "sea" }, 9);
    CIndexItem* b = CaptionedItem("Harbour.jpg", { "sea" }, 2);
    model.InsertItem(a, kInsertAtEnd, ItemInsert::Filling);
    model.InsertItem(b, kInsertAtEnd, ItemInsert::Filling);
    model.RebuildValueIndex();
    auto members = [&](SInt32 key, const char* value) { return model.GetValueMembers(key, QString::fromUtf8(value)); };

    // A list field: entries left and joined, by entry.
    ASSERT_EQ(model.SetItemField(a, kFieldKeywords, QStringLiteral("sea, boats")), noErr);
    EXPECT_FALSE(members(6016, "sky").contains(a));
    EXPECT_TRUE(members(6016, "boats").contains(a));
    EXPECT_EQ(members(6016, "sea").size(), 2);
    // The urgency label and the urgency are one value, by bucket: never two sets for one rating.
    ASSERT_EQ(model.SetItemField(a, kFieldUrgencyLabel, QStringLiteral("3")), noErr);
    EXPECT_FALSE(members(6020, "9").contains(a));
    EXPECT_EQ(members(6020, "2"), (QSet<CIndexItem*> { a, b }));
    ASSERT_EQ(model.SetItemField(b, kFieldUrgency, QStringLiteral("8")), noErr); // stored 7
    EXPECT_FALSE(members(6020, "2").contains(b));
    EXPECT_TRUE(members(6020, "7").contains(b));
    // 8, the least urgency a file may hold, shares 7's label: one value, never two.
    ASSERT_EQ(model.ChangeItem(a, kFieldUrgencyLabel, [&] {
        a->GetCaptionInfo()->SetUrgency(8); // as a file may hold it
        return noErr;
    }), noErr);
    EXPECT_EQ(members(6020, "7"), (QSet<CIndexItem*> { a, b }));
    EXPECT_EQ(model.GetValueSets(6020)->count(QStringLiteral("8")), 0);
    ASSERT_EQ(model.SetItemField(a, kFieldUrgencyLabel, QStringLiteral("3")), noErr);
    // The name and a plain caption field.
    ASSERT_EQ(model.SetItemField(a, kFieldName, QStringLiteral("Shore 01.jpg")), noErr);
    EXPECT_TRUE(members(4001, "Shore.jpg").contains(a));
    EXPECT_FALSE(members(4001, "Beach.jpg").contains(a));
    ASSERT_EQ(model.SetItemField(b, kFieldCity, QStringLiteral("Oslo")), noErr);
    EXPECT_TRUE(members(6010, "Oslo").contains(b));
    // A refused text changes nothing and is answered.
    EXPECT_EQ(model.SetItemField(b, kFieldUrgency, QStringLiteral("high")), paramErr);
    EXPECT_TRUE(members(6020, "7").contains(b));
    // The whole caption replaced (the info window's way).
    auto caption = std::make_unique<CANPAInfo>();
    caption->AddKeywordCF(QStringLiteral("dune"));
    caption->SetUrgency(0);
    ASSERT_EQ(model.ChangeItem(b, kAllItemFields, [&] { b->SetCaptionInfo(std::move(caption)); return noErr; }), noErr);
    EXPECT_FALSE(members(6016, "sea").contains(b));
    EXPECT_TRUE(members(6016, "dune").contains(b));
    EXPECT_TRUE(members(6020, "0").contains(b));
    EXPECT_FALSE(members(6010, "Oslo").contains(b));
    SetPrefDefault(QStringLiteral("MDIKeys"));
}
