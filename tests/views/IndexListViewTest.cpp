// The index list view in the real index window, over the document's index model.

#include "CIndexListView.h"

#include "CANPAInfo.h"
#include "CContextualMenu.h"
#include "CExportXMLTask.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexItemComparator.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "ErrorCodes.h"
#include "ErrorHook.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "IndexTaskServices.h"
#include "IndexWindowTest.h"
#include "QueuedInput.h"
#include "LMenuBar.h"
#include "LThread.h"
#include "LWindow.h"
#include "Offscreen.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "RecordBytes.h"
#include "UserSteps.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>

namespace {

class IndexListViewTest : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        SetPrefValue("ListViewColumns", QVariant());
        SetPrefBoolean("SaveViewSettingsCloseWindow", false);
    }

    CIndexDoc* MakeDoc(const QStringList& names)
    {
        auto* doc = new CIndexDoc(nullptr, {}, false, false);
        for (const QString& name : names) {
            auto* item = new CIndexItem(QUrl("http://example.org/" + name));
            QImage picture(64, 48, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(int(qHash(name) % 360), 120, 200));
            item->SetDisplayPicture(std::make_unique<Offscreen>(picture));
            doc->GetModel().InsertItem(item, kInsertAtEnd, ItemInsert::Foreign);
        }
        return doc;
    }
    static CIndexListView* ListOf(CIndexDoc* doc) { return dynamic_cast<CIndexListView*>(doc->GetListViewPane()); }
    static CIndexView* ViewOf(CIndexDoc* doc) { return dynamic_cast<CIndexView*>(doc->GetIndexViewPane()); }
    // The names the list shows, top to bottom.
    static QStringList ShownNames(CIndexListView* list)
    {
        QStringList names;
        QAbstractItemModel* model = list->GetControlRef()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 0).data().toString();
        return names;
    }
};

} // namespace

TEST_F(IndexListViewTest, TheThirteenDefaultColumnsStandInForAMissingOrUnreadableStoredList)
{
    const std::vector<SInt32> twoColumns { 4001, 4004 };
    struct Case {
        const char* what;
        QVariant stored;
        std::vector<SInt32> expected;
    } cases[] = {
        { "no preference", QVariant(), DefaultIndexListColumns() },
        { "no COLUMNS", QVariantMap { { "WIDTHS", QVariantList { 100 } } }, DefaultIndexListColumns() },
        { "COLUMNS not an array", QVariantMap { { "COLUMNS", "4001" } }, DefaultIndexListColumns() },
        { "a column that is no number", QVariantMap { { "COLUMNS", QVariantList { 4001, "name" } } },
            DefaultIndexListColumns() },
        { "an empty list", QVariantMap { { "COLUMNS", QVariantList {} } }, DefaultIndexListColumns() },
        { "two good columns", QVariantMap { { "COLUMNS", QVariantList { 4001, 4004 } } }, twoColumns },
    };
    for (const Case& c : cases) {
        SetPrefValue("ListViewColumns", c.stored);
        CIndexDoc* doc = MakeDoc({});
        EXPECT_EQ(ListOf(doc)->GetFieldColumns(), c.expected) << c.what;
        delete doc;
    }
    EXPECT_EQ(DefaultIndexListColumns(),
        (std::vector<SInt32> { 4001, 5001, 5002, 4004, 4003, 4015, 6001, 6016, 6017, 4212, 4204, 4205, 4017 }));
}

