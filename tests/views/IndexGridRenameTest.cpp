#include "CIndexItem.h"
#include "CIndexView.h"
#include "CInfoView.h"
#include "CInPlaceEditField.h"
#include "CVisualTask.h"
#include "ErrorHook.h"
#include "FieldKeys.h"
#include "Offscreen.h"
#include "Preferences.h"
#include "LScrollerView.h"
#include "URegistrar.h"
#include "IndexViewFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <vector>

namespace {

// A grid of four columns with the name and the caption under each picture.
class GridRenameTest : public IndexViewFixture {
protected:
    void SetUp() override
    {
        MakeView(640, 480);
        view->ClearColumns();
        view->AddColumn(kFieldName);
        view->AddColumn(kFieldCaption);
        view->SetCellSize(160, 200);
        AddPictureItems(3, QStringLiteral("photo"), 1, QSize(120, 120), [](int) { return QColor(Qt::darkCyan); });
        view->Show();
        SetErrorReportHook([this](const ExceptionCode& error) { reported.push_back(error.Code()); });
    }
    void TearDown() override
    {
        SetErrorReportHook(nullptr);
        IndexViewFixture::TearDown();
    }
    CIndexItem* Item(SInt32 index)
    {
        CIndexItem* item = nullptr;
        view->GetItemAt(index, item);
        return item;
    }
    // The middle of a text line of an index's cell.
    QPoint LineOf(SInt32 index, SInt16 line)
    {
        QRect cell;
        view->GetCellRect(index, cell);
        return Item(index)->GetTextLineRect(line, cell, *view).center();
    }
    QLineEdit* Edit()
    {
        CInPlaceEditField* field = view->GetRenameField();
        return field && field->IsEditing() ? field->GetLineEdit() : nullptr;
    }
    void Type(const QString& text, Qt::Key end)
    {
        QLineEdit* edit = Edit();
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        edit->insert(text); // as typed (QTest types only ASCII)
        QTest::keyClick(edit, end);
    }
    std::vector<OSStatus> reported;
};

} // namespace

TEST_F(GridRenameTest, ReturnCommitsTheNameAndEscapeLeavesItAsItWas)
{
    const QString before = Item(2)->GetName();
    std::vector<SInt32> changed;
    struct Spy : LListener {
        std::vector<SInt32>* keys;
        void ListenToMessage(MessageT message, void* param) override
        {
            if (message == msg_ItemsChanged)
                keys->push_back(*static_cast<SInt32*>(param));
            if (message == msg_PlacardInfoText)
                info = *static_cast<QString*>(param);
        }
        QString info;
    } spy;
    spy.keys = &changed;
    view->AddListener(&spy);

    // A click on the name opens the field over it, holding the name (its extension hidden, as the cells show it).
    view->SimulateClick(LineOf(2, 0));
    ASSERT_NE(Edit(), nullptr);
    EXPECT_EQ(Edit()->text(), QStringLiteral("photo2"));
    EXPECT_TRUE(spy.info.contains(before)) << spy.info.toStdString(); // the placard tells what is edited
    EXPECT_TRUE(Edit()->isVisible());
    QRect cell;
    view->GetCellRect(2, cell);
    EXPECT_TRUE(cell.contains(view->GetRenameField()->geometry()));
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
        view->grab().save(QStringLiteral("grid-rename.png"));

    Type(QStringLiteral("Harbour"), Qt::Key_Escape);
    EXPECT_EQ(Edit(), nullptr);
    EXPECT_EQ(Item(2)->GetName(), before);
    EXPECT_TRUE(changed.empty());

    view->SimulateClick(LineOf(2, 0));
    Type(QStringLiteral("Harbour"), Qt::Key_Return);
    EXPECT_EQ(Edit(), nullptr);
    EXPECT_EQ(Item(2)->GetName(), QStringLiteral("Harbour.jpg"));
    EXPECT_EQ(changed, (std::vector<SInt32> { kFieldName }));
    EXPECT_EQ(Item(1)->GetName(), QStringLiteral("photo1.jpg")); // the others stay
    EXPECT_TRUE(reported.empty());

    // A click elsewhere ends an open edit and keeps what was typed.
    view->SimulateClick(LineOf(3, 0));
    Edit()->selectAll();
    QTest::keyClicks(Edit(), QStringLiteral("Quay"));
    view->SimulateClick(QPoint(600, 460)); // no cell
    EXPECT_EQ(Edit(), nullptr);
    EXPECT_EQ(Item(3)->GetName(), QStringLiteral("Quay.jpg"));
    view->RemoveListener(&spy);
}

TEST_F(GridRenameTest, ANewNameKeepsTheExtensionWhetherTheCellsShowItOrNot)
{
    struct Case {
        bool showExtension;
        QString shown; // the field's text
        QString selected; // what typing replaces
        QString typed;
        QString named;
    };
    const Case cases[] = {
        { false, "photo1", "photo1", "Harbour", "Harbour.jpg" },
        { true, "Harbour.jpg", "Harbour", "Quay", "Quay.jpg" },
        { true, "Quay.jpg", "Quay", "Pier.png", "Pier.png.jpg" }, // a typed extension is part of the name
        { false, "Pier.png", "Pier.png", "", "Pier.png.jpg" }, // an empty name is refused: the item keeps its own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        StTempPrefBoolean extension(QStringLiteral("ShowFileExtension"), c.showExtension);
        view->SimulateClick(LineOf(1, 0));
        ASSERT_NE(Edit(), nullptr);
        EXPECT_EQ(Edit()->text(), c.shown);
        EXPECT_EQ(Edit()->selectedText(), c.selected);
        Edit()->insert(c.typed);
        QTest::keyClick(Edit(), Qt::Key_Return);
        EXPECT_EQ(Item(1)->GetName(), c.named);
    }
}

