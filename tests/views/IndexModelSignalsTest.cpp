// The index window drawn from its model's signals: whatever changes the model (a
// task, a search, a batch, the keyboard), the grid, the list, the status bar and
// the commands follow, painted once a frame however many changes came. Paints are
// counted on the real widgets as they arrive, never forced with a grab.

#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CImportFolderTask.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexListView.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "CInfoView.h"
#include "CSearchTask.h"
#include "CSearchView.h"
#include "CSearchWindow.h"
#include "FieldKeys.h"
#include "IndexTaskServices.h"
#include "IndexWindowTest.h"
#include "LCommander.h"
#include "LThread.h"
#include "LWindow.h"
#include "Offscreen.h"
#include "Preferences.h"
#include "SearchEditors.h"
#include "UserSteps.h"

#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QScopeGuard>
#include <QTest>
#include <QTreeView>

namespace {

// Counts the paint events a widget receives and the region they cover.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget)
        : mWidget(widget)
    {
        widget->installEventFilter(this);
    }
    ~PaintWatch() override
    {
        if (mWidget)
            mWidget->removeEventFilter(this);
    }
    void Reset()
    {
        paints = 0;
        region = QRegion();
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == mWidget && event->type() == QEvent::Paint) {
            ++paints;
            region += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }

    int paints = 0;
    QRegion region;

private:
    QPointer<QWidget> mWidget;
};

class IndexModelSignals : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        SetPrefBoolean("IndexShowStatusBar", true);
        SetPrefBoolean("SaveViewSettingsCloseWindow", false);
        SetPrefValue("ListViewColumns", QVariant());
        doc = new CIndexDoc(nullptr, {}, false, false);
        view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
        list = dynamic_cast<CIndexListView*>(doc->GetListViewPane());
        placard = dynamic_cast<CInfoView*>(doc->GetWindow()->FindPaneByID(930));
        ASSERT_TRUE(view && list && placard);
        for (int i = 1; i <= 3; ++i)
            Model().InsertItem(NewItem(i), kInsertAtEnd);
        doc->ShowWindow();
        Settle();
    }

    CIndexModel& Model() { return view->GetModel(); }

    static CIndexItem* NewItem(int number)
    {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/photo-%1.jpg").arg(number)));
        QImage picture(48, 32, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(number * 37 % 360, 150, 210));
        item->SetDisplayPicture(std::make_unique<Offscreen>(picture));
        item->SetCaptionInfo(std::make_unique<CANPAInfo>());
        return item;
    }

    // What the program's loop does in a few frames.
    static void Settle() { QTest::qWait(80); }

    void ShowList()
    {
        doc->ObeyCommand(kCmdListView, nullptr);
        Settle();
        ASSERT_TRUE(list->isVisibleTo(doc->GetWindow()));
    }

    // A search task on the model for the names holding the text, run to its end.
    bool RunSearch(SInt32 action, const QString& text)
    {
        auto* task = new CSearchTask(QStringLiteral("601:39"), Model(), kSearchKindSearch);
        task->SetResultAction(action);
        task->AddCriterion(std::make_unique<CCriteria>(kFieldName, kSelectorContains, text));
        for (CIndexItem* item : view->GetItemList())
            task->InsertItem(item, kInsertAtEnd);
        task->Start();
        const bool ended = LThread::RunUntil([&] { return view->CountRunningSearches() == 0; }, 5000);
        Settle();
        return ended;
    }

    // A batch over the filter that takes every item it shows out of the index.
    void EmptyTheFilterByABatch()
    {
        auto* task = new CSearchTask(QStringLiteral("601:39"), Model(), kSearchKindSearch);
        task->SetResultAction(kResultDelete);
        task->AddCriterion(std::make_unique<CCriteria>(kFieldName, kSelectorContains, QStringLiteral("photo")));
        for (CIndexItem* item : view->GetItemList())
            task->InsertItem(item, kInsertAtEnd);
        task->Start();
        ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0 && view->CountRunningTasks() == 0; }, 5000));
        Settle();
        ASSERT_EQ(Model().CountItems(), 0);
        ASSERT_TRUE(Model().IsFiltered());
    }

    void PressEscape()
    {
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Escape);
        Settle();
    }

    // Whether Copy is enabled, as the Edit menu asks the view.
    bool CopyEnabled() const
    {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name;
        view->FindCommandStatus(cmd_Copy, enabled, usesMark, mark, name);
        return enabled;
    }

    QRect CellOf(SInt32 index) const
    {
        QRect cell;
        EXPECT_TRUE(view->GetCellRect(index, cell)) << index;
        return cell;
    }

    CIndexDoc* doc = nullptr;
    CIndexView* view = nullptr;
    CIndexListView* list = nullptr;
    CInfoView* placard = nullptr;
};

} // namespace