TEST_F(IndexListViewTest, ColumnsKeepAtLeastOneAndMirrorTheirSortItemsInTheSortByMenuOnce)
{
    LMenuBar bar(128);
    SetPrefValue("ListViewColumns", QVariantMap { { "COLUMNS", QVariantList { 4001, 4004 } } });
    CIndexDoc* doc = MakeDoc({ "a.jpg" });
    CIndexListView* list = ListOf(doc);
    LMenu* menu = bar.FetchMenu(kMenuSortBy);
    ASSERT_TRUE(menu);
    // Sort items come first, in column order; the Index menu has none.
    EXPECT_EQ(menu->IndexFromCommand(4001 + kSortCommandOffset), 1);
    EXPECT_EQ(menu->IndexFromCommand(4004 + kSortCommandOffset), 2);
    EXPECT_EQ(menu->Item(1)->text, CopyLocalizedString("602:2") + CopyFieldName(4001));
    EXPECT_EQ(bar.FetchMenu(131)->IndexFromCommand(4001 + kSortCommandOffset), 0);

    CIndexDoc* other = MakeDoc({});

    list->RemoveColumn(4004);
    EXPECT_EQ(menu->IndexFromCommand(4004 + kSortCommandOffset, list), 0);
    try {
        list->RemoveColumn(4001);
        ADD_FAILURE() << "the last column went";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), kMsgListView);
    }
    EXPECT_EQ(list->GetFieldColumns(), std::vector<SInt32> { 4001 });
    EXPECT_NE(menu->IndexFromCommand(4001 + kSortCommandOffset, list), 0);
    EXPECT_EQ(doc->GetModel().ItemTable().GetColumns(), std::vector<SInt32> { 4001 });
    // The field command adds the column back; a key without a name is refused.
    list->ObeyCommand(4004, nullptr);
    EXPECT_TRUE(list->HasFieldColumn(4004));
    EXPECT_EQ(ThrownCode([&] { list->AddFieldColumn(3999); }), err_NilPointer);
    delete other;
}

TEST_F(IndexListViewTest, EachWindowsSortByMenuListsTheColumnsOfItsOwnList)
{
    LMenuBar bar(128);
    SetPrefValue("ListViewColumns", QVariantMap { { "COLUMNS", QVariantList { 4001, 4004 } } });
    CIndexDoc* first = MakeDoc({ "a.jpg" });
    SetPrefValue("ListViewColumns", QVariantMap { { "COLUMNS", QVariantList { 4001, 4003 } } });
    CIndexDoc* second = MakeDoc({});
    // The fields of the sort items the Sort By menu of a window's menu bar shows, as it opens.
    const QString title = bar.FetchMenu(kMenuSortBy)->GetTitle();
    auto shownSortFields = [&](CIndexDoc* doc) {
        std::vector<SInt32> fields;
        for (QAction* top : doc->GetWindow()->GetMenuBar()->actions()) {
            emit top->menu()->aboutToShow(); // which makes its submenus
            for (QAction* entry : top->menu()->actions()) {
                QMenu* menu = entry->menu();
                if (!menu || QString(menu->title()).remove(QLatin1Char('&')) != title)
                    continue;
                emit menu->aboutToShow();
                for (QAction* action : menu->actions()) {
                    if (action->data().toInt() > kSortCommandOffset)
                        fields.push_back(SInt32(action->data().toInt() - kSortCommandOffset));
                }
            }
        }
        return fields;
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<SInt32> first, second;
    } steps[] = {
        { "both open", [] {}, { 4001, 4004 }, { 4001, 4003 } },
        { "the second drops Name", [&] { ListOf(second)->ObeyCommand(4001, nullptr); }, { 4001, 4004 }, { 4003 } },
        { "the first adds the second's column", [&] { ListOf(first)->ObeyCommand(4003, nullptr); },
            { 4001, 4004, 4003 }, { 4003 } },
        { "the first drops it again", [&] { ListOf(first)->ObeyCommand(4003, nullptr); }, { 4001, 4004 }, { 4003 } },
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(shownSortFields(first), step.first) << step.what;
        EXPECT_EQ(shownSortFields(second), step.second) << step.what;
    }
    // A closed window's items go with it.
    delete second;
    FlushDeletes();
    LMenu* menu = bar.FetchMenu(kMenuSortBy);
    EXPECT_EQ(menu->IndexFromCommand(4003 + kSortCommandOffset), 0);
    EXPECT_EQ(shownSortFields(first), (std::vector<SInt32> { 4001, 4004 }));
    delete first;
}