TEST_F(GridRenameTest, ATextTheFieldCannotTakeIsReportedAndTheValueStays)
{
    const QString before = Item(1)->CopyFieldString(kFieldCaption, kFieldTextEmpty);
    view->SimulateClick(LineOf(1, 1));
    ASSERT_NE(Edit(), nullptr);
    Type(QString(40, QChar(0x6E2F)), Qt::Key_Return); // longer than the field even as references
    EXPECT_EQ(Edit(), nullptr);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0], noErr);
    EXPECT_EQ(Item(1)->CopyFieldString(kFieldCaption, kFieldTextEmpty), before);
    EXPECT_FALSE(view->IsModified());
}

TEST_F(GridRenameTest, TabWalksTheEditableLinesAndWrapsToTheFirstItem)
{
    view->SimulateClick(LineOf(1, 0));
    ASSERT_NE(Edit(), nullptr);
    QTest::keyClicks(Edit(), QStringLiteral("First"));
    QTest::keyClick(Edit(), Qt::Key_Tab); // commits, then the caption of the same item
    EXPECT_EQ(Item(1)->GetName(), QStringLiteral("First.jpg"));
    ASSERT_NE(Edit(), nullptr);
    EXPECT_EQ(view->GetRenameColumn(), 1);
    QTest::keyClick(Edit(), Qt::Key_Tab); // the next item's name
    EXPECT_EQ(view->GetRenameColumn(), 0);
    ASSERT_NE(Edit(), nullptr);
    EXPECT_EQ(Edit()->text(), QStringLiteral("photo2"));
    // From the last line of the last item on to the first item.
    view->SimulateClick(LineOf(3, 1));
    QTest::keyClick(Edit(), Qt::Key_Tab);
    ASSERT_NE(Edit(), nullptr);
    EXPECT_EQ(Edit()->text(), QStringLiteral("First"));
    // Shift-Tab goes back over the wrap.
    QTest::keyClick(Edit(), Qt::Key_Backtab, Qt::ShiftModifier); // what Shift-Tab sends
    ASSERT_NE(Edit(), nullptr);
    EXPECT_EQ(view->GetRenameColumn(), 1);
    QTest::keyClick(Edit(), Qt::Key_Escape);
    EXPECT_EQ(Edit(), nullptr);
}

TEST_F(GridRenameTest, NoFieldOpensOnALockedListOrAReadOnlyLine)
{
    view->ClearColumns();
    view->AddColumn(kFieldName);
    view->AddColumn(4002); // not a field the user edits
    view->SimulateClick(LineOf(1, 1));
    EXPECT_EQ(Edit(), nullptr);
    view->LockItemList();
    view->SimulateClick(LineOf(1, 0));
    EXPECT_EQ(Edit(), nullptr);
    view->UnlockItemList();
    view->SimulateClick(LineOf(1, 0));
    EXPECT_NE(Edit(), nullptr);
}

TEST_F(GridRenameTest, TheFieldStaysOverItsLineWhenTheViewScrollsOrItsCellsMove)
{
    for (int i = 4; i <= 40; ++i)
        view->InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/photo%1.jpg").arg(i))), kInsertAtEnd, false, true);
    SPaneInfo info;
    info.width = 660;
    info.height = 480;
    auto scroller = std::make_unique<LScrollerView>(info, 0);
    scroller->InstallView(view);
    scroller->Show();
    // The view scrolls through the scroller's bars; the field goes with its line.
    view->SimulateClick(LineOf(6, 0));
    ASSERT_NE(Edit(), nullptr);
    const QRect before = view->GetRenameField()->geometry();
    const SInt32 top = view->GetScrollPosition().v;
    scroller->VerticalBar()->setValue(top + 130);
    ASSERT_EQ(view->GetScrollPosition().v, top + 130);
    ASSERT_NE(Edit(), nullptr);
    EXPECT_EQ(view->GetRenameField()->geometry(), before.translated(0, -130));
    EXPECT_EQ(view->GetRenameField()->geometry().center().y(), LineOf(6, 0).y());
    // A narrower frame has fewer columns: the cell moves, and the field with it.
    scroller->ResizeFrameTo(420, 480, true);
    ASSERT_NE(Edit(), nullptr);
    QRect cell;
    view->GetCellRect(6, cell);
    EXPECT_TRUE(cell.contains(view->GetRenameField()->geometry()))
        << "cell " << cell.x() << "," << cell.y() << " field " << view->GetRenameField()->x() << ","
        << view->GetRenameField()->y();
    EXPECT_EQ(view->GetRenameField()->geometry().center().y(), LineOf(6, 0).y());
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
        scroller->grab().save(QStringLiteral("grid-rename-scrolled.png"));
    QTest::keyClick(Edit(), Qt::Key_Escape);
    view->PutInside(nullptr); // the fixture deletes the view
}