TEST_F(IndexModelSignals, ItemsAddedByATaskAreDrawnAndCountedAsTheyArrive)
{
    PaintWatch grid(view);
    // One item, as a folder import adds them into a shown index that holds some.
    Model().InsertItem(NewItem(4), kInsertAtEnd);
    Settle();
    EXPECT_GE(grid.paints, 1);
    EXPECT_TRUE(grid.region.contains(CellOf(4))) << "the new cell is painted";
    EXPECT_TRUE(placard->GetInfoText().startsWith(QStringLiteral("4 items"))) << placard->GetInfoText().toStdString();

    // Ten thousand, one at a time: still about one paint a frame, not one per item.
    grid.Reset();
    QElapsedTimer clock;
    clock.start();
    for (int i = 5; i < 5 + 10000; ++i)
        Model().InsertItem(NewItem(i), kInsertAtEnd);
    const qint64 spent = clock.elapsed();
    Settle();
    EXPECT_GE(grid.paints, 1);
    EXPECT_LE(grid.paints, 2 + int(spent / 16)) << "one paint a frame at most";
    EXPECT_TRUE(placard->GetInfoText().startsWith(QStringLiteral("10,004 items"))
        || placard->GetInfoText().startsWith(QStringLiteral("10004 items")))
        << placard->GetInfoText().toStdString();

    // The list, shown, draws rows added through the model too.
    ShowList();
    PaintWatch rows(list->GetControlRef()->viewport());
    Model().TakeItemAt(1);
    Settle();
    EXPECT_GE(rows.paints, 1);
    EXPECT_TRUE(placard->GetInfoText().startsWith(QStringLiteral("10,003 items"))
        || placard->GetInfoText().startsWith(QStringLiteral("10003 items")))
        << placard->GetInfoText().toStdString();
}

TEST_F(IndexModelSignals, AFieldChangedThroughTheModelRepaintsItsCellAndItsRow)
{
    PaintWatch grid(view);
    CIndexItem* second = Model().ItemAt(2);
    ASSERT_EQ(Model().SetItemField(second, kFieldHeadline, QStringLiteral("Harbour")), noErr);
    Settle();
    EXPECT_TRUE(grid.region.contains(CellOf(2)));
    EXPECT_FALSE(grid.region.contains(CellOf(3))) << "only the changed cell";
    EXPECT_TRUE(doc->IsModified());

    ShowList();
    PaintWatch rows(list->GetControlRef()->viewport());
    ASSERT_EQ(Model().SetItemField(second, kFieldName, QStringLiteral("harbour.jpg")), noErr);
    Settle();
    EXPECT_GE(rows.paints, 1);
    const QModelIndex row = Model().ItemTable().IndexOf(second);
    EXPECT_TRUE(rows.region.intersects(list->GetControlRef()->visualRect(row)));
    EXPECT_TRUE(row.data().toString().startsWith(QStringLiteral("harbour"))) << row.data().toString().toStdString();
}

TEST_F(IndexModelSignals, ASelectionMadeThroughTheModelIsDrawnCountedAndEnablesTheCommands)
{
    PaintWatch grid(view);
    LCommander::SwitchTarget(view);
    LCommander::SetUpdateCommandStatus(false);
    Model().SelectIndex(2);
    Settle();
    EXPECT_TRUE(grid.region.contains(CellOf(2)));
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("3 items  1 selected"));
    EXPECT_TRUE(LCommander::GetUpdateCommandStatus()) << "the menus are brought up to date";
    EXPECT_TRUE(CopyEnabled());

    // A click in the list selects there: the grid's status bar counts it.
    ShowList();
    QTreeView* tree = list->GetControlRef();
    const QRect third = tree->visualRect(Model().ItemTable().index(2, 0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, third.center());
    Settle();
    EXPECT_EQ(Model().CountSelectedItems(), 2);
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("3 items  2 selected"));
}

