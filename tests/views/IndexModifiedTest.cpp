// Which of the user's steps in a saved index's window are changes to save: the
// window's mark, and the question on closing, follow what the index stores, not
// what the window merely shows.

#include "CANPAInfo.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexListView.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CItemInfoWindow.h"
#include "FieldKeys.h"
#include "IndexTaskServices.h"
#include "IndexWindowTest.h"
#include "LStdControls.h"
#include "LThread.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "RecordBytes.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>

namespace {

class IndexModified : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        InstallIndexTaskServices();
        SetPrefBoolean("SaveViewSettingsCloseWindow", false);
        SetPrefBoolean("IndexAutoSave", false);
        SetPrefBoolean("ApplyChangesToMediaFile", false);
        SetPrefBoolean("IndexShowStatusBar", true);
        SetPrefValue("ListViewColumns", QVariant());
        const QString package = mDir + "/Trip.idxp";
        CIndexPackage make(QUrl::fromLocalFile(package + "/"), nullptr);
        QByteArray records;
        for (const char* name : { "Harbour.jpg", "Beach.jpg", "Lighthouse.jpg", "Dunes.jpg" })
            records += RemoteRecord(name, 1000);
        Write(package + "/index.db", records);
        Write(package + "/settings.xml", PropertyList::ToXML(QVariantMap { { "IndexItemCount", qint32(4) } }));
        doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
        ASSERT_TRUE(Idle());
        view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
        list = dynamic_cast<CIndexListView*>(doc->GetListViewPane());
        ASSERT_TRUE(view && list);
        ASSERT_EQ(Model().CountAllItems(), 4);
        doc->GetWindow()->Select();
        Settle();
        ASSERT_FALSE(Marked()) << "an index just opened has nothing to save";
    }

    CIndexModel& Model() { return doc->GetModel(); }
    bool Idle() { return LThread::RunUntil([this] { return doc->GetModel().CountRunningTasks() == 0 && doc->GetModel().CountRunningSearches() == 0; }, 20000); }
    static void Settle() { QTest::qWait(60); }

    // The window shows the mark and the document would ask before closing.
    bool Marked() const { return doc->GetWindow()->IsModified() || doc->IsModified(); }

    // Close asks to save (the question is answered Cancel, so the window stays).
    bool CloseAsks()
    {
        if (doc->AttemptClose(true)) {
            doc = nullptr;
            return false;
        }
        auto* question = qobject_cast<QMessageBox*>(doc->GetSheet());
        if (!question)
            return false;
        question->done(QMessageBox::Cancel);
        return true;
    }

    // Save, as Save in the File menu does, and the mark is gone.
    void Save()
    {
        doc->ObeyCommand(cmd_Save, nullptr);
        ASSERT_TRUE(Idle());
        Settle();
        ASSERT_FALSE(Marked());
    }

    QRect CellOf(SInt32 index) const
    {
        QRect cell;
        EXPECT_TRUE(view->GetCellRect(index, cell)) << index;
        return cell;
    }

    void ShowList()
    {
        doc->ObeyCommand(kCmdListView, nullptr);
        Settle();
        ASSERT_TRUE(list->isVisibleTo(doc->GetWindow()));
    }
    void ShowGrid()
    {
        doc->ObeyCommand(kCmdThumbnailView, nullptr);
        Settle();
        ASSERT_TRUE(view->isVisibleTo(doc->GetWindow()));
    }

    QStringList Names()
    {
        QStringList names;
        for (CIndexItem* item : Model().GetItemList())
            names << item->GetName();
        return names;
    }

    CIndexDoc* doc = nullptr;
    CIndexView* view = nullptr;
    CIndexListView* list = nullptr;
};

} // namespace