TEST_F(IndexListViewTest, TheListAndTheGridShowOneSelection)
{
    CIndexDoc* doc = MakeDoc({ "a.jpg", "b.jpg", "c.jpg", "d.jpg" });
    doc->ObeyCommand(kCmdListView, nullptr);
    CIndexListView* list = ListOf(doc);
    CIndexView* view = ViewOf(doc);
    QItemSelectionModel* shown = list->GetControlRef()->selectionModel();
    ASSERT_EQ(shown, &doc->GetModel().SelectionModel());

    // A click in the list selects the item for the grid.
    list->GetControlRef()->setCurrentIndex(list->GetControlRef()->model()->index(1, 0));
    EXPECT_TRUE(doc->GetModel().IsSelected(2));
    EXPECT_EQ(view->CountSelectedItems(), 1);
    // The grid's selection shows in the list.
    view->SelectIndex(4);
    EXPECT_TRUE(shown->isRowSelected(3, {}));
    EXPECT_EQ(list->CountItems(kDataBrowserItemIsSelected), 2);
    // Select All from the list selects every item; Escape clears it.
    list->ObeyCommand(cmd_SelectAll, nullptr);
    EXPECT_EQ(view->CountSelectedItems(), 4);
    EventRecord escape {};
    escape.message = 27;
    list->HandleKeyPress(escape);
    EXPECT_EQ(view->CountSelectedItems(), 0);
}

TEST_F(IndexListViewTest, TheRowsOfferTheGridsContextualMenuFromTheMouseAndTheKeyboard)
{
    LMenuBar bar(128);
    InitContextualMenuSupport();
    CIndexDoc* doc = MakeDoc({ "a.jpg", "b.jpg", "c.jpg", "d.jpg" });
    doc->ObeyCommand(kCmdListView, nullptr);
    doc->ShowWindow();
    QApplication::processEvents();
    CIndexListView* list = ListOf(doc);
    CIndexView* view = ViewOf(doc);
    QTreeView* tree = list->GetControlRef();
    auto rowPoint = [&](int row) { return tree->visualRect(tree->model()->index(row, 0)).center(); };

    // A right click on a row not selected: that row alone, and the grid's items with the list's help.
    view->SelectIndex(1);
    PopupChooser onRow;
    onRow.ChooseNext(QString());
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, rowPoint(2));
    ASSERT_TRUE(onRow.appeared);
    for (const char* text : { "Open", "Get Info", "Reveal in File Manager", "Show Selected Only", "New Index from Selection" })
        EXPECT_TRUE(onRow.seen.contains(QString::fromLatin1(text))) << text;
    EXPECT_EQ(onRow.seen.last(), QStringLiteral("List View Help"));
    ASSERT_EQ(view->CountSelectedItems(), 1);
    list->ProcessCommand(cmd_ShowSelectedOnly); // the item chosen goes to the list, the target
    ASSERT_EQ(doc->CountItems(), 1);
    CIndexItem* shown = nullptr;
    ASSERT_TRUE(view->GetItemAt(1, shown));
    EXPECT_EQ(shown->GetName(), "c.jpg");
    view->ProcessCommand(1079);

    // Shift+F10 shows it for the selection as it is, once the window has the keyboard.
    tree->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(tree->window()));
    tree->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), tree);
    view->DeselectAll();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rowPoint(0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, rowPoint(3));
    ASSERT_EQ(view->CountSelectedItems(), 2);
    PopupChooser fromKeys;
    fromKeys.ChooseNext(QString());
    QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(fromKeys.appeared);
    EXPECT_TRUE(fromKeys.seen.contains(QStringLiteral("Show Selected Only")));
    ASSERT_EQ(view->CountSelectedItems(), 2);
    list->ProcessCommand(cmd_ShowSelectedOnly);
    ASSERT_EQ(doc->CountItems(), 2);
    CIndexItem* last = nullptr;
    ASSERT_TRUE(view->GetItemAt(2, last));
    EXPECT_EQ(last->GetName(), "d.jpg");
    view->ProcessCommand(1079);

    // The Menu key (the windowing system's keyboard request); a right click below the rows deselects all.
    PopupChooser menuKey;
    menuKey.ChooseNext(QString());
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(5, 5), tree->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(tree, &request);
    EXPECT_TRUE(menuKey.appeared);
    view->SelectIndex(1);
    PopupChooser below;
    below.ChooseNext(QString());
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, QPoint(5, tree->viewport()->height() - 3));
    ASSERT_TRUE(below.appeared);
    EXPECT_EQ(view->CountSelectedItems(), 0);
    EXPECT_FALSE(below.seen.contains(QStringLiteral("New Index from Selection")));
}

