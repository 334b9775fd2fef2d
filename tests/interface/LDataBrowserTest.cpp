#include "LDataBrowser.h"

#include "ExceptionCode.h"
#include "LComparator.h"
#include "UReanimator.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTreeView>

namespace {

// A row that counts what it was told and knows when it is deleted.
class TestRow : public LDataBrowserItem {
public:
    TestRow(QString text, int* deletions = nullptr)
        : mText(std::move(text))
        , mDeletions(deletions)
    {
    }
    ~TestRow() override
    {
        if (mDeletions)
            ++*mDeletions;
    }
    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue) override
    {
        if (property != 4001)
            return errDataBrowserPropertyNotSupported;
        if (setValue)
            mText = data.value.toString();
        else
            data.value = mText;
        return noErr;
    }
    void ItemNotification(DataBrowserItemNotification message) override
    {
        told.push_back(message);
        LDataBrowserItem::ItemNotification(message);
    }
    QString mText;
    std::vector<DataBrowserItemNotification> told;

private:
    int* mDeletions;
};

// Orders rows by their text.
class TextComparator : public LComparator {
public:
    SInt32 Compare(const void* a, const void* b, UInt32, UInt32) const override
    {
        auto* rowA = static_cast<TestRow*>(*static_cast<LDataBrowserItem* const*>(a));
        auto* rowB = static_cast<TestRow*>(*static_cast<LDataBrowserItem* const*>(b));
        return rowA->mText.compare(rowB->mText);
    }
};

class MessageCounter : public LListener {
public:
    void ListenToMessage(MessageT message, void*) override { messages.push_back(message); }
    std::vector<MessageT> messages;
};

std::unique_ptr<LDataBrowser> MakeBrowser(ResIDT columns, UInt32 selectionFlags = 0, UInt16 headerHeight = 20)
{
    LDataBrowserImp::Settings settings;
    settings.columnListID = columns;
    settings.titleListID = 777;
    settings.selectionFlags = selectionFlags;
    settings.headerHeight = headerHeight;
    settings.sortColumn = 1;
    SPaneInfo info;
    info.width = 300;
    info.height = 200;
    auto browser = std::make_unique<LDataBrowser>(info, settings);
    browser->FinishCreate();
    return browser;
}

} // namespace

TEST(LDataBrowser, ColumnsComeFromTheColumnListWithTheirTitles)
{
    const auto columns = LoadDataBrowserColumns(9001, 777);
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[0].propertyID, 4001u);
    EXPECT_EQ(columns[0].propertyType, kDataBrowserTextType);
    EXPECT_EQ(columns[0].initialWidth, 120);
    EXPECT_EQ(columns[0].title, "777:1"); // a key without text comes back as itself
    EXPECT_TRUE(columns[1].title.isEmpty());
    EXPECT_FALSE(columns[1].title.isNull()); // an empty title, not a missing one
    EXPECT_EQ(columns[2].title, "777:2"); // the low 16 bits of the index
    EXPECT_EQ(columns[2].propertyType, kDataBrowserCheckboxType);
    EXPECT_THROW(LoadDataBrowserColumns(4242, 777), ExceptionCode);

    auto browser = MakeBrowser(9001);
    EXPECT_EQ(browser->CountColumns(), 4u);
    EXPECT_EQ(browser->GetSortProperty(), 4001u);
    browser->RemoveColumn(4002);
    EXPECT_EQ(browser->CountColumns(), 3u);
    browser->AddColumn(4002, 1);
    EXPECT_EQ(browser->GetImp().Columns()[1].propertyID, 4002u);
    try {
        browser->AddColumn(5555, 0);
        ADD_FAILURE();
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), errDataBrowserPropertyNotFound);
    }
}