// Each step changes what index.db or settings.xml hold: the window is marked and
// closing asks; a save takes the mark away before the next step.
TEST_F(IndexModified, EveryChangeTheIndexStoresMarksTheWindowAndCloseAsks)
{
    ShowGrid();
    // Two cells dragged before the first: a new order of the index.
    QMimeData drag;
    view->AddDragFlavors(drag, { Model().ItemAt(3), Model().ItemAt(4) });
    const QPoint at = CellOf(1).center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, &drag, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, actions, &drag, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view, &move);
    QDropEvent drop(at, actions, &drag, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view, &drop);
    Settle();
    ASSERT_EQ(Names().front(), QStringLiteral("Lighthouse.jpg"));
    EXPECT_TRUE(Marked()) << "a drag that reorders the cells";
    Save();

    // A click on the list's Name header sorts the index: its order is stored.
    ShowList();
    QTreeView* tree = list->GetControlRef();
    const std::vector<SInt32> columns = list->GetFieldColumns();
    const auto name = std::find(columns.begin(), columns.end(), kFieldName);
    ASSERT_NE(name, columns.end());
    QHeaderView* header = tree->header();
    const int section = int(name - columns.begin());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2));
    Settle();
    ASSERT_EQ(Names().front(), QStringLiteral("Beach.jpg")) << "the header click sorted by name";
    EXPECT_TRUE(Marked()) << "sorting from the list's header is a change to save";
    EXPECT_TRUE(CloseAsks());
    Save();

    // A name typed over another in the grid.
    ShowGrid();
    view->setFocus();
    QTest::mouseClick(view, Qt::LeftButton, {}, CellOf(3).center());
    Settle();
    ASSERT_EQ(Model().CountSelectedItems(), 1);
    EXPECT_FALSE(Marked()) << "a selection is not stored";
    CIndexItem* second = Model().ItemAt(3);
    view->ApplyFieldEdit(second, kFieldName, QStringLiteral("Cove.jpg"));
    ASSERT_EQ(second->GetName(), QStringLiteral("Cove.jpg"));
    EXPECT_TRUE(Marked()) << "a rename";
    Save();

    // A rating given from the contextual menu, run as a batch.
    ASSERT_TRUE(view->RateSelectedItems(1, nullptr));
    ASSERT_TRUE(Idle());
    Settle();
    EXPECT_TRUE(Marked()) << "a rating";
    EXPECT_TRUE(CloseAsks());
    Save();

    // A headline typed in the item's info window, applied when it closes.
    auto* info = dynamic_cast<CItemInfoWindow*>(LWindow::CreateWindow(kItemInfoWindowLayout, nullptr));
    ASSERT_TRUE(info);
    info->SetIndexItem(second, &Model());
    second->SetInfoWindow(info);
    info->Show();
    dynamic_cast<LControl*>(info->FindPaneByID('SMPT'))->SetValue(2);
    auto* headline = dynamic_cast<LEditText*>(info->FindPanelPane(kFieldHeadline));
    ASSERT_TRUE(headline);
    QTest::mouseClick(headline->GetLineEdit(), Qt::LeftButton);
    QTest::keyClicks(headline->GetLineEdit(), QStringLiteral("Boats at dawn"));
    EXPECT_FALSE(Marked()) << "nothing is the index's until the window applies it";
    info->DoClose();
    Settle();
    ASSERT_EQ(second->GetCaptionInfo()->GetHeadline().ToQString(), QStringLiteral("Boats at dawn"));
    EXPECT_TRUE(Marked()) << "a caption edited in the info window";
    Save();

    // A password for the index (stored with it), then a new comment.
    Model().SetPassword("harbour");
    EXPECT_TRUE(Marked()) << "a password";
    Save();
    view->SetComment(QStringLiteral("Summer 2026"));
    EXPECT_TRUE(Marked()) << "a comment";
    Save();
    view->SetComment(QStringLiteral("Summer 2026"));
    EXPECT_FALSE(Marked()) << "the same comment again changes nothing";
}

// Looking through the index changes nothing it stores.
TEST_F(IndexModified, SearchingSelectingAndScrollingLeaveTheIndexUnmodified)
{
    ShowGrid();
    // A quick search shows a filter; Escape ends it.
    doc->StartQuickSearch(kFieldName, QStringLiteral("Beach"));
    ASSERT_TRUE(Idle());
    Settle();
    ASSERT_TRUE(Model().IsFiltered());
    EXPECT_FALSE(Marked()) << "a search's filter";
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Escape);
    Settle();
    ASSERT_FALSE(Model().IsFiltered());
    EXPECT_FALSE(Marked()) << "the filter ended";

    // Clicks and Select All select; the arrow keys move the selection.
    QTest::mouseClick(view, Qt::LeftButton, {}, CellOf(1).center());
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, CellOf(3).center());
    QTest::keyClick(view, Qt::Key_Right);
    view->ObeyCommand(cmd_SelectAll, nullptr);
    Settle();
    EXPECT_EQ(Model().CountSelectedItems(), 4);
    EXPECT_FALSE(Marked()) << "a selection";

    // The wheel scrolls; the list shows the same items and selects a row.
    QWheelEvent wheel(QPointF(20, 20), view->mapToGlobal(QPointF(20, 20)), {}, QPoint(0, -120), Qt::NoButton, {},
        Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
    ShowList();
    QTreeView* tree = list->GetControlRef();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier,
        tree->visualRect(Model().ItemTable().index(1, 0)).center());
    Settle();
    EXPECT_EQ(Model().CountSelectedItems(), 3);
    EXPECT_FALSE(Marked()) << "scrolling, switching views and selecting in the list";
    EXPECT_TRUE(doc->AttemptClose(true)) << "closing asks nothing";
    doc = nullptr;
}