TEST_F(IndexListViewTest, AHeaderClickSortsTheIndexUpThenDown)
{
    CIndexDoc* doc = MakeDoc({ "b.jpg", "a.jpg", "c.jpg" });
    SetPrefBoolean("ShowFileExtension", true);
    doc->ObeyCommand(kCmdListView, nullptr);
    CIndexListView* list = ListOf(doc);
    list->HeaderClicked(0);
    EXPECT_EQ(ShownNames(list), (QStringList { "a.jpg", "b.jpg", "c.jpg" }));
    EXPECT_EQ(list->GetControlRef()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    list->HeaderClicked(0);
    EXPECT_EQ(ShownNames(list), (QStringList { "c.jpg", "b.jpg", "a.jpg" }));
    EXPECT_EQ(list->GetControlRef()->header()->sortIndicatorSection(), 0);
    EXPECT_EQ(list->GetControlRef()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    // The grid shows the same order.
    EXPECT_EQ(doc->GetModel().ItemAt(1)->CopyFieldString(kFieldName, kFieldTextFullName), "c.jpg");
    // The sort command marks its field.
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    list->FindCommandStatus(4001 + kSortCommandOffset, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(mark, checkMark);
}

// A click on a column of a large index sorts it on other threads: the window's
// timers and painting go on meanwhile, the order is the comparator's to the last
// pair, and the selection stays with its items.
TEST_F(IndexListViewTest, AHeaderClickOnALargeIndexSortsWhileTheWindowGoesOn)
{
    constexpr int kItems = 40000;
    auto* doc = new CIndexDoc(nullptr, {}, false, false);
    std::vector<CIndexItem*> items;
    for (int i = 0; i < kItems; ++i) {
        // Numbers out of order, and sizes many items share (the name decides among them).
        const int number = (i * 7919) % kItems;
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/img%1.jpg").arg(number)));
        item->SetTotalSize(UInt32(1000 + number % 97));
        items.push_back(item);
    }
    CIndexModel& model = doc->GetModel();
    model.AppendItems(items, ItemInsert::Filling);
    doc->ObeyCommand(kCmdListView, nullptr);
    doc->GetWindow()->Show();
    CIndexListView* list = ListOf(doc);
    QHeaderView* header = list->GetControlRef()->header();
    const std::vector<SInt32> columns = list->GetFieldColumns();
    const auto sizeColumn = std::find(columns.begin(), columns.end(), kFieldTotalSize);
    ASSERT_NE(sizeColumn, columns.end());
    const QSet<CIndexItem*> selected { items[5], items[17000], items[39999] };
    for (CIndexItem* item : selected)
        model.SelectItem(item);

    int timerTurns = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++timerTurns; });
    timer.start(0);
    for (const int column : { 0, int(sizeColumn - columns.begin()) }) {
        SCOPED_TRACE(column);
        int turnsWhenSorted = -1;
        const auto sorted = QObject::connect(&model, &CIndexModel::itemsMoved, [&] { turnsWhenSorted = timerTurns; });
        const int turnsBefore = timerTurns;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 4, header->height() / 2));
        QObject::disconnect(sorted);
        EXPECT_GT(turnsWhenSorted, turnsBefore) << "the window's timers ran during the sort";

        CIndexItemComparator comparator;
        comparator.SetSortKey(columns[size_t(column)]);
        const auto& shown = model.GetItemList();
        ASSERT_EQ(shown.GetCount(), kItems);
        int outOfOrder = 0;
        for (SInt32 index = 2; index <= kItems; ++index)
            outOfOrder += comparator.CompareItems(shown[index - 1], shown[index]) >= 0 ? 1 : 0;
        EXPECT_EQ(outOfOrder, 0);
        const std::vector<CIndexItem*> after = model.SelectedItems();
        EXPECT_EQ(QSet<CIndexItem*>(after.begin(), after.end()), selected);
        EXPECT_EQ(list->GetControlRef()->selectionModel()->selectedRows().size(), selected.size());
    }

    // The keyboard and the mouse are not held while it sorts: a key pressed is
    // taken before the new order shows, and a click on another column replaces
    // the sort under way, whose order never shows.
    QTreeView* tree = list->GetControlRef();
    tree->setFocus();
    int moves = 0;
    const auto moved = QObject::connect(&model, &CIndexModel::itemsMoved, [&] { ++moves; });
    int movesWhenKeyTaken = -1;
    const auto onKey = [&](QObject*, QEvent* event) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_End)
            movesWhenKeyTaken = moves;
    };
    EventWatcher watcher(tree, onKey);
    const int sizeAt = header->sectionViewportPosition(int(sizeColumn - columns.begin())) + 4;
    QueueKeyPress(tree, Qt::Key_End);
    QueueClick(header->viewport(), QPoint(4, header->height() / 2));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(sizeAt, header->height() / 2));
    QCoreApplication::processEvents();
    QObject::disconnect(moved);
    EXPECT_EQ(movesWhenKeyTaken, 0);
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(model.GetSortKey(), kFieldName);
    EXPECT_EQ(model.GetSortOrder(), 0);
}