TEST(LDataBrowser, EmptyColumnListStillAppliesTheSettings)
{
    auto browser = MakeBrowser(9002, kDataBrowserSelectOnlyOne, 0);
    EXPECT_EQ(browser->CountColumns(), 0u);
    EXPECT_TRUE(browser->GetControlRef()->isHeaderHidden());
    EXPECT_EQ(browser->GetControlRef()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(browser->GetSortProperty(), 0u);

    Boolean enabled = true;
    Boolean usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    browser->FindCommandStatus(cmd_SelectAll, enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled); // one item at most: nothing to select all of
}

TEST(LDataBrowser, RowsAnswerForTheirCellsAndRemovedRowsDeleteThemselves)
{
    auto browser = MakeBrowser(9001);
    int deletions = 0;
    auto* a = new TestRow("a", &deletions);
    auto* b = new TestRow("b", &deletions);
    browser->AddItems({a, b});
    EXPECT_EQ(a->told.front(), kDataBrowserItemAdded);
    EXPECT_EQ(a->GetOwningBrowser(), browser.get());
    EXPECT_EQ(browser->GetItemAtRow(2), b);
    EXPECT_EQ(browser->GetRowOfItem(b), 2u);
    EXPECT_TRUE(browser->IsValidRow(2));
    EXPECT_FALSE(browser->IsValidRow(3));
    EXPECT_FALSE(browser->IsValidRow(0));

    QAbstractItemModel* model = browser->GetControlRef()->model();
    EXPECT_EQ(model->data(model->index(0, 0), Qt::DisplayRole).toString(), "a");
    EXPECT_FALSE(model->data(model->index(0, 1), Qt::DisplayRole).isValid()); // property not supported
    EXPECT_TRUE(model->setData(model->index(1, 0), "renamed", Qt::EditRole));
    EXPECT_EQ(b->mText, "renamed");

    browser->RemoveItem(a);
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(browser->CountItems(), 1);
    browser.reset(); // the pane removes its remaining rows
    EXPECT_EQ(deletions, 2);
}

TEST(LDataBrowser, DoubleClickTellsEverySelectedRowThenBroadcastsOnce)
{
    auto browser = MakeBrowser(9001);
    MessageCounter counter;
    browser->AddListener(&counter);
    std::vector<TestRow*> rows;
    for (const char* text : {"a", "b", "c", "d"}) {
        rows.push_back(new TestRow(text));
        browser->AddItem(rows.back());
    }
    browser->SelectItem(rows[0]);
    browser->SelectItem(rows[1]);
    browser->SelectItem(rows[3]);
    EXPECT_EQ(browser->CountItems(kDataBrowserItemIsSelected), 3);
    EXPECT_EQ(rows[1]->told.back(), kDataBrowserItemSelected);
    counter.messages.clear();

    browser->ItemNotification(rows[0], kDataBrowserItemDoubleClicked);
    for (int i : {0, 1, 3})
        EXPECT_EQ(rows[size_t(i)]->told.back(), kDataBrowserItemDoubleClicked);
    EXPECT_NE(rows[2]->told.back(), kDataBrowserItemDoubleClicked);
    EXPECT_EQ(counter.messages, std::vector<MessageT> {kDataBrowserItemDoubleClicked});

    browser->ItemNotification(nullptr, kDataBrowserItemDoubleClicked); // ignored, no broadcast
    EXPECT_EQ(counter.messages.size(), 1u);

    LDataBrowserItemIterator selected(*browser, kDataBrowserItemIsSelected);
    LDataBrowserItem* item = nullptr;
    int count = 0;
    while (selected.Next(item))
        ++count;
    EXPECT_EQ(count, 3);
}

TEST(LDataBrowser, SortsByTheComparatorForTheSortProperty)
{
    auto browser = MakeBrowser(9001);
    browser->SetComparator(new TextComparator);
    for (const char* text : {"pear", "apple", "fig"})
        browser->AddItem(new TestRow(text));
    browser->SetSortProperty(4001);
    EXPECT_EQ(static_cast<TestRow*>(browser->GetItemAtRow(1))->mText, "apple");
    EXPECT_EQ(static_cast<TestRow*>(browser->GetItemAtRow(3))->mText, "pear");
    browser->SetSortOrder(kDataBrowserOrderDecreasing);
    EXPECT_EQ(static_cast<TestRow*>(browser->GetItemAtRow(1))->mText, "pear");
}

TEST(LDataBrowser, CommandArrowsMoveTheEditAmongEditableColumns)
{
    auto columns = LoadDataBrowserColumns(9001, 777); // editable: 0 and 2
    EXPECT_EQ(NextEditableColumn(columns, 0, 1), 2);
    EXPECT_EQ(NextEditableColumn(columns, 2, 1), 0); // wraps from the last to the first
    EXPECT_EQ(NextEditableColumn(columns, 0, -1), 2); // and from the first to the last
    columns[2].propertyFlags = 0;
    EXPECT_EQ(NextEditableColumn(columns, 0, 1), -1); // a single editable column: the key passes
}

TEST(LDataBrowser, MadeFromALayoutByItsClassID)
{
    RegisterDataBrowserClasses();
    const QString folder = TestTempDir() + QStringLiteral("/dbrw-layouts");
    QDir().mkpath(folder);
    QFile layout(folder + "/9100.json");
    ASSERT_TRUE(layout.open(QIODevice::WriteOnly));
    layout.write(R"({ "id": 9100, "root": { "class": "dbrw", "id": 928, "frame": [0, 0, 200, 100],
        "viewStyle": "lstv", "selectionFlags": 2, "headerHeight": 0, "sortColumn": 2,
        "titleListID": 777, "columnListID": 9001 } })");
    layout.close();
    UReanimator::AddLayoutFolder(folder);

    std::unique_ptr<LPane> pane(UReanimator::CreatePaneTree(9100));
    auto* browser = dynamic_cast<LDataBrowser*>(pane.get());
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->GetPaneID(), 928);
    EXPECT_EQ(browser->CountColumns(), 4u);
    EXPECT_EQ(browser->GetSortProperty(), 4002u); // the second column's property
    EXPECT_EQ(browser->GetSelectionFlags(), UInt32(kDataBrowserSelectOnlyOne));
    EXPECT_TRUE(browser->GetControlRef()->isHeaderHidden());
}