TEST_F(IndexModelSignals, TheSelectedCountFollowsRowsInsertedTakenSortedAndFiltered)
{
    CIndexItem* first = Model().ItemAt(1);
    CIndexItem* third = Model().ItemAt(3);
    Model().SelectIndex(1);
    Model().SelectIndex(3);
    Settle();
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("3 items  2 selected"));

    // A row inserted above moves the selected rows down; none is added.
    Model().InsertItem(NewItem(4), 1);
    Settle();
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("4 items  2 selected"));
    EXPECT_EQ(Model().SelectedItems(), (std::vector<CIndexItem*> { first, third }));
    EXPECT_FALSE(Model().IsSelected(1));
    EXPECT_TRUE(Model().IsSelected(2));
    EXPECT_EQ(Model().GetFirstSelectedIndex(), 2);
    EXPECT_EQ(Model().GetLastSelectedIndex(), 4);

    // A selected row taken out leaves one.
    std::unique_ptr<CIndexItem> taken(Model().TakeItemAt(2));
    ASSERT_EQ(taken.get(), first);
    Settle();
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("3 items  1 selected"));
    EXPECT_EQ(Model().SelectedItems(), std::vector<CIndexItem*> { third });

    // Sorted the other way, the same item stays selected at its new row.
    Model().SetSortKey(kFieldName, true);
    Settle();
    EXPECT_EQ(Model().CountSelectedItems(), 1);
    EXPECT_EQ(Model().SelectedItems(), std::vector<CIndexItem*> { third });
    EXPECT_TRUE(Model().IsSelected(Model().GetIndexOfItem(third)));

    // A click with Control in the list selects a cell of another row: two rows.
    ShowList();
    QTreeView* tree = list->GetControlRef();
    const SInt32 other = Model().GetIndexOfItem(third) == 1 ? 2 : 1;
    const QRect row = tree->visualRect(Model().ItemTable().index(other - 1, 0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, row.center());
    Settle();
    EXPECT_EQ(Model().CountSelectedItems(), 2);
    EXPECT_TRUE(Model().IsSelected(other));

    // A filter shown drops the selection; all items shown again have none either.
    Model().ShowFilter(true);
    Settle();
    EXPECT_EQ(Model().CountSelectedItems(), 0);
    EXPECT_EQ(Model().GetFirstSelectedIndex(), 0);
    Model().ShowAllItems();
    Model().SelectAll();
    Settle();
    EXPECT_EQ(Model().CountSelectedItems(), 3);
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("3 items  3 selected"));
}

TEST_F(IndexModelSignals, ARatingFromTheContextualMenuShowsAtOnce)
{
    SetPrefBoolean("ApplyChangesToMediaFile", false);
    PaintWatch grid(view);
    Model().SelectIndex(1);
    Settle();
    grid.Reset();
    ASSERT_TRUE(view->RateSelectedItems(1, nullptr)); // the menu's first rating
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0 && view->CountRunningTasks() == 0; }, 5000));
    Settle();
    EXPECT_EQ(Model().ItemAt(1)->GetCaptionInfo()->GetUrgency(), 9);
    EXPECT_TRUE(grid.region.contains(CellOf(1))) << "the cell shows its rating without a click";
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(IndexModelSignals, ItemsASearchSelectsAreSelectedInTheGridTheListAndTheCommands)
{
    PaintWatch grid(view);
    LCommander::SwitchTarget(view);
    // "Select found items": the second photograph only.
    ASSERT_TRUE(RunSearch(kResultSelect, QStringLiteral("photo-2")));
    EXPECT_TRUE(Model().SelectionModel().isRowSelected(1, {})) << "the list's selection is the same";
    EXPECT_EQ(Model().CountSelectedItems(), 1);
    EXPECT_TRUE(grid.region.contains(CellOf(2)));
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("3 items  1 selected"));
    EXPECT_TRUE(CopyEnabled()) << "Copy with one item selected";

    ShowList();
    EXPECT_EQ(list->GetControlRef()->selectionModel()->selectedRows().size(), 1);
}