TEST_F(IndexListViewTest, ItemsInsertedWhileShownAppearAtAnySizeAndAReloadLeavesTheSelectionAlone)
{
    CIndexDoc* doc = MakeDoc({});
    doc->ObeyCommand(kCmdListView, nullptr);
    CIndexListView* list = ListOf(doc);
    for (int i = 1; i <= 60; ++i)
        doc->GetModel().InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/%1.jpg").arg(i))), kInsertAtEnd, ItemInsert::Foreign);
    EXPECT_EQ(list->GetControlRef()->model()->rowCount(), 60);

    CIndexView* view = ViewOf(doc);
    for (SInt32 index = 1; index <= 60; index += 2)
        view->SelectIndex(index);
    int changes = 0;
    QObject::connect(&doc->GetModel().SelectionModel(), &QItemSelectionModel::selectionChanged, [&] { ++changes; });
    list->ReloadItems(true);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(list->CountItems(kDataBrowserItemIsSelected), 30);
}

TEST_F(IndexListViewTest, AnIndexReadInBatchesShowsEveryItemInOrderInTheGridTheListAndTheSelection)
{
    constexpr int kRecords = 300;
    const QString package = mDir + "/Read.idxp";
    { CIndexPackage make(QUrl::fromLocalFile(package + "/"), nullptr); }
    QByteArray records;
    QStringList names;
    for (int i = 0; i < kRecords; ++i) {
        names << QStringLiteral("IMG_%1.jpg").arg(1000 + i);
        records += RemoteRecord(names.back().toUtf8(), 1000);
    }
    Write(package + "/index.db", records);
    Write(package + "/settings.xml", PropertyList::ToXML(QVariantMap { { "IndexItemCount", qint32(kRecords) } }));
    SetPrefBoolean("ShowFileExtension", true);
    InstallIndexTaskServices();

    // The list shows before the read task runs; an item selected once the first
    // items are in stays selected while the rest come.
    auto* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
    doc->ObeyCommand(kCmdListView, nullptr);
    CIndexModel& model = doc->GetModel();
    std::vector<std::pair<SInt32, SInt32>> inserted;
    QObject::connect(&model, &CIndexModel::itemsInserted, [&](SInt32 first, SInt32 count) {
        if (inserted.empty())
            model.SelectIndex(2);
        inserted.push_back({ first, count });
    });
    int added = 0;
    QObject::connect(&model, &CIndexModel::itemsAdded, [&](std::span<CIndexItem* const> items) {
        added += int(items.size());
    });
    ASSERT_TRUE(LThread::RunUntil([doc] { return doc->GetModel().CountRunningTasks() == 0; }, 20000));

    ASSERT_GE(inserted.size(), 2u) << "the first items come before the rest";
    EXPECT_LT(inserted.size(), 10u) << "a batch is one change, not one an item";
    SInt32 next = 1;
    for (const auto& [first, count] : inserted) {
        EXPECT_EQ(first, next);
        next += count;
    }
    EXPECT_EQ(next, kRecords + 1);
    EXPECT_EQ(added, kRecords) << "every item is handed on for caching";
    EXPECT_EQ(ViewOf(doc)->CountItems(), kRecords);
    EXPECT_EQ(ShownNames(ListOf(doc)), names);
    EXPECT_EQ(ViewOf(doc)->CountSelectedItems(), 1);
    EXPECT_TRUE(model.IsSelected(2));
    EXPECT_EQ(ListOf(doc)->GetControlRef()->selectionModel()->selectedRows(), QModelIndexList { model.ItemTable().index(1, 0) });
    EXPECT_FALSE(model.IsModified());
}