TEST(LDataBrowser, SelectAllTellsAndCountsOnlyRowsThatMaySelect)
{
    // A row that answers whether it may be selected.
    class LockedRow : public TestRow {
    public:
        LockedRow(QString text, bool selectable)
            : TestRow(std::move(text))
            , mSelectable(selectable)
        {
        }
        OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue) override
        {
            if (property != kDataBrowserItemIsSelectableProperty)
                return TestRow::GetSetItemData(property, data, setValue);
            data.value = mSelectable;
            return noErr;
        }
        bool mSelectable;
    };
    auto browser = MakeBrowser(9001);
    std::vector<LockedRow*> top { new LockedRow("a", true), new LockedRow("b", false), new LockedRow("c", true) };
    browser->AddItems({top.begin(), top.end()});
    std::vector<LockedRow*> inner { new LockedRow("c1", true), new LockedRow("c2", false), new LockedRow("c3", true) };
    browser->AddItems({inner.begin(), inner.end()}, top[2]->GetItemID());

    browser->SelectAll();
    struct Case {
        bool recurse;
        SInt32 count;
    };
    for (const Case& c : {Case {false, 2}, Case {true, 4}})
        EXPECT_EQ(browser->CountItems(kDataBrowserItemIsSelected, c.recurse), c.count) << c.recurse;
    EXPECT_EQ(SInt32(browser->GetItems(kDataBrowserItemIsSelected).size()), 4);
    for (LockedRow* row : {top[0], top[1], top[2], inner[0], inner[1], inner[2]}) {
        const bool told = std::count(row->told.begin(), row->told.end(), kDataBrowserItemSelected) == 1;
        EXPECT_EQ(told, row->mText != "b" && row->mText != "c2") << row->mText.toStdString();
    }

    browser->SelectItem(inner[0]);
    browser->DeselectItem(inner[0]);
    browser->DeselectItem(top[0]);
    EXPECT_EQ(browser->CountItems(kDataBrowserItemIsSelected, false), 1);
    EXPECT_EQ(browser->CountItems(kDataBrowserItemIsSelected, true), 2);
    EXPECT_EQ(inner[0]->told.back(), kDataBrowserItemDeselected);

    // A row whose answer changes says so through Update; the browser then follows it.
    std::swap(top[0]->mSelectable, top[1]->mSelectable);
    top[0]->Update(0);
    top[1]->Update(0);
    browser->SelectNone();
    for (LockedRow* row : top)
        row->told.clear();
    browser->SelectAll();
    EXPECT_EQ(browser->CountItems(kDataBrowserItemIsSelected, false), 2);
    for (LockedRow* row : top) {
        const bool told = std::count(row->told.begin(), row->told.end(), kDataBrowserItemSelected) == 1;
        EXPECT_EQ(told, row->mText != "a") << row->mText.toStdString();
    }
}