TEST_F(IndexModelSignals, AFolderImportTaskOnTheModelIsDrawnAsItsItemsArrive)
{
    const QString folder = mDir + "/import";
    QDir().mkpath(folder);
    for (int i = 1; i <= 12; ++i) {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(i * 29 % 360, 120, 200));
        ASSERT_TRUE(picture.save(QStringLiteral("%1/new-%2.png").arg(folder).arg(i, 2, 10, QLatin1Char('0')), "PNG"));
    }
    PaintWatch grid(view);
    // The task is given the model; the window showing it follows its signals.
    StartImportFolderTask(Model(), FileRef(folder), kInsertAtEnd, 0);
    ASSERT_TRUE(LThread::RunUntil([&] { return Model().CountRunningTasks() == 0 && Model().CountAllItems() == 15; }, 20000));
    Settle();
    EXPECT_GE(grid.paints, 1);
    SInt32 first = 0;
    SInt32 last = 0;
    view->GetVisibleRange(first, last, true);
    ASSERT_GE(last, 4) << "the window shows some of the new cells";
    for (SInt32 index = 4; index <= last; ++index)
        EXPECT_TRUE(grid.region.contains(CellOf(index))) << "cell " << index << " painted";
    EXPECT_TRUE(placard->GetInfoText().startsWith(QStringLiteral("15 items"))) << placard->GetInfoText().toStdString();
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(IndexModelSignals, AFilterShownOrEndedOnTheModelRetitlesTheWindowAndTellsItsPanes)
{
    struct Ear : LListener {
        void ListenToMessage(MessageT message, void*) override { ++heard[message]; }
        std::map<MessageT, int> heard;
    } ear;
    view->AddListener(&ear);
    LWindow* window = doc->GetWindow();
    window->SetCFDescriptor(QStringLiteral("Summer"));
    const QString value = QStringLiteral("photo-1");
    view->ShowFilter(&value, true, true);
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Summer [photo-1]"));
    EXPECT_EQ(ear.heard[msg_FilterShown], 1);

    // Ended on the model (a stored search, the search window): the window's own
    // title comes back and the organizer hears that all items show.
    Model().ShowAllItems();
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Summer"));
    EXPECT_EQ(ear.heard[msg_FilterEnded], 1);
    Settle();
    EXPECT_TRUE(placard->GetInfoText().startsWith(QStringLiteral("3 items"))) << placard->GetInfoText().toStdString();

    // A search task shows its found items on the model: the panes hear of it once.
    ASSERT_TRUE(RunSearch(kResultShowFilter, QStringLiteral("photo-3")));
    EXPECT_EQ(ear.heard[msg_FilterShown], 2);
    EXPECT_EQ(Model().CountItems(), 1);
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Summer [Search]")) << "a search names itself in the title";
    view->RemoveListener(&ear);
}

TEST_F(IndexModelSignals, SelectFoundItemsFromTheSearchWindowShowsThemSelectedEverywhere)
{
    RegisterSearchWindowClasses();
    const auto closeSearch = qScopeGuard([] { delete CSearchWindow::GetSearchWindow(); });
    Model().SelectIndex(1);
    Settle();
    PaintWatch grid(view);
    // Find… in the index window: all items, "Select found items" chosen from the
    // result menu, "name contains" and the name typed, Run clicked.
    CSearchWindow* window = CSearchWindow::ShowSearchWindow(&Model(), 1057);
    ASSERT_TRUE(window);
    window->Show();
    window->Select();
    // All items searched, not the one selected.
    auto* sources = window->GetSourcePopup()->findChild<QComboBox*>();
    ASSERT_TRUE(sources);
    sources->setFocus();
    QTest::keyClick(sources, Qt::Key_Home);
    ASSERT_TRUE(ChoosePopupCommand(window->GetResultPopup(), CachedMenu(kSearchResultMenu), kResultSelect));
    CSearchView* row = window->GetRows().front();
    ASSERT_TRUE(ChoosePopupCommand(row->GetCategoryPopup(), CachedMenu(kSearchFieldMenu), kFieldName));
    ASSERT_TRUE(ChoosePopupCommand(row->GetSelectorPopup(), CachedMenu(kTextTestMenu), kSelectorContains));
    QLineEdit* value = row->GetTextField()->GetLineEdit();
    value->setFocus();
    QTest::keyClicks(value, QStringLiteral("photo-3"));
    QTest::mouseClick(static_cast<LControlPane*>(window->GetRunButton())->GetControlWidget(), Qt::LeftButton);
    ASSERT_TRUE(LThread::RunUntil([&] { return Model().CountRunningSearches() == 0; }, 5000));
    LCommander::SwitchTarget(view);
    Settle();

    // The found item alone is selected, in the one selection the list shows too.
    EXPECT_FALSE(Model().IsFiltered());
    EXPECT_EQ(Model().SelectedItems(), std::vector<CIndexItem*> { Model().ItemAt(3) });
    EXPECT_TRUE(Model().SelectionModel().isRowSelected(2, {}));
    EXPECT_FALSE(Model().SelectionModel().isRowSelected(0, {}));
    // Both cells that changed are painted, as the grid tells them apart.
    EXPECT_TRUE(grid.region.contains(CellOf(3)));
    EXPECT_TRUE(grid.region.contains(CellOf(1)));
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("3 items  1 selected"));
    EXPECT_TRUE(CopyEnabled()) << "Copy with the found item selected";

    // The list shows it selected: its row painted with the selection's colour.
    ShowList();
    QTreeView* tree = list->GetControlRef();
    EXPECT_EQ(tree->selectionModel()->selectedRows().size(), 1);
    const QRect third = tree->visualRect(Model().ItemTable().index(2, 0));
    const QImage rows = tree->viewport()->grab().toImage();
    const QColor plain = rows.pixelColor(tree->visualRect(Model().ItemTable().index(0, 0)).topLeft() + QPoint(2, 2));
    const QColor shown = rows.pixelColor(third.topLeft() + QPoint(2, 2));
    EXPECT_NE(shown, plain) << "the found item's row is drawn selected";
}