TEST_F(IndexListViewTest, ColumnsGoToSettingsAndToTheDefaultAndComeBack)
{
    CIndexDoc* doc = MakeDoc({ "a.jpg" });
    CIndexListView* list = ListOf(doc);
    list->RemoveAllColumns();
    list->AddFieldColumn(4004);
    list->AddFieldColumn(4001);
    list->ObeyCommand(4001 + kSortCommandOffset, nullptr);
    const QVariantMap state = list->CopyColumnState();
    EXPECT_EQ(state.value("COLUMNS").toList(), (QVariantList { 4004, 4001 }));
    EXPECT_EQ(state.value("SORTCOLUMN").toInt(), 4001);

    // Another index whose settings hold those columns shows them.
    CIndexDoc* other = MakeDoc({});
    QVariantMap settings { { "ListViewColumns", state } };
    other->GetModel().ReadSettings(settings, false);
    ListOf(other)->ShowColumnState(other->GetModel().GetSettings().listViewColumns);
    EXPECT_EQ(ListOf(other)->GetFieldColumns(), (std::vector<SInt32> { 4004, 4001 }));
    // Settings without a column list leave the columns alone.
    ListOf(other)->ShowColumnState(QVariantMap {});
    EXPECT_EQ(ListOf(other)->GetFieldColumns().size(), 2u);

    doc->ObeyCommand(cmd_SaveSettingsAsDefaults, nullptr);
    CIndexDoc* third = MakeDoc({});
    EXPECT_EQ(ListOf(third)->GetFieldColumns(), (std::vector<SInt32> { 4004, 4001 }));
    // The defaults the command saved are no other test's start.
    for (const char* key : { "DefaultIndexView", "IndexShowToolbar", "IndexShowStatusBar", "DefaultSourceViewWidth",
             "DefaultOrganizerViewWidth", "DefaultIndexWindowWidth", "DefaultIndexWindowHeigth",
             "DefaultIndexWindowPosition", "ExtendedViewColumns", "ThumbnailViewColumns", "DefaultThumbnailViewSize ",
             "DefaultExtendedViewSize ", "DefaultIndexTheme_6", "IndexFullScreen" })
        SetPrefDefault(QString::fromLatin1(key));
}