// A search that found nothing leaves "No items match" in the grid; Escape there
// shows all items again, and the status bar counts them.
TEST_F(IndexModelSignals, EscapeAfterASearchEmptiedTheFilterShowsAllItems)
{
    ASSERT_TRUE(RunSearch(kResultShowFilter, QStringLiteral("photo-1")));
    ASSERT_TRUE(Model().IsFiltered());
    ASSERT_EQ(Model().CountItems(), 1);
    ASSERT_NO_FATAL_FAILURE(EmptyTheFilterByABatch());
    PressEscape();
    EXPECT_FALSE(Model().IsFiltered());
    EXPECT_EQ(Model().CountItems(), 2);
    EXPECT_TRUE(placard->GetInfoText().startsWith(QStringLiteral("2 items"))) << placard->GetInfoText().toStdString();
}

// A new index, never saved, is marked modified while it holds items; once the
// user has taken its last item out there is nothing to lose and the mark goes
// at once, not only when the program asks before closing.
TEST_F(IndexModelSignals, ANewIndexEmptiedLosesItsModifiedMarkAtOnce)
{
    LWindow* window = doc->GetWindow();
    ASSERT_TRUE(window->IsModified());
    Model().SelectAll();
    view->RemoveSelection(false, false, false); // Remove from the Index menu
    Settle();
    ASSERT_EQ(Model().CountAllItems(), 0);
    EXPECT_FALSE(window->IsModified()) << "the window still marks an empty new index modified";
    EXPECT_FALSE(Model().IsModified());
    Model().InsertItem(NewItem(9), kInsertAtEnd);
    EXPECT_TRUE(window->IsModified());
}

// A batch over a hundred thousand items repaints the shown grid and its status
// bar once a frame at most while it runs, however many items it changes.
TEST_F(IndexModelSignals, ABatchOverAHundredThousandItemsRepaintsOnceAFrame)
{
    SetPrefBoolean("ApplyChangesToMediaFile", false);
    std::vector<CIndexItem*> many;
    many.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/many-%1.jpg").arg(i)));
        item->SetCaptionInfo(std::make_unique<CANPAInfo>());
        many.push_back(item);
    }
    Model().AppendItems(many);
    Model().SelectAll();
    Settle();
    PaintWatch grid(view);
    PaintWatch status(placard);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(view->RateSelectedItems(1, nullptr)); // every item rated from the menu
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0 && view->CountRunningTasks() == 0; }, 120000));
    const qint64 spent = clock.elapsed();
    Settle();
    EXPECT_EQ(many.back()->GetCaptionInfo()->GetUrgency(), 9);
    EXPECT_GE(grid.paints, 1) << "the rated cells are shown";
    EXPECT_LE(grid.paints, 4 + int(spent / 16)) << spent << " ms";
    EXPECT_LE(status.paints, 4 + int(spent / 16)) << spent << " ms";
}

// A quick search, then a batch that takes out what it found: Escape in the grid
// shows every item again, with the window's own title and the counts.
TEST_F(IndexModelSignals, EscapeAfterABatchEmptiedAQuickSearchBringsBackTitleAndCounts)
{
    LWindow* window = doc->GetWindow();
    window->SetCFDescriptor(QStringLiteral("Summer"));
    doc->StartQuickSearch(kFieldName, QStringLiteral("photo-2"));
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0; }, 5000));
    Settle();
    ASSERT_TRUE(Model().IsFiltered());
    ASSERT_EQ(Model().CountItems(), 1);
    ASSERT_NE(window->GetCFDescriptor(), QStringLiteral("Summer"));

    ASSERT_NO_FATAL_FAILURE(EmptyTheFilterByABatch());
    PressEscape();
    EXPECT_FALSE(Model().IsFiltered());
    EXPECT_EQ(Model().CountItems(), 2);
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Summer"));
    EXPECT_TRUE(placard->GetInfoText().startsWith(QStringLiteral("2 items"))) << placard->GetInfoText().toStdString();
}