TEST_F(IndexListViewTest, ViewAsListAndTheSidePaneCommandsShowWhatTheySay)
{
    CIndexDoc* doc = MakeDoc({ "harbour.jpg", "boats.jpg", "market.jpg" });
    doc->ShowWindow();
    QApplication::processEvents();
    CIndexListView* list = ListOf(doc);
    const QRect frame = list->geometry();
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    doc->FindCommandStatus(kCmdListView, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);

    doc->ObeyCommand(kCmdListView, nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(list->isVisibleTo(doc->GetWindow()));
    EXPECT_EQ(list->GetControlRef()->model()->rowCount(), 3);
    EXPECT_EQ(list->geometry().topLeft(), frame.topLeft()); // shown where it was laid out, never moved aside

    doc->ObeyCommand(cmd_NoSidePanes, nullptr);
    EXPECT_FALSE(doc->IsSourceViewShown());
    EXPECT_FALSE(doc->IsOrganizerViewShown());
    doc->FindCommandStatus(cmd_NoSidePanes, enabled, usesMark, mark, name);
    EXPECT_EQ(mark, checkMark);
    doc->ObeyCommand(cmd_BothSidePanes, nullptr);
    EXPECT_TRUE(doc->IsSourceViewShown());
    EXPECT_TRUE(doc->IsOrganizerViewShown());
    QApplication::processEvents();
    EXPECT_TRUE(doc->GetWindow()->GetShell()->grab().save(
        QDir(QCoreApplication::applicationDirPath()).filePath("index-list-window.png")));

    doc->ObeyCommand(kCmdThumbnailView, nullptr);
    EXPECT_FALSE(list->isVisibleTo(doc->GetWindow()));
    EXPECT_FALSE(list->IsShowingOutsideModel()); // hidden, it lets go of the rows
    EXPECT_EQ(list->geometry().topLeft(), frame.topLeft());
}

// Sixteen two-character Japanese keywords: each is two references in the caption
// ("&#x798F;&#x5CA1;"), 286 bytes in all, more than a field's 255.
TEST_F(IndexListViewTest, AKeywordListLongerThanAFieldIsShownEditedAndExportedWhole)
{
    InstallIndexTaskServices();
    SetPrefBoolean("ApplyChangesToMediaFile", false);
    SetPrefValue("ListViewColumns", QVariantMap { { "COLUMNS", QVariantList { 4001, 6016 } } });
    CIndexDoc* doc = MakeDoc({ "japan.jpg" });
    CIndexItem* item = doc->GetModel().ItemAt(1);
    auto caption = std::make_unique<CANPAInfo>();
    for (const char* keyword : { "青森", "秋田", "仙台", "新潟", "金沢", "東京", "横浜", "京都", "大阪", "神戸", "奈良",
             "広島", "福岡", "長崎", "熊本", "那覇" }) {
        Str255 entry;
        entry.AssignBytes(IIMText::CaptionBytesFromText(QString::fromUtf8(keyword)));
        caption->AddKeyword(entry);
    }
    item->SetCaptionInfo(std::move(caption));
    QStringList keywords;
    for (const LStr255& entry : item->GetCaptionInfo()->GetKeywords())
        keywords << IIMText::TextFromCaptionBytes(entry.Bytes());
    ASSERT_EQ(keywords.size(), 16);

    doc->ShowWindow();
    doc->ObeyCommand(kCmdListView, nullptr);
    QApplication::processEvents();
    CIndexListView* list = ListOf(doc);
    QTreeView* tree = list->GetControlRef();
    const QModelIndex cell = tree->model()->index(0, 1);

    // The user clicks the row, opens the keywords cell for editing and adds one.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(cell).center());
    tree->setCurrentIndex(cell);
    QTest::keyClick(tree, Qt::Key_F2);
    auto* editor = tree->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), keywords.join(", ")); // every entry, none cut
    std::vector<OSStatus> reported;
    SetErrorReportHook([&](const ExceptionCode& error) { reported.push_back(error.Code()); });
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClicks(editor, ", ");
    QInputMethodEvent composed; // Japanese arrives through the input method
    composed.setCommitString(QString::fromUtf8("札幌"));
    QApplication::sendEvent(editor, &composed);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    SetErrorReportHook(nullptr);
    EXPECT_EQ(reported, std::vector<OSStatus>());
    QStringList edited = keywords;
    edited << QString::fromUtf8("札幌");
    QStringList held;
    for (const LStr255& entry : item->GetCaptionInfo()->GetKeywords())
        held << IIMText::TextFromCaptionBytes(entry.Bytes());
    edited.sort();
    held.sort();
    EXPECT_EQ(held, edited);

    // A field's 255 bytes hold the entries that fit whole, never part of a character.
    Str255 field;
    item->GetFieldText(kFieldKeywords, field, kFieldTextEmpty);
    const QStringList shortened = IIMText::TextFromCaptionBytes(QByteArrayView(field + 1, field[0])).split(", ");
    EXPECT_EQ(shortened.size(), 14);
    for (const QString& entry : shortened)
        EXPECT_TRUE(held.contains(entry)) << entry.toStdString();

    // Export XML: the file's name typed into the save dialog; the keywords go whole.
    const QString path = mDir + "/japan.xml";
    CIndexView* view = ViewOf(doc);
    ASSERT_TRUE(view->ObeyCommand(1059, nullptr));
    auto* xml = dynamic_cast<CExportXMLTask*>(CVisualTask::GetAllTasks().back());
    ASSERT_NE(xml, nullptr);
    QFileDialog* dialog = xml->GetDialog();
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    dialog->setDirectory(mDir); // where the user went
    name->selectAll();
    QTest::keyClicks(name, "japan.xml");
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(LThread::RunUntil([&] { return QFileInfo::exists(path) && view->CountRunningTasks() == 0; }, 5000));
    QVariant read;
    ASSERT_EQ(PropertyList::ReadFile(path, read), noErr);
    const QVariantList exported = read.toMap().value("IndexMediaList").toList();
    ASSERT_EQ(exported.size(), 1);
    QStringList written = exported[0].toMap().value(CopyFieldName(kFieldKeywords)).toString().split(", ");
    written.sort();
    EXPECT_EQ(written, edited);
}
